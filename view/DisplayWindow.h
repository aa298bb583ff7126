#pragma once

// The fixed-size picture widget. The visualization thread converts each shown
// frame into `picture` under `pictureMutex` and then sets `pictureReady`; the
// GUI thread paints it with a three-pixel black frame. Until the first picture
// the widget shows the logo tiled over its area.

#include "EngineFailure.h"

#include <QImage>
#include <QPixmap>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

extern "C" {
#include <libavutil/frame.h>
}

class QMutex;

// Name of the logo file shown before the first picture.
inline constexpr char LOGO_FILE_NAME[] = "Logo-small.bmp";

// Asks for a repaint of `widget` on the GUI thread. Callable from any thread.
void postRepaint(QWidget* widget);

// The colour of the frame around the picture and the strips: the darker of
// the palette's text and shadow, which is black in a light theme (as the
// text) and dark in a dark one (as the shadow), never the dark theme's light text.
QColor frameColour(const QPalette& palette);

class DisplayWindow : public QWidget {
public:
    DisplayWindow(const char* name, int width, int height);
    ~DisplayWindow() override;
    DisplayWindow(const DisplayWindow&) = delete;
    DisplayWindow& operator=(const DisplayWindow&) = delete;

    // The name given at construction (also the object name); not displayed.
    QString name() const { return objectName(); }

    // From now on the widget takes whatever room its layout gives it, at
    // least its size at construction, and its picture follows its size.
    void setResizable();
    // The size given at construction: the least a resizable one takes.
    int startWidth() const { return constructedWidth; }
    int startHeight() const { return constructedHeight; }

    // Packed 32-bit RGB (AV_PIX_FMT_RGB32), width x height, owned. Read and
    // written only while holding pictureMutex: a resize replaces it.
    AVFrame* picture;
    // Size of the picture in pixels (the widget's own size), under pictureMutex.
    int32_t width;
    int32_t height;
    // Counts the resizes, so that the picture's writer can tell it must draw
    // its last picture again at the new size.
    std::atomic<uint64_t> sizeGeneration{0};
    // Set by the picture's writer after the first picture; never cleared.
    std::atomic<bool> pictureReady{false};
    // Counts the pictures written (the writer adds one after each) and the
    // last count painted, so that a refresh can tell whether one is new.
    std::atomic<uint64_t> pictureGeneration{0};
    std::atomic<uint64_t> paintedGeneration{0};
    bool pictureIsNew() const { return pictureGeneration.load() != paintedGeneration.load(); }
    // Guards `picture` between its writer and paintEvent. Owned.
    QMutex* const pictureMutex;

    // A line of text shown over the picture for a while (a file that could
    // not be opened, say). GUI thread only.
    void showNotice(const QString& text, int milliseconds);
    // Takes the notice off early, if it is still `text`.
    void withdrawNotice(const QString& text);
    // Called on the GUI thread once the picture has a new size, for its
    // writer to draw again. Set before the widget is shown.
    std::function<void()> onResized;
    // Called on the GUI thread when there was no memory for a bigger
    // picture (the old one stays); the program ends with the failure.
    std::function<void(const EngineFailure&)> onFailure;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    const int constructedWidth;
    const int constructedHeight;
    // A picture at the widget's size, under pictureMutex: the old one
    // stretched to it until the writer draws again.
    void replacePicture();
    // Wraps the pixels of `picture` without copying.
    std::unique_ptr<QImage> image;
    QPixmap logo;
    bool resizable = false;
    QString notice;
    QTimer* noticeTimer = nullptr;
};
