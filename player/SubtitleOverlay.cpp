#include "SubtitleOverlay.h"

extern "C" {
#include <ass/ass.h>
}

#include <algorithm>
#include <climits>
#include <cstdarg>

namespace {
// libass would say what it makes of a damaged line on the console; the
// reader's notices say what matters to the viewer, once.
void quiet(int, const char*, va_list, void*) {}

// x * y / 255, rounded, for x and y from 0 to 255.
inline int scaled(int x, int y) {
    const int t = x * y + 128;
    return (t + (t >> 8)) >> 8;
}

bool startsBefore(int64_t time, const std::pair<int64_t, int64_t>& span) {
    return time < span.first;
}
} // namespace

void SubtitleOverlay::LibraryFree::operator()(ass_library* library) const {
    ass_library_done(library);
}
void SubtitleOverlay::RendererFree::operator()(ass_renderer* renderer) const {
    ass_renderer_done(renderer);
}
void SubtitleOverlay::TrackFree::operator()(ass_track* track) const {
    ass_free_track(track);
}

SubtitleOverlay::SubtitleOverlay(SubtitleLines& given) : lines(given) {}

// The track goes before the renderer, the renderer before the library.
SubtitleOverlay::~SubtitleOverlay() = default;

bool SubtitleOverlay::makeRenderer() {
    if (renderer || rendererFailed)
        return renderer != nullptr;
    rendererFailed = true;
    library.reset(ass_library_init());
    if (!library)
        return false;
    ass_set_message_cb(library.get(), quiet, nullptr);
    renderer.reset(ass_renderer_init(library.get()));
    if (!renderer)
        return false;
    ass_set_fonts(renderer.get(), nullptr, "sans-serif", ASS_FONTPROVIDER_AUTODETECT, nullptr, 1);
    rendererFailed = false;
    return true;
}

void SubtitleOverlay::follow() {
    const uint64_t changes = lines.changeCount();
    if (changes == seenChanges)
        return;
    seenChanges = changes;
    seenTracks = lines.trackCount();
    SubtitleLines::Taken taken = lines.take();
    if (taken.newTrack) {
        track.reset();
        spans.clear();
        longest = 0;
        layerWidth = 0;
        // The first picture of the new track composes its layer afresh,
        // whatever libass says changed since the last track's.
        frameWidth = 0;
        if (taken.header.empty() || !makeRenderer())
            return;
        track.reset(ass_new_track(library.get()));
        if (!track)
            return;
        ass_process_codec_private(track.get(), taken.header.data(),
                                  static_cast<int>(taken.header.size()));
    }
    if (!track)
        return;
    for (SubtitleLine& line : taken.lines) {
        if (line.durationMs <= 0 || line.event.empty())
            continue;
        ass_process_chunk(track.get(), line.event.data(), static_cast<int>(line.event.size()),
                          line.startMs, line.durationMs);
        const auto at = std::upper_bound(spans.begin(), spans.end(), line.startMs, startsBefore);
        spans.insert(at, {line.startMs, line.endMs()});
        longest = std::max(longest, line.durationMs);
    }
}

bool SubtitleOverlay::anyActive(int64_t ms) const {
    auto span = std::upper_bound(spans.begin(), spans.end(), ms, startsBefore);
    while (span != spans.begin()) {
        --span;
        if (span->first < ms - longest)
            return false;
        if (span->second > ms)
            return true;
    }
    return false;
}

bool SubtitleOverlay::draw(uint8_t* pixels, int width, int height, int stride, int64_t ms) {
    follow();
    if (!track || width <= 0 || height <= 0 || !anyActive(ms))
        return false;
    bool resized = false;
    if (width != frameWidth || height != frameHeight) {
        ass_set_frame_size(renderer.get(), width, height);
        frameWidth = width;
        frameHeight = height;
        resized = true;
    }
    int change = 0;
    const ASS_Image* images = ass_render_frame(renderer.get(), track.get(), ms, &change);
    // The same images as the picture before: its layer serves again.
    if (change != 0 || resized)
        compose(images);
    if (layerWidth == 0)
        return false;
    blend(pixels, stride);
    return true;
}

void SubtitleOverlay::compose(const ass_image* images) {
    int left = INT_MAX, top = INT_MAX, right = 0, bottom = 0;
    for (const ASS_Image* image = images; image != nullptr; image = image->next) {
        if (image->w <= 0 || image->h <= 0)
            continue;
        left = std::min(left, image->dst_x);
        top = std::min(top, image->dst_y);
        right = std::max(right, image->dst_x + image->w);
        bottom = std::max(bottom, image->dst_y + image->h);
    }
    layerWidth = 0;
    if (left >= right || top >= bottom)
        return;
    layerX = left;
    layerY = top;
    layerWidth = right - left;
    layerHeight = bottom - top;
    layer.assign(static_cast<size_t>(layerWidth) * layerHeight * 4, 0);
    // Each image over those before it (shadow, outline, then the letters).
    for (const ASS_Image* image = images; image != nullptr; image = image->next) {
        if (image->w <= 0 || image->h <= 0)
            continue;
        const uint32_t colour = image->color;
        const int red = static_cast<int>(colour >> 24);
        const int green = static_cast<int>((colour >> 16) & 255);
        const int blue = static_cast<int>((colour >> 8) & 255);
        const int opacity = 255 - static_cast<int>(colour & 255);
        for (int y = 0; y < image->h; ++y) {
            const uint8_t* coverage = image->bitmap + static_cast<ptrdiff_t>(y) * image->stride;
            uint8_t* out =
                layer.data() + (static_cast<size_t>(image->dst_y - layerY + y) * layerWidth +
                                (image->dst_x - layerX)) *
                                   4;
            for (int x = 0; x < image->w; ++x, out += 4) {
                const int k = scaled(coverage[x], opacity);
                if (k == 0)
                    continue;
                const int rest = 255 - k;
                out[0] = static_cast<uint8_t>(scaled(blue, k) + scaled(out[0], rest));
                out[1] = static_cast<uint8_t>(scaled(green, k) + scaled(out[1], rest));
                out[2] = static_cast<uint8_t>(scaled(red, k) + scaled(out[2], rest));
                out[3] = static_cast<uint8_t>(k + scaled(out[3], rest));
            }
        }
    }
}

void SubtitleOverlay::blend(uint8_t* pixels, int stride) const {
    const uint8_t* in = layer.data();
    for (int y = 0; y < layerHeight; ++y) {
        uint8_t* out = pixels + static_cast<ptrdiff_t>(layerY + y) * stride + layerX * 4;
        for (int x = 0; x < layerWidth; ++x, in += 4, out += 4) {
            const int k = in[3];
            if (k == 0)
                continue;
            const int rest = 255 - k;
            for (int c = 0; c < 3; ++c)
                out[c] = static_cast<uint8_t>(std::min(255, in[c] + scaled(out[c], rest)));
        }
    }
}
