#include "SubtitleFeed.h"

#include "SubtitleReader.h"

#include <cstddef>
#include <utility>

SubtitleFeed::SubtitleFeed(Notice told) : notice(std::move(told)) {
    worker.setInterrupt([this] { stopping = true; });
}

SubtitleFeed::~SubtitleFeed() {
    worker.stop();
}

void SubtitleFeed::show(const std::optional<MediaTrack>& track) {
    worker.stop();
    lines.begin({});
    if (!track)
        return;
    stopping = false;
    worker.start([this, chosen = *track] { read(chosen); });
}

void SubtitleFeed::read(const MediaTrack& track) {
    SubtitleReader reader;
    if (!reader.open(track)) {
        if (notice)
            notice("The subtitles " + track.label() + " cannot be read: " + reader.failure());
        return;
    }
    lines.begin(reader.header());
    size_t told = 0;
    const auto tell = [&] {
        const std::vector<std::string>& notices = reader.notices();
        for (; told < notices.size(); ++told)
            if (notice)
                notice(notices[told]);
    };
    SubtitleLine line;
    while (reader.next(line, &stopping)) {
        lines.add(std::move(line));
        line = {};
        tell();
    }
    if (!stopping)
        tell();
}
