#include "vxmeta/crypto/mem_ps.h"

#include <gtest/gtest.h>

#include "support/fails_with.h"
#include "vxmeta/foundation/constants.h"

using namespace VxMeta;
using VxMetaTest::failsWith;

namespace {

TEST(MemPS, ConstructorsByInitMode) {
    const MemPS empty;
    EXPECT_EQ(empty.length(), 0u);
    EXPECT_EQ(empty.bytes(), nullptr);
    EXPECT_EQ(empty.toString(), "");
    EXPECT_EQ(empty.encode(), "");

    const MemPS zeros(5, 0);
    EXPECT_EQ(zeros.toString(), std::string(5, '\0'));

    const MemPS first(32, -1);
    const MemPS second(32, -1);
    EXPECT_EQ(first.length(), 32u);
    EXPECT_NE(first.toString(), second.toString());

    for (int mode : {1, -2, 7}) {
        EXPECT_TRUE(failsWith([&] { MemPS bad(4, mode); }, VXMECAT_INTERNAL, "MemPS initMode is invalid")) << mode;
    }
    EXPECT_TRUE(failsWith([] { MemPS bad(-1); }, VXMECAT_INTERNAL, "MemPS size is invalid"));
}

TEST(MemPS, SetKeepsOrDecodesTheText) {
    const std::string bytes("a\0b\xff", 4);
    MemPS plain(bytes, false);
    EXPECT_EQ(plain.length(), 4u);
    EXPECT_EQ(plain.toString(), bytes);
    EXPECT_EQ(plain.asSafeString(), bytes);
    EXPECT_EQ(static_cast<std::string>(plain), bytes);
    EXPECT_EQ(plain.encode(), "YQBi/w==");
    EXPECT_EQ(plain.encodeSafe(), plain.encode());

    plain.set("YQBi/w==", true);
    EXPECT_EQ(plain.toString(), bytes);
    plain.reserve(8); // an owned block replaces the text
    EXPECT_EQ(plain.length(), 8u);
}

TEST(MemPS, ReserveOfTheSameSizeKeepsTheBytes) {
    MemPS buffer(16, -1);
    const std::string before = buffer.toString();
    buffer.reserve(16);
    EXPECT_EQ(buffer.toString(), before);
    buffer.reserve(17);
    EXPECT_EQ(buffer.length(), 17u);
}

TEST(MemPS, OutputLengthNeverExceedsTheBlock) {
    MemPS buffer(16);
    buffer.setLength(10);
    EXPECT_EQ(buffer.length(), 10u);
    EXPECT_EQ(buffer.capacity(), 16u);
    EXPECT_TRUE(failsWith([&] { buffer.setLength(17); }, VXMECAT_INTERNAL, "MemPS size is invalid"));
    EXPECT_EQ(buffer.length(), 10u);
}

TEST(MemPS, CursorMovesButTheViewDoesNot) {
    MemPS buffer(std::string("abcdef"), false);
    unsigned char* const start = buffer.bytes();
    unsigned char** cursor = buffer.cursor();
    *cursor += 3; // what a DER encoder does
    EXPECT_EQ(buffer.bytes(), start);
    EXPECT_EQ(*buffer.cursor(), start); // reset on every request
    EXPECT_EQ(*buffer.constCursor(), start);
}

TEST(RandomBytes, LengthsAndFailure) {
    EXPECT_EQ(randomBytes(0).size(), 0u);
    EXPECT_EQ(randomBytes(16).size(), 16u);
    EXPECT_NE(randomBytes(16), randomBytes(16));
    EXPECT_TRUE(failsWith([] { randomBytes(-3); }, VXMECAT_INTERNAL, "MemPS size is invalid"));
}

} // namespace
