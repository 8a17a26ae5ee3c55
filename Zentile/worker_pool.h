// The worker threads of one extraction: as many as the machine has cores (or fewer when there is less
// work). Each worker keeps its own buffers; tasks run in the order given, urgent ones first.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "Zentile/entry_extractor.h"

namespace Zentile {

class WorkerPool {
public:
    using Task = std::function<void(ExtractionBuffers&)>;

    explicit WorkerPool(std::size_t threads);
    ~WorkerPool(); // finishes the queued tasks, then joins
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    void submit(Task task, bool urgent = false);

    static std::size_t defaultThreads();

private:
    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Task> tasks_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

} // namespace Zentile
