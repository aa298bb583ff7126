#pragma once

// Who analyses a video for the store. The store side does, in a pass of its
// own from the first picture, unless a live summary reads from the first
// picture too: that summary decodes every picture the store's analysis
// would, so it takes the store's analysis over (the store side stops its
// pass, offers a recording and follows it) instead of the video being
// decoded twice at once. Should the summary leave before the end, the
// store side analyses the video itself again.

#include "DescriptorStore.h"
#include "LiveRecording.h"

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

class AnalysisHandOver {
public:
    // --- The store side.
    // Before the loop starts: the store side will analyse the video.
    void expect();
    // A live summary asks for the analysis: the store side's own pass gives way.
    bool frontWanted() const;
    // Offers a store and the video's key to record under, and waits for the
    // summary to take them (null when `stop` holds first).
    std::shared_ptr<LiveRecording> offer(std::unique_ptr<DescriptorStore> store, VideoKey key,
                                         const std::function<bool()>& stop);
    // The video is stored whole, or never will be: nothing more is offered.
    void close();

    // --- The decoding loop.
    // A summary reads from the first picture on: the store's analysis,
    // recorded at frameRate, when the store side has one to hand over;
    // null when it has not (the video is stored whole, there is no store).
    std::shared_ptr<LiveRecording> takeFront(double frameRate, const std::function<bool()>& stop);

private:
    enum class Side { None, Analysing, Offered, Closed };

    mutable std::mutex mutex;
    std::condition_variable changed;
    Side side = Side::None;
    bool wanted = false;
    std::unique_ptr<DescriptorStore> store;
    VideoKey key;
    std::shared_ptr<LiveRecording> taken;
};
