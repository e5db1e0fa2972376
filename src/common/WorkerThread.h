#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>
#include <utility>

namespace quillet {

// How the window's thread waits for a worker: sleeping in its event loop, so that it paints and
// answers meanwhile, or plainly, for waits that last one read and come inside an operation that
// must not be re-entered.
enum class Wait { WithEvents, Plain };

// The waits of the window's thread on one lock's state that sleep in its event loop. Whoever
// changes that state (holding the lock) notes whether to wake them, and wakes them once the
// lock is released.
struct EventWaits {
    int sleeping = 0;
    bool Any() const { return sleeping > 0; }
};

// True on the application's thread, when there is an application: waits there can handle
// its events.
bool OnWindowThread();
// Handles the window's events, sleeping until there is one.
void SleepInWindowEvents();
// Ends a SleepInWindowEvents of the window's thread; any thread may call it.
void WakeWindow();

// Waits on cv until ready() holds. With Wait::WithEvents on the window's thread, the thread
// sleeps in its event loop instead, the lock released, until its events or a WakeWindow of the
// other side let it look again.
template <typename Ready>
void WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, EventWaits& waits,
               Wait how, Ready ready) {
    if (how == Wait::Plain || !OnWindowThread()) {
        cv.wait(lock, ready);
        return;
    }
    while (!ready()) {
        ++waits.sleeping;
        lock.unlock();
        SleepInWindowEvents();
        lock.lock();
        --waits.sleeping;
    }
}

// A thread of its own that runs tasks in the order they were posted. The first task that fails
// ends the work: the tasks after it are dropped, and its error is raised on the poster's side
// by the next Post, Drain or Call. The poster's side is one thread (the window's).
class WorkerThread {
  public:
    // Post waits while more than queueLimit of weight is queued and not begun (0: no limit).
    explicit WorkerThread(size_t queueLimit = 0);
    // Drops what has not begun and waits, plainly, for the task that runs.
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    void Post(std::function<void()> task, size_t weight = 0, Wait how = Wait::WithEvents);
    void SetQueueLimit(size_t limit);
    // Waits until everything posted has run.
    void Drain(Wait how = Wait::WithEvents);
    // Runs f on the thread after what was posted before and gives its result back; an error of
    // f is raised here and does not end the work. Once the worker is closed, f runs on the
    // caller's thread: what it works on is the caller's again.
    template <typename F>
    auto Call(F f, Wait how = Wait::WithEvents) -> std::invoke_result_t<F&>;

    // Drops what has not begun and waits, plainly, for the running task. Tasks posted later
    // are dropped too; a failure stays until it is raised.
    void Close();
    bool Failed() const;
    // The failure, taken: raising it is left to the caller.
    std::exception_ptr TakeFailure();

  private:
    struct Task {
        std::function<void()> run;
        size_t weight;
    };

    void Loop();
    // With the lock held.
    void RaiseFailure();

    size_t limit_;
    mutable std::mutex mutex_;
    std::condition_variable work_;   // the thread waits for tasks
    std::condition_variable state_;  // the poster waits for room or for the end of a task
    EventWaits stateWaits_;
    std::deque<Task> tasks_;
    size_t queued_ = 0;  // weight of the tasks not begun
    bool running_ = false;
    bool closed_ = false;
    bool ending_ = false;
    uint64_t posted_ = 0;
    uint64_t finished_ = 0;  // run or dropped
    std::exception_ptr failure_;
    std::thread thread_;  // last: it starts once the state above exists
};

template <typename F>
auto WorkerThread::Call(F f, Wait how) -> std::invoke_result_t<F&> {
    using Result = std::invoke_result_t<F&>;
    bool ran = false;
    std::exception_ptr error;
    if constexpr (std::is_void_v<Result>) {
        Post(
            [&] {
                ran = true;
                try {
                    f();
                } catch (...) {
                    error = std::current_exception();
                }
            },
            0, how);
        Drain(how);
        if (!ran) return f();
        if (error) std::rethrow_exception(error);
    } else {
        std::optional<Result> result;
        Post(
            [&] {
                ran = true;
                try {
                    result.emplace(f());
                } catch (...) {
                    error = std::current_exception();
                }
            },
            0, how);
        Drain(how);
        if (!ran) return f();
        if (error) std::rethrow_exception(error);
        return std::move(*result);
    }
}

}  // namespace quillet
