#pragma once

// Widget tests need one QApplication for the whole test program. Linking this
// file's .cpp into a test program creates it before the first test and
// destroys it after the last.

#include <QImage>
#include <QRgb>
#include <QWidget>

// What the widget paints, as 32-bit RGB pixels.
QImage paintedImage(QWidget& widget);

// The colour of one pixel without alpha.
inline QRgb pixelAt(const QImage& image, int x, int y) {
    return image.pixel(x, y) & 0xffffffu;
}
