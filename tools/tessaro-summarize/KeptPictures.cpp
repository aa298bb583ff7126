#include "KeptPictures.h"

#include "Picture.h"

#include <cmath>
#include <utility>

namespace {
// A stretch of left-out video longer than kJumpGap is jumped over rather than
// decoded. The jump lands on the key frame at or before kJumpBack seconds
// ahead of the fragment, so that the fragment's pictures lie in a later group
// of pictures than the one the decoder starts in: pictures just after the
// landing key frame may lack their references.
constexpr double kJumpGap = 20.0;
constexpr double kJumpBack = 10.0;
} // namespace

KeptPictures::KeptPictures(std::string videoPath) : path(std::move(videoPath)) {}

KeptPictures::~KeptPictures() {
    release();
}

void KeptPictures::release() {
    for (AVFrame* picture : held)
        free_picture(picture);
    held.clear();
}

bool KeptPictures::open(std::string* error) {
    // The same decoder as the summary's reader; its sound is not wanted here.
    ReaderOptions options;
    options.audio = false;
    reader = std::make_unique<VideoReader>(path.c_str(), options);
    started = false;
    if (reader->status == VideoReader::OK)
        return true;
    *error = "cannot open '" + path + "' again to read the kept pictures";
    return false;
}

bool KeptPictures::next(AVFrame** picture, double* time) {
    if (!reader->getNextFrame(picture))
        return false;
    *time = reader->timestampToSeconds((*picture)->pts);
    lastTime = *time;
    started = true;
    return true;
}

bool KeptPictures::read(const KeptFragment& fragment,
                        std::vector<SummaryVideoWriter::TimedPicture>* pictures,
                        std::string* error) {
    release();
    pictures->clear();
    // Behind the fragment already (never, when asked in order): from the start.
    if ((!reader || (started && lastTime >= fragment.start)) && !open(error))
        return false;

    const double from = started ? lastTime : 0.0;
    const bool jump = !straightOnly && fragment.start - from > kJumpGap;
    if (jump) {
        const AVRational base = reader->pFormatCtx->streams[reader->videoStream]->time_base;
        const double target = (fragment.start - kJumpBack) * base.den / base.num;
        if (!reader->seekTimestamp(static_cast<int64_t>(std::floor(target))))
            return readStraight(fragment, pictures, error);
    }

    int width = 0;
    int height = 0;
    reader->getVideoSize(&width, &height);
    const double frameSeconds = 1.0 / reader->getFrameRate();
    AVFrame* picture = nullptr;
    double time = 0.0;
    bool found = false;
    bool landed = !jump; // the first picture after the jump is behind us
    bool laterKeyFrame = !jump;
    while (next(&picture, &time)) {
        if (!landed) {
            // A reader that makes up timestamps would go on from before the
            // jump; such times cannot be trusted to name the same pictures.
            if (time < from + 1.5 * frameSeconds)
                return readStraight(fragment, pictures, error);
            landed = true;
        } else if (picture->key_frame) {
            laterKeyFrame = true;
        }
        if (time >= fragment.start) {
            found = time == fragment.start;
            break;
        }
    }
    if (jump && (!found || !laterKeyFrame))
        return readStraight(fragment, pictures, error);
    if (!found) {
        *error = "the kept pictures cannot be read again from '" + path + "'";
        return false;
    }
    do {
        held.push_back(own_picture(picture, width, height));
        pictures->push_back({held.back(), time});
    } while (static_cast<int>(held.size()) < fragment.frames && next(&picture, &time));
    if (static_cast<int>(held.size()) == fragment.frames)
        return true;
    *error = "the kept pictures cannot be read again from '" + path + "'";
    return false;
}

bool KeptPictures::readStraight(const KeptFragment& fragment,
                                std::vector<SummaryVideoWriter::TimedPicture>* pictures,
                                std::string* error) {
    // A jump did not land where it should: from here on the video is read
    // from its start straight on, as the summary read it.
    straightOnly = true;
    return open(error) && read(fragment, pictures, error);
}
