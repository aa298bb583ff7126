#include "QualityTally.h"

#include <map>
#include <set>

namespace {

// What a viewer needs to take a shot in.
constexpr int kSecond = kQualityFrameRate;

} // namespace

Tally measure(const std::vector<FrameTruth>& truth, const std::vector<KeptFrames>& kept,
              double target) {
    Tally t;
    std::vector<int> shotFrames;
    for (const FrameTruth& f : truth) {
        shotFrames.resize(std::max(shotFrames.size(), static_cast<size_t>(f.shot) + 1));
        ++shotFrames[static_cast<size_t>(f.shot)];
    }
    auto longShot = [&](const FrameTruth& f) {
        return shotFrames[static_cast<size_t>(f.shot)] >= kSecond;
    };
    std::set<int> subjects;
    std::set<int> showable;
    for (const FrameTruth& f : truth)
        if (!f.junk) {
            subjects.insert(f.subject);
            if (longShot(f))
                showable.insert(f.subject);
        }
    t.subjects = static_cast<int>(subjects.size());
    t.showable = static_cast<int>(showable.size());

    std::vector<bool> keptFrame(truth.size(), false);
    std::set<int> covered;
    std::map<int, int> shownFrom; // the shot a subject was first kept from
    for (const KeptFrames& fragment : kept) {
        std::map<int, int> frames;
        bool cut = false;
        for (int k = fragment.first; k < fragment.first + fragment.frames; ++k) {
            const FrameTruth& f = truth.at(static_cast<size_t>(k));
            keptFrame[static_cast<size_t>(k)] = true;
            cut |= k > fragment.first && f.shot != truth[static_cast<size_t>(k) - 1].shot;
            ++t.keptFrames;
            t.transitionFrames += f.transition ? 1 : 0;
            if (f.junk) {
                ++t.junkFrames;
                continue;
            }
            ++frames[f.subject];
            const auto shown = shownFrom.emplace(f.subject, f.shot).first;
            if (shown->second != f.shot)
                ++t.repeatFrames;
        }
        const auto most = std::max_element(frames.begin(), frames.end(),
                                           [](auto& a, auto& b) { return a.second < b.second; });
        if (most != frames.end() && 2 * most->second >= fragment.frames)
            covered.insert(most->first);
        ++t.fragments;
        t.straddling += cut ? 1 : 0;
    }
    t.covered = static_cast<int>(covered.size());

    // Pieces, and the kept time spent on subjects already shown for three
    // seconds.
    std::set<int> shown;
    std::map<int, int> keptOf; // kept frames by subject, so far
    int dwell = 0;
    int length = 0;
    int clean = 0; // frames of the piece outside junk and transitions
    for (size_t k = 0; k < truth.size(); ++k) {
        const FrameTruth& f = truth[k];
        if (keptFrame[k]) {
            ++length;
            clean += f.junk || f.transition ? 0 : 1;
            if (!f.junk && keptOf[f.subject]++ >= 3 * kSecond)
                ++dwell;
        }
        const bool ends = k + 1 == truth.size() || !keptFrame[k + 1] || truth[k + 1].shot != f.shot;
        if (length > 0 && ends) {
            if (longShot(f)) {
                ++t.pieces;
                t.shortPieces += length < kSecond ? 1 : 0;
            }
            if (clean >= kSecond)
                shown.insert(f.subject);
            length = clean = 0;
        }
    }
    t.shown = static_cast<int>(shown.size());
    t.dwellFrames = t.shown < t.showable ? dwell : 0;

    const int fragments =
        (static_cast<int>(truth.size()) + kBenchFragmentFrames - 1) / kBenchFragmentFrames;
    if (fragments * target >= 10.0)
        t.minRatio = t.maxRatio = t.keptFrames / (target * static_cast<double>(truth.size()));
    return t;
}

void measureFilter(const std::vector<FrameTruth>& truth, const std::vector<KeptFrames>& kept,
                   FilterTally* tally) {
    std::vector<bool> keptFrame(truth.size(), false);
    for (const KeptFrames& f : kept)
        for (int k = f.first; k < f.first + f.frames; ++k)
            keptFrame[static_cast<size_t>(k)] = true;
    for (size_t first = 0; first + kBenchFragmentFrames <= truth.size();
         first += kBenchFragmentFrames) {
        bool ordinary = true;
        for (size_t k = first; k < first + kBenchFragmentFrames; ++k)
            ordinary &= truth[k].ordinary && !truth[k].junk && truth[k].shot == truth[first].shot;
        tally->ordinary += ordinary ? 1 : 0;
        tally->ordinaryKept += ordinary && keptFrame[first] ? 1 : 0;
    }
    for (size_t k = 0; k < truth.size(); ++k)
        if (truth[k].junk) {
            ++tally->junk;
            tally->junkLeftOut += keptFrame[k] ? 0 : 1;
        }
}
