#include "Zentile/block_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "Zentile/crc32.h"

namespace Zentile {

BlockWriter::BlockWriter(int fd, bool threaded, std::vector<unsigned char>& inlineBlock,
                         const EntryProgress& progress)
    : fd_(fd), progress_(progress), current_(&inlineBlock) {
    if (threaded) {
        blocks_.resize(kThreadedBlocks);
        for (std::size_t index = 0; index < kThreadedBlocks; ++index) {
            blocks_[index].resize(kThreadedBlock);
            if (index > 0) {
                free_.push_back(index);
            }
        }
        current_ = &blocks_[0];
        writer_ = std::thread([this] { runWriter(); });
    }
}

BlockWriter::~BlockWriter() {
    if (writer_.joinable()) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
            ready_.clear();
        }
        changed_.notify_all();
        writer_.join();
    }
}

bool BlockWriter::writeBlock(const unsigned char* data, std::size_t length) {
    crc_ = crc32(crc_, data, length);
    while (length > 0) {
        ssize_t done = ::write(fd_, data, length);
        if (done < 0 && errno == EINTR) {
            continue;
        }
        if (done <= 0) {
            writeError_ = done < 0 ? errno : EIO;
            failed_.store(true);
            return false;
        }
        data += done;
        length -= static_cast<std::size_t>(done);
        written_ += static_cast<std::uint64_t>(done);
    }
    progress_.bytes->store(written_, std::memory_order_relaxed);
    if (progress_.onProgress) {
        progress_.onProgress();
    }
    return true;
}

bool BlockWriter::append(const unsigned char* data, std::size_t length) {
    while (length > 0) {
        if (failed_.load()) {
            return false;
        }
        std::size_t take = std::min(length, current_->size() - filled_);
        std::memcpy(current_->data() + filled_, data, take);
        filled_ += take;
        data += take;
        length -= take;
        if (filled_ == current_->size()) {
            if (!(writer_.joinable() ? handOver() : writeBlock(current_->data(), filled_))) {
                return false;
            }
            filled_ = 0;
        }
    }
    return !failed_.load();
}

bool BlockWriter::handOver() {
    std::unique_lock<std::mutex> lock(mutex_);
    ready_.emplace_back(currentIndex_, filled_);
    ++inFlight_;
    changed_.notify_all();
    changed_.wait(lock, [this] { return !free_.empty() || failed_.load(); });
    if (failed_.load()) {
        return false;
    }
    currentIndex_ = free_.back();
    free_.pop_back();
    current_ = &blocks_[currentIndex_];
    return true;
}

void BlockWriter::runWriter() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !ready_.empty(); });
        if (stopping_) {
            return;
        }
        auto [index, length] = ready_.front();
        ready_.pop_front();
        lock.unlock();
        bool ok = writeBlock(blocks_[index].data(), length);
        lock.lock();
        free_.push_back(index);
        --inFlight_;
        changed_.notify_all();
        if (!ok) {
            return;
        }
    }
}

bool BlockWriter::finish() {
    bool ok;
    if (!writer_.joinable()) {
        ok = (filled_ == 0 || writeBlock(current_->data(), filled_)) && !failed_.load();
    } else {
        std::unique_lock<std::mutex> lock(mutex_);
        if (filled_ > 0 && !failed_.load()) {
            ready_.emplace_back(currentIndex_, filled_);
            ++inFlight_;
            changed_.notify_all();
        }
        changed_.wait(lock, [this] { return failed_.load() || inFlight_ == 0; });
        ok = !failed_.load();
    }
    filled_ = 0;
    if (ok) {
        progress_.bytes->store(written_, std::memory_order_relaxed);
        if (progress_.onProgress) {
            progress_.onProgress();
        }
    }
    return ok;
}

} // namespace Zentile
