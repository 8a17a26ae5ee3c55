// In-process stand-ins for the engine's archive, generator and delegates and for the key provider, for
// the bridge's unit tests.
#pragma once

#include <gmock/gmock.h>

#include "Tarvexor/tarvexor.h"
#include "Zentile/zentile.h"

namespace TarvexorTest {

using Zentile::ZIPArchiveDelegate;
using DelegatePtr = std::shared_ptr<Zentile::ZIPArchiveDelegate>;

class MockArchive : public Zentile::ZIPArchive {
public:
    MOCK_METHOD(std::string, name, (), (override));
    MOCK_METHOD(std::optional<Zentile::ZIPDate>, lastModifiedDate, (), (override));
    MOCK_METHOD(std::uint64_t, size, (), (override));
    MOCK_METHOD(void*, archiveItem, (), (override));
    MOCK_METHOD(std::shared_ptr<Zentile::ZIPArchive>, rootArchive, (), (override));
    MOCK_METHOD(std::shared_ptr<Zentile::ZIPArchive>, parentArchive, (), (override));
    MOCK_METHOD(std::shared_ptr<Zentile::ZIPFolder>, parent, (), (override));
    MOCK_METHOD(std::uint64_t, itemOffset, (), (override));
    MOCK_METHOD(std::string, path, (), (override));
    MOCK_METHOD(std::uint64_t, sizeCompressed, (), (override));
    MOCK_METHOD(std::uint64_t, sizeUncompressed, (), (override));
    MOCK_METHOD(std::uint64_t, fileState, (), (override));
    MOCK_METHOD(std::optional<Zentile::ZIPDate>, createdDate, (), (override));
    MOCK_METHOD(std::vector<std::string>, signatures, (), (override));
    MOCK_METHOD(std::string, encryptMethodName, (), (override));
    MOCK_METHOD(std::uint32_t, accessFlags, (), (override));
    MOCK_METHOD(std::vector<std::shared_ptr<Zentile::ZIPItem>>, children, (), (override));
    MOCK_METHOD(void, reloadFolders, (), (override));
    MOCK_METHOD(std::string, filePath, (), (override));
    MOCK_METHOD(void, setFilePath, (const std::string&), (override));
    MOCK_METHOD(std::optional<std::string>, password, (), (override));
    MOCK_METHOD(void, setPassword, (const std::optional<std::string>&), (override));
    MOCK_METHOD(std::shared_ptr<Zentile::ZIPFolder>, rootFolder, (), (override));
    MOCK_METHOD(std::int64_t, numberOfFolders, (), (override));
    MOCK_METHOD(std::int64_t, numberOfFiles, (), (override));
    MOCK_METHOD(std::optional<Zentile::ZIPDate>, addedDate, (), (override));
    MOCK_METHOD(bool, openWithDelegate, (const DelegatePtr&, Platform::Error*), (override));
    MOCK_METHOD(bool, extractItems,
                (const Zentile::ZIPItems&, const std::string&, const DelegatePtr&, Platform::Error*), (override));
    MOCK_METHOD(bool, fastExtractToFolder, (const std::string&, const DelegatePtr&, Platform::Error*), (override));
    MOCK_METHOD(bool, addItems,
                (const Zentile::ZIPItems&, const std::shared_ptr<Zentile::ZIPFolder>&, const Zentile::ZIPOptions&,
                 const DelegatePtr&, Platform::Error*),
                (override));
    MOCK_METHOD(bool, removeItems,
                (const Zentile::ZIPItems&, const Zentile::ZIPOptions&, const DelegatePtr&, Platform::Error*),
                (override));
    MOCK_METHOD(bool, encryptItems,
                (const Zentile::ZIPItems&, bool, bool, const Zentile::ZIPOptions&, const DelegatePtr&,
                 Platform::Error*),
                (override));
    MOCK_METHOD(bool, renameItem,
                (const std::shared_ptr<Zentile::ZIPItem>&, const std::string&, const Zentile::ZIPOptions&,
                 const DelegatePtr&, Platform::Error*),
                (override));
};

class MockGenerator : public Zentile::ZIPArchiveGenerator {
public:
    MOCK_METHOD(std::shared_ptr<Zentile::ZIPArchive>, readArchiveAtPath,
                (const std::string&, const std::shared_ptr<Platform::FileManager>&, const DelegatePtr&,
                 Platform::Error*),
                (override));
    MOCK_METHOD(std::shared_ptr<Zentile::ZIPArchive>, createArchiveWithFiles,
                (const std::vector<std::string>&, const std::string&, const std::string&, const Zentile::ZIPOptions&,
                 const DelegatePtr&, const std::shared_ptr<Platform::FileManager>&, Platform::Error*),
                (override));
};

class MockDecryptDelegate : public Zentile::ZIPDecryptDelegate {
public:
    MOCK_METHOD(std::uint32_t, maximumNumberOfRetries, (), (override));
    MOCK_METHOD(std::optional<Zentile::ZIPDecryptResult>, passwordForArchive,
                (const std::shared_ptr<Zentile::ZIPArchive>&, const std::optional<std::string>&,
                 const std::shared_ptr<const Zentile::ZIPKMS>&, std::uint32_t),
                (override));
};

class MockProvider : public VorlaneBridge::CryptionInterface {
public:
    MOCK_METHOD(std::optional<std::string>, archiveDecryptionPasswordWithJSON, (const std::string&), (override));
    MOCK_METHOD(std::shared_ptr<VorlaneBridge::EncryptionInfo>, archiveEncryptionInfoWithKeyURN,
                (const std::optional<std::string>&, const std::optional<std::string>&), (override));
    MOCK_METHOD(std::shared_ptr<VorlaneBridge::EncryptionInfo>, archiveEncryptionInfoNoAssetWithPassword,
                (const std::string&), (override));
};

class NullProgress : public Zentile::ZIPProgressDelegate {
public:
    std::uint32_t onBeginWithItem(const std::optional<std::string>&, std::uint32_t, const std::optional<std::string>&,
                                  std::uint64_t) override {
        return 0;
    }
    std::uint32_t onProgressWithItem(const std::optional<std::string>&, std::uint32_t,
                                     const std::optional<std::string>&, std::uint64_t, std::uint64_t) override {
        return 0;
    }
    std::uint32_t onEndWithItem(const std::optional<std::string>&, std::uint32_t, const std::optional<std::string>&,
                                std::uint32_t) override {
        return 0;
    }
    void setObject(const std::any&, std::uint32_t, const std::optional<std::string>&, std::uint32_t) override {}
};

class NullFilter : public Zentile::ZIPFilterDelegate {
public:
    std::optional<std::string> onReplaceItem(const std::optional<std::string>&, std::uint32_t) override {
        return std::nullopt;
    }
};

// A bundle with one delegate of each kind, the decryption delegate a mock.
struct FullBundle {
    std::shared_ptr<NullProgress> progress = std::make_shared<NullProgress>();
    std::shared_ptr<NullFilter> filter = std::make_shared<NullFilter>();
    std::shared_ptr<testing::NiceMock<MockDecryptDelegate>> decryption =
        std::make_shared<testing::NiceMock<MockDecryptDelegate>>();
    std::shared_ptr<Zentile::ZIPEncryptDelegate> encryption = std::make_shared<Zentile::ZIPEncryptDelegate>();
    std::shared_ptr<Zentile::ZIPDuplicateDelegate> duplicate = std::make_shared<Zentile::ZIPDuplicateDelegate>();
    std::shared_ptr<Zentile::ConcreteZIPArchiveDelegate> bundle =
        std::make_shared<Zentile::ConcreteZIPArchiveDelegate>(progress, filter, decryption, encryption, duplicate);
};

inline std::shared_ptr<const Zentile::ZIPKMS> record(const std::string& text) {
    return std::make_shared<const Zentile::ZIPKMS>(std::vector<std::uint8_t>(text.begin(), text.end()));
}

} // namespace TarvexorTest
