#include "Zentile/zip_archive_generator.h"

#include "Zentile/zip_error.h"

namespace Zentile {

std::shared_ptr<ZIPArchive> ConcreteZIPArchiveGenerator::readArchiveAtPath(
    const std::string&, const std::shared_ptr<Platform::FileManager>&, const std::shared_ptr<ZIPArchiveDelegate>&,
    Platform::Error* error) {
    Platform::failWith(error, makeZIPError(ZIPErrorUnsupported, describeZIPError(ZIPErrorUnsupported)));
    return nullptr;
}

std::shared_ptr<ZIPArchive> ConcreteZIPArchiveGenerator::createArchiveWithFiles(
    const std::vector<std::string>&, const std::string&, const std::string&, const ZIPOptions&,
    const std::shared_ptr<ZIPArchiveDelegate>&, const std::shared_ptr<Platform::FileManager>&, Platform::Error* error) {
    Platform::failWith(error, makeZIPError(ZIPErrorUnsupported, "Creating archives is unsupported"));
    return nullptr;
}

} // namespace Zentile
