#include "BenchTalks.h"

#include "EngineSummary.h"
#include "QualityBaselines.h"
#include "SpeechTally.h"

#include <functional>
#include <map>

namespace {

constexpr double kTalkTargets[] = {0.1, 0.2, 0.3};
constexpr int kTalkTargetCount = static_cast<int>(std::size(kTalkTargets));
// Keeping speech whole alone, and with shot-aware ranking.
const char* const kSpeechMethods[] = {"whole-speech", "shot+speech"};

struct TalkMethod {
    const char* name;
    // The kept frames of the talk at the target; false when the method fails.
    std::function<bool(const Talk&, double target, std::vector<KeptFrames>*)> keep;
    bool targeted = true;
};

std::vector<TalkMethod> talkMethods() {
    auto engine = [](bool shotAware, bool wholeSpeech) {
        return [shotAware, wholeSpeech](const Talk& talk, double target,
                                        std::vector<KeptFrames>* kept) {
            SummarySettings settings;
            settings.target = target;
            settings.shotAware = shotAware;
            settings.wholeSpeech = wholeSpeech;
            *kept = engineSummary(talk.path, settings);
            return !kept->empty();
        };
    };
    return {
        {"parts", engine(false, false)},
        {"shot-aware", engine(true, false)},
        {kSpeechMethods[0], engine(false, true)},
        {kSpeechMethods[1], engine(true, true)},
        {"uniform",
         [](const Talk& talk, double target, std::vector<KeptFrames>* kept) {
             *kept = uniformSkim(talk.frames(), target);
             return true;
         }},
        // No target: its own length, once.
        {"auto-editor",
         [](const Talk& talk, double, std::vector<KeptFrames>* kept) {
             return autoEditorCuts(talk.path, talk.truth.frameRate, kept);
         },
         false},
    };
}

std::string fixedTwo(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

// [method][talk][target]; the untargeted method has one tally a talk.
using TalkTallies = std::map<std::string, std::vector<std::vector<SpeechTally>>>;

SpeechTally pooled(const TalkTallies& tallies, const std::string& method,
                   const std::vector<Talk>& talks, char half, int target) {
    SpeechTally t;
    const auto& byTalk = tallies.at(method);
    for (size_t v = 0; v < talks.size(); ++v)
        if (half == 0 || talks[v].half == half)
            for (size_t i = 0; i < byTalk[v].size(); ++i)
                if (target < 0 || static_cast<int>(i) == target)
                    t.add(byTalk[v][i]);
    return t;
}

void printTalkTable(std::FILE* out, char half, const std::vector<Talk>& talks,
                    const std::vector<TalkMethod>& methods, const TalkTallies& tallies) {
    std::fprintf(out, "\ntalks, half %c:", half);
    for (const Talk& t : talks)
        if (t.half == half)
            std::fprintf(out, " %s %.0f s", t.name.c_str(), t.truth.duration);
    std::fprintf(out, "\ntarget method       length       whole   inside   pauses    shots  "
                      "allowed\n");
    auto row = [&](const char* target, const char* name, const SpeechTally& t, bool targeted) {
        const std::string length =
            t.lengthMeasured() ? fixedTwo(t.minRatio) + "-" + fixedTwo(t.maxRatio) : "-";
        const std::string allowed = targeted ? fixedTwo(t.allowedShots()) : "-";
        std::fprintf(out, "%6s %-12s %-10s %8.2f %8.2f %8.2f %8.2f %8s\n", target, name,
                     length.c_str(), t.whole(), t.inside(), t.pauses(), t.shots(), allowed.c_str());
    };
    for (int i = 0; i < kTalkTargetCount; ++i)
        for (const TalkMethod& m : methods)
            if (m.targeted)
                row(fixedTwo(kTalkTargets[i]).c_str(), m.name,
                    pooled(tallies, m.name, talks, half, i), true);
    for (const TalkMethod& m : methods)
        if (!m.targeted)
            row("-", m.name, pooled(tallies, m.name, talks, half, -1), false);
}

// What falls short for a way of keeping speech whole in one half at one
// target.
std::string shortfall(const char* method, char half, double target, const SpeechTally& t) {
    std::string wrong;
    auto add = [&](const std::string& what) { wrong += (wrong.empty() ? "" : ", ") + what; };
    if (t.whole() < 0.9)
        add("whole " + fixedTwo(t.whole()));
    if (t.inside() > 0.05)
        add("cuts inside " + fixedTwo(t.inside()));
    if (t.pauses() > 0.08)
        add("pauses " + fixedTwo(t.pauses()));
    if (!t.lengthMeasured() || t.minRatio < 0.9 || t.maxRatio > 1.1)
        add("keeps " + fixedTwo(t.lengthMeasured() ? t.minRatio : 0.0) + "-" +
            fixedTwo(t.maxRatio) + " of its length");
    if (t.shots() < 0.8 * t.allowedShots())
        add("shots " + fixedTwo(t.shots()) + " (allowed " + fixedTwo(t.allowedShots()) + ")");
    if (wrong.empty())
        return wrong;
    return std::string(method) + " talks, half " + half + ": target " + fixedTwo(target) + " " +
           wrong;
}

} // namespace

std::string benchTalks(std::FILE* out, const std::vector<Talk>& talks,
                       std::vector<std::string>* failures) {
    const std::vector<TalkMethod> methods = talkMethods();
    TalkTallies tallies;
    for (const TalkMethod& m : methods)
        for (const Talk& talk : talks) {
            std::vector<SpeechTally> byTarget;
            for (int i = 0; i < (m.targeted ? kTalkTargetCount : 1); ++i) {
                const double target = m.targeted ? kTalkTargets[i] : 1.0;
                std::vector<KeptFrames> kept;
                if (!m.keep(talk, target, &kept))
                    failures->push_back(std::string(m.name) + " " + talk.name +
                                        ": no summary at target " + fixedTwo(target));
                byTarget.push_back(measureSpeech(talk.truth, kept, target));
            }
            tallies[m.name].push_back(std::move(byTarget));
        }

    std::fprintf(
        out,
        "\ntalks: every sentence timed to the sample; whole-speech, shot+speech: the engine "
        "keeping speech whole, alone and with shot-aware ranking\nlength: kept / (target x "
        "duration), min-max over the talks (auto-editor, which has no target: kept / "
        "duration)\nwhole: kept speech in sentences kept 90 %% whole; inside: cuts more than "
        "0.15 s inside a sentence; pauses: kept time in no sentence\nshots: of the pictures a "
        "sentence is spoken over, those shown with a whole sentence; allowed: the share the "
        "target allows at one median sentence a picture\n");
    for (char half : {'A', 'B'}) {
        printTalkTable(out, half, talks, methods, tallies);
        for (const char* method : kSpeechMethods)
            for (int i = 0; i < kTalkTargetCount; ++i) {
                const std::string wrong = shortfall(method, half, kTalkTargets[i],
                                                    pooled(tallies, method, talks, half, i));
                if (!wrong.empty())
                    failures->push_back(wrong);
            }
    }

    SpeechTally all;
    for (const char* method : kSpeechMethods)
        all.add(pooled(tallies, method, talks, 0, -1));
    return "speech: whole " + fixedTwo(all.whole()) + ", cuts inside " + fixedTwo(all.inside()) +
           ", pauses " + fixedTwo(all.pauses()) + ", shots " + fixedTwo(all.shots()) +
           " (allowed " + fixedTwo(all.allowedShots()) + ")";
}
