#include "MediaTracks.h"

#include "AVPointers.h"

#include <array>
#include <filesystem>
#include <string_view>

namespace {

// The languages a menu names in words; any other code is shown as it is.
std::string_view languageName(std::string_view code) {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 30> kNames{{
        {"eng", "English"},    {"en", "English"},    {"fre", "French"},    {"fra", "French"},
        {"fr", "French"},      {"ger", "German"},    {"deu", "German"},    {"de", "German"},
        {"spa", "Spanish"},    {"es", "Spanish"},    {"ita", "Italian"},   {"it", "Italian"},
        {"por", "Portuguese"}, {"pt", "Portuguese"}, {"dut", "Dutch"},     {"nld", "Dutch"},
        {"rus", "Russian"},    {"ru", "Russian"},    {"jpn", "Japanese"},  {"ja", "Japanese"},
        {"chi", "Chinese"},    {"zho", "Chinese"},   {"kor", "Korean"},    {"ara", "Arabic"},
        {"pol", "Polish"},     {"swe", "Swedish"},   {"nor", "Norwegian"}, {"dan", "Danish"},
        {"fin", "Finnish"},    {"tur", "Turkish"},
    }};
    for (const auto& [key, name] : kNames)
        if (key == code)
            return name;
    return {};
}

std::string tag(const AVStream* stream, const char* key) {
    const AVDictionaryEntry* entry = av_dict_get(stream->metadata, key, nullptr, 0);
    return entry && entry->value ? entry->value : "";
}

bool isTextSubtitle(AVCodecID id) {
    switch (id) {
    case AV_CODEC_ID_SUBRIP:
    case AV_CODEC_ID_SRT:
    case AV_CODEC_ID_ASS:
    case AV_CODEC_ID_SSA:
    case AV_CODEC_ID_WEBVTT:
    case AV_CODEC_ID_MOV_TEXT:
    case AV_CODEC_ID_TEXT:
        return true;
    default:
        return false;
    }
}

MediaTrack streamTrack(const AVStream* stream, int index, const std::string& path,
                       MediaTrack::Kind kind) {
    MediaTrack track;
    track.kind = kind;
    track.stream = index;
    track.path = path;
    track.language = tag(stream, "language");
    if (track.language == "und")
        track.language.clear();
    track.title = tag(stream, "title");
    track.codec = avcodec_get_name(stream->codecpar->codec_id);
    track.marked = (stream->disposition & AV_DISPOSITION_DEFAULT) != 0;
    return track;
}

void number(std::vector<MediaTrack>& tracks) {
    for (size_t i = 0; i < tracks.size(); ++i)
        tracks[i].number = static_cast<int>(i) + 1;
}

// The side files a video may have, in the order they are listed.
constexpr std::pair<const char*, const char*> kSideFiles[] = {
    {".srt", "subrip"}, {".ass", "ass"}, {".ssa", "ass"}, {".vtt", "webvtt"}};

ffmpeg::InputPtr openInput(const std::string& path) {
    AVFormatContext* context = nullptr;
    if (avformat_open_input(&context, path.c_str(), nullptr, nullptr) < 0)
        return nullptr;
    ffmpeg::InputPtr input(context);
    if (avformat_find_stream_info(context, nullptr) < 0)
        return nullptr;
    return input;
}

} // namespace

std::string MediaTrack::label() const {
    if (besideVideo)
        return std::filesystem::path(path).filename().string() + " (beside the video)";
    std::string name;
    if (!language.empty()) {
        const std::string_view words = languageName(language);
        name = words.empty() ? language : std::string(words) + " (" + language + ")";
    }
    if (!title.empty())
        return name.empty() ? title : name + " \u2014 " + title;
    if (!name.empty())
        return name;
    return "Track " + std::to_string(number > 0 ? number : stream + 1) + " (" + codec + ")";
}

std::vector<MediaTrack> audioTracks(const AVFormatContext* context, const std::string& path) {
    std::vector<MediaTrack> tracks;
    if (!context)
        return tracks;
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        const AVStream* stream = context->streams[i];
        if (stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            tracks.push_back(
                streamTrack(stream, static_cast<int>(i), path, MediaTrack::Kind::Audio));
    }
    number(tracks);
    return tracks;
}

std::vector<MediaTrack> subtitleTracks(const AVFormatContext* context, const std::string& path) {
    std::vector<MediaTrack> tracks;
    for (unsigned i = 0; context && i < context->nb_streams; ++i) {
        const AVStream* stream = context->streams[i];
        if (stream->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE &&
            isTextSubtitle(stream->codecpar->codec_id))
            tracks.push_back(
                streamTrack(stream, static_cast<int>(i), path, MediaTrack::Kind::Subtitle));
    }
    std::filesystem::path base(path);
    if (!base.has_extension() || base.extension() == ".srt" || base.extension() == ".ass" ||
        base.extension() == ".ssa" || base.extension() == ".vtt") {
        // A subtitle file opened as a video has no subtitle files of its own.
        number(tracks);
        return tracks;
    }
    for (const auto& [extension, codec] : kSideFiles) {
        std::filesystem::path side = base;
        side.replace_extension(extension);
        std::error_code error;
        if (!std::filesystem::is_regular_file(side, error))
            continue;
        MediaTrack track;
        track.kind = MediaTrack::Kind::Subtitle;
        track.stream = 0;
        track.path = side.string();
        track.besideVideo = true;
        track.codec = codec;
        tracks.push_back(track);
    }
    number(tracks);
    return tracks;
}

std::vector<MediaTrack> audioTracksOf(const std::string& path) {
    const ffmpeg::InputPtr input = openInput(path);
    return input ? audioTracks(input.get(), path) : std::vector<MediaTrack>{};
}

std::vector<MediaTrack> subtitleTracksOf(const std::string& path) {
    const ffmpeg::InputPtr input = openInput(path);
    return input ? subtitleTracks(input.get(), path) : std::vector<MediaTrack>{};
}

VideoTracks tracksOf(const std::string& path) {
    const ffmpeg::InputPtr input = openInput(path);
    if (!input)
        return {};
    return {audioTracks(input.get(), path), subtitleTracks(input.get(), path)};
}

int playedAudioTrack(const std::vector<MediaTrack>& tracks) {
    for (size_t i = 0; i < tracks.size(); ++i)
        if (tracks[i].marked)
            return static_cast<int>(i);
    return tracks.empty() ? -1 : 0;
}

int shownSubtitleTrack(const std::vector<MediaTrack>& tracks) {
    for (size_t i = 0; i < tracks.size(); ++i)
        if (tracks[i].besideVideo)
            return static_cast<int>(i);
    for (size_t i = 0; i < tracks.size(); ++i)
        if (tracks[i].marked)
            return static_cast<int>(i);
    return -1;
}
