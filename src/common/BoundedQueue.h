#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <utility>

#include "common/WorkerThread.h"

namespace quillet {

// Items handed from one producer thread to one consumer thread, at most capacity of them
// waiting at a time, so that memory stays flat however long the stream. The producer may end the
// stream with an error, which the consumer receives in the place of the next item.
template <typename T>
class BoundedQueue {
  public:
    explicit BoundedQueue(size_t capacity) : capacity_(capacity) {}

    // Producer: waits while the queue is full. False once the queue is stopped: the item is
    // dropped and the producer should end.
    bool Push(T item) {
        std::unique_lock<std::mutex> lock(mutex_);
        room_.wait(lock, [&] { return items_.size() < capacity_ || stopped_; });
        if (stopped_) return false;
        items_.push_back(std::move(item));
        NotifyConsumer(lock);
        return true;
    }
    // Producer: the stream ends with this error after the items pushed so far.
    void Fail(std::exception_ptr error) {
        std::unique_lock<std::mutex> lock(mutex_);
        failure_ = std::move(error);
        NotifyConsumer(lock);
    }

    // Consumer: the next item, waiting for it. Raises the producer's error in its place; none
    // once the queue is stopped.
    std::optional<T> Pop(Wait how) {
        std::unique_lock<std::mutex> lock(mutex_);
        WaitUntil(lock, ready_, readyWaits_, how,
                  [&] { return !items_.empty() || failure_ || stopped_; });
        if (stopped_) return std::nullopt;
        if (items_.empty()) std::rethrow_exception(std::exchange(failure_, nullptr));
        std::optional<T> item(std::move(items_.front()));
        items_.pop_front();
        room_.notify_all();
        return item;
    }

    // Either side: the items are dropped and both sides stop waiting.
    void Stop() {
        std::deque<T> dropped;
        std::unique_lock<std::mutex> lock(mutex_);
        stopped_ = true;
        dropped.swap(items_);
        failure_ = nullptr;
        room_.notify_all();
        NotifyConsumer(lock);
    }
    bool Stopped() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return stopped_;
    }
    // Empty and open again, for the next stream; no producer may be running.
    void Reset() {
        std::deque<T> dropped;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            stopped_ = false;
            dropped.swap(items_);
            failure_ = nullptr;
        }
    }

  private:
    // Releases the lock.
    void NotifyConsumer(std::unique_lock<std::mutex>& lock) {
        ready_.notify_all();
        const bool wake = readyWaits_.Any();
        lock.unlock();
        if (wake) WakeWindow();
    }

    const size_t capacity_;
    mutable std::mutex mutex_;
    std::condition_variable room_;
    std::condition_variable ready_;
    EventWaits readyWaits_;
    std::deque<T> items_;
    std::exception_ptr failure_;
    bool stopped_ = false;
};

}  // namespace quillet
