#pragma once

// A video whose data ends well before the length it claims: once the
// decoding loop has found where, the console and the picture say so, and
// the position slider and the summary map take the readable length.

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <string>

class PlayerCore;

// What the console and the picture say, the time in the form of the total's.
std::string readableLengthNotice(double readableEnd, double duration);

class ReadableLength : public QObject {
    Q_OBJECT

public:
    using Notice = std::function<void(const QString& text, int milliseconds)>;
    static constexpr int kNoticeMs = 8000;

    // Lives on the GUI thread, where notice is called; listens to the core's
    // state from any thread.
    ReadableLength(PlayerCore& core, Notice notice, QObject* parent);
    ~ReadableLength() override;

private:
    // On the GUI thread.
    void tell(double readableEnd, double duration);

    PlayerCore& core;
    const Notice notice;
    // The readable end has been told for the video playing.
    std::atomic<bool> told{false};
};
