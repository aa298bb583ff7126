#include "AudioPlayback.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// A raised-sine ramp: gain of the k-th of n frames fading in. Its slope is
// zero at both ends, so the ramp itself adds no corner to the waveform.
float rampGain(int64_t k, int64_t n) {
    const double s = std::sin(M_PI / 2 * (static_cast<double>(k) + 0.5) / static_cast<double>(n));
    return static_cast<float>(s * s);
}

} // namespace

AudioPlayback::AudioPlayback(int sampleRate, int channels, PacerClock& time)
    : sampleRate(sampleRate), channels(channels), time(time),
      fadeFrames(std::max<int64_t>(1, std::llround(fadeSeconds * sampleRate))),
      slackFrames(std::llround(slackSeconds * sampleRate)),
      capacityFrames(std::llround(capacitySeconds * sampleRate)),
      startFrames(std::llround(startSeconds * sampleRate)),
      lowWaterFrames(std::llround(lowWaterSeconds * sampleRate)) {}

void AudioPlayback::write(std::vector<float> samples, double presentationTime, bool discontinuity) {
    int64_t frames = static_cast<int64_t>(samples.size()) / channels;
    if (frames <= 0 || !std::isfinite(presentationTime)) {
        return;
    }
    const std::lock_guard<std::mutex> lock(mutex);
    lastWrite = time.now();
    const int64_t start = std::llround(presentationTime * sampleRate);
    bool join = fresh || discontinuity;
    if (start > timelineEnd + slackFrames) {
        fadeOutTail();
        queue.push_back({timelineEnd, start - timelineEnd, {}});
        queuedFrames += start - timelineEnd;
        timelineEnd = start;
        join = true;
    } else if (start < timelineEnd - slackFrames) {
        const int64_t covered = timelineEnd - start;
        if (covered >= frames) {
            return;
        }
        samples.erase(samples.begin(), samples.begin() + covered * channels);
        frames -= covered;
        join = true;
    }
    if (queuedSampleFrames + frames > capacityFrames) {
        // Too far ahead of the device: the timeline goes on, the sound does not.
        samples.clear();
    } else if (join) {
        fadeOutTail();
        const int64_t n = std::min(fadeFrames, frames);
        for (int64_t k = 0; k < n; ++k) {
            const float g = rampGain(k, n);
            for (int c = 0; c < channels; ++c) {
                samples[k * channels + c] *= g;
            }
        }
    }
    if (!samples.empty()) {
        queuedSampleFrames += frames;
    }
    queue.push_back({timelineEnd, frames, std::move(samples)});
    queuedFrames += frames;
    timelineEnd += frames;
    fresh = false;
}

void AudioPlayback::fadeOutTail() {
    // The last fadeFrames frames of sound before the join; when the device
    // has taken some of them, the ramp shortens to what is left, so that it
    // still starts at full level.
    int64_t n = 0;
    for (auto chunk = queue.rbegin(); chunk != queue.rend() && n < fadeFrames; ++chunk) {
        if (chunk->samples.empty()) {
            break;
        }
        n += chunk->frames - chunk->pulled;
    }
    n = std::min(n, fadeFrames);
    int64_t fromEnd = 0;
    for (auto chunk = queue.rbegin(); fromEnd < n; ++chunk) {
        for (int64_t i = chunk->frames - 1; i >= chunk->pulled && fromEnd < n; --i, ++fromEnd) {
            const float g = rampGain(fromEnd, n);
            for (int c = 0; c < channels; ++c) {
                chunk->samples[i * channels + c] *= g;
            }
        }
    }
}

void AudioPlayback::flush() {
    const std::lock_guard<std::mutex> lock(mutex);
    ++generation;
    queue.clear();
    queuedSampleFrames = 0;
    queuedFrames = 0;
    timelineEnd = 0;
    fresh = true;
    attached = false;
    handed.clear();
    haveReport = false;
}

void AudioPlayback::setPaused(bool paused) {
    const std::lock_guard<std::mutex> lock(mutex);
    if (paused && !isPaused && attached && haveReport) {
        // The clock stops where it stands, not where the device reported last.
        reportedFrame = heardFrame();
        reportTime = time.now();
    } else if (!paused && isPaused) {
        reportTime = time.now();
    }
    isPaused = paused;
}

void AudioPlayback::setVolume(double volume) {
    const std::lock_guard<std::mutex> lock(mutex);
    volumeLevel = std::clamp(volume, 0.0, 1.0);
}

void AudioPlayback::setMuted(bool muted) {
    const std::lock_guard<std::mutex> lock(mutex);
    isMuted = muted;
}

AudioPlayback::Demand AudioPlayback::demand() const {
    const std::lock_guard<std::mutex> lock(mutex);
    const bool writesPaused =
        std::chrono::duration<double>(time.now() - lastWrite).count() >= writePauseSeconds;
    return {generation, queuedFrames >= startFrames || (queuedFrames > 0 && writesPaused),
            isPaused};
}

int64_t AudioPlayback::framesToFeed(int64_t room) const {
    const std::lock_guard<std::mutex> lock(mutex);
    const int64_t held = deviceFrames - reportedFrame;
    const int64_t n = std::max(std::min(room, queuedFrames), lowWaterFrames - held);
    return std::clamp<int64_t>(n, 0, room);
}

float AudioPlayback::targetGain() const {
    return isMuted ? 0.0f : static_cast<float>(volumeLevel * volumeLevel * volumeLevel);
}

void AudioPlayback::deviceStarted(uint64_t startedGeneration) {
    const std::lock_guard<std::mutex> lock(mutex);
    attached = startedGeneration == generation;
    deviceFrames = 0;
    handed.clear();
    haveReport = false;
    reportedFrame = 0;
    lastHeard = 0;
    gain = targetGain();
}

void AudioPlayback::deviceStopped() {
    const std::lock_guard<std::mutex> lock(mutex);
    attached = false;
    handed.clear();
    haveReport = false;
}

void AudioPlayback::pull(float* out, int64_t frames) {
    const std::lock_guard<std::mutex> lock(mutex);
    int64_t done = 0;
    // Sound goes out while paused too: until the device is suspended it may
    // still take some, which it keeps and plays on resuming.
    while (attached && done < frames && !queue.empty()) {
        Chunk& chunk = queue.front();
        const int64_t n = std::min(frames - done, chunk.frames - chunk.pulled);
        const float* from =
            chunk.samples.empty() ? nullptr : chunk.samples.data() + chunk.pulled * channels;
        handOut(out + done * channels, n, chunk.timelineStart + chunk.pulled, from);
        chunk.pulled += n;
        queuedFrames -= n;
        done += n;
        if (chunk.pulled == chunk.frames) {
            if (!chunk.samples.empty()) {
                queuedSampleFrames -= chunk.frames;
            }
            queue.pop_front();
        }
    }
    if (done < frames) {
        const int64_t n = frames - done;
        std::memset(out + done * channels, 0, sizeof(float) * n * channels);
        if (attached) {
            recordSpan(n, -1);
        }
    }
}

void AudioPlayback::handOut(float* out, int64_t frames, int64_t timelineStart,
                            const float* samples) {
    recordSpan(frames, timelineStart);
    if (samples == nullptr) {
        std::memset(out, 0, sizeof(float) * frames * channels);
        return;
    }
    const float target = targetGain();
    const float step =
        1.0f /
        static_cast<float>(std::max<int64_t>(1, std::llround(volumeGlideSeconds * sampleRate)));
    for (int64_t i = 0; i < frames; ++i) {
        if (gain != target) {
            gain = gain < target ? std::min(target, gain + step) : std::max(target, gain - step);
        }
        for (int c = 0; c < channels; ++c) {
            out[i * channels + c] = samples[i * channels + c] * gain;
        }
    }
}

void AudioPlayback::recordSpan(int64_t frames, int64_t timelineStart) {
    if (!handed.empty()) {
        Span& last = handed.back();
        const bool bothFiller = last.timelineStart < 0 && timelineStart < 0;
        const bool contiguous =
            last.timelineStart >= 0 && last.timelineStart + last.frames == timelineStart;
        if (bothFiller || contiguous) {
            last.frames += frames;
            deviceFrames += frames;
            return;
        }
    }
    handed.push_back({deviceFrames, frames, timelineStart});
    deviceFrames += frames;
}

void AudioPlayback::reportPlayed(int64_t frame) {
    const std::lock_guard<std::mutex> lock(mutex);
    if (!attached) {
        return;
    }
    if (frame <= 0 && !haveReport) {
        // The device has not begun to play: no clock to run on from.
        return;
    }
    reportedFrame = std::clamp<int64_t>(frame, 0, deviceFrames);
    reportTime = time.now();
    haveReport = true;
    // The clock never looks before the reported frame again.
    while (handed.size() > 1 &&
           handed.front().deviceStart + handed.front().frames <= reportedFrame) {
        handed.pop_front();
    }
}

int64_t AudioPlayback::heardFrame() const {
    int64_t frame = reportedFrame;
    if (!isPaused) {
        const double since = std::chrono::duration<double>(time.now() - reportTime).count();
        frame += std::llround(std::clamp(since, 0.0, interpolationLimit) * sampleRate);
    }
    frame = std::max(std::min(frame, deviceFrames), lastHeard);
    lastHeard = frame;
    return frame;
}

std::optional<double> AudioPlayback::clockAt(int64_t deviceFrame) const {
    for (const Span& span : handed) {
        if (deviceFrame < span.deviceStart + span.frames) {
            if (span.timelineStart < 0 || deviceFrame < span.deviceStart) {
                return std::nullopt;
            }
            return static_cast<double>(span.timelineStart + deviceFrame - span.deviceStart) /
                   sampleRate;
        }
    }
    // Heard up to the last frame taken, and nothing after it yet: the clock
    // stands at its end.
    if (!handed.empty() && handed.back().timelineStart >= 0 &&
        deviceFrame == handed.back().deviceStart + handed.back().frames) {
        return static_cast<double>(handed.back().timelineStart + handed.back().frames) / sampleRate;
    }
    return std::nullopt;
}

std::optional<double> AudioPlayback::presentationTime() const {
    const std::lock_guard<std::mutex> lock(mutex);
    if (!attached || !haveReport) {
        return std::nullopt;
    }
    return clockAt(heardFrame());
}

bool AudioPlayback::clockPending() const {
    const std::lock_guard<std::mutex> lock(mutex);
    if (attached && haveReport) {
        const int64_t heard = heardFrame();
        if (clockAt(heard)) {
            return false;
        }
        for (const Span& span : handed) {
            if (span.timelineStart >= 0 && span.deviceStart + span.frames > heard) {
                return true;
            }
        }
    }
    return !queue.empty();
}

double AudioPlayback::volume() const {
    const std::lock_guard<std::mutex> lock(mutex);
    return volumeLevel;
}

bool AudioPlayback::muted() const {
    const std::lock_guard<std::mutex> lock(mutex);
    return isMuted;
}

bool AudioPlayback::paused() const {
    const std::lock_guard<std::mutex> lock(mutex);
    return isPaused;
}
