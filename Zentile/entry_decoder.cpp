#include "Zentile/entry_decoder.h"

#include <bzlib.h>
#include <cstdlib>
#include <cstring>
#include <isa-l/igzip_lib.h>
#include <lzma.h>
#include <vector>

namespace Zentile {
namespace {

constexpr std::size_t kOutputChunk = 64 * 1024;
// Decoders refuse dictionaries larger than this, so a hostile header cannot make the engine allocate
// without bound.
constexpr std::uint64_t kMaxDictionary = 256ull * 1024 * 1024;

using Sink = std::function<bool(const unsigned char*, std::size_t)>;

class StoredDecoder : public EntryDecoder {
public:
    DecodeStatus feed(const unsigned char* data, std::size_t length, bool last, const Sink& sink) override {
        if (length > 0 && !sink(data, length)) {
            return DecodeStatus::Error;
        }
        return last ? DecodeStatus::End : DecodeStatus::More;
    }
};

// Raw deflate through ISA-L's streaming inflate. It stops on its own at the final block (what follows
// is ignored), answers an error for invalid blocks, codes and distances, and reads no further than the
// input it is given; a stream that ends early only waits for more input, so the last piece decides.
class DeflateDecoder : public EntryDecoder {
public:
    // The output run is not cleared first: only written bytes are handed on.
    DeflateDecoder() : state_(std::make_unique<inflate_state>()), output_(new unsigned char[kInflateChunk]) {
        isal_inflate_init(state_.get());
    }

    DecodeStatus feed(const unsigned char* data, std::size_t length, bool last, const Sink& sink) override {
        state_->next_in = const_cast<std::uint8_t*>(data);
        state_->avail_in = static_cast<std::uint32_t>(length);
        for (;;) {
            state_->next_out = output_.get();
            state_->avail_out = static_cast<std::uint32_t>(kInflateChunk);
            std::uint32_t inputBefore = state_->avail_in;
            int status = isal_inflate(state_.get());
            std::size_t produced = kInflateChunk - state_->avail_out;
            if (produced > 0 && !sink(output_.get(), produced)) {
                return DecodeStatus::Error;
            }
            if (status != ISAL_DECOMP_OK) {
                return DecodeStatus::Error;
            }
            if (state_->block_state == ISAL_BLOCK_FINISH) {
                return DecodeStatus::End;
            }
            if (produced < kInflateChunk) {
                if (state_->avail_in == 0) {
                    return last ? DecodeStatus::Error : DecodeStatus::More;
                }
                if (state_->avail_in == inputBefore && produced == 0) {
                    return DecodeStatus::Error; // no progress: never spin on input it will not take
                }
            }
        }
    }

private:
    // Larger output runs than the other decoders: fewer calls, each of which carries the history over.
    static constexpr std::size_t kInflateChunk = 256 * 1024;
    std::unique_ptr<inflate_state> state_;
    std::unique_ptr<unsigned char[]> output_;
};

class Bzip2Decoder : public EntryDecoder {
public:
    Bzip2Decoder() : output_(kOutputChunk) { ok_ = BZ2_bzDecompressInit(&stream_, 0, 0) == BZ_OK; }
    ~Bzip2Decoder() override { BZ2_bzDecompressEnd(&stream_); }

    DecodeStatus feed(const unsigned char* data, std::size_t length, bool last, const Sink& sink) override {
        if (!ok_) {
            return DecodeStatus::Error;
        }
        stream_.next_in = reinterpret_cast<char*>(const_cast<unsigned char*>(data));
        stream_.avail_in = static_cast<unsigned>(length);
        for (;;) {
            stream_.next_out = reinterpret_cast<char*>(output_.data());
            stream_.avail_out = static_cast<unsigned>(output_.size());
            int status = BZ2_bzDecompress(&stream_);
            std::size_t produced = output_.size() - stream_.avail_out;
            if (produced > 0 && !sink(output_.data(), produced)) {
                return DecodeStatus::Error;
            }
            if (status == BZ_STREAM_END) {
                return DecodeStatus::End;
            }
            if (status != BZ_OK) {
                return DecodeStatus::Error;
            }
            if (stream_.avail_in == 0 && produced < output_.size()) {
                return last ? DecodeStatus::Error : DecodeStatus::More;
            }
        }
    }

private:
    bz_stream stream_{};
    std::vector<unsigned char> output_;
    bool ok_ = false;
};

// LZMA (method 14): a 4-byte version and length header and 5 property bytes, then a raw LZMA1 stream
// with or without an end marker; xz (method 95): a whole .xz stream.
class LzmaDecoder : public EntryDecoder {
public:
    LzmaDecoder(bool xz, std::uint64_t expectedSize) : xz_(xz), expected_(expectedSize), output_(kOutputChunk) {
        if (xz_) {
            ready_ = lzma_stream_decoder(&stream_, kMaxDictionary + (64u << 20), 0) == LZMA_OK;
        }
    }
    ~LzmaDecoder() override { lzma_end(&stream_); }

    DecodeStatus feed(const unsigned char* data, std::size_t length, bool last, const Sink& sink) override {
        if (!xz_ && !ready_) {
            while (length > 0 && header_.size() < 9) {
                header_.push_back(*data++);
                --length;
            }
            if (header_.size() < 9) {
                return last ? DecodeStatus::Error : DecodeStatus::More;
            }
            if (!startRaw()) {
                return DecodeStatus::Error;
            }
        }
        if (!ready_) {
            return DecodeStatus::Error;
        }
        stream_.next_in = data;
        stream_.avail_in = length;
        for (;;) {
            stream_.next_out = output_.data();
            stream_.avail_out = output_.size();
            lzma_ret status = lzma_code(&stream_, last ? LZMA_FINISH : LZMA_RUN);
            std::size_t produced = output_.size() - stream_.avail_out;
            if (produced > 0 && !sink(output_.data(), produced)) {
                return DecodeStatus::Error;
            }
            if (status == LZMA_STREAM_END) {
                return DecodeStatus::End;
            }
            if (status != LZMA_OK && status != LZMA_BUF_ERROR) {
                return DecodeStatus::Error;
            }
            if (stream_.avail_in == 0 && produced < output_.size()) {
                return last ? DecodeStatus::Error : DecodeStatus::More;
            }
        }
    }

private:
    bool startRaw() {
        std::size_t propertiesSize = static_cast<std::size_t>(header_[2] | (header_[3] << 8));
        if (propertiesSize != 5) {
            return false;
        }
        lzma_filter filters[2] = {};
        filters[0].id = LZMA_FILTER_LZMA1;
        if (lzma_properties_decode(&filters[0], nullptr, &header_[4], 5) != LZMA_OK) {
            return false;
        }
        auto* options = static_cast<lzma_options_lzma*>(filters[0].options);
        bool ok = options->dict_size <= kMaxDictionary;
        if (ok) {
            filters[0].id = LZMA_FILTER_LZMA1EXT;
            options->ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
            options->ext_size_low = static_cast<std::uint32_t>(expected_);
            options->ext_size_high = static_cast<std::uint32_t>(expected_ >> 32);
            filters[1].id = LZMA_VLI_UNKNOWN;
            ok = lzma_raw_decoder(&stream_, filters) == LZMA_OK;
        }
        std::free(options);
        ready_ = ok;
        return ok;
    }

    bool xz_;
    std::uint64_t expected_;
    lzma_stream stream_ = LZMA_STREAM_INIT;
    std::vector<unsigned char> output_;
    std::vector<unsigned char> header_;
    bool ready_ = false;
};

} // namespace

std::unique_ptr<EntryDecoder> makeEntryDecoder(std::uint16_t method, std::uint64_t expectedSize) {
    switch (method) {
    case 0: return std::make_unique<StoredDecoder>();
    case 8: return std::make_unique<DeflateDecoder>();
    case 12: return std::make_unique<Bzip2Decoder>();
    case 14: return std::make_unique<LzmaDecoder>(false, expectedSize);
    case 95: return std::make_unique<LzmaDecoder>(true, expectedSize);
    default: return nullptr;
    }
}

} // namespace Zentile
