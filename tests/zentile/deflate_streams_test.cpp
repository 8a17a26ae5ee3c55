// Deflate streams as the engine meets them. Streams that zip, 7z and Python's zipfile wrote go to the
// deflate decoder in pieces of many sizes, each piece ending just before an unreadable page, so a read
// past the input faults: whole, cut short, followed by other bytes, empty, invalid or random, they end
// decoded or refused, never waiting for input that will not come. Then archives whose stream or sizes
// were changed that way are extracted: what is damaged fails the entry and leaves no file.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>

#include "Zentile/entry_decoder.h"
#include "support/zentile_test_support.h"

namespace ZentileTest {
namespace {

using namespace Zentile;

// Text, bytes that do not compress (stored blocks inside the stream) and text again: more than one
// output run of the decoder, and both kinds of block.
std::string mixedContent() {
    return sampleBytes(150'000, 51, true) + sampleBytes(60'000, 52, false) + sampleBytes(100'000, 53, true);
}

std::string repackCommand(const std::string& arguments) {
    return std::string(VX_PYTHON) + " " + quote(std::string(VX_SOURCE_DIR) + "/tests/zentile/fixtures/repack_entry.py") +
           " " + arguments;
}

struct ToolStream {
    const char* label;
    const char* tool;
    const char* command; // run in a folder holding content.bin; writes ../archive.zip with that one entry
    bool empty;          // content.bin is empty
};

std::string pythonZip(const char* level) {
    return std::string(VX_PYTHON) + " -c " +
           quote(std::string("import zipfile\n"
                             "with zipfile.ZipFile('../archive.zip', 'w', zipfile.ZIP_DEFLATED, compresslevel=") +
                 level + ") as z:\n    z.write('content.bin')\n");
}

const ToolStream kToolStreams[] = {
    {"InfoZip", "zip", "zip -q -6 ../archive.zip content.bin", false},
    {"SevenZip", "7z", "7z a -tzip -mx=5 ../archive.zip content.bin", false},
    {"PythonDeflate", "python3", "python:6", false},
    {"PythonStoredBlocks", "python3", "python:0", false},
    {"PythonEmpty", "python3", "python:6", true},
};

// Makes the tool's one-entry archive of the content in `scratch` (archive.zip).
bool makeToolArchive(const ToolStream& tool, const fs::path& scratch, const std::string& content) {
    fs::path input = scratch / "input";
    writeFile(input / "content.bin", content);
    std::string command = tool.command;
    if (command.rfind("python:", 0) == 0) {
        command = pythonZip(command.substr(7).c_str());
    }
    return run(command, input) == 0;
}

// The deflate stream of the archive's one entry.
std::string streamOf(const fs::path& scratch) {
    EXPECT_EQ(run(repackCommand("get archive.zip stream.bin"), scratch), 0);
    return readFile(scratch / "stream.bin");
}

// Input pieces copied so that each one's last byte is the last readable byte before a page that is not.
class GuardedInput {
public:
    explicit GuardedInput(std::size_t capacity) {
        const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
        readable_ = (capacity + page - 1) / page * page + page;
        size_ = readable_ + page;
        void* mapped = ::mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        base_ = mapped == MAP_FAILED ? nullptr : static_cast<unsigned char*>(mapped);
        if (base_ != nullptr && ::mprotect(base_ + readable_, page, PROT_NONE) != 0) {
            ::munmap(base_, size_);
            base_ = nullptr;
        }
    }
    ~GuardedInput() {
        if (base_ != nullptr) {
            ::munmap(base_, size_);
        }
    }
    GuardedInput(const GuardedInput&) = delete;
    GuardedInput& operator=(const GuardedInput&) = delete;

    bool ready() const { return base_ != nullptr; }
    const unsigned char* place(const char* data, std::size_t length) {
        unsigned char* at = base_ + readable_ - length;
        std::memcpy(at, data, length);
        return at;
    }

private:
    unsigned char* base_ = nullptr;
    std::size_t readable_ = 0;
    std::size_t size_ = 0;
};

struct Decoded {
    DecodeStatus status = DecodeStatus::More;
    std::string output;
};

// Feeds the stream as the extractor does: in pieces, the last one marked, until the decoder ends.
// `outputLimit`: the sink refuses output beyond it.
Decoded inflateInPieces(const std::string& stream, std::size_t piece, std::size_t outputLimit = SIZE_MAX) {
    Decoded result;
    GuardedInput guarded(piece);
    if (!guarded.ready()) {
        ADD_FAILURE() << "no guarded input pages";
        return result;
    }
    auto decoder = makeEntryDecoder(8, 0);
    auto sink = [&](const unsigned char* data, std::size_t length) {
        if (length > outputLimit - result.output.size()) {
            return false;
        }
        result.output.append(reinterpret_cast<const char*>(data), length);
        return true;
    };
    std::size_t at = 0;
    do {
        std::size_t length = std::min(piece, stream.size() - at);
        const unsigned char* data = guarded.place(stream.data() + at, length);
        at += length;
        result.status = decoder->feed(data, length, at == stream.size(), sink);
    } while (result.status == DecodeStatus::More && at < stream.size());
    return result;
}

// Piece sizes: the extractor's reads are 512 KiB; single bytes only where the whole stream is decoded,
// for time.
constexpr std::size_t kPieces[] = {5, 4096, 512 * 1024};
constexpr std::size_t kAllPieces[] = {1, 5, 4096, 512 * 1024};

class ToolStreams : public ::testing::TestWithParam<ToolStream> {
protected:
    void SetUp() override {
        if (!toolPresent(GetParam().tool)) {
            GTEST_SKIP() << GetParam().tool << " is not installed (scripts/install-deps installs it)";
        }
        content_ = GetParam().empty ? std::string() : mixedContent();
        ASSERT_TRUE(makeToolArchive(GetParam(), scratch_.path(), content_));
        stream_ = streamOf(scratch_.path());
        ASSERT_FALSE(stream_.empty());
    }

    ScratchFolder scratch_;
    std::string content_;
    std::string stream_;
};

TEST_P(ToolStreams, DecodeWholeInPiecesOfAnySize) {
    for (std::size_t piece : kAllPieces) {
        SCOPED_TRACE(piece);
        Decoded decoded = inflateInPieces(stream_, piece);
        EXPECT_EQ(decoded.status, DecodeStatus::End);
        EXPECT_TRUE(decoded.output == content_) << decoded.output.size() << " bytes of " << content_.size();
    }
}

TEST_P(ToolStreams, CutShortFailAtTheLastPieceAfterAPrefixOfTheContent) {
    for (std::size_t keep : {stream_.size() - 1, stream_.size() / 2, std::size_t{0}}) {
        for (std::size_t piece : kPieces) {
            SCOPED_TRACE("keep " + std::to_string(keep) + ", pieces of " + std::to_string(piece));
            Decoded decoded = inflateInPieces(stream_.substr(0, keep), piece);
            EXPECT_EQ(decoded.status, DecodeStatus::Error);
            EXPECT_LE(decoded.output.size(), content_.size());
            EXPECT_TRUE(content_.compare(0, decoded.output.size(), decoded.output) == 0);
        }
    }
}

TEST_P(ToolStreams, BytesAfterTheFinalBlockAreIgnored) {
    for (std::size_t piece : kPieces) {
        SCOPED_TRACE(piece);
        Decoded decoded = inflateInPieces(stream_ + std::string(100, '\xAB'), piece);
        EXPECT_EQ(decoded.status, DecodeStatus::End);
        EXPECT_TRUE(decoded.output == content_);
    }
}

// A sink that takes one byte less than the content ends decoding with an error; the empty stream needs
// no room at all.
TEST_P(ToolStreams, ASinkThatRefusesMoreEndsDecoding) {
    std::size_t room = content_.empty() ? 0 : content_.size() - 1;
    Decoded decoded = inflateInPieces(stream_, 4096, room);
    EXPECT_EQ(decoded.status, content_.empty() ? DecodeStatus::End : DecodeStatus::Error);
    EXPECT_LE(decoded.output.size(), room);
    EXPECT_TRUE(content_.compare(0, decoded.output.size(), decoded.output) == 0);
}

// Random damage: every stream ends decoded or refused, within the pieces it was given.
TEST_P(ToolStreams, DamagedStreamsEndDecodedOrRefused) {
    std::mt19937 random(7);
    for (int round = 0; round < 100; ++round) {
        std::string damaged = stream_;
        for (int flip = 0; flip < 1 + round % 4; ++flip) {
            damaged[random() % damaged.size()] ^= static_cast<char>(1 << (random() % 8));
        }
        std::size_t piece = 1 + random() % 70'000;
        Decoded decoded = inflateInPieces(damaged, piece, 4 * content_.size() + 1024);
        ASSERT_NE(decoded.status, DecodeStatus::More) << "round " << round;
    }
}

INSTANTIATE_TEST_SUITE_P(Tools, ToolStreams, ::testing::ValuesIn(kToolStreams),
                         [](const auto& test) { return std::string(test.param.label); });

// Streams no tool writes, made by Python's zlib: invalid ones are refused however they are cut.
TEST(InvalidStreams, AreRefused) {
    ScratchFolder scratch;
    const char* writer = R"(
import zlib
def raw(data, **options):
    packer = zlib.compressobj(6, zlib.DEFLATED, -15, **options)
    return packer.compress(data) + packer.flush()
def bits(values):
    out, value, count = bytearray(), 0, 0
    for bit in values:
        value |= bit << count
        count += 1
        if count == 8:
            out.append(value); value, count = 0, 0
    if count: out.append(value)
    return bytes(out)
text = b'the quick brown fox jumps over the lazy dog ' * 40
streams = {
    # matches into a preset dictionary the reader does not have: distances before the start
    'before-start': raw(text, zdict=text),
    # final block of the reserved type 3
    'reserved-type': bytes([0x07, 0x00, 0x00, 0x00]) + raw(text),
    # dynamic block whose 19 code-length codes all have length 1 (over-subscribed)
    'over-subscribed': bits([1, 0, 1] + [0] * 10 + [1, 1, 1, 1] + [1, 0, 0] * 19) + bytes(16),
    # dynamic block whose first code length repeats the previous one, of which there is none
    # (code-length codes: 16 and 0 of length 1; then the code of 16)
    'repeat-first': bits([1, 0, 1] + [0] * 10 + [0, 0, 0, 0] + [1, 0, 0] + [0, 0, 0] * 2 + [1, 0, 0] + [1, 0, 0]) + bytes(16),
}
for name, data in streams.items():
    try:
        zlib.decompressobj(-15).decompress(data)
    except zlib.error:
        open(name + '.bin', 'wb').write(data)
    else:
        raise SystemExit(name + ' is not refused by zlib')
)";
    ASSERT_EQ(run(std::string(VX_PYTHON) + " -c " + quote(writer), scratch.path()), 0);
    for (const char* name : {"before-start", "reserved-type", "over-subscribed", "repeat-first"}) {
        std::string stream = readFile(scratch.path() / (std::string(name) + ".bin"));
        ASSERT_FALSE(stream.empty()) << name;
        for (std::size_t piece : kPieces) {
            SCOPED_TRACE(std::string(name) + ", pieces of " + std::to_string(piece));
            EXPECT_EQ(inflateInPieces(stream, piece).status, DecodeStatus::Error);
        }
    }
}

// Archives made by a tool whose one entry is then changed; each is extracted whole.
struct ChangedArchive {
    const char* label;
    std::size_t tool;          // index into kToolStreams
    const char* change;        // "cut", "trailing", "none", "declare-less", "declare-more", "stored-length",
                               // "before-start", "no-data"
    std::uint32_t result;      // the entry's end result
};

const ChangedArchive kChangedArchives[] = {
    {"InfoZipCutByOneByte", 0, "cut", ZIPErrorCorrupt},
    {"InfoZipNoDataAtAll", 0, "no-data", ZIPErrorCorrupt},
    {"InfoZipDeclaredOneByteLess", 0, "declare-less", ZIPErrorCorrupt},
    {"SevenZipBytesAfterTheFinalBlock", 1, "trailing", 0},
    {"SevenZipDistancesBeforeTheStart", 1, "before-start", ZIPErrorCorrupt},
    {"PythonDeclaredOneByteMore", 2, "declare-more", ZIPErrorCorrupt},
    {"PythonStoredBlocks", 3, "none", 0},
    {"PythonStoredBlockLengthDamaged", 3, "stored-length", ZIPErrorCorrupt},
    {"PythonEmpty", 4, "none", 0},
    {"PythonEmptyBytesAfterTheFinalBlock", 4, "trailing", 0},
};

// Writes the changed stream or sizes into archive.zip.
void applyChange(const fs::path& scratch, const std::string& change, const std::string& stream,
                 std::size_t contentSize) {
    std::string changed;
    std::string extra;
    if (change == "none") {
        return;
    }
    if (change == "declare-less" || change == "declare-more") {
        std::size_t size = change == "declare-less" ? contentSize - 1 : contentSize + 1;
        ASSERT_EQ(run(repackCommand("declare archive.zip " + std::to_string(size)), scratch), 0);
        return;
    }
    if (change == "cut") {
        changed = stream.substr(0, stream.size() - 1);
    } else if (change == "no-data") {
        changed.clear();
    } else if (change == "trailing") {
        changed = stream + std::string(100, '\xAB');
    } else if (change == "stored-length") {
        // The first block is stored (level 0): its length field, not its complement, is changed.
        ASSERT_GE(stream.size(), 5u);
        ASSERT_EQ(static_cast<unsigned char>(stream[0]) & 0x06, 0);
        changed = stream;
        changed[1] = static_cast<char>(changed[1] ^ 0x01);
    } else if (change == "before-start") {
        // The same content packed against a preset dictionary of itself, which the reader lacks.
        const char* packer = "import sys, zlib\n"
                             "data = open('input/content.bin', 'rb').read()\n"
                             "p = zlib.compressobj(6, zlib.DEFLATED, -15, zdict=data[:32768])\n"
                             "open('changed.bin', 'wb').write(p.compress(data) + p.flush())\n";
        ASSERT_EQ(run(std::string(VX_PYTHON) + " -c " + quote(packer), scratch), 0);
        changed = readFile(scratch / "changed.bin");
    }
    writeFile(scratch / "changed.bin", changed);
    ASSERT_EQ(run(repackCommand("set archive.zip changed.bin"), scratch), 0);
}

class ChangedArchives : public ::testing::TestWithParam<ChangedArchive> {};

TEST_P(ChangedArchives, FailWhenDamagedAndExtractWhenWhole) {
    const ChangedArchive& changed = GetParam();
    const ToolStream& tool = kToolStreams[changed.tool];
    if (!toolPresent(tool.tool)) {
        GTEST_SKIP() << tool.tool << " is not installed (scripts/install-deps installs it)";
    }
    ScratchFolder scratch;
    std::string content = tool.empty ? std::string() : mixedContent();
    ASSERT_TRUE(makeToolArchive(tool, scratch.path(), content));
    std::string stream = streamOf(scratch.path());
    applyChange(scratch.path(), changed.change, stream, content.size());
    if (HasFatalFailure()) {
        return;
    }

    auto log = std::make_shared<CallLog>();
    auto delegate = std::make_shared<ConcreteZIPArchiveDelegate>(std::make_shared<RecordingProgress>(log), nullptr,
                                                                 nullptr);
    auto opened = openArchive(scratch.path() / "archive.zip", delegate);
    ASSERT_TRUE(opened.archive) << opened.error.localizedDescription();
    fs::path output = scratch.path() / "output";
    auto result = extractAll(opened.archive, output, delegate);
    ASSERT_TRUE(result.ok) << result.error.localizedDescription();
    EXPECT_EQ(fileResults(*log), (std::map<std::string, std::uint32_t>{{"content.bin", changed.result}}));
    if (changed.result == 0) {
        EXPECT_EQ(snapshot(output), (std::map<std::string, std::string>{{"content.bin", content}}));
    } else {
        EXPECT_TRUE(snapshot(output).empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Changes, ChangedArchives, ::testing::ValuesIn(kChangedArchives),
                         [](const auto& test) { return std::string(test.param.label); });

} // namespace
} // namespace ZentileTest
