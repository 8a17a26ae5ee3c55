// Fuzz target: archive key metadata, the text an archive carries for the key service. Every text is
// read into what it names or refused with a VxMetaException (never a JsonCpp exception); the strict
// hex reader reads exactly the texts of hex digit pairs; asking for the archive password with
// nobody signed in fails as the library fails and never otherwise.
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "fuzz_input.h"
#include "started_library.h"
#include "vxmeta/accounts/asset_encryption_info.h"
#include "vxmeta/api/raw_vorlane.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/text.h"

using namespace VxMeta;

namespace {

[[noreturn]] void broken(const char* what, const std::string& input) {
    std::fprintf(stderr, "%s: %s\n", what, input.c_str());
    std::abort();
}

bool allHexPairs(const std::string& text) {
    if (text.size() % 2 != 0) return false;
    for (char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    VxMetaFuzz::startLibrary();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static RawVorlane api;
    const std::string input = VxMetaFuzz::text(data, size);

    try {
        extractAssetInfo(input);
    } catch (const VxMetaException&) {
        // refused as the library refuses metadata
    }

    bool read = true;
    std::string bytes;
    try {
        bytes = unhex(input, 0, "C", "M");
    } catch (const VxMetaException&) {
        read = false;
    }
    if (read != allHexPairs(input)) broken("unhex read a text that is not hex digit pairs, or refused one", input);
    if (read && hex(bytes) != canocase(input)) broken("unhex did not read the digits", input);

    try {
        api.getArchiveDecryptionPassword(input, true);
    } catch (const VxMetaException&) {
        // nobody is signed in: every road ends in a library failure
    }
    return 0;
}
