// The forwarding archive model and the key-provider model and generator, against in-process fakes.
#include "fakes.h"

#include <cstring>

#include <gtest/gtest.h>

namespace TarvexorTest {
namespace {

using testing::_;
using testing::DoAll;
using testing::Eq;
using testing::NiceMock;
using testing::Return;
using testing::SaveArg;
using testing::StrictMock;

TEST(DelegatingModel, PasswordSetThroughTheDecoratorIsTheInnerArchivesAndReadsBack) {
    auto inner = std::make_shared<StrictMock<MockArchive>>();
    std::optional<std::string> stored;
    EXPECT_CALL(*inner, setPassword(Eq(std::optional<std::string>("pw")))).WillOnce(SaveArg<0>(&stored));
    EXPECT_CALL(*inner, password()).WillOnce([&] { return stored; });
    Tarvexor::DelegatingZIPArchiveModel model(inner);
    model.setPassword("pw");
    EXPECT_EQ(model.password(), "pw");
}

TEST(DelegatingModel, PropertiesAreTheInnerArchives) {
    auto inner = std::make_shared<StrictMock<MockArchive>>();
    auto folder = std::make_shared<Tarvexor::DelegatingZIPArchiveModel>(nullptr);
    const auto when = std::chrono::system_clock::now();
    int handle = 0;
    EXPECT_CALL(*inner, name()).WillOnce(Return("a.zip"));
    EXPECT_CALL(*inner, path()).WillOnce(Return("dir/a.zip"));
    EXPECT_CALL(*inner, size()).WillOnce(Return(42u));
    EXPECT_CALL(*inner, archiveItem()).WillOnce(Return(&handle));
    EXPECT_CALL(*inner, rootFolder()).WillOnce(Return(folder));
    EXPECT_CALL(*inner, numberOfFiles()).WillOnce(Return(7));
    EXPECT_CALL(*inner, numberOfFolders()).WillOnce(Return(2));
    EXPECT_CALL(*inner, lastModifiedDate()).WillOnce(Return(when));
    EXPECT_CALL(*inner, sizeCompressed()).WillOnce(Return(9u));
    EXPECT_CALL(*inner, encryptMethodName()).WillOnce(Return("AES-256"));
    EXPECT_CALL(*inner, accessFlags()).WillOnce(Return(0644u));
    EXPECT_CALL(*inner, filePath()).WillOnce(Return("/tmp/a.zip"));
    EXPECT_CALL(*inner, setFilePath("/tmp/b.zip"));
    EXPECT_CALL(*inner, reloadFolders());
    Tarvexor::DelegatingZIPArchiveModel model(inner);
    EXPECT_EQ(model.name(), "a.zip");
    EXPECT_EQ(model.path(), "dir/a.zip");
    EXPECT_EQ(model.size(), 42u);
    EXPECT_EQ(model.archiveItem(), &handle);
    EXPECT_EQ(model.rootFolder(), folder);
    EXPECT_EQ(model.numberOfFiles(), 7);
    EXPECT_EQ(model.numberOfFolders(), 2);
    EXPECT_EQ(model.lastModifiedDate(), when);
    EXPECT_EQ(model.sizeCompressed(), 9u);
    EXPECT_EQ(model.encryptMethodName(), "AES-256");
    EXPECT_EQ(model.accessFlags(), 0644u);
    EXPECT_EQ(model.filePath(), "/tmp/a.zip");
    model.setFilePath("/tmp/b.zip");
    model.reloadFolders();
}

TEST(DelegatingModel, ActionThatFailsInsideFailsThroughWithTheInnerError) {
    auto inner = std::make_shared<StrictMock<MockArchive>>();
    const auto failure = Zentile::makeZIPError(Zentile::ZIPErrorCancelled, "stopped");
    FullBundle caller;
    EXPECT_CALL(*inner, extractItems(_, "/dest", Eq(caller.bundle), _))
        .WillOnce([&](auto&, auto&, auto&, Platform::Error* error) { return Platform::failWith(error, failure); });
    EXPECT_CALL(*inner, removeItems(_, _, Eq(caller.bundle), _)).WillOnce(Return(true));
    Tarvexor::DelegatingZIPArchiveModel model(inner);
    Platform::Error error;
    EXPECT_FALSE(model.extractItems({}, "/dest", caller.bundle, &error));
    EXPECT_EQ(error, failure);
    EXPECT_TRUE(model.removeItems({}, {}, caller.bundle, &error));
}

TEST(DelegatingModel, WithoutInnerArchiveReadsAreEmptyAndActionsFailWithAnError) {
    Tarvexor::DelegatingZIPArchiveModel model(nullptr);
    EXPECT_EQ(model.name(), "");
    EXPECT_EQ(model.numberOfFiles(), 0);
    EXPECT_FALSE(model.password());
    model.setPassword("ignored");
    Platform::Error error;
    EXPECT_FALSE(model.fastExtractToFolder("/dest", nullptr, &error));
    EXPECT_EQ(error.domain, Zentile::VxArchiveErrorDomain);
    EXPECT_FALSE(model.openWithDelegate(nullptr, nullptr));
}

// The bundle the inner archive received for an action of the key-provider model.
class KeyProviderModel : public testing::Test {
protected:
    std::shared_ptr<StrictMock<MockArchive>> inner = std::make_shared<StrictMock<MockArchive>>();
    std::shared_ptr<StrictMock<MockProvider>> provider = std::make_shared<StrictMock<MockProvider>>();
    FullBundle caller;
    Tarvexor::VelmoZIPArchiveModel model{inner, provider};

    void expectWrapped(const DelegatePtr& received) {
        ASSERT_TRUE(received);
        EXPECT_NE(received, caller.bundle);
        EXPECT_EQ(received->progressDelegate(), caller.progress);
        auto decryption = std::dynamic_pointer_cast<Tarvexor::VelmoZIPDecryptDelegate>(received->decryptionDelegate());
        ASSERT_TRUE(decryption);
        EXPECT_EQ(decryption->kmsProvider, provider);
        EXPECT_EQ(decryption->delegate, caller.decryption);
    }
};

TEST_F(KeyProviderModel, OpeningAndExtractingAskTheProviderFirst) {
    DelegatePtr opened, extracted, fast;
    Platform::Error error;
    EXPECT_CALL(*inner, openWithDelegate(_, &error)).WillOnce(DoAll(SaveArg<0>(&opened), Return(true)));
    EXPECT_CALL(*inner, extractItems(_, "/dest", _, &error)).WillOnce(DoAll(SaveArg<2>(&extracted), Return(false)));
    EXPECT_CALL(*inner, fastExtractToFolder("/dest", _, &error)).WillOnce(DoAll(SaveArg<1>(&fast), Return(true)));
    EXPECT_TRUE(model.openWithDelegate(caller.bundle, &error));
    EXPECT_FALSE(model.extractItems({}, "/dest", caller.bundle, &error));
    EXPECT_TRUE(model.fastExtractToFolder("/dest", caller.bundle, &error));
    expectWrapped(opened);
    expectWrapped(extracted);
    expectWrapped(fast);
    EXPECT_NE(opened, extracted); // every action builds its own wrappers
}

TEST_F(KeyProviderModel, WritingActionsReceiveTheCallersBundleUnwrapped) {
    EXPECT_CALL(*inner, addItems(_, _, _, Eq(caller.bundle), _)).WillOnce(Return(false));
    EXPECT_CALL(*inner, removeItems(_, _, Eq(caller.bundle), _)).WillOnce(Return(false));
    EXPECT_CALL(*inner, encryptItems(_, true, false, _, Eq(caller.bundle), _)).WillOnce(Return(false));
    EXPECT_CALL(*inner, renameItem(_, "new", _, Eq(caller.bundle), _)).WillOnce(Return(false));
    EXPECT_FALSE(model.addItems({}, nullptr, {}, caller.bundle, nullptr));
    EXPECT_FALSE(model.removeItems({}, {}, caller.bundle, nullptr));
    EXPECT_FALSE(model.encryptItems({}, true, false, {}, caller.bundle, nullptr));
    EXPECT_FALSE(model.renameItem(nullptr, "new", {}, caller.bundle, nullptr));
}

class KeyProviderGenerator : public testing::Test {
protected:
    std::shared_ptr<StrictMock<MockGenerator>> engine = std::make_shared<StrictMock<MockGenerator>>();
    std::shared_ptr<StrictMock<MockProvider>> provider = std::make_shared<StrictMock<MockProvider>>();
    Tarvexor::VelmoZIPArchiveGenerator generator{engine, provider};
    FullBundle caller;
};

TEST_F(KeyProviderGenerator, ReadArchiveIsTheEnginesWrappedWithTheProvider) {
    auto archive = std::make_shared<NiceMock<MockArchive>>();
    auto files = Platform::FileManager::defaultManager();
    DelegatePtr received;
    Platform::Error error;
    EXPECT_CALL(*engine, readArchiveAtPath("/a.zip", Eq(files), _, &error))
        .WillOnce(DoAll(SaveArg<2>(&received), Return(archive)));
    auto model = std::dynamic_pointer_cast<Tarvexor::VelmoZIPArchiveModel>(
        generator.readArchiveAtPath("/a.zip", files, caller.bundle, &error));
    ASSERT_TRUE(model);
    EXPECT_EQ(model->internal(), archive);
    EXPECT_EQ(model->kmsProvider, provider);
    auto decryption = std::dynamic_pointer_cast<Tarvexor::VelmoZIPDecryptDelegate>(received->decryptionDelegate());
    ASSERT_TRUE(decryption);
    EXPECT_EQ(decryption->delegate, caller.decryption);
}

TEST_F(KeyProviderGenerator, EngineFailureLeavesTheEnginesError) {
    const auto failure = Zentile::makeZIPError(Zentile::ZIPErrorNotAnArchive, "Not a ZIP archive");
    EXPECT_CALL(*engine, readArchiveAtPath(_, _, _, _)).WillOnce([&](auto&, auto&, auto&, Platform::Error* error) {
        Platform::failWith(error, failure);
        return nullptr;
    });
    Platform::Error error;
    EXPECT_FALSE(generator.readArchiveAtPath("/a.zip", nullptr, caller.bundle, &error));
    EXPECT_EQ(error, failure);
}

TEST_F(KeyProviderGenerator, CreatingAnArchiveIsNoneAndLeavesTheErrorUntouched) {
    Platform::Error error("earlier", 99, {{"k", "v"}});
    EXPECT_FALSE(generator.createArchiveWithFiles({"/a"}, "/dest", "n.zip", {}, caller.bundle, nullptr, &error));
    EXPECT_EQ(error, Platform::Error("earlier", 99, {{"k", "v"}}));
}

TEST(KeyProviderGeneratorPlain, CreatedWithAProviderItRunsOverTheEnginesOwnGenerator) {
    auto provider = std::make_shared<StrictMock<MockProvider>>();
    Tarvexor::VelmoZIPArchiveGenerator generator(provider);
    EXPECT_TRUE(std::dynamic_pointer_cast<Zentile::ConcreteZIPArchiveGenerator>(generator.generator()));
    EXPECT_EQ(generator.kmsProvider(), provider);
}

TEST(TarvexorVersion, ExportsTheFrameworkVersion) {
    EXPECT_EQ(TarvexorVersionNumber, 1.0);
    const char* text = reinterpret_cast<const char*>(TarvexorVersionString);
    EXPECT_STREQ(text, "@(#)PROGRAM:Tarvexor  PROJECT:Tarvexor-1\n");
}

} // namespace
} // namespace TarvexorTest
