#include "PlayList.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <algorithm>

namespace {
// The containers FFmpeg reads that hold video, by the names people give them.
constexpr const char* kVideoExtensions[] = {
    "mp4", "m4v", "mkv", "webm", "avi", "mov", "qt",  "mpg", "mpeg", "m2v", "ts",  "m2ts", "mts",
    "vob", "wmv", "asf", "flv",  "f4v", "ogv", "3gp", "3g2", "dv",   "mxf", "nut", "y4m"};

// Seconds into the first segment within which Previous goes back past it,
// as a skip back within them goes to the segment before.
constexpr double kBackToStart = 2.0;
// How far before the last segment's start the position may read (a picture
// shown before the skip landed) and be in it.
constexpr double kWithinSegment = 0.05;
// Names as a person reads them: runs of digits by their number ("clip 2"
// before "clip 10"), the rest by the locale's order of letters, case aside.
bool readsBefore(const QString& a, const QString& b) {
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            qsizetype endA = i;
            qsizetype endB = j;
            while (endA < a.size() && a[endA].isDigit())
                ++endA;
            while (endB < b.size() && b[endB].isDigit())
                ++endB;
            // Leading zeros aside, a longer number is the larger.
            const QString numberA =
                a.mid(i, endA - i).remove(QRegularExpression(QStringLiteral("^0+")));
            const QString numberB =
                b.mid(j, endB - j).remove(QRegularExpression(QStringLiteral("^0+")));
            if (numberA.size() != numberB.size())
                return numberA.size() < numberB.size();
            if (const int order = numberA.compare(numberB); order != 0)
                return order < 0;
            i = endA;
            j = endB;
            continue;
        }
        qsizetype endA = i;
        qsizetype endB = j;
        while (endA < a.size() && !a[endA].isDigit())
            ++endA;
        while (endB < b.size() && !b[endB].isDigit())
            ++endB;
        const QString textA = a.mid(i, endA - i).toCaseFolded();
        const QString textB = b.mid(j, endB - j).toCaseFolded();
        // Case-folded code points rather than the locale's collation: Qt keeps
        // a collator per thread until the process ends, which leak checks report.
        if (const int order = textA.compare(textB); order != 0)
            return order < 0;
        i = endA;
        j = endB;
    }
    if (a.size() - i != b.size() - j)
        return a.size() - i < b.size() - j;
    return a < b;
}
} // namespace

QString videoNameFilters() {
    QStringList names;
    for (const char* extension : kVideoExtensions)
        names << QStringLiteral("*.") + QLatin1String(extension);
    return names.join(QLatin1Char(' '));
}

std::vector<std::string> videosInFolder(const QString& folder) {
    const QDir dir(folder);
    QStringList names = dir.entryList(videoNameFilters().split(QLatin1Char(' ')),
                                      QDir::Files | QDir::Readable | QDir::Hidden);
    std::sort(names.begin(), names.end(), readsBefore);
    std::vector<std::string> paths;
    for (const QString& name : names)
        paths.push_back(QFile::encodeName(dir.filePath(name)).toStdString());
    return paths;
}

std::string PlayList::place() const {
    return size() > 1 ? std::to_string(at + 1) + "/" + std::to_string(size()) : std::string();
}

std::optional<int> PlayList::openFrom(int from, int direction,
                                      const std::function<bool(const std::string&)>& opens) {
    for (int k = from; k >= 0 && k < size(); k += direction) {
        if (opens(paths[k])) {
            at = k;
            return k;
        }
    }
    return std::nullopt;
}

MediaSkip mediaSkip(int direction, const SkipPlace& place) {
    if (!place.list)
        return place.summary ? MediaSkip::Segment : MediaSkip::Seek;
    if (!place.summary)
        return place.videoThere ? MediaSkip::Video : MediaSkip::Nothing;
    if (!place.videoThere)
        return MediaSkip::Segment;
    const bool pastEdge =
        direction > 0
            ? place.lastSegment >= 0.0 && place.position >= place.lastSegment - kWithinSegment
            : place.firstSegment < 0.0 || place.position < place.firstSegment + kBackToStart;
    return pastEdge ? MediaSkip::Video : MediaSkip::Segment;
}
