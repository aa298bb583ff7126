#include "DisplayEvents.h"

#include <QMouseEvent>
#include <QMutexLocker>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

// The strip's ground, border and analysis band come from the palette (mid
// grey, the frame's colour, text), so that it looks right in light and dark themes; the
// bar, the ticks, the spans and the marks keep their own colours.
const QColor kBarColour(0, 0, 255, 255);
const QColor kMark2Colour(255, 100, 0, 255);
const QColor kSpanColour(0, 190, 90, 255);
const QColor kProvisionalShade(0, 190, 90, 90);
// Rows of the strip the kept spans fill (from the top), and the band's.
constexpr int kSpanRows = 6;
constexpr int kBandRows = 2;

// Values far off the strip (or not numbers) are pulled in just beyond its
// edges, where they are still clipped but convert to int safely.
double onStrip(double scaled, int width) {
    return std::isnan(scaled) ? -2.0 : std::clamp(scaled, -2.0, width + 2.0);
}

// The pixel column of a scaled value, truncated towards zero.
int column(double scaled, int width) {
    return static_cast<int>(onStrip(scaled, width));
}

// The two-pixel mark at scaled position p.
void drawMark(QPainter& painter, double p, int width, int height) {
    const int x = column(p, width);
    painter.drawLine(x, 0, x, height - 1);
    painter.drawLine(column(p + 1, width), 0, x + 1, height - 1);
}

} // namespace

DisplayEvents::DisplayEvents(const char* name, int width, int height)
    : DisplayWindow(name, width, height) {}

void DisplayEvents::setData(const double* newValues, int newCount, double newMinimum,
                            double newMaximum, double newPosition, double newMark1,
                            double newMark2) {
    const int kept = newValues == nullptr ? 0 : std::clamp(newCount, 0, MAX_EVENT_VALUES);
    {
        QMutexLocker locker(pictureMutex);
        minimum = newMinimum;
        maximum = newMaximum;
        position = newPosition;
        mark1 = newMark1;
        mark2 = newMark2;
        std::copy(newValues, newValues + kept, values);
        count = kept;
    }
    postRepaint(this);
}

void DisplayEvents::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QMutexLocker locker(pictureMutex);
    const int n = std::clamp(count, 0, MAX_EVENT_VALUES);
    const double range = maximum - minimum;
    const bool scaled = std::isfinite(range) && range > 0.0;
    auto s = [&](double v) { return (v - minimum) / range * width; };
    const QColor rest = palette().color(QPalette::Mid);
    const QColor edge = frameColour(palette());
    painter.setPen(edge);

    if (scaled) {
        const double p = onStrip(s(position), width);
        painter.setBrush(kBarColour);
        painter.drawRect(QRectF(0, 0, p, height));
        painter.setBrush(rest);
        painter.drawRect(QRectF(p + 1, 0, width - p, height));
        for (const auto& [start, end] : spans) {
            const double x = onStrip(s(start), width);
            const QRectF area(x, 1, std::max(1.0, onStrip(s(end), width) - x), kSpanRows);
            if (spansProvisional) {
                // Provisional: a light shade under diagonal hatching.
                painter.fillRect(area, kProvisionalShade);
                painter.fillRect(area, QBrush(kSpanColour, Qt::BDiagPattern));
            } else {
                painter.fillRect(area, kSpanColour);
            }
        }
        if (band > minimum)
            painter.fillRect(QRectF(0, height - 1 - kBandRows, onStrip(s(band), width), kBandRows),
                             palette().color(QPalette::WindowText));
        painter.setPen(Qt::yellow);
        for (int i = 0; i < n; ++i) {
            const int x = column(s(values[i]), width);
            painter.drawLine(x, 0, x, height - 1);
        }
    } else {
        // No scale yet (before the first data): the empty grey strip.
        painter.fillRect(QRect(0, 0, width, height), rest);
    }

    painter.setPen(edge);
    painter.drawLine(0, 0, 0, height - 1);
    painter.drawLine(width - 1, 0, width - 1, height - 1);
    painter.drawLine(0, 0, width - 1, 0);
    painter.drawLine(0, height - 1, width - 1, height - 1);
    if (!scaled) {
        return;
    }

    painter.setPen(Qt::red);
    drawMark(painter, s(position), width, height);
    if (mark1 != 0.0) {
        painter.setPen(Qt::green);
        drawMark(painter, s(mark1), width, height);
    }
    if (mark2 != 0.0) {
        painter.setPen(kMark2Colour);
        drawMark(painter, s(mark2), width, height);
    }
}

void DisplayEvents::setSpans(std::vector<std::pair<double, double>> kept, bool provisional) {
    {
        QMutexLocker locker(pictureMutex);
        spans = std::move(kept);
        spansProvisional = provisional;
    }
    update();
}

void DisplayEvents::setBand(double upTo) {
    {
        QMutexLocker locker(pictureMutex);
        band = upTo;
    }
    update();
}

void DisplayEvents::mousePressEvent(QMouseEvent* event) {
    double at = 0.0;
    {
        QMutexLocker locker(pictureMutex);
        if (!(maximum > minimum) || width <= 0)
            return;
        at = minimum + event->position().x() / width * (maximum - minimum);
    }
    // Half a pixel's slack either side, so that a thin span can be hit.
    const double slack = (maximum - minimum) / width;
    for (const auto& [start, end] : spans)
        if (at >= start - slack && at <= end + slack) {
            if (onSpanClicked)
                onSpanClicked(start);
            return;
        }
}
