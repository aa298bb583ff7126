#pragma once

// Every picture's time comes from its timestamp the same way, so the same
// picture has the same time to the last bit: a picture is before the one
// shown exactly when its time is smaller.
inline bool pictureBefore(double time, double shown) {
    return time < shown;
}
