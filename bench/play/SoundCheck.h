#pragma once

// tessaro-play-bench --sound-check: the sound against the pictures through a
// PulseAudio null sink. Prints `av offset: median X ms, worst Y ms` and
// `beeps: heard N of M kept`; returns the player's status.
int soundCheck(int argc, char** argv);

// When the default output is the null sink, a recording of its monitor keeps
// it awake (an idle one sleeps in steps of up to two seconds, and its clock
// with it); the other measurements then time the pictures against a sound
// that flows as on a real device. True when it did.
bool keepNullSinkAwake();
void letNullSinkSleep();
