#include "SubtitleReader.h"

#include "AVPointers.h"
#include "SubtitleText.h"

#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>

extern "C" {
#include <libavutil/intreadwrite.h>
}

namespace {

// A line that says nothing of its length shows until the next one, at most this long.
constexpr int64_t kOpenLineMs = 5000;
// Larger than any subtitle file; a "subtitle file" of more is not read.
constexpr size_t kLargestSideFile = size_t{64} << 20;

const char* const kDamagedNotice = "Some lines of the subtitles could not be read";
const char* const kLatin1LinesNotice =
    "Some lines of the subtitles are not UTF-8; they are read as Latin-1";

int64_t toMs(int64_t value, AVRational timeBase) {
    return av_rescale_q(value, timeBase, AVRational{1, 1000});
}

// The demuxer of a side file, by its codec (the lists name it from the
// extension), else by the extension.
const char* sideFormat(const MediaTrack& track) {
    if (track.codec == "ass" || track.codec == "ssa")
        return "ass";
    if (track.codec == "webvtt")
        return "webvtt";
    if (track.codec == "subrip" || track.codec == "srt")
        return "srt";
    const std::string extension = std::filesystem::path(track.path).extension().string();
    if (extension == ".ass" || extension == ".ssa")
        return "ass";
    if (extension == ".vtt")
        return "webvtt";
    return "srt";
}

} // namespace

namespace sidefile {

// A side file's bytes, as a demuxer reads them from memory.
struct MemoryFile {
    std::string bytes;
    size_t at = 0;

    static int read(void* opaque, uint8_t* buffer, int size) {
        auto* file = static_cast<MemoryFile*>(opaque);
        const size_t left = file->bytes.size() - file->at;
        if (left == 0)
            return AVERROR_EOF;
        const size_t n = std::min(left, static_cast<size_t>(size));
        std::copy_n(file->bytes.data() + file->at, n, buffer);
        file->at += n;
        return static_cast<int>(n);
    }
    static int64_t seek(void* opaque, int64_t offset, int whence) {
        auto* file = static_cast<MemoryFile*>(opaque);
        const auto size = static_cast<int64_t>(file->bytes.size());
        switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE:
            return size;
        case SEEK_SET:
            break;
        case SEEK_CUR:
            offset += static_cast<int64_t>(file->at);
            break;
        case SEEK_END:
            offset += size;
            break;
        default:
            return AVERROR(EINVAL);
        }
        if (offset < 0 || offset > size)
            return AVERROR(EINVAL);
        file->at = static_cast<size_t>(offset);
        return offset;
    }
};

struct AvioFreer {
    void operator()(AVIOContext* context) const {
        if (context)
            av_freep(&context->buffer);
        avio_context_free(&context);
    }
};

} // namespace sidefile

struct SubtitleReader::Reading {
    // The side file's bytes and their reader outlive the demuxer that reads
    // them (members are destroyed in reverse order).
    sidefile::MemoryFile memory;
    std::unique_ptr<AVIOContext, sidefile::AvioFreer> avio;
    ffmpeg::InputPtr input;
    ffmpeg::CodecContextPtr decoder;
    ffmpeg::PacketPtr packet{av_packet_alloc()};
    int stream = -1;
    AVRational timeBase{1, 1000};
    std::string header;
    std::string failure;
    std::vector<std::string> notices;
    bool toldDamage = false;
    bool toldLatin1 = false;
    bool ended = false;
    // A packet read by open() to tell subtitles from other bytes.
    bool packetWaiting = false;
    int64_t lastStartMs = 0;

    struct Pending {
        SubtitleLine line;
        bool open = false; // its length waits for the next line
    };
    std::deque<Pending> lines;

    bool fail(std::string why) {
        failure = std::move(why);
        decoder.reset();
        input.reset();
        avio.reset();
        return false;
    }
    void tell(bool& told, const std::string& notice) {
        if (!told)
            notices.push_back(notice);
        told = true;
    }

    bool openSideFile(const MediaTrack& track);
    bool openDecoder();
    bool readPacket();
    void decodePacket();
    bool decodeInto(AVPacket* source, AVSubtitle* subtitle, int* got);
    void add(SubtitleLine line, bool open);
    void closeAll(int64_t nextStartMs, bool atEnd);
};

bool SubtitleReader::Reading::openSideFile(const MediaTrack& track) {
    const std::string name = std::filesystem::path(track.path).filename().string();
    std::ifstream in(track.path, std::ios::binary);
    if (!in)
        return fail("cannot open " + name);
    std::string bytes;
    char chunk[65536];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        bytes.append(chunk, static_cast<size_t>(in.gcount()));
        if (bytes.size() > kLargestSideFile)
            return fail(name + " is too large to be subtitles");
    }
    if (bytes.empty())
        return fail(name + " is empty");
    size_t body = 0;
    if (bytes.compare(0, 3, "\xef\xbb\xbf") == 0)
        body = 3;
    const bool latin1 =
        !validUtf8(reinterpret_cast<const uint8_t*>(bytes.data()) + body, bytes.size() - body);
    if (latin1)
        bytes = latin1ToUtf8(bytes);
    memory.bytes = std::move(bytes);
    memory.at = 0;

    constexpr int kBufferSize = 16384;
    auto* buffer = static_cast<uint8_t*>(av_malloc(kBufferSize));
    if (!buffer)
        return fail("out of memory");
    avio.reset(avio_alloc_context(buffer, kBufferSize, 0, &memory, &sidefile::MemoryFile::read,
                                  nullptr, &sidefile::MemoryFile::seek));
    if (!avio) {
        av_free(buffer);
        return fail("out of memory");
    }
    AVFormatContext* context = avformat_alloc_context();
    if (!context)
        return fail("out of memory");
    context->pb = avio.get();
    context->flags |= AVFMT_FLAG_CUSTOM_IO;
    const AVInputFormat* format = av_find_input_format(sideFormat(track));
    if (avformat_open_input(&context, nullptr, format, nullptr) < 0)
        return fail(name + " is not subtitles");
    input.reset(context);
    if (input->nb_streams < 1 || input->streams[0]->codecpar->codec_type != AVMEDIA_TYPE_SUBTITLE)
        return fail(name + " is not subtitles");
    stream = 0;
    if (!openDecoder())
        return false;
    // Bytes a subtitle demuxer makes nothing of give no line at all.
    if (!readPacket())
        return fail(name + " holds no subtitles");
    packetWaiting = true;
    if (latin1)
        tell(toldLatin1, "The subtitles in " + name + " are not UTF-8; they are read as Latin-1");
    return true;
}

bool SubtitleReader::Reading::openDecoder() {
    AVStream* chosen = input->streams[stream];
    for (unsigned i = 0; i < input->nb_streams; ++i)
        if (static_cast<int>(i) != stream)
            input->streams[i]->discard = AVDISCARD_ALL;
    const AVCodec* codec = avcodec_find_decoder(chosen->codecpar->codec_id);
    if (!codec)
        return fail("no decoder for these subtitles");
    decoder.reset(avcodec_alloc_context3(codec));
    if (!decoder || avcodec_parameters_to_context(decoder.get(), chosen->codecpar) < 0)
        return fail("no decoder for these subtitles");
    timeBase = chosen->time_base.num > 0 && chosen->time_base.den > 0 ? chosen->time_base
                                                                      : AVRational{1, 1000};
    decoder->pkt_timebase = timeBase;
    if (avcodec_open2(decoder.get(), codec, nullptr) < 0)
        return fail("the subtitles' decoder cannot start");
    if (decoder->subtitle_header && decoder->subtitle_header_size > 0)
        header.assign(reinterpret_cast<const char*>(decoder->subtitle_header),
                      static_cast<size_t>(decoder->subtitle_header_size));
    if (!validUtf8(header))
        header = latin1ToUtf8(header);
    return true;
}

// The next packet of the stream into `packet`; false at the end.
bool SubtitleReader::Reading::readPacket() {
    while (true) {
        av_packet_unref(packet.get());
        const int status = av_read_frame(input.get(), packet.get());
        if (status == AVERROR(EAGAIN))
            continue;
        if (status < 0)
            return false;
        if (packet->stream_index == stream)
            return true;
    }
}

bool SubtitleReader::Reading::decodeInto(AVPacket* source, AVSubtitle* subtitle, int* got) {
    *got = 0;
    return avcodec_decode_subtitle2(decoder.get(), subtitle, got, source) >= 0;
}

void SubtitleReader::Reading::decodePacket() {
    AVSubtitle subtitle{};
    int got = 0;
    bool decoded = decodeInto(packet.get(), &subtitle, &got);
    if (!decoded && packet->size > 0 &&
        !validUtf8(packet->data, static_cast<size_t>(packet->size))) {
        // The decoders refuse text that is not UTF-8: the line again, from Latin-1.
        std::string text;
        if (decoder->codec_id == AV_CODEC_ID_MOV_TEXT && packet->size >= 2) {
            const size_t length = std::min<size_t>(AV_RB16(packet->data), packet->size - 2);
            text = latin1ToUtf8(packet->data + 2, length);
            const std::string rest(reinterpret_cast<const char*>(packet->data) + 2 + length,
                                   static_cast<size_t>(packet->size) - 2 - length);
            const size_t newLength = std::min<size_t>(text.size(), 0xffff);
            text.resize(newLength);
            text = std::string{static_cast<char>(newLength >> 8),
                               static_cast<char>(newLength & 0xff)} +
                   text + rest;
        } else {
            text = latin1ToUtf8(packet->data, static_cast<size_t>(packet->size));
        }
        const ffmpeg::PacketPtr again(av_packet_alloc());
        if (again && av_new_packet(again.get(), static_cast<int>(text.size())) >= 0) {
            std::copy(text.begin(), text.end(), again->data);
            av_packet_copy_props(again.get(), packet.get());
            decoded = decodeInto(again.get(), &subtitle, &got);
            if (decoded)
                tell(toldLatin1, kLatin1LinesNotice);
        }
    }
    if (!decoded) {
        tell(toldDamage, kDamagedNotice);
        return;
    }
    if (!got) {
        avsubtitle_free(&subtitle);
        return;
    }
    int64_t baseMs = lastStartMs;
    if (packet->pts != AV_NOPTS_VALUE)
        baseMs = toMs(packet->pts, timeBase);
    else if (packet->dts != AV_NOPTS_VALUE)
        baseMs = toMs(packet->dts, timeBase);
    const int64_t startMs = baseMs + subtitle.start_display_time;
    int64_t durationMs = -1;
    if (packet->duration > 0)
        durationMs = toMs(packet->duration, timeBase) - subtitle.start_display_time;
    else if (subtitle.end_display_time > subtitle.start_display_time &&
             subtitle.end_display_time != UINT32_MAX)
        durationMs = int64_t{subtitle.end_display_time} - subtitle.start_display_time;
    const bool open = durationMs <= 0;
    for (unsigned i = 0; i < subtitle.num_rects; ++i) {
        const AVSubtitleRect* rect = subtitle.rects[i];
        if (!rect || !rect->ass)
            continue;
        SubtitleLine line;
        line.startMs = startMs;
        line.durationMs = open ? 0 : durationMs;
        line.event = rect->ass;
        if (!validUtf8(line.event)) {
            line.event = latin1ToUtf8(line.event);
            tell(toldLatin1, kLatin1LinesNotice);
        }
        // libass takes the event without its line end.
        while (!line.event.empty() && (line.event.back() == '\n' || line.event.back() == '\r'))
            line.event.pop_back();
        add(std::move(line), open);
    }
    lastStartMs = startMs;
    avsubtitle_free(&subtitle);
}

void SubtitleReader::Reading::add(SubtitleLine line, bool open) {
    closeAll(line.startMs, false);
    lines.push_back({std::move(line), open});
}

// The lines still open end where the next starts (if it starts later), and
// at the track's end after at most kOpenLineMs.
void SubtitleReader::Reading::closeAll(int64_t nextStartMs, bool atEnd) {
    for (Pending& pending : lines) {
        if (!pending.open)
            continue;
        if (atEnd) {
            pending.line.durationMs = kOpenLineMs;
            pending.open = false;
        } else if (nextStartMs > pending.line.startMs) {
            pending.line.durationMs = std::min(nextStartMs - pending.line.startMs, kOpenLineMs);
            pending.open = false;
        }
    }
}

SubtitleReader::SubtitleReader() : reading(std::make_unique<Reading>()) {}

SubtitleReader::~SubtitleReader() = default;

bool SubtitleReader::open(const MediaTrack& track) {
    reading = std::make_unique<Reading>();
    Reading& r = *reading;
    if (track.kind != MediaTrack::Kind::Subtitle)
        return r.fail("not a subtitle track");
    if (track.besideVideo)
        return r.openSideFile(track);
    AVFormatContext* context = nullptr;
    if (avformat_open_input(&context, track.path.c_str(), nullptr, nullptr) < 0)
        return r.fail("cannot open " + std::filesystem::path(track.path).filename().string());
    r.input.reset(context);
    if (track.stream < 0 || track.stream >= static_cast<int>(context->nb_streams))
        return r.fail("no such subtitle track");
    if (context->streams[track.stream]->codecpar->codec_id == AV_CODEC_ID_NONE)
        avformat_find_stream_info(context, nullptr);
    if (context->streams[track.stream]->codecpar->codec_type != AVMEDIA_TYPE_SUBTITLE)
        return r.fail("the track is not subtitles");
    r.stream = track.stream;
    return r.openDecoder();
}

const std::string& SubtitleReader::failure() const {
    return reading->failure;
}

const std::string& SubtitleReader::header() const {
    return reading->header;
}

const std::vector<std::string>& SubtitleReader::notices() const {
    return reading->notices;
}

bool SubtitleReader::next(SubtitleLine& line, const std::atomic<bool>* stop) {
    Reading& r = *reading;
    while (true) {
        if (!r.lines.empty() && !r.lines.front().open) {
            line = std::move(r.lines.front().line);
            r.lines.pop_front();
            return true;
        }
        if (r.ended || !r.input || !r.decoder) {
            r.closeAll(0, true);
            if (r.lines.empty())
                return false;
            continue;
        }
        if (stop && stop->load())
            return false;
        if (r.packetWaiting) {
            r.packetWaiting = false;
        } else if (!r.readPacket()) {
            r.ended = true;
            continue;
        }
        r.decodePacket();
    }
}

std::vector<SubtitleLine> readSubtitles(const MediaTrack& track,
                                        std::vector<std::string>& notices) {
    std::vector<SubtitleLine> lines;
    SubtitleReader reader;
    if (!reader.open(track)) {
        notices.insert(notices.end(), reader.notices().begin(), reader.notices().end());
        notices.push_back(reader.failure());
        return lines;
    }
    SubtitleLine line;
    while (reader.next(line))
        lines.push_back(std::move(line));
    std::stable_sort(lines.begin(), lines.end(), [](const SubtitleLine& a, const SubtitleLine& b) {
        return a.startMs < b.startMs;
    });
    notices.insert(notices.end(), reader.notices().begin(), reader.notices().end());
    return lines;
}
