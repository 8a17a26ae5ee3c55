// The queues: the global queue runs work on its own threads side by side and survives work that
// throws; a run-loop queue runs work only on the thread that drains it.
#include <atomic>
#include <chrono>
#include <latch>
#include <memory>
#include <mutex>
#include <string>
#include <vector>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "Platform/dispatch_queue.h"
#include "Platform/system_log.h"

namespace {

TEST(ThreadPoolQueue, RunsWorkSideBySideOnItsOwnThreadsAndOutlivesWorkThatThrows) {
    std::vector<std::string> logged;
    std::mutex logMutex;
    auto previous = Platform::setSystemLogSink([&](const std::string& line) {
        std::lock_guard<std::mutex> guard(logMutex);
        logged.push_back(line);
    });
    std::atomic<int> onPool = 0;
    {
        Platform::ThreadPoolQueue pool(2);
        EXPECT_FALSE(pool.isCurrent());
        pool.async([] { throw std::runtime_error("broken"); });
        // Both pieces wait for each other: they finish only when they run at the same time.
        std::latch both(2);
        for (int i = 0; i < 2; ++i) {
            pool.async([&] {
                onPool += pool.isCurrent() ? 1 : 0;
                both.arrive_and_wait();
            });
        }
    } // joins after the work put so far
    Platform::setSystemLogSink(previous);
    EXPECT_EQ(onPool, 2);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find("broken"), std::string::npos);
}

TEST(GlobalQueue, IsTheProcessPoolUnlessReplaced) {
    auto own = std::make_shared<Platform::RunLoopQueue>();
    Platform::setGlobalQueue(own);
    EXPECT_EQ(Platform::globalQueue(), own);
    Platform::setGlobalQueue(nullptr);
    std::shared_ptr<Platform::DispatchQueue> pool = Platform::globalQueue();
    ASSERT_NE(pool, nullptr);
    EXPECT_NE(pool, own);
    std::atomic<bool> ran = false;
    pool->async([&] { ran = true; });
    for (int i = 0; i < 500 && !ran; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(ran);
}

} // namespace
