#include "ReadableTime.h"

#include <cmath>
#include <cstdio>

namespace {
long long wholeSeconds(double seconds) {
    // Beyond a century of seconds nothing shown would be read anyway.
    if (!(seconds > 0.0))
        return 0;
    return seconds >= 3.2e9 ? 3200000000LL : static_cast<long long>(std::floor(seconds));
}
} // namespace

std::string readableTime(double seconds, double total) { return readableTime(seconds, total, ':'); }

std::string readableTime(double seconds, double total, char separator) {
    const long long whole = wholeSeconds(seconds);
    char text[48];
    if (whole >= 3600 || wholeSeconds(total) >= 3600)
        std::snprintf(text, sizeof text, "%lld%c%02lld%c%02lld", whole / 3600, separator,
                      whole / 60 % 60, separator, whole % 60);
    else
        std::snprintf(text, sizeof text, "%lld%c%02lld", whole / 60, separator, whole % 60);
    return text;
}
