#include "TalkSound.h"

#include "QualityVideos.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

// -50 dBFS of a 16-bit sample.
const double kSpeechFloor = 32768.0 * std::pow(10.0, -50.0 / 20.0);

uint32_t little(const unsigned char* p, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | p[i];
    return v;
}

// A 16-bit mono PCM file's samples, as -32768..32767; false for anything
// else. A data chunk whose length runs past the file (as a writer that
// cannot seek leaves it) is read to the end.
bool readWav(const std::string& path, std::vector<int16_t>* samples, int* rate) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<unsigned char> file((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
    if (file.size() < 12 || std::memcmp(file.data(), "RIFF", 4) != 0 ||
        std::memcmp(file.data() + 8, "WAVE", 4) != 0)
        return false;
    bool pcm16 = false;
    for (size_t at = 12; at + 8 <= file.size();) {
        const unsigned char* chunk = file.data() + at;
        const size_t size = little(chunk + 4, 4);
        const size_t body = at + 8;
        if (std::memcmp(chunk, "fmt ", 4) == 0 && size >= 16 && body + 16 <= file.size()) {
            pcm16 = little(chunk + 8, 2) == 1 && little(chunk + 10, 2) == 1 &&
                    little(chunk + 22, 2) == 16;
            *rate = static_cast<int>(little(chunk + 12, 4));
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!pcm16)
                return false;
            const size_t end = std::min(file.size(), body + size);
            samples->clear();
            for (size_t i = body; i + 2 <= end; i += 2)
                samples->push_back(static_cast<int16_t>(little(file.data() + i, 2)));
            return true;
        }
        at = body + size + (size & 1);
    }
    return false;
}

int16_t toSample(float value) {
    return static_cast<int16_t>(
        std::lround(std::clamp(value, -1.0f, 32767.0f / 32768.0f) * 32768.0f));
}

double midiFrequency(int note) {
    return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

} // namespace

std::vector<float> speakSentence(const std::string& text, const std::string& voice, int wpm,
                                 const std::string& wavPath) {
    std::vector<int16_t> samples;
    int rate = 0;
    if (!runProgram({"espeak-ng", "-v", voice, "-s", std::to_string(wpm), "-w", wavPath, text}) ||
        !readWav(wavPath, &samples, &rate) || rate != kTalkSampleRate)
        return {};
    std::remove(wavPath.c_str());
    auto loud = [](int16_t s) { return std::abs(static_cast<int>(s)) > kSpeechFloor; };
    const auto first = std::find_if(samples.begin(), samples.end(), loud);
    const auto last = std::find_if(samples.rbegin(), samples.rend(), loud).base();
    std::vector<float> speech;
    for (auto s = first; s < last; ++s)
        speech.push_back(*s / 32768.0f);
    return speech;
}

bool writeWav(const std::string& path, const std::vector<float>& samples) {
    std::ofstream out(path, std::ios::binary);
    auto put = [&](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.put(static_cast<char>(v >> (8 * i) & 0xff));
    };
    const uint32_t data = static_cast<uint32_t>(samples.size() * 2);
    out.write("RIFF", 4);
    put(36 + data, 4);
    out.write("WAVEfmt ", 8);
    put(16, 4);
    put(1, 2); // PCM
    put(1, 2); // mono
    put(kTalkSampleRate, 4);
    put(kTalkSampleRate * 2, 4);
    put(2, 2);
    put(16, 2);
    out.write("data", 4);
    put(data, 4);
    for (float s : samples)
        put(static_cast<uint16_t>(toSample(s)), 2);
    return static_cast<bool>(out);
}

bool addReverb(std::vector<float>* track, const std::string& folder) {
    const std::string dry = folder + "/dry.wav";
    const std::string wet = folder + "/wet.wav";
    std::vector<int16_t> samples;
    int rate = 0;
    // A large hall (reverberance 60 %, damping 50 %, room scale 90 %) over
    // the dry sound, which keeps its time; 4 dB down first for the room the
    // tails need. -R makes sox's runs alike.
    if (!writeWav(dry, *track) ||
        !runProgram(
            {"sox", "-R", "-D", "-q", dry, wet, "gain", "-4", "reverb", "60", "50", "90"}) ||
        !readWav(wet, &samples, &rate) || rate != kTalkSampleRate)
        return false;
    std::remove(dry.c_str());
    std::remove(wet.c_str());
    for (size_t i = 0; i < track->size(); ++i)
        (*track)[i] = i < samples.size() ? samples[i] / 32768.0f : 0.0f;
    return true;
}

void addMusic(std::vector<float>* track, const std::vector<std::pair<int, int>>& speech,
              double level) {
    // I-V-vi-IV in C: each chord's notes as MIDI numbers, the lowest also two
    // octaves down as the bass.
    static const int kChords[][3] = {{60, 64, 67}, {55, 59, 62}, {57, 60, 64}, {53, 57, 60}};
    const int chordSamples = kTalkSampleRate * 12 / 5;
    std::vector<float> music(track->size());
    for (size_t i = 0; i < music.size(); ++i) {
        const int chord = static_cast<int>(i / chordSamples) % 4;
        const double into = static_cast<double>(i % chordSamples) / kTalkSampleRate;
        const double left = 2.4 - into;
        // A soft attack, a slow decay and a short release before the next.
        const double envelope =
            std::min({1.0, into / 0.03, left / 0.05}) * (0.5 + 0.5 * std::exp(-into / 1.2));
        const double t = static_cast<double>(i) / kTalkSampleRate;
        double v = 0.0;
        for (int note : kChords[chord]) {
            const double w = 2.0 * M_PI * midiFrequency(note) * t;
            v += std::sin(w) + 0.3 * std::sin(2.0 * w);
        }
        v += 1.2 * std::sin(2.0 * M_PI * midiFrequency(kChords[chord][0] - 24) * t);
        music[i] = static_cast<float>(v * envelope);
    }
    double speechSquares = 0.0;
    double musicSquares = 0.0;
    size_t speechCount = 0;
    for (const auto& [from, to] : speech)
        for (int i = from; i < to; ++i) {
            speechSquares +=
                double((*track)[static_cast<size_t>(i)]) * (*track)[static_cast<size_t>(i)];
            ++speechCount;
        }
    for (float m : music)
        musicSquares += double(m) * m;
    if (speechCount == 0 || musicSquares <= 0.0)
        return;
    const double gain = level * std::sqrt(speechSquares / static_cast<double>(speechCount)) /
                        std::sqrt(musicSquares / static_cast<double>(music.size()));
    for (size_t i = 0; i < music.size(); ++i)
        (*track)[i] += static_cast<float>(gain * music[i]);
}
