#include "SubtitleHarness.h"

#include "BytesAsFile.h"
#include "SubtitleReader.h"

#include <string>
#include <vector>

SubtitleRun runSubtitleHarness(const uint8_t* data, size_t size) {
    SubtitleRun result;
    if (size == 0)
        return result;
    static const char* const kCodecs[] = {"subrip", "ass", "webvtt"};
    MediaTrack track;
    track.kind = MediaTrack::Kind::Subtitle;
    track.stream = 0;
    track.besideVideo = true;
    track.codec = kCodecs[data[0] % 3];
    withBytesAsFile(data + 1, size - 1, [&](const std::string& path) {
        track.path = path;
        {
            SubtitleReader reader;
            result.opened = reader.open(track);
        }
        std::vector<std::string> notices;
        for (const SubtitleLine& line : readSubtitles(track, notices)) {
            ++result.lines;
            result.textBytes += plainText(line.event).size();
        }
    });
    return result;
}
