#include "PlayerLoop.h"

#include "FragmentDecoder.h"
#include "SoundSink.h"
#include "StepTimes.h"
#include "StoredVideo.h"
#include "VideoReader.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {
constexpr const char* kDecodingStart = "\nDecoding: [%s input]";
constexpr const char* kTotalLength = "\n[DECODING]Total video length: %f";
constexpr const char* kSoundRefused =
    "\nThe sound of %s cannot be decoded: its pictures play alone";
// Frame periods outside these bounds are taken as the nearer bound: a file
// may declare a million frames a second or one in a million seconds.
constexpr double kShortestPeriod = 0.001;
constexpr double kLongestPeriod = 5.0;

// The playback reader decodes what is shown (its sound comes by time, from a
// reader of its own), and opens the sound when there is a device to hear it,
// to say when it cannot be decoded.
ReaderOptions playbackOptions(const SoundSink* audio, const std::atomic<bool>* stop) {
    ReaderOptions options = SummaryFeed::readerOptions(stop);
    options.audio = audio != nullptr && audio->available();
    options.ownBuffers = true; // they wait in the playback queue
    return options;
}

int32_t wholeSecond(double seconds) {
    if (!(seconds > 0.0))
        return 0;
    return seconds >= static_cast<double>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(seconds);
}
} // namespace

PlayerLoop::PlayerLoop(std::string path, PlaybackQueue& queue, PlayerCore& playerCore,
                       const SettingsBoard& board, SoundSink* output)
    : playbackQueue(queue), core(playerCore), settingsBoard(board), audio(output),
      inputPath(std::move(path)), playback(inputPath, playbackOptions(output, &stopping)),
      sound(inputPath, output), timeline(queue, sound, output, playerCore),
      play(playback, timeline), summary(playback, timeline, queue, playerCore) {}

PlayerLoop::~PlayerLoop() = default;

void PlayerLoop::setStoreBoard(StoreBoard* board) {
    storeBoard = board;
}

void PlayerLoop::start() {
    timeline.setSpeed(std::clamp(settingsBoard.snapshot().speed, 0.5, 2.0));
    std::printf(kDecodingStart, inputPath.c_str());
    std::fflush(stdout);
    feed = std::make_unique<SummaryFeed>(inputPath, &stopping);
    feed->setStoreBoard(storeBoard);
    playback.open();
    openSound();

    // Nothing is known yet of where this video's readable data ends.
    core.state.update([](PlayerState& s) { return changeTo(s.readableEnd, -1.0); });
    const PlayerState shown = core.state.snapshot();
    intake.reset(shown.mode, shown.paused);
    seenMode = shown.shownMode();
    pausedMode = shown.mode;
    summary.resetSegments();

    double minutes = 0.0;
    VideoReader& reader = feed->decoder().videoReader();
    if (reader.status() == VideoReader::OK) {
        minutes = reader.timestampToSeconds(reader.getVideoLength()) / 60.0;
        timeline.setFramePeriod(
            std::clamp(1.0 / reader.getFrameRate(), kShortestPeriod, kLongestPeriod));
        const AVRational pixel = reader.sampleAspect();
        core.screen.sampleAspect = pixel.num > 0 && pixel.den > 0 ? av_q2d(pixel) : 1.0;
        const AVRational base = reader.videoStreamInfo().time_base;
        feed->setTicksPerSecond(static_cast<double>(base.den) / base.num);
    }
    const bool summarising = seenMode == PlayerMode::Summary;
    feed->begin(summarising, summarizer);
    core.screen.framePeriod = timeline.framePeriod();
    core.setSummaryFilling(summarising);
    std::printf(kTotalLength, minutes);
    settings = settingsBoard.snapshot();
    seenRanking = settings.rankingGeneration;
    summarizer.setSettings(settings.summary);
    summarizer.reset();
}

bool PlayerLoop::ended() const {
    return workingMode() == PlayerMode::Summary ? summarizer.finished() : play.ended();
}

int64_t PlayerLoop::picturesAnalysed() const {
    return feed ? feed->decoder().picturesDecoded() : 0;
}

double PlayerLoop::position() const {
    const ScreenLink& screen = core.screen;
    return screen.shownSerial == playbackQueue.serial() ? screen.shownTime.load()
                                                        : screen.restartTime.load();
}

void PlayerLoop::openSound() {
    if (playback.soundRefused()) {
        std::printf(kSoundRefused, inputPath.c_str());
        std::fflush(stdout);
    }
    if (audio != nullptr) {
        audio->retry();
        tellSoundNotices();
        audio->flush();
        audio->setPaused(false);
    }
}

void PlayerLoop::tellSoundNotices() {
    // The output's own notice (no device, a format it cannot play), and the
    // sound's, each once.
    for (const std::string& notice : {audio->takeNotice(), sound.takeNotice()})
        if (!notice.empty())
            std::printf("\n%s", notice.c_str());
}

void PlayerLoop::takeAudioStream(std::optional<int> stream) {
    if (!stream || !sound.chooseStream(*stream))
        return;
    // What is queued has the old track's sound: the picture on screen
    // stays and what follows it is placed again, as after a new speed.
    resumeAfter(position());
}

void PlayerLoop::publishSound() {
    // Why a stream cannot be played, found when it is opened (at a choice,
    // or at the first picture): on the console, and on the picture.
    const std::string notice = sound.takeNotice();
    if (!notice.empty()) {
        std::printf("\n%s", notice.c_str());
        core.state.update([&notice](PlayerState& s) {
            s.trackNotice = notice;
            ++s.trackNotices;
            return true;
        });
    }
    const int stream = sound.stream();
    if (stream == publishedStream)
        return;
    publishedStream = stream;
    core.state.update([stream](PlayerState& s) { return changeTo(s.audioStream, stream); });
}

bool PlayerLoop::takeSettings() {
    settings = settingsBoard.snapshot();
    const bool rebuild = settings.rankingGeneration != seenRanking;
    seenRanking = settings.rankingGeneration;
    return rebuild;
}

void PlayerLoop::updateTreeLimits() {
    limits.update(settings, timeline.fill());
    SummarySettings s = summarizer.settings();
    s.junkFilter = settings.summary.junkFilter;
    summarizer.setSettings(s);
    summarizer.setLimits(limits.depth(), limits.nodes());
    limits.post(core.driver.load(), settings);
}

bool PlayerLoop::takeCommands(const PlayerIntake::Wanted& wanted, double* target) {
    const PlayerMode mode = wanted.mode;
    if (mode == seenMode) {
        if (!wanted.seek)
            return false;
        *target = *wanted.seek;
    } else if (mode == PlayerMode::Pause) {
        // A pause holds what is buffered; a seek given with it still goes
        // where it was asked.
        pausedMode = seenMode;
        seenMode = mode;
        if (audio != nullptr)
            audio->setPaused(true);
        if (!wanted.seek)
            return false;
        *target = *wanted.seek;
    } else if (seenMode == PlayerMode::Pause && mode == pausedMode) {
        // Playing on needs no restart.
        seenMode = mode;
        if (audio != nullptr)
            audio->setPaused(false);
        // After frame steps the sound no longer matches the picture.
        if (steppedInPause)
            resumeAfter(position());
        steppedInPause = false;
        if (!wanted.seek)
            return false;
        *target = *wanted.seek;
    } else {
        // Another mode restarts at the whole second playing; after a pause,
        // at the picture the pause showed; where a seek asks, if one did.
        if (wanted.seek)
            *target = *wanted.seek;
        else if (seenMode == PlayerMode::Pause)
            *target = position();
        else
            *target = wholeSecond(position());
        seenMode = mode;
        steppedInPause = false;
    }
    summary.dropSegmentsAfter(*target);
    return true;
}

void PlayerLoop::clearPlacement(double from) {
    timeline.clear(from, seenMode == PlayerMode::Pause);
    play.clear();
    summary.clear();
}

bool PlayerLoop::noteReadableEnd() {
    if (readableEnd >= 0.0)
        return true;
    for (VideoReader* reader : {playback.videoReader(), &feed->decoder().videoReader()})
        if (reader != nullptr)
            readableEnd = std::max(readableEnd, reader->readableEnd());
    if (readableEnd < 0.0)
        return false;
    core.state.update([this](PlayerState& s) { return changeTo(s.readableEnd, readableEnd); });
    return true;
}

double PlayerLoop::withinReadable(double seconds) const {
    if (readableEnd < 0.0)
        return seconds;
    return std::min(seconds, std::max(0.0, readableEnd - timeline.framePeriod()));
}

void PlayerLoop::restartAt(double seconds) {
    // One request: what is queued goes, and whatever the screen took before
    // it is stale. The screen plays on (or waits) while the readers seek.
    seconds = withinReadable(seconds);
    const bool readableEndKnownBefore = readableEnd >= 0.0;
    clearPlacement(seconds);
    summary.restart();
    summarizer.setSettings(settings.summary);
    summarizer.setLimits(limits.depth(), limits.nodes());
    summarizer.reset();
    play.restart();
    const bool summarising = workingMode() == PlayerMode::Summary;
    core.setSummaryFilling(summarising);
    feed->startAt(seconds, true, summarising, summarizer);
    if (!summarising)
        playback.seekFrameWKey(seconds);
    // The seek may have met the readable end: the picture shown next is its last.
    if (!readableEndKnownBefore && noteReadableEnd() && withinReadable(seconds) < seconds)
        timeline.clear(withinReadable(seconds), seenMode == PlayerMode::Pause);
    ++restartCount;
}

void PlayerLoop::postTimeline(bool force) {
    const std::vector<double>& segments = summary.segmentTimes();
    const int32_t now[5] = {
        static_cast<int32_t>(segments.size()),
        wholeSecond(core.state.read([](const PlayerState& s) { return s.duration; })),
        wholeSecond(position()), summarizer.frontTime(), summarizer.decisionTime()};
    if (now[0] != posted[0])
        core.state.update([&segments](PlayerState& s) { return changeTo(s.segments, segments); });
    WidgetDriver* driver = core.driver.load();
    if (driver == nullptr || (!force && std::equal(now, now + 5, posted)))
        return;
    std::copy(now, now + 5, posted);
    driver->setTimelineData(segments.data(), now[0], 0, now[1], now[2], now[3], now[4]);
}

PlayerLoop::Next PlayerLoop::pass() {
    const bool rebuild = takeSettings();
    updateTreeLimits();

    const PlayerIntake::Wanted wanted = intake.take(core.commands);
    double target = 0.0;
    if (takeCommands(wanted, &target)) {
        restartAt(target);
        postTimeline(true);
        if (seenMode == PlayerMode::Pause)
            showOneStep();
    }
    takeSpeed();
    takeAudioStream(wanted.audioStream);
    takeSteps(wanted.steps);
    takeSkips(wanted.skips);
    takeSaving(wanted.saving);
    if (rebuild) {
        // The window has let the weights settle: one new summary from here.
        const double at = wholeSecond(position());
        summary.dropSegmentsAfter(at);
        restartAt(at);
        postTimeline(true);
    }
    std::fflush(stdout);
    postTimeline(false);
    feed->passOnNotices();

    // A pause keeps filling the buffer for the mode it paused.
    const bool more = workingMode() == PlayerMode::Summary
                          ? summary.step(feed->turns(), settings.avoidEmptyBuffer, saving)
                          : play.step(saving);
    publishSound();
    noteReadableEnd();
    publishSegmentEdges();
    if (!more && ended() && !core.screen.handedAll.exchange(true))
        core.screenWakeup.notify();
    return more ? Next::Continue : Next::Wait;
}

void PlayerLoop::publishSegmentEdges() {
    const bool summarising = workingMode() == PlayerMode::Summary;
    const double first = summarising ? summary.firstSegmentStart() : -1.0;
    const double last = summarising && ended() ? summary.lastSegmentStart() : -1.0;
    core.state.update([first, last](PlayerState& s) {
        const bool firstChanged = changeTo(s.firstSegmentStart, first);
        return changeTo(s.lastSegmentStart, last) || firstChanged;
    });
}

void PlayerLoop::showOneStep() {
    steppedInPause = true;
    core.screen.steps += 1;
    core.screenWakeup.notify();
}

void PlayerLoop::takeSaving(bool on) {
    // A pause does not drain the buffer: when a save starts, what lies
    // beyond half its bytes is read again later instead of held.
    if (on && !saving && seenMode == PlayerMode::Pause &&
        playbackQueue.weight() > timeline.budget() / 2)
        resumeAfter(position());
    saving = on;
}

void PlayerLoop::takeSpeed() {
    const double wanted = std::clamp(settings.speed, 0.5, 2.0);
    if (wanted == timeline.speed())
        return;
    timeline.setSpeed(wanted);
    // What is queued was placed at the old speed.
    resumeAfter(position());
}

void PlayerLoop::resumeAfter(double shown) {
    const double after = std::nextafter(shown, std::numeric_limits<double>::infinity());
    if (workingMode() == PlayerMode::Summary) {
        replayFrom(after);
        return;
    }
    restartAt(shown);
    play.startAfter(after);
}

void PlayerLoop::replayFrom(double from) {
    clearPlacement(from);
    summary.replayFrom(from);
}

void PlayerLoop::takeSteps(int steps) {
    if (steps == 0 || seenMode != PlayerMode::Pause)
        return;
    steppedInPause = true;
    if (steps > 0)
        core.screen.steps += steps;
    else
        stepBack(-steps);
    core.screenWakeup.notify();
}

void PlayerLoop::stepBack(int count) {
    const double shown = position();
    if (workingMode() == PlayerMode::Summary) {
        const double target = summary.keptPictureBefore(count, shown);
        if (!pictureBefore(target, shown))
            return;
        replayFrom(target);
        core.screen.steps += 1;
        return;
    }
    std::vector<PictureFrame> frames;
    switch (play.stepBack(count, shown, frames)) {
    case PlayStep::Back::Nothing:
        return;
    case PlayStep::Back::Restart:
        return restartAt(shown);
    case PlayStep::Back::Stepped:
        break;
    }
    clearPlacement(frames.front().frameTime);
    play.restart();
    timeline.number(frames, true);
    timeline.place(frames, true);
    core.screen.steps += 1;
}

void PlayerLoop::takeSkips(int skips) {
    if (skips == 0 || workingMode() != PlayerMode::Summary)
        return;
    const std::optional<double> start = summary.segmentStart(skips, position());
    // A segment not decided yet cannot be reached.
    if (!start)
        return;
    replayFrom(*start);
    if (seenMode == PlayerMode::Pause)
        showOneStep();
}
