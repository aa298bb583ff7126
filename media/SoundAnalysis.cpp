#include "SoundAnalysis.h"

#include <ebur128.h>
#include <webrtc/modules/audio_processing/include/audio_processing.h>
#include <webrtc/modules/interface/module_common_types.h>

extern "C" {
#include <libavutil/audio_fifo.h>
}

#include <algorithm>
#include <limits>
#include <utility>

namespace {

constexpr int kAnalysisRate = 16000;
constexpr int kUnitSamples = kAnalysisRate / kSoundUnitsPerSecond;

uint8_t loudnessLevel(double lufs) {
    if (!(lufs > -100.0))
        return 0;
    return static_cast<uint8_t>(std::min(255.0, std::round((lufs + 100.0) * 2.0)));
}

} // namespace

// The detector and the meter, made afresh at every restart so that what they
// hold of the sound before does not reach past it.
struct SoundAnalysis::Detector {
    std::unique_ptr<webrtc::AudioProcessing> processing{webrtc::AudioProcessing::Create()};
    webrtc::AudioFrame frame;
    ebur128_state* meter = ebur128_init(1, kAnalysisRate, EBUR128_MODE_M);
    ffmpeg::AudioFifoPtr samples{av_audio_fifo_alloc(AV_SAMPLE_FMT_S16, 1, kUnitSamples)};

    Detector() {
        if (processing) {
            processing->voice_detection()->Enable(true);
            processing->voice_detection()->set_likelihood(webrtc::VoiceDetection::kLowLikelihood);
        }
    }
    ~Detector() {
        if (meter != nullptr)
            ebur128_destroy(&meter);
    }
    Detector(const Detector&) = delete;
    Detector& operator=(const Detector&) = delete;

    bool ready() const { return processing && meter != nullptr && samples; }

    SoundUnit unit(const int16_t* pcm) {
        SoundUnit u;
        ebur128_add_frames_short(meter, pcm, kUnitSamples);
        double lufs = -std::numeric_limits<double>::infinity();
        ebur128_loudness_window(meter, 1000 / kSoundUnitsPerSecond, &lufs);
        u.loudness = loudnessLevel(lufs);
        frame.UpdateFrame(0, 0, pcm, kUnitSamples, kAnalysisRate, webrtc::AudioFrame::kNormalSpeech,
                          webrtc::AudioFrame::kVadUnknown, 1);
        u.voice = processing->ProcessStream(&frame) == webrtc::AudioProcessing::kNoError &&
                  processing->voice_detection()->stream_has_voice();
        return u;
    }
};

SoundAnalysis::SoundAnalysis() = default;
SoundAnalysis::~SoundAnalysis() = default;

bool SoundAnalysis::open(const std::string& path, std::string* error) {
    if (!source.open(path, error, true)) {
        if (!source.hasStream())
            error->clear();
        return false;
    }
    AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
    if (!source.setOutput(mono, AV_SAMPLE_FMT_S16, kAnalysisRate, error))
        return false;
    restartAt(0.0);
    if (!detector->ready()) {
        *error = "the voice detector cannot be made";
        return false;
    }
    return true;
}

void SoundAnalysis::restartAt(double seconds) {
    firstUnit = static_cast<int64_t>(std::floor(std::max(seconds, 0.0) * kSoundUnitsPerSecond));
    analysedTo = firstUnit;
    analysed.clear();
    detector = std::make_unique<Detector>();
    endedAt = std::nan("");
    source.jumpTo(firstUnit * kUnitSamples);
}

bool SoundAnalysis::advanceTo(double seconds) {
    const double units = std::ceil(seconds * kSoundUnitsPerSecond);
    if (!(units > 0.0))
        return !failed;
    const auto wanted =
        static_cast<int64_t>(std::min(units, double(std::numeric_limits<int32_t>::max())));
    while (!failed && analysedTo < wanted) {
        const int64_t at = analysedTo * kUnitSamples;
        if (std::isnan(endedAt) && source.exhausted())
            endedAt = static_cast<double>(at) / kAnalysisRate;
        int16_t pcm[kUnitSamples];
        void* planes[] = {pcm};
        av_audio_fifo_reset(detector->samples.get());
        failed = !source.take(at, kUnitSamples, detector->samples.get()) ||
                 av_audio_fifo_read(detector->samples.get(), planes, kUnitSamples) != kUnitSamples;
        if (!failed) {
            analysed.push_back(detector->unit(pcm));
            ++analysedTo;
        }
    }
    return !failed;
}

std::vector<SoundUnit> SoundAnalysis::take() {
    return std::exchange(analysed, {});
}
