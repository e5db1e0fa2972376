#include "common/WorkerThread.h"

#include <pthread.h>

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QThread>

namespace quillet {

bool OnWindowThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void SleepInWindowEvents() { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); }

void WakeWindow() {
    // An event nobody handles: its arrival is what ends the sleep.
    static const auto kWake = static_cast<QEvent::Type>(QEvent::registerEventType());
    if (QCoreApplication* app = QCoreApplication::instance())
        QCoreApplication::postEvent(app, new QEvent(kWake));
}

WorkerThread::WorkerThread(size_t queueLimit) : limit_(queueLimit), thread_([this] { Loop(); }) {}

WorkerThread::~WorkerThread() {
    Close();
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        ending_ = true;
    }
    work_.notify_one();
    thread_.join();
}

void WorkerThread::SetQueueLimit(size_t limit) {
    const std::lock_guard<std::mutex> lock(mutex_);
    limit_ = limit;
}

void WorkerThread::Post(std::function<void()> task, size_t weight, Wait how) {
    std::unique_lock<std::mutex> lock(mutex_);
    RaiseFailure();
    if (closed_) return;
    WaitUntil(lock, state_, stateWaits_, how, [&] {
        return limit_ == 0 || queued_ == 0 || queued_ + weight <= limit_ || closed_ || failure_;
    });
    RaiseFailure();
    if (closed_) return;
    tasks_.push_back(Task{std::move(task), weight});
    queued_ += weight;
    ++posted_;
    work_.notify_one();
}

void WorkerThread::Drain(Wait how) {
    std::unique_lock<std::mutex> lock(mutex_);
    WaitUntil(lock, state_, stateWaits_, how, [&] { return finished_ == posted_; });
    RaiseFailure();
}

void WorkerThread::Close() {
    std::deque<Task> dropped;
    std::unique_lock<std::mutex> lock(mutex_);
    closed_ = true;
    finished_ += tasks_.size();
    dropped.swap(tasks_);
    queued_ = 0;
    state_.notify_all();
    // A wait of the window's thread further out (Close runs from inside its events) looks again.
    const bool wake = stateWaits_.Any();
    state_.wait(lock, [&] { return !running_; });
    lock.unlock();
    if (wake) WakeWindow();
    // The dropped tasks' captures go when this returns, outside the lock.
}

bool WorkerThread::Failed() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return failure_ != nullptr;
}

std::exception_ptr WorkerThread::TakeFailure() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(failure_, nullptr);
}

void WorkerThread::RaiseFailure() {
    if (failure_) std::rethrow_exception(failure_);
}

void WorkerThread::Loop() {
    // Named, so that a debugger's or the kernel's list of threads tells the workers apart.
    ::pthread_setname_np(::pthread_self(), "quillet-worker");
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        work_.wait(lock, [&] { return !tasks_.empty() || ending_; });
        if (tasks_.empty()) return;
        Task task = std::move(tasks_.front());
        tasks_.pop_front();
        queued_ -= task.weight;
        running_ = true;
        state_.notify_all();
        bool wake = stateWaits_.Any();
        lock.unlock();
        if (wake) WakeWindow();  // there is room for the next task
        std::exception_ptr error;
        try {
            task.run();
        } catch (...) {
            error = std::current_exception();
        }
        task.run = nullptr;  // its captures are released on this thread, outside the lock
        std::deque<Task> dropped;
        lock.lock();
        running_ = false;
        ++finished_;
        if (error && !failure_) {
            failure_ = error;
            finished_ += tasks_.size();
            dropped.swap(tasks_);
            queued_ = 0;
        }
        state_.notify_all();
        wake = stateWaits_.Any();
        lock.unlock();
        if (wake) WakeWindow();
        dropped.clear();
        lock.lock();
    }
}

}  // namespace quillet
