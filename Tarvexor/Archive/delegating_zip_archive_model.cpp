#include "Tarvexor/Archive/delegating_zip_archive_model.h"

#include "Zentile/zip_error.h"

namespace Tarvexor {

namespace {

// A model without an inner archive answers empty values, and its actions fail with an error rather
// than reporting nothing.
template <typename Result, typename Call>
Result readInner(const std::shared_ptr<Zentile::ZIPArchive>& inner, Call call) {
    return inner ? call(*inner) : Result{};
}

template <typename Call>
bool actOnInner(const std::shared_ptr<Zentile::ZIPArchive>& inner, Platform::Error* error, Call call) {
    if (!inner) {
        return Platform::failWith(error, Zentile::makeZIPError(Zentile::ZIPErrorInvalidArgument,
                                                               "The archive model has no archive"));
    }
    return call(*inner);
}

} // namespace

DelegatingZIPArchiveModel::DelegatingZIPArchiveModel(std::shared_ptr<Zentile::ZIPArchive> internal)
    : internal_(std::move(internal)) {}

std::string DelegatingZIPArchiveModel::name() {
    return readInner<std::string>(internal(), [](auto& a) { return a.name(); });
}
std::optional<Zentile::ZIPDate> DelegatingZIPArchiveModel::lastModifiedDate() {
    return readInner<std::optional<Zentile::ZIPDate>>(internal(), [](auto& a) { return a.lastModifiedDate(); });
}
std::uint64_t DelegatingZIPArchiveModel::size() {
    return readInner<std::uint64_t>(internal(), [](auto& a) { return a.size(); });
}
void* DelegatingZIPArchiveModel::archiveItem() {
    return readInner<void*>(internal(), [](auto& a) { return a.archiveItem(); });
}
std::shared_ptr<Zentile::ZIPArchive> DelegatingZIPArchiveModel::rootArchive() {
    return readInner<std::shared_ptr<Zentile::ZIPArchive>>(internal(), [](auto& a) { return a.rootArchive(); });
}
std::shared_ptr<Zentile::ZIPArchive> DelegatingZIPArchiveModel::parentArchive() {
    return readInner<std::shared_ptr<Zentile::ZIPArchive>>(internal(), [](auto& a) { return a.parentArchive(); });
}
std::shared_ptr<Zentile::ZIPFolder> DelegatingZIPArchiveModel::parent() {
    return readInner<std::shared_ptr<Zentile::ZIPFolder>>(internal(), [](auto& a) { return a.parent(); });
}
std::uint64_t DelegatingZIPArchiveModel::itemOffset() {
    return readInner<std::uint64_t>(internal(), [](auto& a) { return a.itemOffset(); });
}
std::string DelegatingZIPArchiveModel::path() {
    return readInner<std::string>(internal(), [](auto& a) { return a.path(); });
}

std::uint64_t DelegatingZIPArchiveModel::sizeCompressed() {
    return readInner<std::uint64_t>(internal(), [](auto& a) { return a.sizeCompressed(); });
}
std::uint64_t DelegatingZIPArchiveModel::sizeUncompressed() {
    return readInner<std::uint64_t>(internal(), [](auto& a) { return a.sizeUncompressed(); });
}
std::uint64_t DelegatingZIPArchiveModel::fileState() {
    return readInner<std::uint64_t>(internal(), [](auto& a) { return a.fileState(); });
}
std::optional<Zentile::ZIPDate> DelegatingZIPArchiveModel::createdDate() {
    return readInner<std::optional<Zentile::ZIPDate>>(internal(), [](auto& a) { return a.createdDate(); });
}
std::vector<std::string> DelegatingZIPArchiveModel::signatures() {
    return readInner<std::vector<std::string>>(internal(), [](auto& a) { return a.signatures(); });
}
std::string DelegatingZIPArchiveModel::encryptMethodName() {
    return readInner<std::string>(internal(), [](auto& a) { return a.encryptMethodName(); });
}
std::uint32_t DelegatingZIPArchiveModel::accessFlags() {
    return readInner<std::uint32_t>(internal(), [](auto& a) { return a.accessFlags(); });
}

std::vector<std::shared_ptr<Zentile::ZIPItem>> DelegatingZIPArchiveModel::children() {
    return readInner<std::vector<std::shared_ptr<Zentile::ZIPItem>>>(internal(), [](auto& a) { return a.children(); });
}

void DelegatingZIPArchiveModel::reloadFolders() {
    if (internal()) {
        internal()->reloadFolders();
    }
}
std::string DelegatingZIPArchiveModel::filePath() {
    return readInner<std::string>(internal(), [](auto& a) { return a.filePath(); });
}
void DelegatingZIPArchiveModel::setFilePath(const std::string& path) {
    if (internal()) {
        internal()->setFilePath(path);
    }
}
std::optional<std::string> DelegatingZIPArchiveModel::password() {
    return readInner<std::optional<std::string>>(internal(), [](auto& a) { return a.password(); });
}
void DelegatingZIPArchiveModel::setPassword(const std::optional<std::string>& password) {
    if (internal()) {
        internal()->setPassword(password);
    }
}
std::shared_ptr<Zentile::ZIPFolder> DelegatingZIPArchiveModel::rootFolder() {
    return readInner<std::shared_ptr<Zentile::ZIPFolder>>(internal(), [](auto& a) { return a.rootFolder(); });
}
std::int64_t DelegatingZIPArchiveModel::numberOfFolders() {
    return readInner<std::int64_t>(internal(), [](auto& a) { return a.numberOfFolders(); });
}
std::int64_t DelegatingZIPArchiveModel::numberOfFiles() {
    return readInner<std::int64_t>(internal(), [](auto& a) { return a.numberOfFiles(); });
}
std::optional<Zentile::ZIPDate> DelegatingZIPArchiveModel::addedDate() {
    return readInner<std::optional<Zentile::ZIPDate>>(internal(), [](auto& a) { return a.addedDate(); });
}

bool DelegatingZIPArchiveModel::openWithDelegate(const std::shared_ptr<Zentile::ZIPArchiveDelegate>& delegate,
                                                 Platform::Error* error) {
    return actOnInner(internal(), error, [&](auto& a) { return a.openWithDelegate(delegate, error); });
}
bool DelegatingZIPArchiveModel::extractItems(const Zentile::ZIPItems& items, const std::string& destination,
                                             const std::shared_ptr<Zentile::ZIPArchiveDelegate>& delegate,
                                             Platform::Error* error) {
    return actOnInner(internal(), error,
                      [&](auto& a) { return a.extractItems(items, destination, delegate, error); });
}
bool DelegatingZIPArchiveModel::fastExtractToFolder(const std::string& folder,
                                                    const std::shared_ptr<Zentile::ZIPArchiveDelegate>& delegate,
                                                    Platform::Error* error) {
    return actOnInner(internal(), error, [&](auto& a) { return a.fastExtractToFolder(folder, delegate, error); });
}
bool DelegatingZIPArchiveModel::addItems(const Zentile::ZIPItems& items,
                                         const std::shared_ptr<Zentile::ZIPFolder>& folder,
                                         const Zentile::ZIPOptions& options,
                                         const std::shared_ptr<Zentile::ZIPArchiveDelegate>& delegate,
                                         Platform::Error* error) {
    return actOnInner(internal(), error, [&](auto& a) { return a.addItems(items, folder, options, delegate, error); });
}
bool DelegatingZIPArchiveModel::removeItems(const Zentile::ZIPItems& items, const Zentile::ZIPOptions& options,
                                            const std::shared_ptr<Zentile::ZIPArchiveDelegate>& delegate,
                                            Platform::Error* error) {
    return actOnInner(internal(), error, [&](auto& a) { return a.removeItems(items, options, delegate, error); });
}
bool DelegatingZIPArchiveModel::encryptItems(const Zentile::ZIPItems& items, bool preserveFNE,
                                             bool preserveEncryption, const Zentile::ZIPOptions& options,
                                             const std::shared_ptr<Zentile::ZIPArchiveDelegate>& delegate,
                                             Platform::Error* error) {
    return actOnInner(internal(), error, [&](auto& a) {
        return a.encryptItems(items, preserveFNE, preserveEncryption, options, delegate, error);
    });
}
bool DelegatingZIPArchiveModel::renameItem(const std::shared_ptr<Zentile::ZIPItem>& item, const std::string& newName,
                                           const Zentile::ZIPOptions& options,
                                           const std::shared_ptr<Zentile::ZIPArchiveDelegate>& delegate,
                                           Platform::Error* error) {
    return actOnInner(internal(), error,
                      [&](auto& a) { return a.renameItem(item, newName, options, delegate, error); });
}

} // namespace Tarvexor
