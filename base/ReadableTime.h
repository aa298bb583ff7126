#pragma once

// The one way a time is shown to a person: "m:ss" under an hour, "h:mm:ss"
// from an hour on. Given the total it belongs with, a time takes the
// total's form, so that 0:05 of a two-hour film reads 0:00:05 beside 2:00:00.
// Whole seconds, truncated; a time that is not a positive number is 0:00.

#include <string>

std::string readableTime(double seconds, double total = 0.0);

// The same with `separator` in place of the colons (a file name's "2-03").
std::string readableTime(double seconds, double total, char separator);
