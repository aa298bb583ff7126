#include "QualityTalks.h"

#include "Fnv.h"
#include "QualityVideos.h"
#include "SampleVideos.h"
#include "TalkRecipes.h"
#include "TalkSound.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <system_error>

namespace {

// Part of every talk's file name: a new one makes every talk again.
constexpr int kTalkVersion = 3;
constexpr int kSamplesPerFrame = kTalkSampleRate / kQualityFrameRate;
const char* const kTalkFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// splitmix64: the same numbers on every machine, unlike <random>'s
// distributions.
struct TalkRandom {
    uint64_t state;
    uint64_t next() {
        uint64_t z = (state += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return z ^ (z >> 31);
    }
    double uniform(double low, double high) {
        return low + (high - low) * static_cast<double>(next() >> 11) * 0x1.0p-53;
    }
    int between(int low, int high) { // inclusive
        return low + static_cast<int>(next() % static_cast<uint64_t>(high - low + 1));
    }
};

int samplesIn(double s) {
    return static_cast<int>(s * kTalkSampleRate + 0.5);
}

// A sentence's place in the track, in samples.
struct PlacedSentence {
    int start;
    int end;
    int speaker;
};

// The sentences one after another from 1 s in, with pauses of 0.3-1.5 s
// between them and, after three of them spread over the talk, a silence of
// 3-8 s; 1.5 s after the last, and whole frames in all.
std::vector<PlacedSentence> layout(const std::vector<std::vector<float>>& speech,
                                   const TalkRecipe& recipe, TalkRandom& random,
                                   std::set<size_t>* silences, int* samples) {
    const size_t n = speech.size();
    for (size_t k = 1; k <= 3; ++k)
        silences->insert(n * k / 4 + static_cast<size_t>(random.between(-1, 1)));
    std::vector<PlacedSentence> placed;
    int at = samplesIn(1.0);
    for (size_t i = 0; i < n; ++i) {
        const int length = static_cast<int>(speech[i].size());
        placed.push_back({at, at + length, recipe.lines[i].speaker});
        at += length +
              samplesIn(silences->count(i) ? random.uniform(3.0, 8.0) : random.uniform(0.3, 1.5));
    }
    at = placed.back().end + samplesIn(1.5);
    *samples = (at + kSamplesPerFrame - 1) / kSamplesPerFrame * kSamplesPerFrame;
    return placed;
}

// Where the pictures change: the frame, and the picture from there on.
struct PictureChange {
    int frame;
    int picture;
};

int frameOf(double sample) {
    return static_cast<int>(sample / kSamplesPerFrame + 0.5);
}

// Slides and Hall: a new picture every 2-3 sentences, at random in the
// pause before the next sentence or 30-70 % into it; Dialogue: the
// speaker's shot at each turn, and now and then a cutaway from 30-70 % into
// a sentence to the pause after it. Every long silence shows a
// picture of its own, from 0.4 s after the sentence before to 0.4 s before
// the next. No picture is shown for less than 2 s.
std::vector<PictureChange> pictureChanges(const std::vector<PlacedSentence>& placed,
                                          const std::set<size_t>& silences,
                                          const TalkRecipe& recipe, TalkRandom& random) {
    const bool dialogue = recipe.kind == TalkKind::Dialogue;
    size_t next = 0;
    auto nextPicture = [&] { return recipe.order[next++ % recipe.order.size()]; };
    std::vector<PictureChange> all{{0, dialogue ? placed[0].speaker : nextPicture()}};
    auto midSentence = [&](const PlacedSentence& p) {
        return frameOf(p.start + random.uniform(0.3, 0.7) * (p.end - p.start));
    };
    int countdown = random.between(2, 3);
    for (size_t i = 0; i + 1 < placed.size(); ++i) {
        const PlacedSentence& now = placed[i];
        const PlacedSentence& after = placed[i + 1];
        const int pause = frameOf((now.end + after.start) / 2.0);
        if (silences.count(i)) {
            all.push_back({frameOf(now.end + samplesIn(0.4)), nextPicture()});
            all.push_back(
                {frameOf(after.start - samplesIn(0.4)), dialogue ? after.speaker : nextPicture()});
            countdown = random.between(2, 3);
        } else if (dialogue) {
            // A third of the turns cut late, to the new speaker well into
            // their first sentence, as a reaction shot would.
            const int speaker = after.speaker;
            if (speaker != now.speaker)
                all.push_back({random.between(0, 2) == 0 ? midSentence(after) : pause, speaker});
            else if (all.back().picture != speaker)
                all.push_back({pause, speaker});
            else if (after.end - after.start > samplesIn(4.0) && random.between(0, 1) == 0)
                all.push_back({midSentence(after), nextPicture()});
        } else if (--countdown == 0) {
            all.push_back({random.between(0, 1) == 0 ? pause : midSentence(after), nextPicture()});
            countdown = random.between(2, 3);
        }
    }
    std::vector<PictureChange> kept;
    for (const PictureChange& c : all)
        if (kept.empty() || (c.frame >= kept.back().frame + 2 * kQualityFrameRate &&
                             c.picture != kept.back().picture))
            kept.push_back(c);
    return kept;
}

std::string talkSamplePath(const std::string& file) {
    return std::string(kSampleFolder) + "/" + file;
}

// One shot of `frames` frames of the picture, its `seen`th showing; clips
// and sources go on from where their last showing left off (*from).
std::string shotChain(const TalkPicture& picture, int frames, int seen, int* from) {
    const std::string n = std::to_string(frames);
    std::string chain;
    switch (picture.kind) {
    case TalkPicture::Slide: {
        const std::string lines = picture.lines;
        const size_t bar = lines.find('|');
        auto text = [](const std::string& what, const char* how) {
            return ",drawtext=fontfile=" + std::string(kTalkFont) + ":text='" + what + "':" + how;
        };
        chain = "color=c=0xf4f1ea:s=640x360:r=25,drawbox=x=0:y=0:w=640:h=64:color=0x1f3d66:t=fill" +
                text(picture.title, "fontcolor=white:fontsize=30:x=28:y=16") +
                text("- " + lines.substr(0, bar), "fontcolor=0x202020:fontsize=20:x=28:y=120") +
                text("- " + lines.substr(bar + 1), "fontcolor=0x202020:fontsize=20:x=28:y=170") +
                "[bg];movie=" + talkSamplePath(picture.what) +
                ",scale=288:216:force_original_aspect_ratio=decrease[im];[bg][im]overlay=x=330:y="
                "100";
        break;
    }
    case TalkPicture::Still: {
        // Zoom in, zoom out, drift right or left, over the length of the shot.
        const std::string t = "on/" + n;
        static const char* const kMoves[][3] = {
            {"1.05+0.25*T", "iw/2-iw/zoom/2", "ih/2-ih/zoom/2"},
            {"1.3-0.25*T", "iw/2-iw/zoom/2", "ih/2-ih/zoom/2"},
            {"1.4", "(iw-iw/zoom)*(0.1+0.8*T)", "(ih-ih/zoom)/2"},
            {"1.4", "(iw-iw/zoom)*(0.9-0.8*T)", "(ih-ih/zoom)/3"}};
        const auto& move = kMoves[(seen + frames) % 4];
        auto at = [&](std::string e) {
            for (size_t p; (p = e.find('T')) != std::string::npos;)
                e.replace(p, 1, t);
            return e;
        };
        chain = "movie=" + talkSamplePath(picture.what) +
                ",scale=1280:720:force_original_aspect_ratio=increase,crop=1280:720,zoompan=z='" +
                at(move[0]) + "':x='" + at(move[1]) + "':y='" + at(move[2]) + "':d=" + n +
                ":s=640x360:fps=25";
        break;
    }
    case TalkPicture::Clip: {
        const SampleClip clip = sampleClip(picture.what);
        const int length = clip.end - clip.first;
        if (*from + frames > length)
            *from = 0;
        chain = "movie=" + talkSamplePath(clip.file) +
                ",fps=25,trim=start_frame=" + std::to_string(clip.first + *from) +
                ":end_frame=" + std::to_string(clip.first + std::min(length, *from + frames)) +
                ",setpts=PTS-STARTPTS";
        // A clip shorter than the shot plays again from its start.
        if (frames > length)
            chain += ",loop=loop=-1:size=" + std::to_string(length);
        chain +=
            ",setpts=N/(25*TB),scale=640:360:force_original_aspect_ratio=increase,crop=640:360";
        *from = (*from + frames) % length;
        break;
    }
    case TalkPicture::Source:
        chain = std::string(picture.what) + ",trim=start_frame=" + std::to_string(*from);
        *from += frames;
        break;
    }
    return chain + ",trim=end_frame=" + n + ",setpts=PTS-STARTPTS,setsar=1" + kFilmGrain;
}

// The shots' chains, cut together into [v]. Labels inside a slide's chain
// ([bg], [im]) are made unique per shot.
std::string talkGraph(const std::vector<PictureChange>& shots, int frames,
                      const TalkRecipe& recipe) {
    std::string graph;
    std::string labels;
    std::map<int, int> seen;
    std::map<int, int> from;
    for (size_t k = 0; k < shots.size(); ++k) {
        const int end = k + 1 < shots.size() ? shots[k + 1].frame : frames;
        const int p = shots[k].picture;
        std::string chain = shotChain(recipe.pictures[static_cast<size_t>(p)], end - shots[k].frame,
                                      seen[p]++, &from[p]);
        const std::string id = std::to_string(k);
        for (const char* label : {"[bg]", "[im]"})
            for (size_t at; (at = chain.find(label)) != std::string::npos;)
                chain.insert(at + 3, id);
        graph += chain + "[p" + id + "];";
        labels += "[p" + id + "]";
    }
    return graph + labels + "concat=n=" + std::to_string(shots.size()) + ":v=1:a=0[v]";
}

// What the talk is made from, as text, for its file name.
std::string describe(const TalkRecipe& r) {
    std::ostringstream d;
    d << kTalkVersion << ' ' << r.name << ' ' << static_cast<int>(r.kind) << ' ' << r.reverb
      << r.music << ' ' << r.seed;
    for (const TalkVoice& v : r.voices)
        d << '|' << v.name << ' ' << v.slowest << ' ' << v.fastest;
    for (const TalkLine& l : r.lines)
        d << '|' << l.speaker << l.text;
    for (const TalkPicture& p : r.pictures)
        d << '|' << p.kind << p.what << (p.title ? p.title : "") << (p.lines ? p.lines : "");
    for (int o : r.order)
        d << ' ' << o;
    return d.str();
}

bool writeTruth(const std::string& path, const TalkTruth& truth) {
    std::ofstream out(path);
    char line[96];
    std::snprintf(line, sizeof line, "duration %.6f\nrate %d\n", truth.duration, truth.frameRate);
    out << line;
    for (const SpokenSentence& s : truth.sentences) {
        std::snprintf(line, sizeof line, "sentence %.6f %.6f %d\n", s.start, s.end, s.speaker);
        out << line;
    }
    for (const TalkShot& s : truth.shots) {
        std::snprintf(line, sizeof line, "shot %.6f %.6f %d\n", s.start, s.end, s.id);
        out << line;
    }
    return static_cast<bool>(out);
}

bool readTruth(const std::string& path, TalkTruth* truth) {
    std::ifstream in(path);
    std::string kind;
    while (in >> kind) {
        if (kind == "duration")
            in >> truth->duration;
        else if (kind == "rate")
            in >> truth->frameRate;
        else if (kind == "sentence") {
            SpokenSentence s{};
            in >> s.start >> s.end >> s.speaker;
            truth->sentences.push_back(s);
        } else if (kind == "shot") {
            TalkShot s{};
            in >> s.start >> s.end >> s.id;
            truth->shots.push_back(s);
        } else
            return false;
    }
    return truth->duration > 0.0 && !truth->sentences.empty() && !truth->shots.empty();
}

// Makes the talk at base.mp4 and its truth at base.truth.txt.
bool makeTalk(const TalkRecipe& recipe, const std::string& base, TalkTruth* truth,
              std::string* error) {
    const std::string work = base + ".work";
    std::error_code ignored;
    std::filesystem::create_directories(work, ignored);
    auto fail = [&](const std::string& why) {
        std::filesystem::remove_all(work, ignored);
        *error = why;
        return false;
    };
    TalkRandom random{recipe.seed};
    std::vector<std::vector<float>> speech;
    for (const TalkLine& line : recipe.lines) {
        const TalkVoice& voice = recipe.voices[static_cast<size_t>(line.speaker)];
        speech.push_back(speakSentence(line.text, voice.name,
                                       random.between(voice.slowest, voice.fastest),
                                       work + "/sentence.wav"));
        if (speech.back().empty())
            return fail("espeak-ng could not say \"" + std::string(line.text) + "\"");
    }
    std::set<size_t> silences;
    int samples = 0;
    const std::vector<PlacedSentence> placed = layout(speech, recipe, random, &silences, &samples);
    std::vector<float> track(static_cast<size_t>(samples), 0.0f);
    std::vector<std::pair<int, int>> spans;
    for (size_t i = 0; i < placed.size(); ++i) {
        std::copy(speech[i].begin(), speech[i].end(), track.begin() + placed[i].start);
        spans.push_back({placed[i].start, placed[i].end});
    }
    if (recipe.reverb && !addReverb(&track, work))
        return fail("sox could not add reverb to " + base);
    if (recipe.music)
        addMusic(&track, spans, 0.1); // -20 dB
    const int frames = samples / kSamplesPerFrame;
    const std::vector<PictureChange> shots = pictureChanges(placed, silences, recipe, random);

    truth->duration = static_cast<double>(frames) / kQualityFrameRate;
    truth->frameRate = kQualityFrameRate;
    for (const PlacedSentence& p : placed)
        truth->sentences.push_back({static_cast<double>(p.start) / kTalkSampleRate,
                                    static_cast<double>(p.end) / kTalkSampleRate, p.speaker});
    for (size_t k = 0; k < shots.size(); ++k)
        truth->shots.push_back(
            {static_cast<double>(shots[k].frame) / kQualityFrameRate,
             static_cast<double>(k + 1 < shots.size() ? shots[k + 1].frame : frames) /
                 kQualityFrameRate,
             shots[k].picture});

    // Made under another name and renamed, so that an interrupted run leaves
    // no partial talk to be taken for a whole one. The bench reads each talk
    // a dozen times a run: x264's fastdecode (no CABAC, no deblocking) takes
    // a quarter off that time.
    const std::string wav = work + "/talk.wav";
    const std::string partial = work + "/talk.mp4";
    const std::string count = work + "/frames.txt";
    const std::string graph = talkGraph(shots, frames, recipe);
    const std::vector<std::string> encode = {"ffmpeg",    "-nostdin",   "-hide_banner",
                                             "-loglevel", "error",      "-y",
                                             "-i",        wav,          "-filter_complex",
                                             graph,       "-map",       "[v]",
                                             "-map",      "0:a",        "-c:v",
                                             "libx264",   "-preset",    "veryfast",
                                             "-tune",     "fastdecode", "-crf",
                                             "23",        "-g",         "50",
                                             "-c:a",      "aac",        "-b:a",
                                             "96k",       "-ar",        "48000",
                                             partial};
    if (!writeWav(wav, track) || !runProgram(encode))
        return fail("ffmpeg could not make " + base + ".mp4");
    std::string made;
    if (!runProgram({"ffprobe", "-v", "error", "-select_streams", "v:0", "-count_packets",
                     "-show_entries", "stream=nb_read_packets", "-of", "csv=p=0", partial},
                    count) ||
        !std::getline(std::ifstream(count), made) || std::atoi(made.c_str()) != frames)
        return fail(base + ".mp4 has " + made + " frames, not " + std::to_string(frames));
    if (!writeTruth(base + ".truth.txt", *truth) ||
        std::rename(partial.c_str(), (base + ".mp4").c_str()) != 0)
        return fail("could not write " + base + ".mp4 and its truth");
    std::filesystem::remove_all(work, ignored);
    return true;
}

} // namespace

bool makeTalks(const std::string& folder, std::vector<Talk>* talks, std::string* error) {
    std::error_code ignored; // a folder that cannot be made fails below
    std::filesystem::create_directories(folder, ignored);
    std::vector<TalkRecipe> recipes = halfATalks();
    for (TalkRecipe& r : halfBTalks())
        recipes.push_back(std::move(r));
    for (const TalkRecipe& recipe : recipes) {
        const std::string text = describe(recipe);
        char hash[17];
        std::snprintf(hash, sizeof hash, "%016llx",
                      static_cast<unsigned long long>(fnv1a(kFnvStart, text.data(), text.size())));
        const std::string base =
            folder + "/" + recipe.name + "-v" + std::to_string(kTalkVersion) + "-" + hash;
        Talk talk{recipe.name, recipe.half, base + ".mp4", {}};
        const bool made =
            std::filesystem::exists(talk.path) && readTruth(base + ".truth.txt", &talk.truth);
        if (!made && !makeTalk(recipe, base, &talk.truth, error))
            return false;
        talks->push_back(std::move(talk));
    }
    return true;
}
