#include "SpeechTally.h"

#include <set>
#include <utility>

namespace {

using Span = std::pair<double, double>; // seconds, [first, second)

// The kept frames as runs in seconds, in order, runs that touch joined.
std::vector<Span> keptRuns(const std::vector<KeptFrames>& kept, int frameRate) {
    std::vector<std::pair<int, int>> frames;
    for (const KeptFrames& k : kept)
        if (k.frames > 0)
            frames.push_back({k.first, k.first + k.frames});
    std::sort(frames.begin(), frames.end());
    std::vector<std::pair<int, int>> runs;
    for (const auto& f : frames)
        if (!runs.empty() && f.first <= runs.back().second)
            runs.back().second = std::max(runs.back().second, f.second);
        else
            runs.push_back(f);
    std::vector<Span> spans;
    for (const auto& [first, end] : runs)
        spans.push_back(
            {static_cast<double>(first) / frameRate, static_cast<double>(end) / frameRate});
    return spans;
}

double overlap(double start, double end, const Span& span) {
    return std::max(0.0, std::min(end, span.second) - std::max(start, span.first));
}

double overlap(double start, double end, const std::vector<Span>& spans) {
    double sum = 0.0;
    for (const Span& s : spans)
        sum += overlap(start, end, s);
    return sum;
}

} // namespace

SpeechTally measureSpeech(const TalkTruth& truth, const std::vector<KeptFrames>& kept,
                          double target) {
    SpeechTally t;
    t.summaries = 1;
    const std::vector<Span> runs = keptRuns(kept, truth.frameRate);
    for (const Span& r : runs)
        t.kept += r.second - r.first;

    std::set<int> shown;
    std::vector<bool> spoken(truth.shots.size(), false); // a sentence lies mostly in it
    std::vector<double> lengths;
    for (const SpokenSentence& s : truth.sentences) {
        const double length = s.end - s.start;
        lengths.push_back(length);
        const double keptOf = overlap(s.start, s.end, runs);
        t.keptSpeech += keptOf;
        const bool whole = keptOf >= kWholeSentence * length;
        if (whole)
            t.wholeSpeech += keptOf;
        for (size_t k = 0; k < truth.shots.size(); ++k) {
            const TalkShot& shot = truth.shots[k];
            if (2.0 * overlap(s.start, s.end, {shot.start, shot.end}) > length) {
                spoken[k] = true;
                if (whole)
                    shown.insert(shot.id);
            }
        }
    }
    // What the target allows is counted at one whole sentence a shot: a
    // picture that nobody speaks over is not among them.
    std::set<int> ids;
    for (size_t k = 0; k < truth.shots.size(); ++k)
        if (spoken[k])
            ids.insert(truth.shots[k].id);
    t.shown = SpeechTally::of(static_cast<double>(shown.size()), static_cast<double>(ids.size()));

    // Within half a frame of the video's start or end is no cut.
    const double edge = 0.5 / truth.frameRate;
    for (const Span& r : runs)
        for (const double cut : {r.first, r.second}) {
            if (cut < edge || cut > truth.duration - edge)
                continue;
            ++t.cuts;
            for (const SpokenSentence& s : truth.sentences)
                if (cut > s.start + kCutSlack && cut < s.end - kCutSlack) {
                    ++t.cutsInside;
                    break;
                }
        }

    std::sort(lengths.begin(), lengths.end());
    const size_t n = lengths.size();
    const double median = n == 0  ? 0.0
                          : n % 2 ? lengths[n / 2]
                                  : (lengths[n / 2 - 1] + lengths[n / 2]) / 2.0;
    const double wanted = target * truth.duration;
    t.allowed = std::min(1.0, SpeechTally::of(wanted, static_cast<double>(ids.size()) * median));
    if (wanted > 0.0)
        t.minRatio = t.maxRatio = t.kept / wanted;
    return t;
}
