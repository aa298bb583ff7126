#pragma once

// The sound of the quality bench's talks: sentences spoken by espeak-ng and
// trimmed to their first and last samples above -50 dBFS, a hall's reverb
// by sox, and music of chords synthesised here.

#include <cstdint>
#include <string>
#include <vector>

// espeak-ng's rate, kept for the whole track (ffmpeg resamples it for AAC).
constexpr int kTalkSampleRate = 22050;

// The sentence spoken by espeak-ng's voice at wpm words a minute through
// wavPath, from its first sample above -50 dBFS to its last; empty when
// espeak-ng fails or speaks at another rate.
std::vector<float> speakSentence(const std::string& text, const std::string& voice, int wpm,
                                 const std::string& wavPath);

// 16-bit mono PCM.
bool writeWav(const std::string& path, const std::vector<float>& samples);

// The track through sox's reverb of a hall, dry sound kept, its length
// unchanged; false when sox fails. Makes its files in folder.
bool addReverb(std::vector<float>* track, const std::string& folder);

// Adds chords of a few sines, a new one every 2.4 s, over the whole track at
// `level` times the speech's RMS (its RMS over [start, end) sample spans).
void addMusic(std::vector<float>* track, const std::vector<std::pair<int, int>>& speech,
              double level);
