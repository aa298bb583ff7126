#pragma once

// A small picture of the video where the pointer rests over the timeline or
// the position slider: the fragment's thumbnail from the descriptor store,
// with the time there under it; where the analysis has not reached it yet,
// the thumbnail of the key frame at or before it (see Glance); the time
// alone where the store has neither. The store is read on a worker thread, the latest request
// only; the last few pictures are kept on the GUI thread.

#include "DescriptorStore.h"
#include "Glance.h"
#include "Worker.h"

#include <QImage>
#include <QObject>

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class QLabel;
class QSlider;
class QWidget;
class DisplayEvents;

// A time of a video of `total` seconds as the window shows it (see readableTime).
QString timeText(double seconds, double total);

class ThumbnailHover : public QObject {
    Q_OBJECT

public:
    // Watches both widgets; they must outlive this object.
    ThumbnailHover(DisplayEvents* timeline, QSlider* slider, QObject* parent = nullptr);
    ~ThumbnailHover() override;

    // The video whose pictures are shown from now on.
    void setVideo(const std::string& path);
    // The popup, for tests: hidden when the pointer is elsewhere.
    QWidget* popup() const { return box; }
    bool showsPicture() const;
    QString timeShown() const;
    // Answers of the store taken so far, for tests to wait on.
    int answers() const { return answered; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Request {
        uint64_t video = 0;
        std::string path;
        double seconds = 0.0;
    };
    struct Answer {
        uint64_t video = 0;
        double frameRate = 0.0;
        double seconds = 0.0;
        int64_t fragment = -1;
        QImage image;
        bool provisional = false; // a key frame's, kept only until the fragment's own comes
    };
    struct Shown {
        int64_t fragment = -1;
        QImage image;
    };

    void hover(QWidget* over, double seconds, int x);
    void showAt(QWidget* over, int x);
    // On the GUI thread: the worker's newest answer.
    Q_INVOKABLE void deliver();
    // On the GUI thread: what the worker found for a request.
    void found(const Answer& answer);
    // On the worker.
    void lookUp();
    QImage thumbnailOf(const Request& request, Answer* answer);
    // The JPEG of the glance's key frame at or before the time (empty when
    // the store holds no glance of the video).
    std::string glanceThumbnail(double seconds);

    DisplayEvents* const timeline;
    QSlider* const slider;
    QWidget* box;
    QLabel* picture;
    QLabel* time;

    // GUI thread.
    uint64_t video = 0;
    std::string path;
    double frameRate = 0.0; // known once the store has answered for this video
    double hovered = -1.0;  // seconds under the pointer; negative while hidden
    QWidget* lastOver = nullptr;
    int lastX = 0;
    std::deque<Shown> recent;
    int answered = 0;

    // Between the GUI thread and the worker.
    std::mutex mutex;
    std::optional<Request> pending;
    std::optional<Answer> answer;

    // The worker's own.
    std::unique_ptr<DescriptorStore> store;
    bool storeTried = false;
    std::optional<StoredEntry> entry;
    uint64_t storeVideo = 0;
    VideoKey key;
    std::chrono::steady_clock::time_point lastFind;
    std::optional<Glance> glance;
    std::chrono::steady_clock::time_point lastGlanceLook;
    Worker worker;
};
