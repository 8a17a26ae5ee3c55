#include "vxmeta/crypto/signatures.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/fails_with.h"
#include "interop_vectors.h"
#include "vxmeta/foundation/base64.h"
#include "vxmeta/foundation/constants.h"

using namespace VxMeta;
using VxMetaTest::bytesOf;
using VxMetaTest::failsWith;
using VxMetaTest::textOf;
using VxMetaTest::vectorSection;

namespace {

std::string pythonPublic() { return textOf(vectorSection("rsa"), "public"); }
std::string pythonPrivate() { return bytesOf(vectorSection("rsa"), "private"); }

TEST(Signatures, PythonSignaturesVerifyOnlyOverTheirText) {
    const Json::Value& cases = vectorSection("pss");
    ASSERT_EQ(cases.size(), 4u);
    for (const Json::Value& v : cases) {
        const std::string text = bytesOf(v, "text"), sig = textOf(v, "signature");
        EXPECT_TRUE(verifyText(text, sig, pythonPublic())) << sig;
        EXPECT_FALSE(verifyText(text + " ", sig, pythonPublic()));
        EXPECT_TRUE(verifyTextNoExceptions(text, sig, pythonPublic()));
    }
}

TEST(Signatures, OursAreRandomizedAndVerify) {
    const std::string text = R"({"record":{"a":1}})";
    const std::string first = signTextOther(text, pythonPrivate());
    const std::string second = signTextOther(text, pythonPrivate());
    EXPECT_EQ(first.size(), 347u);
    EXPECT_NE(first, second);
    EXPECT_TRUE(verifyText(text, first, pythonPublic()));
    EXPECT_TRUE(verifyText(text, second, pythonPublic()));
    EXPECT_FALSE(verifyText(text.substr(1), first, pythonPublic()));
    EXPECT_TRUE(failsWith([&] { signTextOther(text, "garbage"); }, VXMECAT_INTERNAL, "Unable to read RSA Private key"));
}

TEST(Signatures, MalformedSignaturesAreFalse) {
    const std::string text = "signed text";
    const std::string good = signTextOther(text, pythonPrivate());
    const std::string block = base64_decode(good.substr(3));
    for (const std::string& sig : std::vector<std::string>{"V3-" + good.substr(3), good + "-", "V2-a-b", std::string(""), std::string("V2"),
                                   "V2-" + base64_encode(block.substr(1)), "V2-" + base64_encode(block + "x"),
                                   "V2-" + base64_encode(std::string(256, '\xff'))}) {
        EXPECT_FALSE(verifyText(text, sig, pythonPublic())) << sig;
    }
}

TEST(Signatures, NoExceptionsTable) {
    const std::string text = "t";
    const std::string sig = signTextOther(text, pythonPrivate());
    const std::string v3Key = "V3-" + pythonPublic().substr(3);
    struct Case {
        std::string text, signature, publicKey;
        bool result;
    };
    const Case cases[] = {
        {"", "", "", true},                // nothing signed, nothing to check
        {"", "", "V2-AAAA", true},
        {text, sig, "", false},            // no key
        {text, sig, pythonPublic(), true},
        {text, sig, v3Key, false},         // verifyText fails with the upgrade failure
        {text, sig, "V2-AAAA", false},     // unreadable key
        {text, "", pythonPublic(), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(verifyTextNoExceptions(c.text, c.signature, c.publicKey), c.result)
            << '"' << c.text << "\" \"" << c.signature.substr(0, 8) << "\" \"" << c.publicKey.substr(0, 8) << '"';
    }
    EXPECT_TRUE(failsWith([&] { (void)verifyText(text, sig, v3Key); }, VXMECAT_UPGRADE,
                          "Unsupported data format encountered - possible upgrade required"));
}

} // namespace
