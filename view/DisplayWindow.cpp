#include "DisplayWindow.h"

#include "DataFiles.h"
#include "EngineFailure.h"
#include "Picture.h"

#include <QMetaObject>
#include <QMutex>
#include <QMutexLocker>
#include <QPainter>
#include <QResizeEvent>
#include <QThread>

#include <cstring>
#include <string>

void postRepaint(QWidget* widget) {
    if (QThread::currentThread() == widget->thread()) {
        widget->update();
        return;
    }
    // By name, so that nothing built in the caller's thread travels with the call.
    QMetaObject::invokeMethod(widget, "update", Qt::QueuedConnection);
}

QColor frameColour(const QPalette& palette) {
    const QColor text = palette.color(QPalette::WindowText);
    const QColor shadow = palette.color(QPalette::Shadow);
    return qGray(text.rgb()) <= qGray(shadow.rgb()) ? text : shadow;
}

DisplayWindow::DisplayWindow(const char* name, int width, int height)
    : QWidget(nullptr), picture(alloc_picture(AV_PIX_FMT_RGB32, width, height)), width(width),
      height(height), pictureMutex(new QMutex), constructedWidth(width),
      constructedHeight(height) {
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

void DisplayWindow::setResizable() {
    resizable = true;
    setMinimumSize(width, height);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void DisplayWindow::resizeEvent(QResizeEvent*) {
    if (!resizable)
        return;
    {
        QMutexLocker locker(pictureMutex);
        if (QWidget::width() == width && QWidget::height() == height)
            return;
        replacePicture();
    }
    if (onResized)
        onResized();
}

void DisplayWindow::replacePicture() {
    // A new picture at the new size, the old one stretched over it until the
    // writer draws again (a paused picture is not lost for a moment). The
    // old one stays when there is no memory for it, and the program ends
    // with the failure.
    AVFrame* grown = nullptr;
    try {
        grown = alloc_picture(AV_PIX_FMT_RGB32, QWidget::width(), QWidget::height());
    } catch (const EngineFailure& failure) {
        if (onFailure)
            onFailure(failure);
        return;
    }
    std::memset(grown->data[0], 0, static_cast<size_t>(grown->linesize[0]) * QWidget::height());
    auto grownImage = std::make_unique<QImage>(grown->data[0], QWidget::width(),
                                               QWidget::height(), grown->linesize[0],
                                               QImage::Format_RGB32);
    if (pictureReady.load()) {
        QPainter stretch(grownImage.get());
        stretch.drawImage(grownImage->rect(), *image);
    }
    image = std::move(grownImage);
    free_picture(picture);
    picture = grown;
    width = QWidget::width();
    height = QWidget::height();
    ++sizeGeneration;
}

void DisplayWindow::showNotice(const QString& text, int milliseconds) {
    notice = text;
    if (noticeTimer == nullptr) {
        noticeTimer = new QTimer(this);
        noticeTimer->setSingleShot(true);
        connect(noticeTimer, &QTimer::timeout, this, [this] {
            notice.clear();
            update();
        });
    }
    noticeTimer->start(milliseconds);
    update();
}

void DisplayWindow::withdrawNotice(const QString& text) {
    if (notice != text)
        return;
    notice.clear();
    update();
}

void DisplayWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintedGeneration = pictureGeneration.load();
    QMutexLocker locker(pictureMutex);
    if (pictureReady.load()) {
        painter.drawImage(0, 0, *image);
    } else {
        painter.drawTiledPixmap(QRect(0, 0, width, height), logo, QPoint(0, 0));
    }
    painter.setPen(frameColour(palette()));
    for (int x : {0, 1, 2, width - 1, width - 2, width - 3}) {
        painter.drawLine(x, 0, x, height - 1);
    }
    for (int y : {0, 1, 2, height - 1, height - 2, height - 3}) {
        painter.drawLine(0, y, width - 1, y);
    }
    if (!notice.isEmpty()) {
        const QRect band(0, height - 40, width, 30);
        painter.fillRect(band, QColor(0, 0, 0, 200));
        painter.setPen(Qt::white);
        painter.drawText(band, Qt::AlignCenter | Qt::TextWordWrap, notice);
    }
}
