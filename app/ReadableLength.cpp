#include "ReadableLength.h"

#include "MainWindow.h"
#include "PlayerCore.h"
#include "ReadableTime.h"

#include <QMetaObject>

#include <cstdio>

std::string readableLengthNotice(double readableEnd, double duration) {
    return "The rest of this file cannot be read (from " + readableTime(readableEnd, duration) +
           ").";
}

ReadableLength::ReadableLength(PlayerCore& playerCore, Notice shown, QObject* parent)
    : QObject(parent), core(playerCore), notice(std::move(shown)) {
    core.state.setListener(this, [this] {
        const auto [end, duration] = core.state.read(
            [](const PlayerState& s) { return std::pair{s.readableEnd, s.duration}; });
        // A new video forgets the last one's end.
        if (end < 0.0) {
            told = false;
            return;
        }
        if (told.exchange(true))
            return;
        QMetaObject::invokeMethod(
            this, [this, end = end, duration = duration] { tell(end, duration); },
            Qt::QueuedConnection);
    });
}

ReadableLength::~ReadableLength() {
    core.state.setListener(this, {});
}

void ReadableLength::tell(double readableEnd, double duration) {
    const std::string text = readableLengthNotice(readableEnd, duration);
    std::printf("\n%s", text.c_str());
    std::fflush(stdout);
    notice(QString::fromStdString(text), kNoticeMs);
    setVideoDuration(readableEnd);
}
