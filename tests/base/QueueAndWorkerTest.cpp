#include "BoundedQueue.h"
#include "Worker.h"
#include "WorkerPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <stdexcept>
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
        std::atomic<bool> returned{false};
        worker.setInterrupt([&] { queue.close(); });
        worker.start([&] {
            if (c.body)
                c.body(worker);
            else
                queue.get();
            // Late enough that a stop which did not wait for the body is seen.
            std::this_thread::sleep_for(5ms);
            returned = true;
        });
        std::this_thread::sleep_for(10ms);
        worker.stop();
        EXPECT_TRUE(returned);
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

TEST(WorkerPool, EveryTaskRunsOnceAmongTheThreadsAndTheCallerRunAfterRun) {
    struct Case {
        size_t threads, tasks, grain;
    };
    // No thread but the caller's; fewer tasks than threads; a grain that
    // does not divide the tasks; a grain of nought taken as one.
    const Case cases[] = {{0, 7, 1}, {3, 2, 1}, {2, 50, 4}, {1, 9, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.threads) + " " + std::to_string(c.tasks));
        WorkerPool pool(c.threads);
        for (int run = 0; run < 3; ++run) {
            std::vector<std::atomic<int>> runs(c.tasks);
            std::mutex mutex;
            std::set<std::thread::id> threads;
            pool.run(
                c.tasks,
                [&](size_t i) {
                    ++runs[i];
                    const std::lock_guard lock(mutex);
                    threads.insert(std::this_thread::get_id());
                },
                c.grain);
            for (size_t i = 0; i < c.tasks; ++i)
                EXPECT_EQ(runs[i], 1) << "task " << i << ", run " << run;
            EXPECT_LE(threads.size(), c.threads + 1);
            if (c.threads == 0) {
                EXPECT_EQ(threads, std::set<std::thread::id>{std::this_thread::get_id()});
            }
        }
    }
}

TEST(WorkerPool, AThrownTaskIsThrownByFinishOnceTheOthersAreDone) {
    WorkerPool pool(2);
    std::atomic<int> ran{0};
    pool.start(40, [&](size_t i) {
        std::this_thread::sleep_for(1ms);
        ++ran;
        if (i == 3)
            throw std::runtime_error("task 3");
    });
    EXPECT_THROW(pool.finish(), std::runtime_error);
    EXPECT_EQ(ran, 40);
    // The next run starts clean.
    pool.run(5, [&](size_t) { ++ran; });
    EXPECT_EQ(ran, 45);
}

} // namespace
