// Queues of work in place of the platform's dispatch queues: the interface the framework posts work
// to, the process's main queue (which the host sets at start-up: the application's event loop), the
// global queue (a pool of threads that runs work side by side), a run-loop queue whose work runs on
// the thread that drains it (a test main loop, or any thread that plays the main thread), and the
// thread pool behind the global queue.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace Platform {

class DispatchQueue {
public:
    virtual ~DispatchQueue();
    // Puts work on the queue and returns at once; the queue runs its work in order.
    virtual void async(std::function<void()> work) = 0;
    // The calling thread is the one that runs this queue's work.
    virtual bool isCurrent() const = 0;
};

// The main queue; null until the host sets one.
std::shared_ptr<DispatchQueue> mainQueue();
void setMainQueue(std::shared_ptr<DispatchQueue> queue);
// Puts work on the main queue, or runs it at once when the host set none.
void asyncOnMainQueue(std::function<void()> work);

// The default-priority global queue: a thread pool made on first use, unless the host or a test set
// another queue. Work put there may run side by side with other work of the queue.
std::shared_ptr<DispatchQueue> globalQueue();
// Replaces the global queue; null goes back to the process's thread pool.
void setGlobalQueue(std::shared_ptr<DispatchQueue> queue);

// Work runs on the thread that calls runPending or runFor; that thread is the queue's own from its
// first such call (or from bindToCurrentThread).
class RunLoopQueue : public DispatchQueue {
public:
    void async(std::function<void()> work) override;
    bool isCurrent() const override;

    void bindToCurrentThread();
    // Runs the work queued so far and what it queues in turn; how many items ran.
    size_t runPending();
    // Runs work as it arrives until `duration` has passed or `done` returns true (checked after the
    // work and at least every 10 ms).
    void runFor(std::chrono::milliseconds duration, const std::function<bool()>& done = nullptr);

private:
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<std::function<void()>> work_;
    std::thread::id owner_;
};

// A fixed number of worker threads that take work in the order it was put. Destroying the pool runs
// the work already put and then joins its threads.
class ThreadPoolQueue : public DispatchQueue {
public:
    explicit ThreadPoolQueue(unsigned threads);
    ~ThreadPoolQueue() override;
    ThreadPoolQueue(const ThreadPoolQueue&) = delete;
    ThreadPoolQueue& operator=(const ThreadPoolQueue&) = delete;

    void async(std::function<void()> work) override;
    // The calling thread is one of the pool's.
    bool isCurrent() const override;

private:
    void serve();

    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<std::function<void()>> work_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

} // namespace Platform
