#include "ThreadImageRefresh.h"

#include <QApplication>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

namespace {

class PaintCounter : public QWidget {
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent*) override { ++paints; }
};

TEST(ThreadImageRefresh, RepaintsOnTheGuiThreadUntilStoppedAndStopsMidSleep) {
    PaintCounter widget;
    widget.show();
    QApplication::processEvents();
    widget.paints = 0;
    ThreadImageRefresh fast(&widget, 1000);
    fast.start();
    while (widget.paints < 3)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    fast.stop();
    EXPECT_TRUE(fast.wait());

    QApplication::processEvents();
    widget.paints = 0;
    // A period of over an hour: only its destruction can end the first sleep,
    // and nothing is asked for before.
    auto slow = std::make_unique<ThreadImageRefresh>(&widget, 4000000000u);
    slow->start();
    slow.reset();
    QApplication::processEvents();
    EXPECT_EQ(widget.paints, 0);
}

} // namespace
