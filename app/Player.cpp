#include "Player.h"

#include "AudioOutput.h"
#include "ControlState.h"
#include "DisplayEvents.h"
#include "DisplayWindow.h"
#include "EngineFailure.h"
#include "FreedMemory.h"
#include "ListPlayback.h"
#include "MainWindow.h"
#include "OpeningFailure.h"
#include "Mpris.h"
#include "PlaybackQueue.h"
#include "PlayerMemory.h"
#include "ReadableLength.h"
#include "SaveDialog.h"
#include "Screenshot.h"
#include "SliderLCD.h"
#include "StoreSide.h"
#include "StateOnScreen.h"
#include "StoreTimeline.h"
#include "SubtitleFeed.h"
#include "ThreadDecoding.h"
#include "ThreadImageRefresh.h"
#include "ThreadVisualitation.h"
#include "ThumbnailHover.h"
#include "TrackChoice.h"
#include "VideoReader.h"
#include "WindowControl.h"
#include "WindowFit.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFileInfo>
#include <QSlider>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include <csignal>
#include <cstdio>
#include <deque>
#include <memory>
#include <unistd.h>

namespace {
constexpr const char* kCannotOpen = "\nERROR: Cannot open video %s";
// How long the picture says the volume or mute after a change.
constexpr int64_t kSoundNoticeMs = 1500;
// How long the window says that the sound device was lost.
constexpr int kLossNoticeMs = 5000;
constexpr const char* kBadLength = "\nERROR: Incorrect video length (%lu)";
constexpr int kDisplayWidth = 445;
constexpr int kDisplayHeight = 335;
constexpr uint32_t kRefreshPeriodMicroseconds = 60000;
constexpr int kResumeNoticeMs = 2000;
constexpr int kNoticeMs = 3000;

void announce(const char* message) {
    std::printf("%s", message);
    std::fflush(stdout);
}

// Ctrl-C or a termination request from the console closes the window the
// ordinary way, so the workers stop and the run ends as if the user closed it.
int signalPipe[2] = {-1, -1};

void onTerminationSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(signalPipe[1], &byte, 1);
}

std::unique_ptr<QSocketNotifier> closeOnTerminationSignals(QWidget* window) {
    if (pipe(signalPipe) != 0)
        return nullptr;
    auto notifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, window, [window] {
        char byte = 0;
        [[maybe_unused]] const ssize_t got = read(signalPipe[0], &byte, 1);
        window->close();
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    return notifier;
}
} // namespace

bool probeVideo(const char* path, double* seconds) {
    auto probe = std::make_unique<VideoReader>(path);
    if (probe->status() != VideoReader::OK && probe->audioRefused()) {
        // The reader has said why it refuses the sound; the pictures may still play.
        ReaderOptions picturesOnly;
        picturesOnly.audio = false;
        probe = std::make_unique<VideoReader>(path, picturesOnly);
    }
    if (probe->status() != VideoReader::OK) {
        // The reader has said why; a reader without a stream answers no questions.
        std::printf(kCannotOpen, path);
        std::fflush(stdout);
        return false;
    }
    int width = 0;
    int height = 0;
    probe->getVideoSize(&width, &height);
    const int64_t length = probe->getVideoLength();
    *seconds = probe->timestampToSeconds(length);
    if (length <= 0)
        std::printf(kBadLength, static_cast<unsigned long>(static_cast<uint32_t>(length)));
    return true;
}

namespace {

// The threads and the playback queue of the video playing.
class Session {
public:
    Session(const std::string& path, DisplayWindow* display, ControlState& state,
            AudioOutput& audio, const std::function<void(const EngineFailure&)>& onFailure,
            TrackChoice& tracks)
        : playbackQueue(makePlaybackQueue()),
          decoding(std::make_unique<ThreadDecoding>(path.c_str(), *playbackQueue, state.core,
                                                    state.settings, &audio)),
          visualization(std::make_unique<ThreadVisualitation>(*playbackQueue, display, state.core)),
          storeTimeline(std::make_unique<StoreTimeline>(state.timelineEvents)),
          store(std::make_unique<StoreSide>(path, StoreConfig::fromEnvironment(), state.settings,
                                            storeTimeline->hooks())),
          subtitles(std::make_unique<SubtitleFeed>(tracks.noticeFromWorker())) {
        PlayerCore& core = state.core;
        decoding->loop().setAudioStream(tracks.startingAudioStream());
        visualization->setSubtitles(subtitles->lines);
        subtitles->show(tracks.shownSubtitles());
        decoding->loop().setStoreBoard(&store->board);
        decoding->setFailureHandler(onFailure);
        // Each side of the queue wakes the other: a picture queued wakes the
        // screen, a picture taken makes room for the decoding thread.
        playbackQueue->setOnPut([&core] { core.screenWakeup.notify(); });
        playbackQueue->setOnTaken([&core] { core.wakeup.notify(); });
        // The sound heard is the clock the pictures follow, when there is sound.
        visualization->playbackPacer().setMasterClock([&audio] { return audio.presentationTime(); },
                                                      [&audio] { return audio.clockPending(); });
    }

    void start() {
        store->start();
        decoding->start();
        announce("\nDecoding thread initiated");
        visualization->start();
        announce("\nVisualitation thread initiated");
    }

    // Stops both workers and waits for them, before the queue goes.
    ~Session() {
        visualization->requestStop();
        decoding->requestStop();
        subtitles->requestStop();
        store->stop();
        visualization->stop();
        decoding->stop();
        decoding.reset();
        visualization.reset();
        subtitles.reset();
        store.reset();
        storeTimeline.reset();
    }

    std::unique_ptr<PlaybackQueue> playbackQueue;
    std::unique_ptr<ThreadDecoding> decoding;
    std::unique_ptr<ThreadVisualitation> visualization;
    std::unique_ptr<StoreTimeline> storeTimeline;
    // Its board outlives the decoding loop that reads it.
    std::unique_ptr<StoreSide> store;
    // Its lines outlive the screen's thread that draws them.
    std::unique_ptr<SubtitleFeed> subtitles;
};

// Where and how the video starts: where it was left, when it was; else at
// its start in `mode`.
void placeStart(ControlState& state, const std::optional<ResumePoint>& resume, PlayerMode mode) {
    const double at = resume ? resume->seconds : 0.0;
    // A resumed video starts with a seek there.
    state.core.begin(resume ? resume->mode : mode, at, resume.has_value());
    state.positionSlider->setValue(static_cast<int>(at));
}

// The picture on screen, in colour at the video's own size.
QImage imageOnScreen(const Session* session) {
    return session ? pictureImage(session->visualization->frameOnScreen().picture) : QImage();
}

} // namespace

int runPlayer(QApplication& application, const char* videoPath, double videoSeconds,
              const std::function<void(const PlayerParts&)>& ready, bool remember,
              const PlayList& list, const QStringList& passedOver) {
    keepLargeBlocksApart();
    auto mainWindow = std::make_unique<QWidget>();
    mainWindow->setWindowTitle(
        titleFor(videoPath, PlayerState{}, QString::fromStdString(list.place())));
    // Adopted by the window's layout, so the window deletes it.
    auto* displayWindow = new DisplayWindow("VIDEO", kDisplayWidth, kDisplayHeight);

    buildMainWindow(mainWindow.get(), displayWindow, videoSeconds);
    const auto signalNotifier = closeOnTerminationSignals(mainWindow.get());
    ControlState& state = controlState();
    PlayerCore& core = state.core;
    auto* windowControl = new WindowControl(mainWindow.get(), displayWindow, core);
    auto* thumbnails =
        new ThumbnailHover(state.timelineEvents, state.positionSlider, mainWindow.get());
    // A click on a kept span of the summary map goes there.
    state.timelineEvents->onSpanClicked = [windowControl](double start) {
        windowControl->seekTo(start);
    };

    // The refresh brings to the screen a picture whose own repaint request
    // was merged away; an unchanged picture is not painted again.
    auto refresh = std::make_unique<ThreadImageRefresh>(
        displayWindow, kRefreshPeriodMicroseconds,
        [displayWindow] { return displayWindow->pictureIsNew(); });
    // One output for the whole run: the device is opened once.
    AudioOutput audio;
    std::unique_ptr<PlayerMemory> memory = remember ? std::make_unique<PlayerMemory>() : nullptr;
    if (memory) {
        // Before the sound's notice is wired: a start says nothing about it.
        state.volumeSlider->setValue(memory->volumePercent());
        state.muteBox->setChecked(memory->muted());
    }
    core.soundChanged(state.volumeSlider->value(), state.muteBox->isChecked(), 0);
    audio.setVolume(state.volumeSlider->value() / 100.0);
    audio.setMuted(state.muteBox->isChecked());
    NoticeTurns notices(displayWindow);
    const auto showNotice = [&notices](const QString& text, int milliseconds) {
        notices.show(text, milliseconds);
    };
    // A device lost while playing: the pictures play on alone, and the
    // window and the console say so.
    audio.setLossHandler([displayWindow, &notices](const std::string& why) {
        QMetaObject::invokeMethod(
            displayWindow,
            [&notices, why] {
                announce(("\n" + why).c_str());
                notices.show(QString::fromStdString(why), kLossNoticeMs);
            },
            Qt::QueuedConnection);
    });
    const auto soundChanged = [&core, &state] {
        core.soundChanged(state.volumeSlider->value(), state.muteBox->isChecked(), kSoundNoticeMs);
    };
    displayWindow->onResized = [&core] { core.screenWakeup.notify(); };
    QObject::connect(state.volumeSlider, &QSlider::valueChanged, mainWindow.get(),
                     [&audio, soundChanged](int percent) {
                         audio.setVolume(percent / 100.0);
                         soundChanged();
                     });
    QObject::connect(state.muteBox, &QCheckBox::toggled, mainWindow.get(),
                     [&audio, soundChanged](bool on) {
                         audio.setMuted(on);
                         soundChanged();
                     });
    QObject::connect(windowControl, &WindowControl::volumeStep, mainWindow.get(),
                     [&state](double change) {
                         state.volumeSlider->setValue(state.volumeSlider->value() +
                                                      static_cast<int>(std::lround(change * 100)));
                     });
    QObject::connect(windowControl, &WindowControl::muteToggled, mainWindow.get(),
                     [&state] { state.muteBox->toggle(); });
    std::string playingPath = videoPath;
    std::string playingKey;
    auto* tracks = new TrackChoice(
        core, [showNotice](const QString& text) { showNotice(text, kNoticeMs); }, mainWindow.get());
    tracks->attach(*windowControl);
    // The title says what the player is doing; the picture says when it has ended.
    StateOnScreen onScreen(mainWindow.get(), displayWindow);
    ListPlayback playList(list.size() > 0 ? list : PlayList({videoPath}), core, mainWindow.get(),
                          displayWindow, notices);
    onScreen.setPlace(playList.place());
    windowControl->videoThere = [&playList](int direction) { return playList.has(direction); };
    state.onShownState = [&](const PlayerState& now) {
        onScreen.show(playingPath, now);
        playList.follow(now);
    };
    if (memory) {
        memory->rememberOpened(QString::fromUtf8(videoPath));
        windowControl->recentVideos = [&memory] { return memory->recentVideos(); };
        if (!memory->settingsShown())
            setSettingsShown(state, false);
    }
    QObject::connect(windowControl, &WindowControl::settingsShownChanged, mainWindow.get(),
                     [&memory](bool shown) {
                         if (memory)
                             memory->rememberSettingsShown(shown);
                     });
    // A video the list went on from at its end (or its summary's) is
    // remembered as finished: it starts again at its start.
    const auto rememberPlaying = [&](bool finished) {
        if (!memory)
            return;
        const PlayerState now = core.state.snapshot();
        memory->remember(playingKey,
                         {finished ? now.duration : now.position, windowControl->playingMode()});
        memory->rememberTracks(playingKey, tracks->chosen());
        memory->rememberSound(state.volumeSlider->value(), state.muteBox->isChecked());
        showNotice(memory->takeNotice(), kNoticeMs);
    };
    // Where the video opened starts, and the notice that says so.
    const auto resumeFor = [&](const std::string& path, double seconds, PlayerMode mode) {
        playingPath = path;
        thumbnails->setVideo(path);
        playingKey = memory ? PlayerMemory::keyOf(path) : std::string();
        tracks->open(path, memory ? memory->tracksFor(playingKey) : TrackMemory{});
        const std::optional<ResumePoint> resume =
            memory ? memory->resumeFor(playingKey, seconds) : std::nullopt;
        placeStart(state, resume, mode);
        if (memory)
            showNotice(memory->takeNotice(), kNoticeMs);
        if (!resume)
            return;
        const QString text =
            QStringLiteral("Resumed at %1%2 \u2014 Home for the start")
                .arg(timeText(resume->seconds, seconds), resume->mode == PlayerMode::Summary
                                                     ? QStringLiteral(" in Summary")
                                                     : QString());
        showNotice(text, kResumeNoticeMs);
    };
    // An engine failure on any thread ends the run here, with its message
    // and status, once.
    std::optional<int> failedWith;
    const auto endWith = [&application, &failedWith](const EngineFailure& failure) {
        const std::string message = failure.what();
        const int status = failure.status;
        QMetaObject::invokeMethod(
            &application,
            [&application, &failedWith, message, status] {
                if (failedWith)
                    return;
                failedWith = status;
                announce(message.c_str());
                application.exit(status);
            },
            Qt::QueuedConnection);
    };
    displayWindow->onFailure = endWith;
    for (const QString& text : passedOver)
        showNotice(text, kNoticeMs);
    resumeFor(videoPath, videoSeconds, PlayerMode::Play);
    auto session = std::make_unique<Session>(videoPath, displayWindow, state, audio, endWith,
                                              *tracks);
    new ReadableLength(core, showNotice, mainWindow.get()); // for every video of the run

    QObject::connect(windowControl, &WindowControl::speedChosen, mainWindow.get(), setPlaySpeed);
    QObject::connect(windowControl, &WindowControl::copyRequested, mainWindow.get(), [&] {
        const QImage image = imageOnScreen(session.get());
        if (image.isNull())
            return;
        QGuiApplication::clipboard()->setImage(image);
        showNotice(QStringLiteral("Picture copied"), kNoticeMs);
    });
    QObject::connect(windowControl, &WindowControl::saveRequested, mainWindow.get(),
                     [&] { showSaveDialog(mainWindow.get(), playingPath); });
    QObject::connect(windowControl, &WindowControl::screenshotRequested, mainWindow.get(), [&] {
        const QString written = saveScreenshot(
            imageOnScreen(session.get()), screenshotFolder(),
            screenshotName(QString::fromStdString(playingPath), core.state.snapshot().position,
                           core.state.snapshot().duration));
        showNotice(written.isEmpty() ? QStringLiteral("The picture could not be saved")
                                     : QStringLiteral("Saved ") + written,
                   kNoticeMs);
    });

    refresh->start();
    announce("\nRefreshing thread initiated");
    const auto tellReady = [&] {
        if (ready)
            ready({mainWindow.get(), session->playbackQueue.get(), session->decoding.get(),
                   session->visualization.get(), refresh.get(), &audio, session->store.get()});
    };
    tellReady();
    session->start();

    // The desktop's media keys and controls, each doing what the window does.
    MprisActions actions = mediaControls(*windowControl, playList, state, *mainWindow);
    tracks->onSubtitlesChosen = [&session](const std::optional<MediaTrack>& track) {
        if (session)
            session->subtitles->show(track);
    };
    auto mpris = std::make_unique<MprisService>(core.state, std::move(actions));
    mpris->setTrack(QString::fromUtf8(videoPath), videoSeconds);
    if (!mpris->start()) {
        showNotice(mpris->notice(), kNoticeMs);
        mpris.reset();
    }

    // As on close: the workers stop before anything they use changes.
    const auto switchTo = [&](const std::string& path, double seconds, PlayerMode mode,
                              bool finished) {
        session.reset();
        rememberPlaying(finished);
        setVideoDuration(seconds);
        onScreen.setPlace(playList.place());
        resumeFor(path, seconds, mode);
        state.timelineEvents->setData(nullptr, 0, 0.0, seconds, 0.0, 0.0, 0.0);
        mainWindow->setWindowTitle(titleFor(path, core.state.snapshot(), playList.place()));
        if (memory)
            memory->rememberOpened(QString::fromStdString(path));
        if (mpris)
            mpris->setTrack(QString::fromStdString(path), seconds);
        session = std::make_unique<Session>(path, displayWindow, state, audio, endWith, *tracks);
        tellReady();
        session->start();
    };
    playList.setSwitch(switchTo);
    QObject::connect(windowControl, &WindowControl::openRequested, mainWindow.get(),
                     [&](const QString& chosen) { playList.openOne(chosen); });
    QObject::connect(windowControl, &WindowControl::openListRequested, mainWindow.get(),
                     [&](const QStringList& chosen) { playList.openSeveral(chosen); });
    QObject::connect(windowControl, &WindowControl::videoStepRequested, mainWindow.get(),
                     [&](int direction) { playList.step(direction); });

    const int result = application.exec();
    // It speaks of this run's window and notices.
    state.onShownState = {};
    if (!failedWith)
        std::printf("\nFinished %d", result);

    // Stop every worker before the window they use goes away.
    mpris.reset();
    refresh->stop();
    session.reset();
    rememberPlaying(false);
    audio.setLossHandler({});
    refresh.reset();
    mainWindow.reset();
    return failedWith.value_or(0);
}
