#include "OpeningFailure.h"

#include "VideoReader.h"

#include <QFile>
#include <QFileInfo>
#include <QMessageBox>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// What the file system says against reading the file; empty when it can be read.
QString readingReason(const QByteArray& path) {
    const int file = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (file < 0)
        return systemReason(errno);
    struct stat status = {};
    const bool known = fstat(file, &status) == 0;
    const int error = errno;
    ::close(file);
    if (!known)
        return systemReason(error);
    if (S_ISDIR(status.st_mode))
        return systemReason(EISDIR);
    if (S_ISREG(status.st_mode) && status.st_size == 0)
        return QStringLiteral("The file is empty.");
    return {};
}

QString readerReason(VideoReader::Failure failure) {
    using Failure = VideoReader::Failure;
    switch (failure) {
    case Failure::None:
        return {};
    case Failure::PathTooLong:
        return QStringLiteral("The file's path is too long for this player (at most %1 bytes).")
            .arg(VideoReader::FILE_NAME_SIZE - 1);
    case Failure::NotMedia:
        return QStringLiteral("This file holds no video this player can read.");
    case Failure::NoStreamInfo:
        return QStringLiteral("This file's streams cannot be made out: it may be damaged.");
    case Failure::NoVideo:
        return QStringLiteral("This file holds no pictures, only sound or other data.");
    case Failure::NoDecoder:
        return QStringLiteral("This file's video is coded in a format this player cannot decode.");
    case Failure::TooLarge:
        return QStringLiteral("This file's pictures are larger than this player shows "
                              "(7680 x 4320 at most).");
    case Failure::DecoderOpen:
        return QStringLiteral("This file's video decoder would not start.");
    case Failure::Audio:
        return QStringLiteral("This file's sound cannot be decoded.");
    }
    return {};
}

} // namespace

QString openingFailureReason(const QString& path) {
    const QByteArray local = QFile::encodeName(path);
    if (QString reason = readingReason(local); !reason.isEmpty())
        return reason;
    // The reader has said on the console why it refused the file: this
    // second look is quiet. As the player does, a file whose sound is
    // refused is tried for its pictures alone.
    ReaderOptions options;
    options.quiet = true;
    VideoReader::Failure failure = VideoReader(local.constData(), options).failure();
    if (failure == VideoReader::Failure::Audio) {
        options.audio = false;
        failure = VideoReader(local.constData(), options).failure();
    }
    return readerReason(failure);
}

std::unique_ptr<QMessageBox> openingFailureBox(const QString& path, const QString& reason) {
    const QString name = QFileInfo(path).fileName();
    auto box = std::make_unique<QMessageBox>(
        QMessageBox::Critical, QStringLiteral("Tessaro"),
        QStringLiteral("Cannot open %1").arg(name.isEmpty() ? path : name), QMessageBox::Close);
    box->setInformativeText(reason);
    return box;
}

void reportOpeningFailure(const char* path, const QString& reason) {
    std::fprintf(stderr, "\ntessaro: cannot open '%s': %s\n", path,
                 reason.toLocal8Bit().constData());
    std::fflush(stderr);
}
