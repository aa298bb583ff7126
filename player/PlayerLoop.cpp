#include "PlayerLoop.h"

#include "FragmentDecoder.h"
#include "FrameBuffer.h"
#include "SoundSink.h"
#include "VideoReader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <thread>

namespace {
constexpr const char* kDecodingStart = "\nDecoding: [%s input]";
constexpr const char* kTotalLength = "\n[DECODING]Total video length: %f";
constexpr const char* kSoundRefused =
    "\nThe sound of %s cannot be decoded: its pictures play alone";
constexpr int kFragmentFrames = FragmentDecoder::fragmentCapacity;
// Frame periods outside these bounds are taken as the nearer bound: a file
// may declare a million frames a second or one in a million seconds.
constexpr double kShortestPeriod = 0.001;
constexpr double kLongestPeriod = 5.0;
// Kept fragments remembered to play them again (a new speed, a step back,
// a skip to an earlier segment): well over what the queue holds.
constexpr size_t kRecentKept = 200;

bool takeChanged(SliderState* control) {
    return control != nullptr && control->changed.exchange(false);
}

// The analysis reads as fast as it can: every core for the decoder, no sound.
ReaderOptions analysisOptions(const std::atomic<bool>* stop) {
    ReaderOptions options;
    options.stop = stop;
    options.audio = false;
    options.decoderThreads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    return options;
}

// The playback reader decodes what is shown (its sound comes by time, from a
// reader of its own), and opens the sound when there is a device to hear it,
// to say when it cannot be decoded; its decoder threads follow the analysis
// reader's, so that both number and time the pictures alike.
ReaderOptions playbackOptions(const SoundSink* audio, const std::atomic<bool>* stop) {
    ReaderOptions options = analysisOptions(stop);
    options.audio = audio != nullptr && audio->available();
    options.ownBuffers = true; // they wait in the playback queue
    return options;
}
} // namespace

PlayerLoop::PlayerLoop(std::string path, PlaybackQueue& queue, SharedControls& shared,
                       const SettingsBoard& board, SoundSink* output)
    : playbackQueue(queue), controls(shared), settingsBoard(board), audio(output),
      inputPath(std::move(path)), playback(inputPath, playbackOptions(output, &stopping)),
      sound(inputPath, output) {}

PlayerLoop::~PlayerLoop() = default;

void PlayerLoop::start() {
    speed = std::clamp(settingsBoard.snapshot().speed, 0.5, 2.0);
    controls.speed = speed;
    sound.setSpeed(speed);
    std::printf(kDecodingStart, inputPath.c_str());
    std::fflush(stdout);
    analysis = std::make_unique<FragmentDecoder>(inputPath.c_str(), analysisOptions(&stopping));
    playback.open();
    openSound();

    seenMode = controls.mode.load();
    segmentTimes = {0.0};
    framesHandedOn = 0;
    endOfStream = false;

    double minutes = 0.0;
    VideoReader& reader = analysis->videoReader();
    if (reader.status() == VideoReader::OK) {
        minutes = reader.timestampToSeconds(reader.getVideoLength()) / 60.0;
        framePeriod = std::clamp(1.0 / reader.getFrameRate(), kShortestPeriod, kLongestPeriod);
        const AVRational pixel = reader.sampleAspect();
        controls.sampleAspect = pixel.num > 0 && pixel.den > 0 ? av_q2d(pixel) : 1.0;
        const AVRational base = reader.videoStreamInfo().time_base;
        ticksPerSecond = static_cast<double>(base.den) / base.num;
    }
    const bool summarising = seenMode == PlayerMode::Summary;
    const bool fromStore =
        summarising ? summarizeFromStore(0.0, false) : summarizeFromStore(-1.0, false);
    analysis->setReadAhead(summarising && !fromStore);
    controls.framePeriod = framePeriod;
    controls.summaryFilling = seenMode == PlayerMode::Summary;
    std::printf(kTotalLength, minutes);
    settings = settingsBoard.snapshot();
    seenRanking = settings.rankingGeneration;
    summarizer.setSettings(settings.summary);
    summarizer.reset();
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

bool PlayerLoop::takeSettings() {
    settings = settingsBoard.snapshot();
    const bool rebuild = settings.rankingGeneration != seenRanking;
    seenRanking = settings.rankingGeneration;
    return rebuild;
}

void PlayerLoop::updateTreeLimits() {
    const int depthPosition = settings.summary.depth;
    const int nodesPosition = settings.summary.nodes;
    if (settings.automaticControl) {
        // Full is whichever bound the buffer stops at.
        double fill = std::max(static_cast<double>(playbackQueue.size()) / bufferTarget,
                               static_cast<double>(playbackQueue.weight()) / bufferBudget);
        if (!(fill < 1.0))
            fill = 1.0;
        depthLimit = static_cast<int32_t>((depthPosition - 20) * fill * fill + 20);
        nodeLimit = static_cast<int32_t>((nodesPosition - 100) * fill + 100);
    } else {
        depthLimit = depthPosition;
        nodeLimit = nodesPosition;
    }
    SummarySettings s = summarizer.settings();
    s.junkFilter = settings.summary.junkFilter;
    summarizer.setSettings(s);
    summarizer.setLimits(depthLimit, nodeLimit);
}

void PlayerLoop::postTreeStrips() {
    WidgetDriver* driver = controls.driver.load();
    const Posted wanted{depthLimit, settings.summary.depth, nodeLimit, settings.summary.nodes};
    if (driver == nullptr ||
        (wanted.depthLimit == posted.depthLimit && wanted.depthPosition == posted.depthPosition &&
         wanted.nodeLimit == posted.nodeLimit && wanted.nodesPosition == posted.nodesPosition))
        return;
    posted.depthLimit = wanted.depthLimit;
    posted.depthPosition = wanted.depthPosition;
    posted.nodeLimit = wanted.nodeLimit;
    posted.nodesPosition = wanted.nodesPosition;
    driver->setTreeDepthStrip(20, 90, depthLimit, wanted.depthPosition, 0);
    driver->setTreeNodesStrip(100, 5000, nodeLimit, wanted.nodesPosition, 0);
}

void PlayerLoop::dropSegmentTimesAfter(double seconds) {
    while (!segmentTimes.empty() && segmentTimes.back() > seconds)
        segmentTimes.pop_back();
}

bool PlayerLoop::detectSeek(double* target) {
    const PlayerMode mode = controls.mode.load();
    if (mode == seenMode) {
        if (!takeChanged(controls.positionCtl))
            return false;
        // Where the slider was released: its mirror may follow playback again.
        *target = controls.positionCtl->value;
    } else if (mode == PlayerMode::Pause) {
        // A pause holds what is buffered; playing on needs no restart.
        pausedMode = seenMode;
        seenMode = mode;
        if (audio != nullptr)
            audio->setPaused(true);
        return false;
    } else if (seenMode == PlayerMode::Pause && mode == pausedMode) {
        seenMode = mode;
        if (audio != nullptr)
            audio->setPaused(false);
        // After frame steps the sound no longer matches the picture.
        if (steppedInPause)
            resumeAfter(controls.shownTime);
        steppedInPause = false;
        return false;
    } else {
        // Another mode restarts at the whole second playing; after a pause,
        // at the picture the pause showed; where the slider was released, if
        // it was since.
        if (takeChanged(controls.positionCtl))
            *target = controls.positionCtl->value;
        else if (seenMode == PlayerMode::Pause)
            *target = controls.shownTime;
        else
            *target = controls.positionValue;
        seenMode = mode;
        steppedInPause = false;
    }
    dropSegmentTimesAfter(*target);
    return true;
}

void PlayerLoop::restartAt(double seconds) {
    // One request: what is queued goes, and whatever the screen took before
    // it is stale. The screen plays on (or waits) while the readers seek.
    clearPlacement();
    replay.clear();
    recentKept.clear();
    summarizer.setSettings(settings.summary);
    summarizer.setLimits(depthLimit, nodeLimit);
    summarizer.reset();
    endOfStream = false;
    const bool summarising = workingMode() == PlayerMode::Summary;
    controls.summaryFilling = summarising;
    analysis->setReadAhead(false);
    bool fromStore = false;
    if (summarising) {
        fromStore = summarizeFromStore(seconds, true);
        if (!fromStore)
            analysis->seekFrameWKey(seconds);
    } else {
        summarizeFromStore(-1.0, false);
        playback.seekFrameWKey(seconds);
    }
    analysis->setReadAhead(summarising && !fromStore);
    ++restarts;
}

bool PlayerLoop::summarizeFromStore(double seconds, bool seek) {
    std::shared_ptr<const StoredVideo> video;
    if (storeBoard != nullptr) {
        storeBoard->setSummaryStart(seconds, ticksPerSecond);
        if (seconds >= 0.0 && ticksPerSecond > 0.0)
            video = storeBoard->video();
    }
    if (video) {
        const size_t first = seek ? video->seekIndex(seconds, ticksPerSecond) : 0;
        stored = std::make_unique<StoredFrames>(std::move(video), first);
        turns = std::make_unique<SummaryTurns>(*stored, summarizer);
        return true;
    }
    turns = std::make_unique<SummaryTurns>(*analysis, summarizer);
    stored.reset();
    return false;
}

void PlayerLoop::postTimeline(bool force) {
    WidgetDriver* driver = controls.driver.load();
    if (driver == nullptr)
        return;
    const Posted now{0,
                     0,
                     0,
                     0,
                     static_cast<int32_t>(segmentTimes.size()),
                     controls.positionSliderMaximum,
                     controls.positionValue,
                     summarizer.frontTime(),
                     summarizer.decisionTime()};
    if (!force && now.segments == posted.segments && now.maximum == posted.maximum &&
        now.position == posted.position && now.front == posted.front &&
        now.decision == posted.decision)
        return;
    posted.segments = now.segments;
    posted.maximum = now.maximum;
    posted.position = now.position;
    posted.front = now.front;
    posted.decision = now.decision;
    driver->setTimelineData(segmentTimes.data(), now.segments, 0, now.maximum, now.position,
                            now.front, now.decision);
}

void PlayerLoop::postPositionSlider() {
    WidgetDriver* driver = controls.driver.load();
    const int32_t position = controls.positionValue;
    // Also when the slider was moved without a release (a click, a key):
    // it follows playback, as it always has.
    if (driver == nullptr ||
        (position == posted.slider && controls.positionSliderValue == position))
        return;
    posted.slider = position;
    driver->setPositionSlider(position);
}

PlayerLoop::Next PlayerLoop::pass() {
    const bool rebuild = takeSettings();
    updateTreeLimits();
    postTreeStrips();

    double target = 0.0;
    if (detectSeek(&target)) {
        controls.positionValue = static_cast<int32_t>(target);
        posted.slider = -1;
        postPositionSlider();
        restartAt(target);
        postTimeline(true);
        // In a pause the picture there shows at once, as after a frame step.
        if (seenMode == PlayerMode::Pause) {
            steppedInPause = true;
            controls.screenSteps += 1;
            controls.screenWakeup.notify();
        }
    } else if (controls.positionCtl == nullptr || !controls.positionCtl->dragging) {
        postPositionSlider();
    }

    takeSpeed();
    takeSteps();
    takeSkips();
    takeSaving();
    if (rebuild) {
        // The window has let the weights settle: one new summary from here.
        dropSegmentTimesAfter(controls.positionValue);
        restartAt(controls.positionValue);
        postTimeline(true);
    }
    std::fflush(stdout);
    postTimeline(false);

    // A pause keeps filling the buffer for the mode it paused.
    return workingMode() == PlayerMode::Summary ? summaryStep() : playStep();
}

void PlayerLoop::handOn(std::vector<PictureFrame>& frames, bool followsOn) {
    bool cut = !followsOn && placedAny;
    for (PictureFrame& frame : frames) {
        // Within a run of pictures the timeline follows their timestamps
        // (which need not be evenly spaced); across a cut or a break in the
        // timestamps, the next picture starts one frame period later.
        const double step = frame.frameTime - lastFrameTime;
        if (placedAny && followsOn && step > 0.0 && step <= kLongestPeriod)
            frame.playTime = lastPlayTime + step / speed;
        else
            frame.playTime = timelineEnd;
        lastFrameTime = frame.frameTime;
        lastPlayTime = frame.playTime;
        timelineEnd = frame.playTime + framePeriod / speed;
        placedAny = true;
        followsOn = true;
        sound.picture(frame.frameTime, frame.playTime, framePeriod, cut);
        cut = false;
    }
    for (PictureFrame& frame : frames)
        playbackQueue.tryPut(frame);
    frames.clear();
}

PlayerLoop::Next PlayerLoop::playStep() {
    if (endOfStream)
        return Next::Wait;
    int width = 0;
    int height = 0;
    if (VideoReader* reader = playback.videoReader())
        reader->getVideoSize(&width, &height);
    const int64_t bytes = pictureBytes(width, height);
    // One fragment's worth at most, a picture at a time while there is room.
    int read = 0;
    std::vector<PictureFrame> frames;
    while (read < kFragmentFrames && hasRoom(bytes)) {
        if (playback.readNext(1, frames) == 0) {
            endOfStream = true;
            break;
        }
        if (frames.back().frameTime < playFrom) {
            frames.clear();
            continue;
        }
        frames.back().frameNumber = ++framesHandedOn;
        handOn(frames, true);
        ++read;
    }
    return read > 0 ? Next::Continue : Next::Wait;
}

void PlayerLoop::takeKept(const Decision& decision) {
    if (!handKept(decision, decision.start))
        return;
    segmentTimes.push_back(decision.start);
    recentKept.push_back(decision);
    if (recentKept.size() > kRecentKept)
        recentKept.pop_front();
    controls.summaryFilling = false;
}

bool PlayerLoop::handKept(const Decision& decision, double from) {
    std::vector<PictureFrame> frames;
    if (!playback.read(decision, frames))
        return false;
    const double first = framesHandedOn + 1.0;
    for (size_t k = 0; k < frames.size(); ++k)
        frames[k].frameNumber = first + static_cast<double>(k);
    size_t shown = 0;
    while (shown < frames.size() && frames[shown].frameTime < from)
        ++shown;
    frames.erase(frames.begin(), frames.begin() + static_cast<std::ptrdiff_t>(shown));
    handOn(frames, decision.number == lastKeptNumber + 1);
    lastKeptNumber = decision.number;
    return true;
}

PlayerLoop::Next PlayerLoop::summaryStep() {
    int width = 0;
    int height = 0;
    analysis->videoReader().getVideoSize(&width, &height);
    const int64_t fragmentBytes = pictureBytes(width, height) * kFragmentFrames;
    if (!hasRoom(fragmentBytes)) {
        // A full buffer holds the next decision back. Fragments that no
        // decision waits for may still go in: the turns, and with them the
        // decisions, stay those of a summary that never waits.
        if (turns->fragmentWithoutDecision()) {
            turns->offerFragment();
            return Next::Continue;
        }
        return Next::Wait;
    }
    if (!replay.empty()) {
        const Decision again = replay.front();
        replay.pop_front();
        handKept(again, replayStart);
        return Next::Continue;
    }

    turns->offerFragment();
    if (turns->decisionDue()) {
        const bool empty = playbackQueue.empty();
        const std::optional<Decision> decision =
            turns->takeDecision(empty && settings.avoidEmptyBuffer);
        if (decision && decision->kept)
            takeKept(*decision);
        // Decided fragments count whether kept or not.
        if (decision)
            framesHandedOn += decision->frames;
    }
    if (!turns->finished())
        return Next::Continue;
    controls.summaryFilling = false; // nothing more will come
    return Next::Wait;
}
