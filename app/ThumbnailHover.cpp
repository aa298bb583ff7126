#include "ThumbnailHover.h"

#include "ReadableTime.h"

#include "Analysis.h"
#include "DisplayEvents.h"
#include "FragmentSource.h"

#include <QBoxLayout>
#include <QEvent>
#include <QHoverEvent>
#include <QLabel>
#include <QMutexLocker>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>

#include <algorithm>
#include <cmath>

namespace {

constexpr size_t kRecent = 12;
// A video with no entry yet (its analysis not begun) is looked for again
// no sooner than this, as each look marks the store's entry as used.
constexpr auto kFindAgain = std::chrono::seconds(2);

int64_t fragmentAt(double seconds, double frameRate) {
    if (!(frameRate > 0.0) || !(seconds >= 0.0))
        return -1;
    return static_cast<int64_t>(seconds * frameRate) / FragmentSource::fragmentCapacity;
}

// The value a click at x would give, as the slider's own style places it.
double sliderSeconds(const QSlider* slider, int x) {
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = slider->orientation();
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = option.sliderValue = slider->value();
    const QStyle* style = slider->style();
    const QRect groove =
        style->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, slider);
    const QRect handle =
        style->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider);
    const int span = groove.width() - handle.width();
    const double share =
        span > 0 ? std::clamp((x - groove.x() - handle.width() / 2.0) / span, 0.0, 1.0) : 0.0;
    return slider->minimum() + share * (slider->maximum() - slider->minimum());
}

} // namespace

QString timeText(double seconds, double total) {
    return QString::fromStdString(readableTime(seconds, total));
}

ThumbnailHover::ThumbnailHover(DisplayEvents* watchedTimeline, QSlider* watchedSlider,
                               QObject* parent)
    : QObject(parent), timeline(watchedTimeline), slider(watchedSlider) {
    box = new QWidget(slider->window(), Qt::ToolTip | Qt::FramelessWindowHint);
    box->setAttribute(Qt::WA_ShowWithoutActivating);
    box->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* layout = new QBoxLayout(QBoxLayout::TopToBottom, box);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(1);
    picture = new QLabel;
    time = new QLabel;
    time->setAlignment(Qt::AlignHCenter);
    layout->addWidget(picture, 0, Qt::AlignHCenter);
    layout->addWidget(time, 0, Qt::AlignHCenter);
    picture->hide();
    for (QWidget* watched : {static_cast<QWidget*>(timeline), static_cast<QWidget*>(slider)}) {
        watched->setAttribute(Qt::WA_Hover);
        watched->installEventFilter(this);
    }
    worker.start([this] { lookUp(); });
}

ThumbnailHover::~ThumbnailHover() {
    worker.stop();
}

void ThumbnailHover::setVideo(const std::string& videoPath) {
    ++video;
    path = videoPath;
    frameRate = 0.0;
    recent.clear();
    box->hide();
    picture->hide();
    hovered = -1.0;
}

bool ThumbnailHover::showsPicture() const {
    return box->isVisible() && !picture->isHidden();
}

QString ThumbnailHover::timeShown() const {
    return box->isVisible() ? time->text() : QString();
}

bool ThumbnailHover::eventFilter(QObject* watched, QEvent* event) {
    auto* over = static_cast<QWidget*>(watched);
    switch (event->type()) {
    case QEvent::HoverEnter:
    case QEvent::HoverMove: {
        const int x = static_cast<QHoverEvent*>(event)->position().toPoint().x();
        double seconds = 0.0;
        bool scaled = false;
        if (over == timeline) {
            QMutexLocker locker(timeline->pictureMutex);
            const double range = timeline->maximum - timeline->minimum;
            scaled = std::isfinite(range) && range > 0.0 && timeline->width > 0;
            if (scaled)
                seconds = timeline->minimum +
                          std::clamp(static_cast<double>(x) / timeline->width, 0.0, 1.0) * range;
        }
        // Before its first data the timeline spans what the slider does.
        if (!scaled)
            seconds = over == slider
                          ? sliderSeconds(slider, x)
                          : std::clamp(static_cast<double>(x) / over->width(), 0.0, 1.0) *
                                slider->maximum();
        hover(over, seconds, x);
        return false;
    }
    case QEvent::HoverLeave:
    case QEvent::Hide:
        hovered = -1.0;
        box->hide();
        return false;
    default:
        return false;
    }
}

void ThumbnailHover::hover(QWidget* over, double seconds, int x) {
    hovered = seconds;
    time->setText(timeText(seconds, slider->maximum()));
    const int64_t fragment = fragmentAt(seconds, frameRate);
    const auto known = std::find_if(recent.begin(), recent.end(),
                                    [fragment](const Shown& s) { return s.fragment == fragment; });
    if (fragment >= 0 && known != recent.end()) {
        picture->setPixmap(QPixmap::fromImage(known->image));
        picture->show();
    } else {
        // The picture shown stays until the worker answers, rather than
        // the popup shrinking and growing again at every move.
        {
            const std::lock_guard lock(mutex);
            pending = Request{video, path, seconds};
        }
        worker.wake();
    }
    showAt(over, x);
}

void ThumbnailHover::showAt(QWidget* over, int x) {
    box->adjustSize();
    const QPoint at = over->mapToGlobal(QPoint(x, 0));
    box->move(at.x() - box->width() / 2, at.y() - box->height() - 4);
    box->show();
    lastOver = over;
    lastX = x;
}

void ThumbnailHover::deliver() {
    std::optional<Answer> taken;
    {
        const std::lock_guard lock(mutex);
        taken.swap(answer);
    }
    if (taken)
        found(*taken);
}

void ThumbnailHover::found(const Answer& given) {
    if (given.video != video)
        return;
    ++answered;
    if (given.frameRate > 0.0)
        frameRate = given.frameRate;
    const QImage& image = given.image;
    if (!image.isNull() && given.fragment >= 0 && !given.provisional) {
        recent.push_front({given.fragment, image});
        if (recent.size() > kRecent)
            recent.pop_back();
    }
    if (hovered < 0.0 || lastOver == nullptr ||
        fragmentAt(hovered, frameRate) != fragmentAt(given.seconds, frameRate))
        return;
    if (image.isNull()) {
        picture->hide();
    } else {
        picture->setPixmap(QPixmap::fromImage(image));
        picture->show();
    }
    showAt(lastOver, lastX);
}

void ThumbnailHover::lookUp() {
    while (worker.waitForWake()) {
        std::optional<Request> request;
        {
            const std::lock_guard lock(mutex);
            request.swap(pending);
        }
        if (!request)
            continue;
        Answer found{request->video, 0.0, request->seconds, -1, {}, false};
        found.image = thumbnailOf(*request, &found);
        const std::lock_guard lock(mutex);
        if (!answer)
            QMetaObject::invokeMethod(this, "deliver", Qt::QueuedConnection);
        answer = std::move(found);
    }
}

QImage ThumbnailHover::thumbnailOf(const Request& request, Answer* found) {
    double* rate = &found->frameRate;
    int64_t* fragment = &found->fragment;
    if (request.video != storeVideo) {
        storeVideo = request.video;
        entry.reset();
        lastFind = {};
        glance.reset();
        lastGlanceLook = {};
        key = videoKey(request.path, storedAnalysisOptions());
        if (!store && !storeTried) {
            storeTried = true;
            std::string notice;
            const StoreConfig config = StoreConfig::fromEnvironment();
            if (config.enabled)
                store = DescriptorStore::open(config, &notice);
        }
    }
    if (!store || !key.valid())
        return {};
    std::string jpeg;
    for (int attempt = 0; attempt < 2 && jpeg.empty(); ++attempt) {
        if (attempt > 0 || !entry) {
            // An entry dropped or begun since the last look is found again.
            const auto now = std::chrono::steady_clock::now();
            if (now - lastFind < kFindAgain)
                break;
            lastFind = now;
            entry = store->find(key);
        }
        if (!entry || !(entry->frameRate > 0.0))
            break;
        *rate = entry->frameRate;
        *fragment = fragmentAt(request.seconds, entry->frameRate);
        // The slider's end is the last picture's time rounded up.
        if (entry->complete && entry->frames > 0)
            *fragment = std::min(*fragment, (entry->frames - 1) / FragmentSource::fragmentCapacity);
        jpeg = store->thumbnail(*entry, *fragment);
    }
    if (jpeg.empty()) {
        jpeg = glanceThumbnail(request.seconds);
        found->provisional = !jpeg.empty();
        if (found->provisional && !(*rate > 0.0)) {
            *rate = glance->frameRate;
            *fragment = fragmentAt(request.seconds, *rate);
        }
    }
    QImage image;
    if (!jpeg.empty())
        image.loadFromData(reinterpret_cast<const uchar*>(jpeg.data()),
                           static_cast<int>(jpeg.size()), "JPEG");
    return image;
}

std::string ThumbnailHover::glanceThumbnail(double seconds) {
    if (!glance) {
        // Taken a few seconds after the video opens: looked for again until then.
        const auto now = std::chrono::steady_clock::now();
        if (now - lastGlanceLook < kFindAgain)
            return {};
        lastGlanceLook = now;
        glance = storedGlance(*store, key);
        if (!glance)
            return {};
    }
    const GlancePicture* picture = glance->at(seconds);
    return picture != nullptr ? picture->thumbnail : std::string();
}
