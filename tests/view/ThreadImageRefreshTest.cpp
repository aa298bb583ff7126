#include "ThreadImageRefresh.h"

#include <QApplication>
#include <QWidget>

#include <gtest/gtest.h>

#include <atomic>

namespace {

class PaintCounter : public QWidget {
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent*) override { ++paints; }
};

class ThreadImageRefreshTest : public ::testing::Test {
protected:
    void SetUp() override {
        widget.resize(40, 30);
        widget.show();
        QApplication::processEvents();
        widget.paints = 0;
    }

    PaintCounter widget;
};

TEST_F(ThreadImageRefreshTest, RepaintsTheWidgetOnTheGuiThreadUntilStopped) {
    ThreadImageRefresh refresh(&widget, 1000);
    EXPECT_EQ(refresh.widget, &widget);
    EXPECT_EQ(refresh.period, 1000u);
    refresh.start();
    while (widget.paints < 3) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    refresh.stop();
    EXPECT_TRUE(refresh.wait());
}

TEST_F(ThreadImageRefreshTest, SleepsAPeriodBeforeTheFirstRequestAndStopsAtOnce) {
    // A period of over an hour: stopping must cut the first sleep short, and
    // nothing has been requested by then.
    ThreadImageRefresh refresh(&widget, 4000000000u);
    refresh.start();
    refresh.stop();
    EXPECT_TRUE(refresh.wait());
    QApplication::processEvents();
    EXPECT_EQ(widget.paints, 0);
}

TEST_F(ThreadImageRefreshTest, DestroyingARunningThreadStopsIt) {
    auto* refresh = new ThreadImageRefresh(&widget, 500);
    refresh->start();
    delete refresh;
    QApplication::processEvents();
}

} // namespace
