#pragma once

// The picture on screen as the video holds it (its own size, not the
// window's), saved as PNG or put on the clipboard.

#include <QImage>
#include <QString>

class Picture;

// The picture in colour at its own size; a null image without one.
QImage pictureImage(const Picture& picture);
// "film_1-02.345.png" for film.mp4 at 62.345 s: the time as the window shows
// it for a video of `total` seconds, dashes for colons, and its milliseconds.
QString screenshotName(const QString& videoPath, double seconds, double total);
// The user's pictures folder, else the home folder.
QString screenshotFolder();
// Writes image into folder under name (or name-2, name-3... when taken);
// the path written, or empty when it could not be.
QString saveScreenshot(const QImage& image, const QString& folder, const QString& name);
