#include "StateOnScreen.h"

#include "DisplayWindow.h"
#include "ReadableLength.h"

#include <QFileInfo>
#include <QTimer>
#include <QWidget>

namespace {
// How often the notices look whether the first picture is up.
constexpr int kFirstPictureLookMs = 50;
// How long the picture says that the video or its summary has ended.
constexpr int kEndNoticeMs = 6000;
} // namespace

QString titleFor(const std::string& path, const PlayerState& now, const QString& place) {
    QString title =
        QStringLiteral("Tessaro \u2014 ") + QFileInfo(QString::fromStdString(path)).fileName();
    if (!place.isEmpty())
        title += QStringLiteral(" (%1)").arg(place);
    const bool summary = now.mode == PlayerMode::Summary;
    if (now.paused)
        title += summary ? QStringLiteral(" \u2014 Summary, paused") : QStringLiteral(" \u2014 Paused");
    else if (now.ended)
        title += summary ? QStringLiteral(" \u2014 Summary ended") : QStringLiteral(" \u2014 Ended");
    else if (summary)
        title += QStringLiteral(" \u2014 Summary");
    return title;
}

void StateOnScreen::show(const std::string& path, const PlayerState& now) {
    window->setWindowTitle(titleFor(path, now, place));
    const bool ended = now.ended && !now.paused;
    if (ended && endNotice.isEmpty()) {
        // A video cut short ends where its data does, and says so.
        endNotice = now.readableEnd >= 0.0
                        ? QString::fromStdString(readableLengthNotice(now.readableEnd, now.duration))
                    : now.mode == PlayerMode::Summary
                        ? QStringLiteral("The summary has ended \u2014 Space plays it again")
                        : QStringLiteral("The video has ended \u2014 Space plays it again");
        picture->showNotice(endNotice, kEndNoticeMs);
    } else if (!ended && !endNotice.isEmpty()) {
        // Playing again: the notice has done its work.
        picture->withdrawNotice(endNotice);
        endNotice.clear();
    }
}

void NoticeTurns::show(const QString& text, int milliseconds) {
    if (text.isEmpty())
        return;
    waiting.push_back({text, milliseconds});
    if (waiting.size() == 1)
        QTimer::singleShot(0, window, [this] { next(); });
}

void NoticeTurns::next() {
    // A notice's time runs from the first picture, not while the logo is up.
    if (!window->pictureReady.load()) {
        QTimer::singleShot(kFirstPictureLookMs, window, [this] { next(); });
        return;
    }
    const auto& [text, milliseconds] = waiting.front();
    window->showNotice(text, milliseconds);
    QTimer::singleShot(milliseconds, window, [this] {
        waiting.pop_front();
        if (!waiting.empty())
            next();
    });
}
