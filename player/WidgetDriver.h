#pragma once

// The drawings the decoding loop hands the window: the timeline of the
// summary and the tree's two strips. Implementations must be callable from
// any thread and must not block on the GUI thread.

class WidgetDriver {
public:
    virtual ~WidgetDriver() = default;
    // values is copied before the call returns.
    virtual void setTimelineData(const double* values, int count, double minimum, double maximum,
                                 double position, double mark1, double mark2) = 0;
    virtual void setTreeDepthStrip(double minimum, double maximum, double position, double mark1,
                                   double mark2) = 0;
    virtual void setTreeNodesStrip(double minimum, double maximum, double position, double mark1,
                                   double mark2) = 0;
};
