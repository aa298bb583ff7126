#pragma once

// The one queue between threads (and between the parts of one thread): first
// in, first out, bounded in items and in weight (bytes of pictures, say), and
// closable. Every item carries the serial the queue had when it was put; a
// flush drops what is queued and starts a new serial, so a consumer that took
// an item before a seek can tell that it is stale and drop it.
//
// put waits for room and get waits for an item; both give up when the queue
// is closed. tryPut and tryGet never wait, for threads that wait on something
// else (a Wakeup) and only ask.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <mutex>
#include <optional>
#include <utility>

template <class T> class BoundedQueue {
public:
    struct Entry {
        T item;
        uint64_t serial;
    };
    // The weight of one item; without one, every item weighs nothing.
    using Weigher = std::function<int64_t(const T&)>;

    explicit BoundedQueue(size_t capacity = std::numeric_limits<size_t>::max(),
                          int64_t budget = std::numeric_limits<int64_t>::max(), Weigher weigh = {})
        : capacity(capacity), budget(budget), weigh(std::move(weigh)) {}
    BoundedQueue(const BoundedQueue&) = delete;
    BoundedQueue& operator=(const BoundedQueue&) = delete;

    // Waits for room for the item, then queues it. False when the queue is
    // (or gets) closed: the item is dropped.
    bool put(T item) {
        const int64_t w = weightOf(item);
        std::unique_lock lock(mutex);
        roomChanged.wait(lock, [&] { return isClosed || fits(1, w); });
        if (isClosed)
            return false;
        push(std::move(item), w);
        lock.unlock();
        itemsChanged.notify_all();
        tellPut();
        return true;
    }

    // Queues the item if there is room now. False (item untouched) when full or closed.
    bool tryPut(T& item) {
        const int64_t w = weightOf(item);
        {
            const std::lock_guard lock(mutex);
            if (isClosed || !fits(1, w))
                return false;
            push(std::move(item), w);
        }
        itemsChanged.notify_all();
        tellPut();
        return true;
    }

    // Waits until the queue has room for one more item (or is closed: false).
    // For a single producer that makes its item only once there is room.
    bool waitForRoom() {
        std::unique_lock lock(mutex);
        roomChanged.wait(lock, [&] { return isClosed || fits(1, 0); });
        return !isClosed;
    }

    // Queues the item whatever the room and even when closed: for an item
    // already made that must not be lost.
    void putAnyway(T item) {
        const int64_t w = weightOf(item);
        {
            const std::lock_guard lock(mutex);
            push(std::move(item), w);
        }
        itemsChanged.notify_all();
        tellPut();
    }

    // Room for count more items weighing weight in all. An empty queue takes
    // anything, however heavy.
    bool hasRoom(size_t count = 1, int64_t weight = 0) const {
        const std::lock_guard lock(mutex);
        return !isClosed && fits(count, weight);
    }

    // Waits for an item. Empty once the queue is closed.
    std::optional<Entry> get() { return getUntil(std::chrono::steady_clock::time_point::max()); }

    // Waits at most timeout for an item.
    std::optional<Entry> getFor(std::chrono::steady_clock::duration timeout) {
        return getUntil(std::chrono::steady_clock::now() + timeout);
    }

    std::optional<Entry> tryGet() {
        std::optional<Entry> taken;
        {
            const std::lock_guard lock(mutex);
            if (isClosed || entries.empty())
                return std::nullopt;
            taken = pop();
        }
        tookOne();
        return taken;
    }

    // Drops everything queued (destroyed outside the lock) and starts a new
    // serial, which it returns.
    uint64_t flush() {
        std::deque<Entry> dropped;
        uint64_t now = 0;
        {
            const std::lock_guard lock(mutex);
            dropped.swap(entries);
            totalWeight = 0;
            now = ++currentSerial;
        }
        roomChanged.notify_all();
        if (onTaken)
            onTaken();
        return now;
    }

    // Ends every wait; put and get fail until reopen. What is queued stays.
    void close() {
        {
            const std::lock_guard lock(mutex);
            isClosed = true;
        }
        roomChanged.notify_all();
        itemsChanged.notify_all();
    }
    void reopen() {
        const std::lock_guard lock(mutex);
        isClosed = false;
    }

    // Called (without the queue's lock) whenever items leave the queue, so
    // that a producer that waits on something else can be told of the room;
    // and whenever one comes, for a consumer that waits on something else.
    // Set before the queue is shared.
    void setOnTaken(std::function<void()> callback) { onTaken = std::move(callback); }
    void setOnPut(std::function<void()> callback) { onPut = std::move(callback); }

    bool closed() const {
        const std::lock_guard lock(mutex);
        return isClosed;
    }
    uint64_t serial() const {
        const std::lock_guard lock(mutex);
        return currentSerial;
    }
    size_t size() const {
        const std::lock_guard lock(mutex);
        return entries.size();
    }
    bool empty() const { return size() == 0; }
    int64_t weight() const {
        const std::lock_guard lock(mutex);
        return totalWeight;
    }
    // How full the queue is, from 0 to 1: by items or by weight, whichever is more.
    double fill() const {
        const std::lock_guard lock(mutex);
        const double byItems = static_cast<double>(entries.size()) / static_cast<double>(capacity);
        const double byWeight = static_cast<double>(totalWeight) / static_cast<double>(budget);
        return std::max(byItems, byWeight);
    }

private:
    int64_t weightOf(const T& item) const { return weigh ? weigh(item) : 0; }

    bool fits(size_t count, int64_t weight) const {
        if (entries.empty())
            return true;
        return entries.size() + count <= capacity && totalWeight + weight <= budget;
    }

    void push(T&& item, int64_t w) {
        entries.push_back({std::move(item), currentSerial});
        totalWeight += w;
    }

    Entry pop() {
        Entry taken = std::move(entries.front());
        entries.pop_front();
        totalWeight -= weightOf(taken.item);
        return taken;
    }

    void tellPut() {
        if (onPut)
            onPut();
    }

    void tookOne() {
        roomChanged.notify_all();
        if (onTaken)
            onTaken();
    }

    std::optional<Entry> getUntil(std::chrono::steady_clock::time_point deadline) {
        std::optional<Entry> taken;
        {
            std::unique_lock lock(mutex);
            const auto ready = [&] { return isClosed || !entries.empty(); };
            if (deadline == std::chrono::steady_clock::time_point::max())
                itemsChanged.wait(lock, ready);
            else if (!itemsChanged.wait_until(lock, deadline, ready))
                return std::nullopt;
            if (isClosed || entries.empty())
                return std::nullopt;
            taken = pop();
        }
        tookOne();
        return taken;
    }

    const size_t capacity;
    const int64_t budget;
    const Weigher weigh;
    std::function<void()> onTaken;
    std::function<void()> onPut;

    mutable std::mutex mutex;
    std::condition_variable roomChanged;
    std::condition_variable itemsChanged;
    std::deque<Entry> entries;
    int64_t totalWeight = 0;
    uint64_t currentSerial = 0;
    bool isClosed = false;
};
