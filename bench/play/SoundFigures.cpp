#include "SoundFigures.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr double kBeepSeconds = 0.05;
// A whole second's picture is the first shown within this much after it.
constexpr double kFlashWindow = 0.021;
// What the device already held when a pause came may still be heard.
constexpr double kPauseSlack = 0.4;
// Blocks on each side whose earliest arrival dates a sample (about 0.5 s).
constexpr size_t kDatingBlocks = 100;
// A digitally silent sample: none of the test video's noise is this quiet
// for a whole millisecond.
constexpr int kSilentLevel = 2;
// Where a kept beep is looked for, around its flash plus the sound's lag.
constexpr double kEarliestBeep = 0.10;
constexpr double kLatestBeep = 0.15;
// A beep is its flash's when it is nearer to it than to any other.
constexpr double kHalfSecond = 0.5;
// Frames of one kept run share their offset between video and timeline.
constexpr double kSameOffset = 0.002;
// What played this close to the end of the run may not have been recorded.
constexpr double kRecordedBefore = 0.2;

double median(std::vector<double> values) {
    if (values.empty())
        return kNoValue;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The beep's frequency from its rising zero crossings, each placed between
// two samples; crossings count only after the signal went below -level, so
// noise near zero adds none. The first and last 5 ms are left out.
double pitchOf(const std::vector<int16_t>& s, size_t first, size_t last, int level, int rate) {
    const size_t margin = static_cast<size_t>(rate) / 200;
    if (last < first + 2 * margin + static_cast<size_t>(rate) / 100)
        return kNoValue;
    std::vector<double> crossings;
    bool armed = false;
    size_t belowZero = first + margin;
    for (size_t k = first + margin; k + 1 <= last - margin; ++k) {
        if (s[k] < -level)
            armed = true;
        if (s[k] <= 0)
            belowZero = k;
        if (armed && s[k] > level && belowZero + 1 <= k) {
            const double a = s[belowZero];
            const double b = s[belowZero + 1];
            crossings.push_back(static_cast<double>(belowZero) - a / (b - a));
            armed = false;
        }
    }
    if (crossings.size() < 5)
        return kNoValue;
    return static_cast<double>(crossings.size() - 1) * rate /
           (crossings.back() - crossings.front());
}

OffsetFigures offsets(const std::vector<double>& gaps) {
    OffsetFigures o;
    o.flashes = static_cast<int>(gaps.size());
    if (gaps.empty())
        return o;
    std::vector<double> sizes;
    for (double g : gaps)
        sizes.push_back(std::abs(g) * 1000);
    o.medianMs = median(sizes);
    o.worstMs = *std::max_element(sizes.begin(), sizes.end());
    o.signedMedianMs = median(gaps) * 1000;
    return o;
}

// A stretch of Summary's timeline whose frames come from one run of
// consecutive kept fragments. The moment a point of it played is told by
// the shown frame nearest to it: frames dropped leave no gap, and where the
// buffer ran empty (pictures and sound stop, and go on later) the moments
// jump.
struct KeptSpan {
    double offset = 0.0; // timeline minus video time at the speed played
    double from = 0.0;   // on the timeline
    double to = 0.0;
    std::vector<double> times; // of the shown frames, on the timeline
    std::vector<double> walls;

    double wallAt(double timeline) const {
        const size_t next = std::lower_bound(times.begin(), times.end(), timeline) - times.begin();
        const size_t before = next > 0 ? next - 1 : 0;
        const size_t at = next >= times.size() || timeline - times[before] < times[next] - timeline
                              ? before
                              : next;
        return walls[at] + (timeline - times[at]);
    }
};

std::vector<KeptSpan> keptSpans(const SoundRun& run) {
    std::vector<KeptSpan> spans;
    for (const Shown& s : run.shown) {
        if (!s.summary)
            continue;
        const double offset = s.playTime - s.frameTime / run.speed;
        if (spans.empty() || std::abs(offset - spans.back().offset) > kSameOffset ||
            s.playTime < spans.back().times.back())
            spans.push_back({offset, s.playTime, s.playTime, {}, {}});
        spans.back().to = s.playTime + run.framePeriod;
        spans.back().times.push_back(s.playTime);
        spans.back().walls.push_back(s.wall);
    }
    // Summary's timeline runs on from 0 without gaps: frames dropped at the
    // start of a span leave its start where the span before it ends.
    for (size_t i = 0; i < spans.size(); ++i)
        spans[i].from = i == 0 ? 0.0 : spans[i - 1].to;
    return spans;
}

} // namespace

SoundTrack::SoundTrack(std::vector<int16_t> samplesRecorded, int sampleRate,
                       const std::vector<Arrival>& arrivals)
    : samples(std::move(samplesRecorded)), rate(sampleRate) {
    std::vector<double> raw;
    for (const Arrival& a : arrivals) {
        ends.push_back(a.end);
        raw.push_back(a.when - static_cast<double>(a.end) / rate);
    }
    origins.resize(raw.size());
    for (size_t j = 0; j < raw.size(); ++j) {
        const size_t from = j > kDatingBlocks ? j - kDatingBlocks : 0;
        const size_t to = std::min(raw.size(), j + kDatingBlocks + 1);
        origins[j] = *std::min_element(raw.begin() + from, raw.begin() + to);
    }
}

double SoundTrack::wallOf(double sample) const {
    if (ends.empty())
        return kNoValue;
    const auto block = std::upper_bound(ends.begin(), ends.end(), static_cast<size_t>(sample));
    const size_t j = std::min<size_t>(block - ends.begin(), ends.size() - 1);
    return origins[j] + sample / rate;
}

double SoundTrack::sampleAt(double wall) const {
    if (ends.empty())
        return -1.0;
    size_t low = 0;
    size_t high = ends.size() - 1;
    while (low < high) {
        const size_t middle = (low + high) / 2;
        if (origins[middle] + static_cast<double>(ends[middle]) / rate < wall)
            low = middle + 1;
        else
            high = middle;
    }
    return (wall - origins[low]) * rate;
}

bool SoundTrack::silentAt(double wall) const {
    const double at = sampleAt(wall);
    const size_t window = static_cast<size_t>(rate) / 1000;
    if (!(at >= 0.0) || static_cast<size_t>(at) + window > samples.size())
        return true;
    const size_t from = static_cast<size_t>(at);
    for (size_t k = from; k < from + window; ++k)
        if (std::abs(samples[k]) > kSilentLevel)
            return false;
    return true;
}

std::vector<Beep> findBeeps(const SoundTrack& track) {
    const std::vector<int16_t>& s = track.samples;
    int peak = 0;
    for (int16_t v : s)
        peak = std::max(peak, std::abs(static_cast<int>(v)));
    std::vector<Beep> beeps;
    if (peak < 1000)
        return beeps;
    // Well above the noise (a twelfth of a beep), low enough that a 10 ms
    // fade-in costs a beep less than 3 ms of its length.
    const int loud = peak / 5;
    const size_t bridge = static_cast<size_t>(track.rate) / 500;
    for (size_t i = 0; i < s.size(); ++i) {
        if (std::abs(s[i]) <= loud)
            continue;
        size_t last = i;
        int count = 0;
        for (size_t k = i; k < s.size() && k <= last + bridge; ++k)
            if (std::abs(s[k]) > loud) {
                last = k;
                ++count;
            }
        if (count >= 3)
            beeps.push_back({track.wallOf(static_cast<double>(i)),
                             static_cast<double>(last - i + 1) * 1000 / track.rate,
                             pitchOf(s, i, last, loud, track.rate)});
        i = last;
    }
    return beeps;
}

SoundFigures soundFigures(const SoundRun& run, const SoundTrack& track) {
    SoundFigures f;
    const std::vector<Beep> beeps = findBeeps(track);
    f.beeps = static_cast<int>(beeps.size());
    const auto nearest = [&beeps](double wall) -> const Beep* {
        const Beep* best = nullptr;
        for (const Beep& b : beeps)
            if (best == nullptr || std::abs(b.onset - wall) < std::abs(best->onset - wall))
                best = &b;
        return best;
    };
    const auto hasBeep = [&run](double second) {
        return second >= run.soundFrom - 1e-3 && second + kBeepSeconds <= run.soundTo + 1e-3;
    };

    // Each whole second's flash, when it was on screen, against the nearest beep.
    std::vector<double> gaps[2];
    std::vector<double> pitches;
    double previousSecond = -1.0;
    bool previousFlash = false;
    bool previousSummary = false;
    for (const Shown& s : run.shown) {
        const double t = s.frameTime - run.origin;
        const double k = std::round(t);
        const bool flash = t - k > -1e-3 && t - k < kFlashWindow;
        const bool repeated = previousFlash && k == previousSecond && s.summary == previousSummary;
        previousFlash = flash;
        previousSecond = k;
        previousSummary = s.summary;
        if (!flash || repeated || !hasBeep(k + run.origin))
            continue;
        const double when = s.wall - std::max(0.0, t - k) / run.speed;
        const Beep* beep = nearest(when);
        if (beep == nullptr)
            continue;
        gaps[s.summary ? 1 : 0].push_back(beep->onset - when);
        if (k + run.origin >= run.pitchAfter - 1e-3 && std::abs(beep->onset - when) < kHalfSecond &&
            !std::isnan(beep->pitchHz))
            pitches.push_back(beep->pitchHz);
    }
    f.play = offsets(gaps[0]);
    f.summary = offsets(gaps[1]);
    f.pitchedBeeps = static_cast<int>(pitches.size());
    if (!pitches.empty()) {
        f.lowestPitch = *std::min_element(pitches.begin(), pitches.end());
        f.highestPitch = *std::max_element(pitches.begin(), pitches.end());
    }

    // The sound's lag behind the pictures, as Play shows it, places what
    // should be heard of each kept span in the recording.
    const double lagMs = !std::isnan(f.play.signedMedianMs)      ? f.play.signedMedianMs
                         : !std::isnan(f.summary.signedMedianMs) ? f.summary.signedMedianMs
                                                                 : 0.0;
    const double lag = lagMs / 1000;
    int steps = 0;
    int silent = 0;
    const double recordedUntil = run.closedAt - kRecordedBefore;
    for (const KeptSpan& span : keptSpans(run)) {
        const auto timeline = [&](double video) { return video / run.speed + span.offset; };
        const double from = std::max((span.from - span.offset) * run.speed, run.soundFrom);
        const double to = std::min((span.to - span.offset) * run.speed, run.soundTo);
        const long millis = std::lround((to - from) * 1000);
        for (long step = 0; step < millis; ++step) {
            const double heardAt = span.wallAt(timeline(from + step / 1000.0)) + lag - run.ownLag;
            if (heardAt > recordedUntil)
                break;
            ++steps;
            silent += track.silentAt(heardAt) ? 1 : 0;
        }
        for (double k = std::ceil(from - run.origin - 1e-3);
             k + run.origin + kBeepSeconds <= to + 1e-3; ++k) {
            const double expected = span.wallAt(timeline(k + run.origin)) + lag;
            if (expected + kBeepSeconds > recordedUntil)
                break;
            ++f.keptBeeps;
            const Beep* beep = nearest(expected);
            double length = 0.0;
            if (beep != nullptr && beep->onset > expected - kEarliestBeep &&
                beep->onset < expected + kLatestBeep) {
                ++f.keptHeard;
                length = beep->lengthMs;
            }
            f.shortestKeptMs =
                std::isnan(f.shortestKeptMs) ? length : std::min(f.shortestKeptMs, length);
        }
    }
    f.keptSeconds = steps / 1000.0;
    if (steps > 0)
        f.heardShare = 1.0 - static_cast<double>(silent) / steps;

    // Play's rate, after its first second.
    const Shown* first = nullptr;
    const Shown* a = nullptr;
    const Shown* b = nullptr;
    double frames = -1.0;
    for (const Shown& s : run.shown) {
        if (s.summary || s.wall > run.playMeasuredUntil)
            continue;
        if (first == nullptr)
            first = &s;
        if (s.wall < first->wall + 1.0)
            continue;
        a = a == nullptr ? &s : a;
        b = &s;
        frames += 1.0;
    }
    if (a != nullptr && b->wall > a->wall && b->frameTime > a->frameTime) {
        const double dropped = static_cast<double>(b->dropped - a->dropped);
        f.shownRate = frames / (b->wall - a->wall);
        f.realRate = (frames + dropped) * run.speed / (b->frameTime - a->frameTime);
        f.droppedShare = dropped / (frames + dropped);
    }

    if (run.resumedAt > run.pausedAt)
        for (const Beep& b : beeps)
            if (b.onset > run.pausedAt + kPauseSlack && b.onset < run.resumedAt)
                ++f.heardWhilePaused;
    return f;
}
