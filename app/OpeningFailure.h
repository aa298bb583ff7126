#pragma once

// Why a file chosen to play does not open, in words for the person who chose
// it: on the console beside the reader's own message, and in a message
// window when the player was started from the desktop, where nobody reads
// the console.

#include <QString>

#include <memory>

class QMessageBox;

// The reason path cannot be played: the system's for a file that is
// missing or cannot be read, "The file is empty." for an empty one, or what
// the reader found in it. Empty when it opens as a video.
QString openingFailureReason(const QString& path);

// The message window that gives the reason, titled as the program; the
// caller shows it.
std::unique_ptr<QMessageBox> openingFailureBox(const QString& path, const QString& reason);

// The console's line for it (standard error): "\ntessaro: cannot open 'PATH':
// REASON\n". The line break first ends the reader's message, which has none.
void reportOpeningFailure(const char* path, const QString& reason);
