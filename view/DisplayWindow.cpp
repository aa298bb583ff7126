#include "DisplayWindow.h"

#include "DataFiles.h"
#include "Picture.h"

#include <QMetaObject>
#include <QMutex>
#include <QMutexLocker>
#include <QPainter>
#include <QThread>

#include <string>

void postRepaint(QWidget* widget) {
    if (QThread::currentThread() == widget->thread()) {
        widget->update();
        return;
    }
    // By name, so that nothing built in the caller's thread travels with the call.
    QMetaObject::invokeMethod(widget, "update", Qt::QueuedConnection);
}

DisplayWindow::DisplayWindow(const char* name, int width, int height)
    : QWidget(nullptr), picture(alloc_picture(AV_PIX_FMT_RGB32, width, height)), width(width),
      height(height), pictureMutex(new QMutex) {
    setObjectName(QString::fromUtf8(name));
    image = std::make_unique<QImage>(picture->data[0], width, height, picture->linesize[0],
                                     QImage::Format_RGB32);
    setFixedWidth(width);
    setFixedHeight(height);
    for (const std::string& candidate : dataFileCandidates(LOGO_FILE_NAME)) {
        if (logo.load(QString::fromStdString(candidate))) {
            break;
        }
    }
}

DisplayWindow::~DisplayWindow() {
    image.reset();
    free_picture(picture);
    delete pictureMutex;
}

void DisplayWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintedGeneration = pictureGeneration.load();
    if (pictureReady.load()) {
        QMutexLocker locker(pictureMutex);
        painter.drawImage(0, 0, *image);
    } else {
        painter.drawTiledPixmap(QRect(0, 0, width, height), logo, QPoint(0, 0));
    }
    for (int x : {0, 1, 2, width - 1, width - 2, width - 3}) {
        painter.drawLine(x, 0, x, height - 1);
    }
    for (int y : {0, 1, 2, height - 1, height - 2, height - 3}) {
        painter.drawLine(0, y, width - 1, y);
    }
}
