#include "Vorlane/VorlaneWrapper/vorlane_wrapper.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "vxmeta/api/vorlane.h"

namespace {

TEST(VorlaneWrapper, HoldsOneApiObjectThatOutlivesIt) {
    auto wrapper = std::make_shared<VorlaneBridge::VorlaneWrapper>();
    VxMeta::Vorlane* vorlane = wrapper->vorlane();
    ASSERT_NE(vorlane, nullptr);
    EXPECT_EQ(wrapper->vorlane(), vorlane);

    vorlane->setPrefix("https://kms.example/");
    const std::string prefix = vorlane->getPrefix();
    EXPECT_NE(prefix.find("kms.example"), std::string::npos);
    wrapper.reset();
    EXPECT_EQ(vorlane->getPrefix(), prefix);
}

} // namespace
