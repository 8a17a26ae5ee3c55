#include "Platform/dispatch_queue.h"

#include <algorithm>
#include <utility>

namespace Platform {

namespace {
std::mutex mainQueueMutex;
std::shared_ptr<DispatchQueue>& mainQueueSlot() {
    static std::shared_ptr<DispatchQueue> queue;
    return queue;
}
} // namespace

DispatchQueue::~DispatchQueue() = default;

std::shared_ptr<DispatchQueue> mainQueue() {
    std::lock_guard<std::mutex> guard(mainQueueMutex);
    return mainQueueSlot();
}

void setMainQueue(std::shared_ptr<DispatchQueue> queue) {
    std::lock_guard<std::mutex> guard(mainQueueMutex);
    mainQueueSlot() = std::move(queue);
}

void RunLoopQueue::async(std::function<void()> work) {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        work_.push_back(std::move(work));
    }
    arrived_.notify_all();
}

bool RunLoopQueue::isCurrent() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return owner_ == std::this_thread::get_id();
}

void RunLoopQueue::bindToCurrentThread() {
    std::lock_guard<std::mutex> guard(mutex_);
    owner_ = std::this_thread::get_id();
}

size_t RunLoopQueue::runPending() {
    bindToCurrentThread();
    size_t ran = 0;
    for (;;) {
        std::function<void()> next;
        {
            std::lock_guard<std::mutex> guard(mutex_);
            if (work_.empty()) return ran;
            next = std::move(work_.front());
            work_.pop_front();
        }
        next();
        ++ran;
    }
}

void RunLoopQueue::runFor(std::chrono::milliseconds duration, const std::function<bool()>& done) {
    bindToCurrentThread();
    const auto end = std::chrono::steady_clock::now() + duration;
    for (;;) {
        runPending();
        if (done && done()) return;
        if (std::chrono::steady_clock::now() >= end) return;
        // Woken by new work, and every 10 ms to look at `done` again.
        std::unique_lock<std::mutex> lock(mutex_);
        arrived_.wait_until(lock, std::min(end, std::chrono::steady_clock::now() + std::chrono::milliseconds(10)),
                            [this] { return !work_.empty(); });
    }
}

} // namespace Platform
