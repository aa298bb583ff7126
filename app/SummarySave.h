#pragma once

// Saving the whole video's summary from the player, in one of the tool's
// forms and by the tool's own writers (see SummarizeVideo): the work runs on
// a worker thread, its progress and its end are posted to the GUI thread.
// What is written goes under a temporary name beside the target and is
// renamed at the end, so a cancel or a failure leaves nothing behind. While
// the player is analysing the same video for the store, the save waits for
// that analysis instead of decoding the video beside it.

#include "SummarySettings.h"
#include "Worker.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <mutex>
#include <string>

class SummaryProgress;

enum class SaveFormat { Video, Json, Csv, Edl, Chapters, ContactSheet, Otio, Fcpxml, Mlt };

struct SaveRequest {
    std::string video;
    std::string target;
    SaveFormat format = SaveFormat::Video;
    SummarySettings settings;
    int threads = 0; // decoding and encoding threads; 0 for one a core, at most four
};

// The file name's extension that goes with a format, without the dot.
const char* saveExtension(SaveFormat format);

class SummarySave : public QObject {
    Q_OBJECT

public:
    explicit SummarySave(QObject* parent = nullptr);
    // Cancels a save under way and waits for it.
    ~SummarySave() override;

    // Starts a save; false when one is under way.
    bool start(const SaveRequest& request);
    void cancel() { cancelled = true; }
    bool running() const { return busy; }

signals:
    // Thousandths of the video analysed.
    void progressed(int permille);
    // saved: the file is in place; message: what to tell the user either way.
    void finished(bool saved, const QString& message);

private:
    // What the worker hands the GUI thread, the newest of each.
    struct Posted {
        int permille = -1;
        bool ended = false;
        bool saved = false;
        QString message;
        bool onItsWay = false;
    };

    void run(const SaveRequest& request);
    // Waits while the player analyses the video; false when cancelled.
    bool awaitPlayersAnalysis(const std::string& video, SummaryProgress& progress);
    void finish(bool saved, const QString& message);
    // Under mutex: makes sure a call to deliver is on its way.
    void post();
    Q_INVOKABLE void deliver();

    std::mutex mutex;
    Posted posted;
    Worker worker;
    std::atomic<bool> cancelled{false};
    std::atomic<bool> busy{false};
};
