// Hostile and broken archives: names and links that lead out of the destination, devices, a huge
// declared size over a small payload are refused per entry and write nothing outside the destination;
// not a ZIP, truncated and multi-disk archives fail to open with their codes and write nothing.
#include <gtest/gtest.h>

#include "support/zentile_test_support.h"

namespace ZentileTest {
namespace {

using namespace Zentile;

// Writes ../hostile.zip with Python's zipfile, names and modes exactly as given.
const char* kHostileWriter = R"(
import zipfile, zlib
def entry(z, name, data, mode=None, method=zipfile.ZIP_DEFLATED):
    info = zipfile.ZipInfo(name)
    info.compress_type = method
    if mode is not None:
        info.create_system = 3
        info.external_attr = mode << 16
    z.writestr(info, data)
with zipfile.ZipFile('hostile.zip', 'w') as z:
    entry(z, 'good.txt', b'good\n')
    entry(z, '../escape.txt', b'up\n')
    entry(z, 'a/../../escape2.txt', b'up\n')
    entry(z, '/tmp/absolute.txt', b'abs\n')
    entry(z, 'C:\\windows.txt', b'drive\n')
    entry(z, '..\\backslash.txt', b'back\n')
    entry(z, 'outlink', b'../../outside', 0o120777)
    entry(z, 'abslink', b'/etc', 0o120777)
    entry(z, 'sub/inlink', b'../good.txt', 0o120777)
    entry(z, 'dirlink', b'sub', 0o120777)
    entry(z, 'dirlink/through.txt', b'through\n')
    entry(z, 'device', b'', 0o020644)
    entry(z, 'fifo', b'', 0o010644)
    entry(z, 'bomb.txt', b'x' * 1000)
data = bytearray(open('hostile.zip', 'rb').read())
# Declare a size of 2 GiB for bomb.txt in its local and central headers.
name = b'bomb.txt'
for signature, field in ((b'PK\x03\x04', 22), (b'PK\x01\x02', 24)):
    at = 0
    while True:
        at = data.find(signature, at)
        if at < 0: break
        name_at = at + (30 if field == 22 else 46)
        if data[name_at:name_at + len(name)] == name:
            data[at + field:at + field + 4] = (2**31).to_bytes(4, 'little')
        at += 4
open('hostile.zip', 'wb').write(bytes(data))
)";

TEST(HostileArchives, RefusedPerEntryAndNothingWrittenOutside) {
    ScratchFolder scratch;
    ASSERT_EQ(run(std::string(VX_PYTHON) + " -c " + quote(kHostileWriter), scratch.path()), 0);
    fs::path sandbox = scratch.path() / "sandbox";
    fs::create_directories(sandbox / "outer");
    fs::path destination = sandbox / "outer" / "dest";

    auto log = std::make_shared<CallLog>();
    auto delegate = std::make_shared<ConcreteZIPArchiveDelegate>(std::make_shared<RecordingProgress>(log), nullptr, nullptr);
    auto opened = openArchive(scratch.path() / "hostile.zip");
    ASSERT_TRUE(opened.archive) << opened.error.localizedDescription();
    auto result = extractAll(opened.archive, destination, delegate);
    ASSERT_TRUE(result.ok) << result.error.localizedDescription();

    std::map<std::string, std::uint32_t> expected = {
        {"good.txt", 0},
        {"../escape.txt", ZIPErrorUnsafePath},
        {"a/../../escape2.txt", ZIPErrorUnsafePath},
        {"/tmp/absolute.txt", ZIPErrorUnsafePath},
        {"C:\\windows.txt", ZIPErrorUnsafePath},
        {"..\\backslash.txt", ZIPErrorUnsafePath},
        {"outlink", ZIPErrorUnsafePath},
        {"abslink", ZIPErrorUnsafePath},
        {"sub/inlink", 0},
        {"dirlink", 0},
        {"dirlink/through.txt", ZIPErrorUnsafePath},
        {"device", ZIPErrorUnsupportedType},
        {"fifo", ZIPErrorUnsupportedType},
        {"bomb.txt", ZIPErrorCorrupt},
    };
    EXPECT_EQ(fileResults(*log), expected);
    std::map<std::string, std::string> outside = snapshot(sandbox);
    std::map<std::string, std::string> expectedTree = {
        {"outer", "/"},
        {"outer/dest", "/"},
        {"outer/dest/good.txt", "good\n"},
        {"outer/dest/sub", "/"},
        {"outer/dest/sub/inlink", "-> ../good.txt"},
        {"outer/dest/dirlink", "-> sub"},
    };
    EXPECT_EQ(outside, expectedTree);
    EXPECT_FALSE(fs::exists(scratch.path() / "outside"));
    EXPECT_FALSE(fs::exists("/tmp/absolute.txt"));
}

struct BrokenCase {
    const char* label;
    const char* script; // makes broken.zip in the scratch folder
    ZIPErrorCode code;
};

TEST(BrokenArchives, FailToOpenWithTheirCodes) {
    if (!toolPresent("zip")) {
        GTEST_SKIP() << "zip is not installed";
    }
    const BrokenCase cases[] = {
        {"NotAZip", "head -c 5000 /dev/urandom > broken.zip", ZIPErrorNotAnArchive},
        {"Empty", ": > broken.zip", ZIPErrorNotAnArchive},
        {"Truncated", "head -c 300000 /dev/urandom > f.bin && zip -q whole.zip f.bin && head -c 200000 whole.zip > broken.zip",
         ZIPErrorTruncated},
        {"MultiDisk", "head -c 300000 /dev/urandom > f.bin && zip -q -s 64k broken.zip f.bin", ZIPErrorMultiDisk},
    };
    for (const auto& broken : cases) {
        SCOPED_TRACE(broken.label);
        ScratchFolder scratch;
        ASSERT_EQ(run(broken.script, scratch.path()), 0);
        auto before = snapshot(scratch.path());
        auto log = std::make_shared<CallLog>();
        auto delegate = std::make_shared<ConcreteZIPArchiveDelegate>(std::make_shared<RecordingProgress>(log), nullptr, nullptr);
        auto opened = openArchive(scratch.path() / "broken.zip", delegate);
        EXPECT_FALSE(opened.archive);
        EXPECT_EQ(opened.error.domain, VxArchiveErrorDomain);
        EXPECT_EQ(opened.error.code, broken.code) << opened.error.localizedDescription();
        EXPECT_FALSE(opened.error.localizedDescription().empty());
        ASSERT_FALSE(log->calls.empty());
        EXPECT_EQ(log->calls.back(), "end 10 broken.zip " + std::to_string(broken.code));
        EXPECT_EQ(snapshot(scratch.path()), before);
    }
}

TEST(BrokenArchives, WriteActionsAreUnsupported) {
    ScratchFolder scratch;
    ASSERT_EQ(run(std::string(VX_PYTHON) + " -c " + quote("import zipfile\nzipfile.ZipFile('a.zip','w').writestr('a','a')"),
                  scratch.path()), 0);
    auto opened = openArchive(scratch.path() / "a.zip");
    ASSERT_TRUE(opened.archive);
    auto& archive = *opened.archive;
    auto items = archive.children();
    std::vector<std::function<bool(Platform::Error*)>> actions = {
        [&](Platform::Error* e) { return archive.addItems(items, nullptr, {}, nullptr, e); },
        [&](Platform::Error* e) { return archive.removeItems(items, {}, nullptr, e); },
        [&](Platform::Error* e) { return archive.encryptItems(items, false, false, {}, nullptr, e); },
        [&](Platform::Error* e) { return archive.renameItem(items.front(), "b", {}, nullptr, e); },
    };
    for (const auto& action : actions) {
        Platform::Error error;
        EXPECT_FALSE(action(&error));
        EXPECT_EQ(error.domain, VxArchiveErrorDomain);
        EXPECT_EQ(error.code, ZIPErrorUnsupported);
    }
    EXPECT_EQ(snapshot(scratch.path()).size(), 1u);
}

} // namespace
} // namespace ZentileTest
