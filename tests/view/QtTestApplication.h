#pragma once

// Linking QtTestApplication.cpp into a test program gives it one QApplication
// for all its tests.

#include <QImage>
#include <QRgb>
#include <QWidget>

// What the widget paints, as 32-bit RGB pixels.
QImage paintedImage(QWidget& widget);

// The colour of one pixel without alpha.
inline QRgb pixelAt(const QImage& image, int x, int y) {
    return image.pixel(x, y) & 0xffffffu;
}
