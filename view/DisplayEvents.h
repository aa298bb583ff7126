#pragma once

// A thin strip showing a value on a linear scale as a blue bar over grey,
// event positions as yellow ticks, the value itself as a red mark and up to
// two further marks (green, orange). A mark of exactly 0 means none. Over
// them, when given: stretches of the scale drawn as kept spans (a summary
// map), which a click goes to, and a thin band along the bottom edge up to a
// value (how far an analysis has got).

#include "DisplayWindow.h"

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

inline constexpr int MAX_EVENT_VALUES = 10000;

class DisplayEvents : public DisplayWindow {
public:
    DisplayEvents(const char* name, int width, int height);

    // Stores the scale, position and marks and a copy of the first `count`
    // values, then asks for a repaint. Counts beyond MAX_EVENT_VALUES are cut
    // to it; a negative count or null values store no values. Callable from
    // any thread: the copy and the paint both hold pictureMutex, so a paint
    // never sees more values than were copied.
    void setData(const double* values, int count, double minimum, double maximum, double position,
                 double mark1, double mark2);

    // Written directly by the owner on the GUI thread (or under pictureMutex),
    // followed by a repaint request.
    double values[MAX_EVENT_VALUES] = {};
    int32_t count = 0;
    double minimum = 0.0;
    double maximum = 0.0;
    double position = 0.0;
    double mark1 = 0.0;
    double mark2 = 0.0;

    // GUI thread only: the kept spans (start, end) on the scale, hatched when
    // provisional (a map from the key frames alone), and how far the band
    // runs (0: none).
    void setSpans(std::vector<std::pair<double, double>> spans, bool provisional = false);
    void setBand(double upTo);
    // Called on the GUI thread with the start of the span clicked.
    std::function<void(double start)> onSpanClicked;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    std::vector<std::pair<double, double>> spans;
    bool spansProvisional = false;
    double band = 0.0;
};
