#include "BoundedQueue.h"
#include "Worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Items are their own weight.
BoundedQueue<int> weighed(size_t capacity, int64_t budget) {
    return BoundedQueue<int>(capacity, budget, [](const int& v) { return int64_t{v}; });
}

TEST(BoundedQueue, TakesWhatFitsAndGivesItBackInOrder) {
    struct Case {
        const char* name;
        size_t capacity;
        int64_t budget;
        std::vector<int> offered;
        std::vector<int> taken; // what tryPut accepted, in order
    };
    const Case cases[] = {
        {"by count", 2, 1000, {1, 2, 3}, {1, 2}},
        {"by weight", 10, 10, {4, 5, 2, 1}, {4, 5, 1}},
        {"an empty queue takes anything", 10, 10, {50, 1}, {50}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto queue =
            BoundedQueue<int>(c.capacity, c.budget, [](const int& v) { return int64_t{v}; });
        for (int v : c.offered) {
            int item = v;
            queue.tryPut(item);
        }
        std::vector<int> out;
        while (auto entry = queue.tryGet())
            out.push_back(entry->item);
        EXPECT_EQ(out, c.taken);
        EXPECT_EQ(queue.weight(), 0);
    }
}

TEST(BoundedQueue, RoomIsAskedForWholeGroups) {
    auto queue = weighed(5, 100);
    int first = 10;
    ASSERT_TRUE(queue.tryPut(first));
    EXPECT_TRUE(queue.hasRoom(4, 90));
    EXPECT_FALSE(queue.hasRoom(5, 10)); // one item too many
    EXPECT_FALSE(queue.hasRoom(1, 91)); // too heavy
    queue.flush();
    EXPECT_TRUE(queue.hasRoom(50, 5000)); // empty: anything goes
}

TEST(BoundedQueue, AFlushDropsWhatWasQueuedAndMarksWhatComesAfter) {
    BoundedQueue<std::string> queue;
    std::string before = "before";
    queue.tryPut(before);
    const uint64_t old = queue.serial();
    const uint64_t now = queue.flush();
    EXPECT_NE(old, now);
    EXPECT_TRUE(queue.empty());
    std::string after = "after";
    queue.tryPut(after);
    const auto entry = queue.tryGet();
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->item, "after");
    EXPECT_EQ(entry->serial, now);
}

TEST(BoundedQueue, CloseEndsWaitsOnBothSides) {
    BoundedQueue<int> full(1);
    full.put(1);
    BoundedQueue<int> empty;
    std::atomic<int> ended{0};
    std::thread producer([&] {
        EXPECT_FALSE(full.put(2)); // waits for room that never comes
        ++ended;
    });
    std::thread consumer([&] {
        EXPECT_FALSE(empty.get()); // waits for an item that never comes
        ++ended;
    });
    std::this_thread::sleep_for(20ms);
    full.close();
    empty.close();
    producer.join();
    consumer.join();
    EXPECT_EQ(ended, 2);
}

TEST(BoundedQueue, ATakeMakesRoomForAWaitingProducerAndTellsTheCallback) {
    BoundedQueue<int> queue(1);
    std::atomic<int> told{0};
    queue.setOnTaken([&] { ++told; });
    queue.put(1);
    std::thread producer([&] { EXPECT_TRUE(queue.put(2)); });
    EXPECT_EQ(queue.get()->item, 1);
    producer.join();
    EXPECT_EQ(queue.get()->item, 2);
    EXPECT_EQ(told, 2);
}

TEST(Worker, AStopEndsEveryKindOfWait) {
    struct Case {
        const char* name;
        std::function<void(Worker&)> body;
    };
    const Case cases[] = {
        {"waiting for a notice",
         [](Worker& w) {
             while (w.waitForWake()) {
             }
         }},
        {"sleeping", [](Worker& w) { w.sleepFor(std::chrono::hours(1)); }},
        {"waiting on a queue it closes", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Worker worker;
        BoundedQueue<int> queue;
        worker.setInterrupt([&] { queue.close(); });
        if (c.body)
            worker.start([&] { c.body(worker); });
        else
            worker.start([&] { queue.get(); });
        std::this_thread::sleep_for(10ms);
        worker.stop(); // returns only once the body has
        EXPECT_FALSE(worker.running());
    }
}

TEST(Worker, ANoticeGivenBeforeTheWaitIsNotLost) {
    Wakeup shared;
    Worker worker(&shared);
    std::atomic<bool> noticed{false};
    shared.notify(); // before the body waits
    // A lost notice would leave the body waiting for the hour.
    worker.start([&] { noticed = shared.waitFor(std::chrono::hours(1)); });
    worker.stop();
    EXPECT_TRUE(noticed);
}

} // namespace
