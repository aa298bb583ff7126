#pragma once

#include "PlayList.h"
#include "PlaybackQueue.h"

#include <QStringList>

#include <functional>
#include <string>

class AudioOutput;
class QApplication;
class QWidget;
class StoreSide;
class ThreadDecoding;
class ThreadImageRefresh;
class ThreadVisualitation;

// What a running player is made of, for tests and measurements that watch it.
// The decoding and visualization threads and the playback queue are those
// of the video playing; opening another video replaces them.
struct PlayerParts {
    QWidget* mainWindow = nullptr;
    PlaybackQueue* playbackQueue = nullptr;
    ThreadDecoding* decoding = nullptr;
    ThreadVisualitation* visualization = nullptr;
    ThreadImageRefresh* refresh = nullptr;
    AudioOutput* audio = nullptr; // the one output, whichever video plays
    StoreSide* store = nullptr;
};

// Opens the video once to learn its length, as start-up does: false (the
// reader has said why on the console) when it cannot be opened. A length
// that is not positive is reported and counts as 0 seconds.
bool probeVideo(const char* path, double* seconds);

// Builds the window, starts the refresh, decoding and visualization threads
// and runs the event loop. Another video dropped on the window or chosen
// with Ctrl+O replaces the one playing. When the window closes the workers
// are stopped and joined before anything they use is destroyed. Returns the
// process status. `ready`, when given, is called on the GUI thread once the
// decoding and visualization threads exist, just before they start (so that
// it may set their hooks), and again for each video opened later. With
// `remember`, a video opened continues where it was left, and the volume and
// mute are those of the last run (see PlayerMemory); measurements and tests
// start every video at its start. `list`, when given, holds the videos to
// play in turn, `videoPath` the one of them it is at, and `passedOver` the
// picture's notices for those before it that could not be opened; at the
// end of each video the next one starts (see ListPlayback).
int runPlayer(QApplication& application, const char* videoPath, double videoSeconds,
              const std::function<void(const PlayerParts&)>& ready = {}, bool remember = false,
              const PlayList& list = {}, const QStringList& passedOver = {});
