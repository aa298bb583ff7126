#include "SettingsSchema.h"

#include "SummarySettings.h"

namespace {

// The field of a setting, as a pointer of its type: null when the setting
// is of another kind. Settings is SummarySettings, const or not.
template <typename Settings> auto* fractionField(Settings& s, Setting setting) {
    switch (setting) {
    case Setting::Target:
        return &s.target;
    case Setting::LengthWeight:
        return &s.lengthWeight;
    case Setting::ContinuityWeight:
        return &s.continuityWeight;
    case Setting::RedundancyWeight:
        return &s.redundancyWeight;
    case Setting::ActivityWeight:
        return &s.activityWeight;
    default:
        return static_cast<decltype(&s.target)>(nullptr);
    }
}

template <typename Settings> auto* wholeField(Settings& s, Setting setting) {
    return setting == Setting::Depth   ? &s.depth
           : setting == Setting::Nodes ? &s.nodes
                                       : static_cast<decltype(&s.depth)>(nullptr);
}

template <typename Settings> auto* switchField(Settings& s, Setting setting) {
    switch (setting) {
    case Setting::JunkFilter:
        return &s.junkFilter;
    case Setting::ShotAware:
        return &s.shotAware;
    case Setting::WholeSpeech:
        return &s.wholeSpeech;
    default:
        return static_cast<decltype(&s.junkFilter)>(nullptr);
    }
}

} // namespace

double settingValue(const SummarySettings& settings, Setting setting) {
    if (const double* fraction = fractionField(settings, setting))
        return *fraction;
    if (const int* whole = wholeField(settings, setting))
        return *whole;
    const bool* on = switchField(settings, setting);
    return on != nullptr && *on ? 1.0 : 0.0;
}

void setSetting(SummarySettings& settings, Setting setting, double value) {
    if (double* fraction = fractionField(settings, setting))
        *fraction = value;
    else if (int* whole = wholeField(settings, setting))
        *whole = static_cast<int>(std::lround(value));
    else if (bool* on = switchField(settings, setting))
        *on = value != 0.0;
}
