#include "Vorlane/Errors/vorlane_error.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"

namespace {

using Texts = std::map<std::string, std::string>;

TEST(VorlaneError, CarriesTheNonEmptyTextsInItsDomainWithCodeZero) {
    struct Row {
        VxMeta::VxMetaException exception;
        Texts userInfo;
    };
    VxMeta::VxMetaException withEverything(VxMeta::VXMECAT_HTTP, "Credentials no longer match",
                                           VxMeta::VXMEREASON_CREDENTIALS);
    withEverything.httpStatus = 403;
    withEverything.request = "GET https://kms.example/api/v1.0/user/\n";
    withEverything.response = "{\"reason\":\"Incorrect Credentials\"}";
    withEverything.upgradeUrl = "https://kms.example/upgrade";
    const Row rows[] = {
        {withEverything,
         {{"VLCategory", "HTTP Error"}, {"VLMessage", "Credentials no longer match"}, {"VLReason", "Incorrect Credentials"}}},
        {VxMeta::VxMetaException(VxMeta::VXMECAT_DEVICE_NOT_ALLOWED, "This device has been disabled."),
         {{"VLCategory", "Device Not Allowed"}, {"VLMessage", "This device has been disabled."}}},
        {VxMeta::VxMetaException("", "only a message"), {{"VLMessage", "only a message"}}},
        {VxMeta::VxMetaException("", "", ""), {}},
    };
    for (const Row& row : rows) {
        Platform::Error error = VorlaneBridge::errorWithVxMetaException(row.exception);
        EXPECT_EQ(error.domain, "VorlaneErrorDomain");
        EXPECT_EQ(error.code, 0);
        EXPECT_EQ(error.userInfo, row.userInfo);
        EXPECT_EQ(VorlaneBridge::parseException(row.exception), row.userInfo);
    }
}

TEST(VorlaneError, AccessorsReadTheTextsOfAnyErrorAndNothingElse) {
    Platform::Error converted =
        VorlaneBridge::errorWithVxMetaException(VxMeta::VxMetaException(VxMeta::VXMECAT_NOTFOUND, "No password found"));
    EXPECT_EQ(VorlaneBridge::vxmetaCategory(converted), "Not Found Error");
    EXPECT_EQ(VorlaneBridge::vxmetaMessage(converted), "No password found");
    EXPECT_EQ(VorlaneBridge::vxmetaReason(converted), std::nullopt);

    Platform::Error foreign("VxArchiveErrorDomain", 4, {{Platform::kLocalizedDescriptionKey, "Cancelled"}});
    EXPECT_EQ(VorlaneBridge::vxmetaCategory(foreign), std::nullopt);
    EXPECT_EQ(VorlaneBridge::vxmetaMessage(foreign), std::nullopt);
    EXPECT_EQ(VorlaneBridge::vxmetaReason(foreign), std::nullopt);

    Platform::Error otherDomainWithKeys("PellixMetaclientErrorDomain", 25, {{"VLReason", "Incorrect Credentials"}});
    EXPECT_EQ(VorlaneBridge::vxmetaReason(otherDomainWithKeys), "Incorrect Credentials");
}

TEST(VorlaneError, TextsFromTheServiceThatAreNotUtf8StayText) {
    VxMeta::VxMetaException exception(VxMeta::VXMECAT_HTTP, "HTTP 400", "bad \xFF reason \xC3\xA9");
    EXPECT_EQ(VorlaneBridge::vxmetaReason(VorlaneBridge::errorWithVxMetaException(exception)),
              "bad \xEF\xBF\xBD reason \xC3\xA9");
}

} // namespace
