// Makes what an archive protected by a managed key needs, through the framework as any host would: signs
// in as the key's owner, creates a managed key, gives a reader access to it, asks for the archive password
// and its archive key metadata, and signs out again. Prints one JSON object on standard output:
//   {"urn": the key's URN, "password": the archive password, "key_record": the metadata JSON text}
// ("password" and "key_record" are the entry fields of the ZIP fixture writer, tests/zentile/fixtures/).
//
//   managed-key-archive-password --server URL --server-key KEY --ca-file PEM --owner EMAIL
//       --owner-password TEXT --reader EMAIL [--key-name NAME] [--password TEXT]
//
// The owner's address must be verified; the reader must be a registered user. Without --password the
// framework makes the archive password.
#include <cstdio>
#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "Platform/dispatch_queue.h"
#include "Platform/error.h"
#include "Platform/user_defaults.h"
#include "Vorlane/Comm/communicate_with_mds.h"
#include "Vorlane/vorlane_constants.h"
#include "Vorlane/vorlane_facade.h"
#include "vxmeta/access/server_settings.h"
#include "vxmeta/accounts/single_asset_manager.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/log.h"

namespace {

constexpr char kUsage[] =
    "usage: managed-key-archive-password --server URL --server-key KEY --ca-file PEM --owner EMAIL\n"
    "       --owner-password TEXT --reader EMAIL [--key-name NAME] [--password TEXT]\n";

// The library's diagnostics go to standard error: standard output carries the result alone.
void logToStandardError(int, const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); }

int fail(const std::string& what) {
    std::fprintf(stderr, "managed-key-archive-password: %s\n", what.c_str());
    return 1;
}

std::optional<std::map<std::string, std::string>> parse(int argc, char* argv[]) {
    std::map<std::string, std::string> options;
    for (int i = 1; i < argc; i += 2) {
        const std::string name = argv[i];
        if (name.rfind("--", 0) != 0 || i + 1 >= argc) return std::nullopt;
        options[name.substr(2)] = argv[i + 1];
    }
    for (const char* required : {"server", "server-key", "ca-file", "owner", "owner-password", "reader"})
        if (!options.contains(required)) return std::nullopt;
    return options;
}

} // namespace

int main(int argc, char* argv[]) {
    const auto options = parse(argc, argv);
    if (!options) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const auto option = [&](const std::string& name, const std::string& otherwise = std::string()) {
        const auto found = options->find(name);
        return found == options->end() ? otherwise : found->second;
    };
    VxMeta::logCallback = &logToStandardError;
    // Nothing here runs a main loop: work for the main queue (the facade's timer) waits unrun.
    Platform::setMainQueue(std::make_shared<Platform::RunLoopQueue>());
    try {
        VorlaneBridge::setTransportCaFile(option("ca-file"));
        Platform::Bundle bundle;
        bundle.infoDictionary[VorlaneBridge::kMetaclientAppName] = "Tarvex Demo";
        bundle.infoDictionary["CFBundleShortVersionString"] = "1.0";
        const auto facade = std::make_shared<VorlaneBridge::VorlaneFacade>(
            std::make_shared<VorlaneBridge::VorlaneWrapper>(), std::make_shared<Platform::InMemoryUserDefaults>(),
            nullptr, bundle, "LIN-00000000-0000-0000-0000-000000000001", "demo key maker", "6.1");
        VxMeta::setMds(option("server"), option("server-key"));

        auto credential = std::make_shared<VorlaneBridge::VLCredential>();
        credential->email = option("owner");
        credential->activeDirectoryPassword = option("owner-password");
        credential->systemPassword = option("owner-password");
        Platform::Error error;
        if (!facade->loginWithCredential(credential, false, &error))
            return fail("signing in as " + option("owner") + ": " + error.localizedDescription());
        // The first synchronization makes the owner's personal key, under which the new key is wrapped.
        if (!facade->clientSyncWithError(&error)) return fail("synchronizing: " + error.localizedDescription());

        VxMeta::SingleAssetManager key;
        key.createAsset(option("key-name", "Demo key"));
        key.setAccessByEmail(option("reader"), "allow");
        const std::optional<std::string> password =
            options->contains("password") ? std::optional<std::string>(option("password")) : std::nullopt;
        const auto info = facade->archiveEncryptionInfoWithKeyURN(key.getURN(), password);
        if (!info || !info->password() || !info->json()) return fail("no archive password for " + key.getURN());

        Json::Value out;
        out["urn"] = key.getURN();
        out["password"] = *info->password();
        out["key_record"] = *info->json();
        facade->unlink();
        std::printf("%s\n", VxMeta::jsonString(out).c_str());
        return 0;
    } catch (const std::exception& failure) {
        return fail(failure.what());
    }
}
