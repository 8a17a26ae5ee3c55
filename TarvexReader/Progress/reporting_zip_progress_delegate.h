// The progress delegate of an extraction that counts what the result notification reports: the files
// the engine finished (`total`), those that failed (`errors`) and the warnings, passing every callback
// on to the delegate it wraps and returning that delegate's answer.
#pragma once

#include <cstdint>
#include <memory>

#include "Zentile/zip_progress_delegate.h"

namespace TarvexReader {

class ExtractionReporter {
public:
    virtual ~ExtractionReporter() = default;
    virtual std::uint64_t total() const = 0;
    virtual std::uint64_t warnings() const = 0;
    virtual std::uint64_t errors() const = 0;
};

class ReportingZIPProgressDelegate : public Zentile::ZIPProgressDelegate, public ExtractionReporter {
public:
    explicit ReportingZIPProgressDelegate(std::shared_ptr<Zentile::ZIPProgressDelegate> delegate);

    std::uint32_t onBeginWithItem(const std::optional<std::string>& item, std::uint32_t progress,
                                  const std::optional<std::string>& parameter, std::uint64_t maxSize) override;
    std::uint32_t onProgressWithItem(const std::optional<std::string>& item, std::uint32_t progress,
                                     const std::optional<std::string>& parameter, std::uint64_t currentSize,
                                     std::uint64_t maxSize) override;
    std::uint32_t onEndWithItem(const std::optional<std::string>& item, std::uint32_t progress,
                                const std::optional<std::string>& parameter, std::uint32_t result) override;
    void setObject(const std::any& object, std::uint32_t type, const std::optional<std::string>& item,
                   std::uint32_t progress) override;

    std::uint64_t total() const override { return total_; }
    std::uint64_t warnings() const override { return warnings_; }
    std::uint64_t errors() const override { return errors_; }
    const std::shared_ptr<Zentile::ZIPProgressDelegate>& delegate() const { return delegate_; }

private:
    std::uint64_t total_ = 0;
    std::uint64_t warnings_ = 0;
    std::uint64_t errors_ = 0;
    std::shared_ptr<Zentile::ZIPProgressDelegate> delegate_;
};

} // namespace TarvexReader
