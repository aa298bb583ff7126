#pragma once

// tessaro-play-bench --sound-check: the sound against the pictures through a
// PulseAudio null sink. Prints `av offset: median X ms, worst Y ms` and
// `beeps: heard N of M kept`; returns the player's status.
int soundCheck(int argc, char** argv);
