// The output side of one streamed entry: collects decoded bytes into blocks, computes their CRC and
// writes them to the entry's open file. For a large entry a second thread checks and writes full blocks
// while the extracting thread decodes the next ones (a few blocks at most, so memory stays bounded).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "Zentile/entry_extractor.h"

namespace Zentile {

class BlockWriter {
public:
    // Threaded: blocks of kThreadedBlock bytes go to a writer thread; otherwise `inlineBlock` is the one
    // block, written on the calling thread when full.
    BlockWriter(int fd, bool threaded, std::vector<unsigned char>& inlineBlock, const EntryProgress& progress);
    ~BlockWriter(); // stops the writer thread, dropping what it has not written
    BlockWriter(const BlockWriter&) = delete;
    BlockWriter& operator=(const BlockWriter&) = delete;

    // Appends decoded bytes; false once a write failed.
    bool append(const unsigned char* data, std::size_t length);
    // Writes what is left and waits until everything is written; false when a write failed.
    bool finish();
    // The CRC-32 of everything written (after finish).
    std::uint32_t crc() const { return crc_; }
    // The errno of the failed write.
    int writeError() const { return writeError_; }

    static constexpr std::size_t kThreadedBlock = 1024 * 1024;
    static constexpr std::size_t kThreadedBlocks = 4;

private:
    bool writeBlock(const unsigned char* data, std::size_t length);
    bool handOver(); // the filled block to the writer thread; waits for a free one
    void runWriter();

    int fd_;
    const EntryProgress& progress_;
    std::uint32_t crc_ = 0;
    std::uint64_t written_ = 0;
    int writeError_ = 0;

    std::vector<std::vector<unsigned char>> blocks_; // threaded: all blocks; inline: none
    std::vector<unsigned char>* current_;             // the block being filled
    std::size_t filled_ = 0;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::pair<std::size_t, std::size_t>> ready_; // block index and length, in order
    std::vector<std::size_t> free_;
    std::size_t currentIndex_ = 0;
    std::size_t inFlight_ = 0; // blocks handed over and not yet written
    bool stopping_ = false;
    std::atomic<bool> failed_{false};
    std::thread writer_;
};

} // namespace Zentile
