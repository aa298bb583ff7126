#pragma once

// A clapperboard slate held before the camera at the start of a take: the
// clapper's stick of alternating dark and light stripes, and right below it
// the board, dark or light, with a little writing of the other shade on it,
// all of it without colour. Told from a coarse grid of the picture's
// samples, so that it costs little beside the descriptors.

struct AVFrame;

// The picture is planar YUV 4:2:0 of the given size.
bool looksLikeSlate(const AVFrame* picture, int width, int height);
