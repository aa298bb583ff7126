#pragma once

// The summary's settings told once: how the tool's options and the JSON list
// name each, how the window labels it, its range, its default and the steps
// its slider counts in. SummarySettings takes its defaults from here; the
// tool's options and help, the list's settings and the window's sliders
// take their names and limits.

#include <cmath>
#include <iterator>
#include <span>

struct SummarySettings;

enum class Setting {
    Target,
    LengthWeight,
    ContinuityWeight,
    RedundancyWeight,
    ActivityWeight,
    Depth,
    Nodes,
    JunkFilter,
    ShotAware,
    WholeSpeech,
};

enum class SettingKind {
    Fraction, // a number from low to high: two decimals in texts, three in the list
    Whole,    // a whole number from low to high
    Switch,   // off (0) or on (1), off by default
};

struct SettingEntry {
    Setting setting;
    SettingKind kind;
    const char* option;    // the tool's long option, without its dashes
    char shortOption;      // its one-letter form, 0 for none
    const char* valueName; // the option's value as the help names it; none for a switch
    const char* listKey;   // the key in the JSON list's settings
    const char* recordKey; // the key in the batch record's exact settings text
    const char* label;     // the window's, as shown
    double low;
    double high;
    double fallback;  // the default
    int stepsPerUnit; // the window's slider steps per unit of the value
    // Settings added later are left out of the list, or of the record's
    // text, while off: what was written before them reads the same.
    bool listedWhenOff;
    bool recordedWhenOff;

    // The value in slider steps.
    int steps(double value) const { return static_cast<int>(std::lround(value * stepsPerUnit)); }
};

inline constexpr SettingEntry kSettingEntries[] = {
    {Setting::Target, SettingKind::Fraction, "target", 't', "FRACTION", "target", "t",
     "Target Length", 0.0, 1.0, 0.05, 100, true, true},
    {Setting::LengthWeight, SettingKind::Fraction, "length-weight", 0, "W", "length_weight", "lw",
     "Length Weight", 0.0, 1.0, 0.20, 100, true, true},
    {Setting::ContinuityWeight, SettingKind::Fraction, "continuity-weight", 0, "W",
     "continuity_weight", "cw", "Continuity Weight", 0.0, 1.0, 0.10, 100, true, true},
    {Setting::RedundancyWeight, SettingKind::Fraction, "redundancy-weight", 0, "W",
     "redundancy_weight", "rw", "Redundancy Weight", 0.0, 1.0, 0.25, 100, true, true},
    {Setting::ActivityWeight, SettingKind::Fraction, "activity-weight", 0, "W", "activity_weight",
     "aw", "Activity Weight", 0.0, 1.0, 0.05, 100, true, true},
    {Setting::Depth, SettingKind::Whole, "depth", 0, "N", "depth", "d", "Tree Depth", 20, 90, 60, 1,
     true, true},
    {Setting::Nodes, SettingKind::Whole, "nodes", 0, "N", "nodes", "n", "Tree Nodes", 100, 5000,
     500, 1, true, true},
    {Setting::JunkFilter, SettingKind::Switch, "junk-filter", 0, nullptr, "junk_filter", "j",
     "Junk Segment Filter", 0, 1, 0, 1, true, true},
    {Setting::ShotAware, SettingKind::Switch, "shot-aware", 0, nullptr, "shot_aware", "s",
     "Shot-Aware Ranking", 0, 1, 0, 1, false, true},
    {Setting::WholeSpeech, SettingKind::Switch, "whole-speech", 0, nullptr, "whole_speech", "w",
     "Keep Speech Whole", 0, 1, 0, 1, false, false},
};

constexpr const SettingEntry& settingEntry(Setting setting) {
    return kSettingEntries[static_cast<int>(setting)];
}

constexpr std::span<const SettingEntry> settingEntries() {
    return kSettingEntries;
}

constexpr bool entriesInOrder() {
    for (int i = 0; i < static_cast<int>(std::size(kSettingEntries)); ++i)
        if (static_cast<int>(kSettingEntries[i].setting) != i)
            return false;
    return true;
}
static_assert(entriesInOrder(), "kSettingEntries is indexed by Setting");

// A setting's value as a number (a switch is 0 or 1), and the setting set
// from one: a whole number is rounded, a switch is on for anything but 0.
double settingValue(const SummarySettings& settings, Setting setting);
void setSetting(SummarySettings& settings, Setting setting, double value);
