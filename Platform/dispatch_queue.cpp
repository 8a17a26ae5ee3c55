#include "Platform/dispatch_queue.h"

#include <algorithm>
#include <utility>

#include "Platform/process_setting.h"
#include "Platform/system_log.h"

namespace Platform {

namespace {
ProcessSetting<std::shared_ptr<DispatchQueue>>& mainQueueSetting() {
    static ProcessSetting<std::shared_ptr<DispatchQueue>> setting;
    return setting;
}
ProcessSetting<std::shared_ptr<DispatchQueue>>& globalQueueSetting() {
    static ProcessSetting<std::shared_ptr<DispatchQueue>> setting;
    return setting;
}

std::shared_ptr<DispatchQueue> processThreadPool() {
    // Never destroyed: work may still be running while the process ends.
    static const auto* const pool = new std::shared_ptr<DispatchQueue>(
        std::make_shared<ThreadPoolQueue>(std::clamp(std::thread::hardware_concurrency(), 2u, 8u)));
    return *pool;
}
} // namespace

DispatchQueue::~DispatchQueue() = default;

std::shared_ptr<DispatchQueue> globalQueue() {
    std::shared_ptr<DispatchQueue> queue = globalQueueSetting().get();
    return queue ? queue : processThreadPool();
}

void setGlobalQueue(std::shared_ptr<DispatchQueue> queue) {
    globalQueueSetting().set(std::move(queue));
}

ThreadPoolQueue::ThreadPoolQueue(unsigned threads) {
    threads_.reserve(std::max(threads, 1u));
    for (unsigned i = 0; i < std::max(threads, 1u); ++i) threads_.emplace_back([this] { serve(); });
}

ThreadPoolQueue::~ThreadPoolQueue() {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        stopping_ = true;
    }
    arrived_.notify_all();
    for (std::thread& thread : threads_) thread.join();
}

void ThreadPoolQueue::async(std::function<void()> work) {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        work_.push_back(std::move(work));
    }
    arrived_.notify_one();
}

bool ThreadPoolQueue::isCurrent() const {
    const auto self = std::this_thread::get_id();
    return std::any_of(threads_.begin(), threads_.end(), [self](const std::thread& t) { return t.get_id() == self; });
}

void ThreadPoolQueue::serve() {
    for (;;) {
        std::function<void()> next;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            arrived_.wait(lock, [this] { return stopping_ || !work_.empty(); });
            if (work_.empty()) return; // stopping, and everything put has run
            next = std::move(work_.front());
            work_.pop_front();
        }
        // A failure of one piece of work ends that work only, never the pool's thread.
        try {
            next();
        } catch (const std::exception& failure) {
            systemLog(std::string("Work on the global queue failed: ") + failure.what());
        } catch (...) {
            systemLog("Work on the global queue failed");
        }
    }
}

std::shared_ptr<DispatchQueue> mainQueue() {
    return mainQueueSetting().get();
}

void setMainQueue(std::shared_ptr<DispatchQueue> queue) {
    mainQueueSetting().set(std::move(queue));
}

void asyncOnMainQueue(std::function<void()> work) {
    if (auto queue = mainQueue()) {
        queue->async(std::move(work));
    } else {
        work();
    }
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
