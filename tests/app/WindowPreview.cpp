// Shows the player's window without a video: the layout, the logo and strips
// with sample data. With --grab FILE it saves the window as an image and quits.

#include "ControlState.h"
#include "DisplayEvents.h"
#include "DisplayWindow.h"
#include "MainWindow.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    double seconds = 100.9;
    const char* grabFile = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--grab") == 0 && i + 1 < argc) {
            grabFile = argv[++i];
        } else {
            seconds = std::atof(argv[i]);
        }
    }

    QWidget window;
    window.setWindowTitle(QStringLiteral("Tessaro - window preview"));
    buildMainWindow(&window, new DisplayWindow("VIDEO", 445, 335), seconds);

    // Sample strips: a summary with four segments, halfway through.
    ControlState& state = controlState();
    const double segments[] = {0.0, seconds * 0.2, seconds * 0.35, seconds * 0.6};
    state.timelineEvents->setData(segments, 4, 0.0, static_cast<int>(seconds), seconds * 0.45,
                                  seconds * 0.5, seconds * 0.38);
    state.treeDepthEvents->setData(nullptr, 0, 20.0, 90.0, 45.0, 60.0, 0.0);
    state.treeNodesEvents->setData(nullptr, 0, 100.0, 5000.0, 300.0, 500.0, 0.0);

    if (grabFile != nullptr) {
        QTimer::singleShot(200, &window, [&window, grabFile] {
            const bool saved = window.grab().save(QString::fromLocal8Bit(grabFile));
            std::printf("%s %s\n", saved ? "saved" : "could not save", grabFile);
            QApplication::exit(saved ? 0 : 1);
        });
    }
    return app.exec();
}
