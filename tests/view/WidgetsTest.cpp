#include "DisplayEvents.h"
#include "QtTestApplication.h"
#include "SliderLCD.h"
#include "ThreadImageRefresh.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QSlider>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <sstream>
#include <thread>
#include <tuple>
#include <vector>

namespace {

// The value the summary takes is the one the user settled on: a release of
// the handle, a step in the groove or a key, each said once; the text
// follows every move, and a program's move settles nothing.
TEST(SliderLCD, TheUserSettlesTheValueByReleaseGrooveOrKey) {
    // On the tree-nodes control (whole numbers) or a weight, the steps (d N:
    // press and drag to N as QSlider's mouse handling does, r: release, p:
    // press, k: the Right key, g: a page step as a click in the groove makes
    // it, m N: a program move to N), then the text, value and settlements.
    const std::tuple<bool, const char*, const char*, double, int> cases[] = {
        {false, "d 70", "0.70", 0.2, 0},
        {false, "d 70 r", "0.70", 0.7, 1},
        {false, "d 30 r d 40 r", "0.40", 0.4, 2},
        {false, "d 60 r p", "0.60", 0.6, 1},
        {true, "k", "501", 501, 1},
        {true, "g", "510", 510, 1},
        {true, "m 4321", "4321", 500, 0},
    };
    for (auto [whole, moves, text, value, settlements] : cases) {
        SCOPED_TRACE(moves);
        // Made and destroyed outside any window: the sanitizer builds see it release its widgets.
        auto control =
            whole ? std::make_unique<SliderLCD>("Tree Nodes", 500, 100, 5000, true, false, 1.0)
                  : std::make_unique<SliderLCD>("Length Weight", 20, 0, 1, true, true, 100.0);
        int settled = 0;
        double settledAt = -1;
        QObject::connect(control.get(), &SliderLCD::settled, [&](double at) {
            ++settled;
            settledAt = at;
        });
        QSlider* slider = control->slider;
        std::istringstream steps(moves);
        for (char step = 0; steps >> step;) {
            int to = 0;
            if (step == 'd' || step == 'm')
                steps >> to;
            if (step == 'd' || step == 'p')
                slider->setSliderDown(true);
            if (step == 'd')
                slider->setSliderPosition(to);
            if (step == 'r')
                slider->setSliderDown(false);
            if (step == 'm')
                slider->setValue(to);
            if (step == 'g')
                slider->triggerAction(QAbstractSlider::SliderPageStepAdd);
            QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
            if (step == 'k')
                QApplication::sendEvent(slider, &right);
        }
        QCoreApplication::processEvents();
        EXPECT_EQ(control->valueLabel->text().trimmed().toStdString(), text);
        EXPECT_DOUBLE_EQ(control->value, value);
        EXPECT_EQ(settled, settlements);
        if (settled > 0) {
            EXPECT_DOUBLE_EQ(settledAt, value);
        }
    }
}

TEST(DisplayEvents, PaintsTheBarEventTicksAndMarksOnTheScale) {
    constexpr QRgb black = 0x000000, blue = 0x0000ff, red = 0xff0000, yellow = 0xffff00,
                   green = 0x00ff00, orange = 0xff6400;
    // The ground is the palette's mid grey (light grey in the default palette).
    const QRgb grey = QApplication::palette().color(QPalette::Mid).rgb() & 0xffffffu;
    struct Case {
        const char* what;
        std::vector<double> values;
        double minimum, maximum, position, mark1, mark2;
        // Columns of each colour; left of the red mark is the blue bar, right of it grey.
        std::vector<int> red, yellow, green, orange;
    };
    const Case cases[] = {
        {"halfway", {}, 0, 100, 50, 0, 0, {107, 108}, {}, {}, {}},
        {"at the minimum", {}, 20, 90, 20, 0, 0, {0, 1}, {}, {}, {}},
        // 25 and 60 fall at 53.75 and 129; 100 maps to 215, just off the strip.
        {"events", {25, 60, 100, -10, 1e300}, 0, 100, 80, 0, 0, {172, 173}, {53, 129}, {}, {}},
        {"marks over a tick", {20}, 0, 100, 50, 20, 80, {107, 108}, {}, {43, 44}, {172, 173}},
        {"no scale", {}, 5, 5, 5, 5, 5, {}, {}, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DisplayEvents strip("Tree Depth", 215, 15);
        strip.setData(c.values.data(), static_cast<int>(c.values.size()), c.minimum, c.maximum,
                      c.position, c.mark1, c.mark2);
        const QImage painted = paintedImage(strip);
        const auto in = [](const std::vector<int>& xs, int x) {
            return std::find(xs.begin(), xs.end(), x) != xs.end();
        };
        for (int x = 0; x < 215; ++x) {
            // Marks are drawn over the border, ticks under it.
            QRgb mark = in(c.red, x) ? red : in(c.green, x) ? green : in(c.orange, x) ? orange : 0;
            QRgb middle = mark                             ? mark
                          : in(c.yellow, x)                ? yellow
                          : x == 0 || x == 214             ? black
                          : !c.red.empty() && x < c.red[0] ? blue
                                                           : grey;
            EXPECT_EQ(pixelAt(painted, x, 7), middle) << x;
            EXPECT_EQ(pixelAt(painted, x, 0), mark ? mark : black) << x;
            EXPECT_EQ(pixelAt(painted, x, 14), mark ? mark : black) << x;
        }
    }
}

// The picture's frame and the strips' ground and border follow the palette:
// in the default light one the frame and the border are black and the ground
// light grey, as they always were; in a dark one none of them is light.
TEST(DisplayWindow, FrameAndStripsFollowThePalette) {
    const struct {
        const char* name;
        QPalette palette;
        bool dark;
    } cases[] = {
        {"light", QApplication::palette(), false},
        // A dark palette as Qt works it out from one colour: white text.
        {"dark", QPalette(QColor(53, 53, 53)), true},
    };
    constexpr int kWidth = 64, kHeight = 40;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto expectEdge = [&c](const QImage& painted, int x, int y) {
            const QRgb edge = pixelAt(painted, x, y);
            if (c.dark)
                EXPECT_LE(qGray(edge), 64) << x << "," << y;
            else
                EXPECT_EQ(edge, 0x000000u) << x << "," << y;
        };
        const auto expectGround = [&c](const QImage& painted, int x, int y) {
            const int grey = qGray(pixelAt(painted, x, y));
            if (c.dark)
                EXPECT_LE(grey, 96) << x << "," << y;
            else
                EXPECT_GE(grey, 150) << x << "," << y;
        };

        DisplayWindow picture("Picture", kWidth, kHeight);
        picture.setPalette(c.palette);
        const QImage framed = paintedImage(picture);
        for (int i : {0, 1, 2}) {
            expectEdge(framed, i, kHeight / 2);
            expectEdge(framed, kWidth - 1 - i, kHeight / 2);
            expectEdge(framed, kWidth / 2, i);
            expectEdge(framed, kWidth / 2, kHeight - 1 - i);
        }

        // Before any data, and with the position at the scale's start.
        for (const double maximum : {0.0, 100.0}) {
            DisplayEvents strip("Timeline", kWidth, 15);
            strip.setPalette(c.palette);
            strip.setData(nullptr, 0, 0.0, maximum, 0.0, 0.0, 0.0);
            const QImage painted = paintedImage(strip);
            expectGround(painted, kWidth / 2, 7);
            expectEdge(painted, kWidth / 2, 0);
            expectEdge(painted, kWidth - 1, 7);
        }
    }
}

class PaintCounter : public QWidget {
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent*) override { ++paints; }
};

TEST(ThreadImageRefresh, RepaintsOnTheGuiThreadUntilStopped) {
    PaintCounter widget;
    widget.show();
    QApplication::processEvents();
    widget.paints = 0;
    ThreadImageRefresh refresh(&widget, 1000);
    refresh.start();
    while (widget.paints < 3)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    refresh.stop();
    // What it asked for before the stop is painted; nothing after it.
    QApplication::processEvents();
    const int painted = widget.paints;
    for (int i = 0; i < 20; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        QApplication::processEvents();
    }
    EXPECT_EQ(widget.paints, painted);
}

} // namespace
