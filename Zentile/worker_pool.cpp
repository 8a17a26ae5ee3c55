#include "Zentile/worker_pool.h"

#include <algorithm>

namespace Zentile {

WorkerPool::WorkerPool(std::size_t threads) {
    threads = std::max<std::size_t>(threads, 1);
    threads_.reserve(threads);
    for (std::size_t i = 0; i < threads; ++i) {
        threads_.emplace_back([this] { run(); });
    }
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (auto& thread : threads_) {
        thread.join();
    }
}

std::size_t WorkerPool::defaultThreads() {
    return std::max(1u, std::thread::hardware_concurrency());
}

void WorkerPool::submit(Task task, bool urgent) {
    {
        std::lock_guard lock(mutex_);
        if (urgent) {
            tasks_.push_front(std::move(task));
        } else {
            tasks_.push_back(std::move(task));
        }
    }
    wake_.notify_one();
}

void WorkerPool::run() {
    ExtractionBuffers buffers;
    for (;;) {
        Task task;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
            if (tasks_.empty()) {
                return;
            }
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task(buffers);
    }
}

} // namespace Zentile
