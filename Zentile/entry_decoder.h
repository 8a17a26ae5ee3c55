// Streaming decoders of the compression methods: stored (0), deflate (8, ISA-L), bzip2 (12, libbz2),
// LZMA (14, liblzma) and xz (95, liblzma). Each takes input pieces and produces output through a sink.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace Zentile {

enum class DecodeStatus { More, End, Error };

class EntryDecoder {
public:
    virtual ~EntryDecoder() = default;
    // Decodes `length` input bytes (the last piece has `last` set), calling `sink` with each run of output.
    // `sink` answers false to stop (too much output, write failure); then Error is answered.
    virtual DecodeStatus feed(const unsigned char* data, std::size_t length, bool last,
                              const std::function<bool(const unsigned char*, std::size_t)>& sink) = 0;
};

// None for a method the engine cannot decode. `expectedSize` is the declared uncompressed size.
std::unique_ptr<EntryDecoder> makeEntryDecoder(std::uint16_t method, std::uint64_t expectedSize);

} // namespace Zentile
