#pragma once

// Small test files made once per build tree by make-test-media and reused.
// Unless said otherwise: 25 fps, a key frame every 25 frames.

#include <string>

// H.264 with B-frames + AAC stereo 48 kHz in MP4, 320x240, 100 frames.
inline constexpr const char* kH264Aac = "h264_aac.mp4";
// MPEG-4 part 2 with B-frames + MP3 mono 48 kHz (1152-sample frames) in AVI,
// 320x240, 97 frames: frames 40-42 were dropped (empty chunks in the file).
inline constexpr const char* kMpeg4Mp3 = "mpeg4_mp3.avi";
// VP9 + Opus in WebM, 320x240, 75 frames; its streams carry no duration.
inline constexpr const char* kVp9Opus = "vp9_opus.webm";
// Stream 0 AAC, stream 1 H.264 256x144, 75 frames.
inline constexpr const char* kAudioFirst = "audio_first.mkv";
// H.264 without audio in MP4, 320x240, 75 frames.
inline constexpr const char* kVideoOnly = "video_only.mp4";
// H.264 + PCM s16le stereo in MOV (the PCM decoder's frame size is 0), 75 frames.
inline constexpr const char* kPcmAudio = "pcm_audio.mov";
// H.264 4:2:2 in Matroska, 320x240, 50 frames.
inline constexpr const char* kYuv422 = "yuv422.mkv";
// MPEG-4 part 2 at an odd size, 321x241, in AVI, 50 frames.
inline constexpr const char* kOddSize = "odd_size.avi";
// Streams: H.264 320x240, H.264 160x120, AAC mono, AAC stereo; 50 frames.
inline constexpr const char* kTwoVideo = "two_video.mkv";
// H.264 160x120 without audio, exactly 51 frames.
inline constexpr const char* kFrames51 = "frames51.mp4";
// The video of kFrames51 in MP4 with an MPEG-H 3D audio stream, which FFmpeg
// carries but cannot decode.
inline constexpr const char* kNoAudioDecoder = "no_audio_decoder.mp4";
// H.264 + AAC, 320x240, 250 frames (10 s): scenes testsrc2, smptebars,
// mandelbrot, rgbtestsrc and life, a cut every 2 s (frames 50, 100, 150, 200).
inline constexpr const char* kScenes = "scenes.mp4";
// H.264 + AAC, 320x240, 150 frames (6 s): two Mandelbrot zooms and a
// gradient, cut at frames 38, 90 and 125 (inside fragments), the first zoom
// seen again.
inline constexpr const char* kCuts = "cuts.mp4";
// H.264 160x120 at 1 fps (4 pictures) + AAC 5.1 at 48 kHz: the audio up to
// one picture (288000 samples) does not fit in the reader's sample buffer.
inline constexpr const char* kSparseVideo = "sparse_video.mp4";
// H.264 with B-frames + AAC stereo, 1280x720, 500 frames (20 s), for benches.
inline constexpr const char* kH264_720p = "h264_720p.mp4";

// Bad files: no bytes; plain text; a 4 s H.264 + AAC MP4 (index first) cut in
// half; a Matroska header followed by noise; a path that does not exist.
inline constexpr const char* kEmpty = "empty.mp4";
inline constexpr const char* kText = "text.mp4";
inline constexpr const char* kTruncated = "truncated.mp4";
inline constexpr const char* kGarbageAfterHeader = "garbage_after_header.mkv";
inline constexpr const char* kMissing = "missing.mp4";
// Misleading and damaged files, 64x48 or smaller where a size is not the
// point: sound alone; sound with a cover picture; one PNG picture; a raw
// stream claiming 16000x16000; 20 raw pictures at 0, a million and a
// millionth frames a second; 1x1 pictures; two MPEG-TS pieces (1 s each)
// back to back, the second's clock starting again at zero, at the same size
// and at 48x32; a fragmented MP4 of one fragment per picture (25 of them).
inline constexpr const char* kAudioOnly = "audio_only.m4a";
inline constexpr const char* kAudioCover = "audio_cover.mp3";
inline constexpr const char* kOnePicture = "one_picture.png";
inline constexpr const char* kTooLarge = "too_large.y4m";
inline constexpr const char* kRateZero = "rate_zero.y4m";
inline constexpr const char* kRateHuge = "rate_huge.y4m";
inline constexpr const char* kRateTiny = "rate_tiny.y4m";
inline constexpr const char* kOnePixel = "one_pixel.nut";
inline constexpr const char* kBackwards = "backwards.ts";
inline constexpr const char* kSizeChange = "size_change.ts";
inline constexpr const char* kTinyFragments = "tiny_fragments.mp4";

// The files above that hold decodable video, damaged ones too.
inline constexpr const char* kDecodableMedia[] = {
    kH264Aac,  kMpeg4Mp3,    kVp9Opus,   kAudioFirst, kVideoOnly,
    kPcmAudio, kYuv422,      kOddSize,   kTwoVideo,   kFrames51,
    kScenes,   kSparseVideo, kH264_720p, kTruncated,  kGarbageAfterHeader};

// Full path of a test file; makes the whole set first (once per process).
std::string testMedia(const std::string& name);
