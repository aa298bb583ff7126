#include "SummarySave.h"

#include "ControlState.h"
#include "DescriptorFile.h"
#include "FreedMemory.h"
#include "StoreSide.h"
#include "SummarizeVideo.h"
#include "VideoProbe.h"

#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <functional>
#include <thread>
#include <utility>

namespace {

// The analysis's progress in thousandths, posted only when it moves.
class PostedProgress final : public SummaryProgress {
public:
    explicit PostedProgress(std::function<void(int)> post) : post(std::move(post)) {}
    void begin(double seconds) override { duration = seconds; }
    void update(double position, int64_t) override {
        if (!(duration > 0.0))
            return;
        const int permille = static_cast<int>(std::clamp(position / duration, 0.0, 1.0) * 1000);
        if (permille != last)
            post(last = permille);
    }
    void end() override {}

private:
    const std::function<void(int)> post;
    double duration = 0.0;
    int last = -1;
};

ListFormat listFormat(SaveFormat format) {
    switch (format) {
    case SaveFormat::Csv:
        return ListFormat::Csv;
    case SaveFormat::Edl:
        return ListFormat::Edl;
    case SaveFormat::Chapters:
        return ListFormat::Chapters;
    case SaveFormat::Otio:
        return ListFormat::Otio;
    case SaveFormat::Fcpxml:
        return ListFormat::Fcpxml;
    case SaveFormat::Mlt:
        return ListFormat::Mlt;
    default:
        return ListFormat::Json;
    }
}

const QString kCancelled = QStringLiteral("Cancelled: nothing was saved.");
const int kSaveThreads = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
constexpr auto kAnalysisPoll = std::chrono::milliseconds(100);

} // namespace

bool SummarySave::awaitPlayersAnalysis(const std::string& video, SummaryProgress& progress) {
    // The player analysing the video fills the store with what the save
    // would decode again; waiting for it costs less memory and processor,
    // and leaves Play its share. If it stops short, the save decodes.
    const std::shared_ptr<const AnalysisProgress> underWay = StoreSide::analysisUnderWay(video);
    if (!underWay)
        return true;
    progress.begin(probeVideo(video).duration);
    while (!underWay->ended) {
        if (cancelled)
            return false;
        progress.update(underWay->seconds, 0);
        std::this_thread::sleep_for(kAnalysisPoll);
    }
    return !cancelled;
}

const char* saveExtension(SaveFormat format) {
    switch (format) {
    case SaveFormat::Video:
        return "mp4";
    case SaveFormat::Json:
        return "json";
    case SaveFormat::Csv:
        return "csv";
    case SaveFormat::Edl:
        return "edl";
    case SaveFormat::Chapters:
        return "txt";
    case SaveFormat::ContactSheet:
        return "png";
    case SaveFormat::Otio:
        return "otio";
    case SaveFormat::Fcpxml:
        return "fcpxml";
    case SaveFormat::Mlt:
        return "mlt";
    }
    return "";
}

SummarySave::SummarySave(QObject* parent) : QObject(parent) {}

SummarySave::~SummarySave() {
    cancelled = true;
    worker.stop();
}

bool SummarySave::start(const SaveRequest& request) {
    if (busy.exchange(true))
        return false;
    cancelled = false;
    // The player's buffer gives the encoder room while the save runs.
    controlState().core.submit(command::Saving{true});
    worker.start([this, request] { run(request); });
    return true;
}

void SummarySave::run(const SaveRequest& request) {
    VideoTask task;
    task.video = request.video;
    task.settings = request.settings;
    if (request.format == SaveFormat::Video)
        task.output = request.target;
    else if (request.format == SaveFormat::ContactSheet)
        task.contactSheet = request.target;
    else
        task.lists = {{listFormat(request.format), request.target}};
    // Read from the store when it holds the whole analysis, or from the
    // tool's VIDEO.tessaro beside the video, else analysed now and kept in
    // the store, as the tool does.
    task.sources = AnalysisSources::storeOnly(StoreConfig::fromEnvironment());
    if (task.sources.store.enabled)
        task.sources.descriptorFiles = {request.video + kDescriptorFileSuffix};
    // The video plays on meanwhile: a thread a core, at most four. Each of
    // x264's threads holds pictures of its own (about 23 MB at 1080p), and
    // left to itself it takes one and a half threads a core.
    const int threads = request.threads > 0 ? request.threads : kSaveThreads;
    task.decoderThreads = threads;
    task.encoderThreads = threads;
    task.leanEncoder = true;
    PostedProgress progress([this](int permille) {
        const std::lock_guard lock(mutex);
        posted.permille = permille;
        post();
    });
    task.progress = &progress;
    if (!awaitPlayersAnalysis(request.video, progress))
        return finish(false, kCancelled);

    QStringList notes;
    VideoOutcome outcome;
    try {
        outcome = summarizeVideo(task, cancelled, [&notes](const std::string& note) {
            notes << QString::fromStdString(note);
        });
    } catch (const std::exception& e) {
        outcome.status = EXIT_INTERNAL;
        outcome.error = e.what();
    }
    const QString name = QFileInfo(QString::fromStdString(request.target)).fileName();
    if (outcome.status == EXIT_INTERRUPTED)
        return finish(false, kCancelled);
    if (outcome.status == EXIT_USAGE)
        return finish(false, QStringLiteral("Not saved: %1 is the video itself.").arg(name));
    if (outcome.status != EXIT_OK) {
        const QString error = QString::fromStdString(outcome.error);
        std::fprintf(stderr, "tessaro: the summary was not saved: %s\n", qPrintable(error));
        return finish(false, QStringLiteral("Not saved: %1").arg(error));
    }
    // An empty summary writes no video and no sheet; the notes say so.
    if (outcome.written.empty())
        return finish(false, notes.isEmpty() ? QStringLiteral("Nothing was saved.")
                                             : QStringLiteral("Not saved: ") + notes.join(u' '));
    notes.prepend(QStringLiteral("Saved %1.").arg(name));
    finish(true, notes.join(u'\n'));
}

void SummarySave::finish(bool saved, const QString& message) {
    // On the save's own thread, whose tree, decoder and encoder are gone.
    returnFreedMemory();
    controlState().core.submit(command::Saving{false});
    const std::lock_guard lock(mutex);
    posted.ended = true;
    posted.saved = saved;
    posted.message = message;
    busy = false;
    post();
}

void SummarySave::post() {
    // One call on its way at a time; it takes whatever is newest then.
    if (!posted.onItsWay)
        QMetaObject::invokeMethod(this, "deliver", Qt::QueuedConnection);
    posted.onItsWay = true;
}

void SummarySave::deliver() {
    Posted now;
    {
        const std::lock_guard lock(mutex);
        now = std::exchange(posted, Posted{});
    }
    if (now.permille >= 0)
        emit progressed(now.permille);
    if (now.ended)
        emit finished(now.saved, now.message);
}
