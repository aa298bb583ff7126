#pragma once

// Fragments made by a test, handed out in order as an analysis would, so that
// the summary takes them in the player's and the tool's turns (SummaryTurns).

#include "FragmentSource.h"
#include "FrameBuffer.h"
#include "SummaryTurns.h"

#include <memory>
#include <optional>
#include <utility>
#include <vector>

class FragmentList final : public FragmentSource {
public:
    explicit FragmentList(std::vector<std::unique_ptr<FrameBuffer>> list)
        : fragments(std::move(list)) {}

    std::unique_ptr<FrameBuffer> nextFragment() override {
        return next < fragments.size() ? std::move(fragments[next++]) : nullptr;
    }
    int64_t picturesRead() const override { return 0; }
    double frameRate() const override { return 25.0; }

private:
    std::vector<std::unique_ptr<FrameBuffer>> fragments;
    size_t next = 0;
};

// Every decision the summary takes of the fragments, to the end, in turns.
template <typename Decided>
void takeTurns(Summarizer& summarizer, std::vector<std::unique_ptr<FrameBuffer>> fragments,
               Decided decided) {
    FragmentList list(std::move(fragments));
    SummaryTurns turns(list, summarizer);
    while (!turns.finished()) {
        turns.offerFragment();
        if (const std::optional<Decision> d = turns.takeDecision())
            decided(*d);
    }
}
