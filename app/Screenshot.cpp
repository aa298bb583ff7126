#include "Screenshot.h"

#include "ReadableTime.h"

#include "ColourConversion.h"
#include "Picture.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <opencv2/core.hpp>

#include <cmath>

QImage pictureImage(const Picture& picture) {
    if (!picture || picture.width() <= 0 || picture.height() <= 0)
        return {};
    QImage image(picture.width(), picture.height(), QImage::Format_RGB32);
    if (image.isNull())
        return {};
    // RGB32 lies in memory as blue, green, red, opaque: the window picture's order.
    cv::Mat pixels(image.height(), image.width(), CV_8UC4, image.bits(),
                   static_cast<size_t>(image.bytesPerLine()));
    yuv420p_to_bgr_scaled(picture.avFrame(), picture.width(), picture.height(), pixels);
    return image;
}

QString screenshotName(const QString& videoPath, double seconds, double total) {
    const int64_t millis = std::llround(std::max(0.0, seconds) * 1000.0);
    return QStringLiteral("%1_%2.%3.png")
        .arg(QFileInfo(videoPath).completeBaseName(),
             QString::fromStdString(readableTime(seconds, total, '-')))
        .arg(millis % 1000, 3, 10, QLatin1Char('0'));
}

QString screenshotFolder() {
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (!pictures.isEmpty() && QFileInfo(pictures).isDir())
        return pictures;
    return QDir::homePath();
}

QString saveScreenshot(const QImage& image, const QString& folder, const QString& name) {
    if (image.isNull())
        return {};
    const QDir dir(folder);
    const QString stem = QFileInfo(name).completeBaseName();
    QString path = dir.filePath(name);
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = dir.filePath(QStringLiteral("%1-%2.png").arg(stem).arg(n));
    return image.save(path, "PNG") ? path : QString();
}
