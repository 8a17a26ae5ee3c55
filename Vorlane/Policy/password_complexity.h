// The password rules of the organisation's archive policy: VLPasswordComplexity is the read-only rule
// set a password is checked against (see password_complexity_rules.h); PasswordComplexity the one the
// policy model builds. A position member holds a VLPasswordPosition value.
#pragma once

#include <cstdint>

namespace VorlaneBridge {

class VLPasswordComplexity {
public:
    virtual ~VLPasswordComplexity() = default;
    virtual bool enforceComplexityRules() const = 0;
    virtual uint64_t minLength() const = 0;
    virtual uint64_t maxLength() const = 0;
    virtual uint64_t maxRepeats() const = 0;
    virtual uint64_t minLowercase() const = 0;
    virtual uint64_t prohibitedLowercasePosition() const = 0;
    virtual uint64_t minUppercase() const = 0;
    virtual uint64_t prohibitedUppercasePosition() const = 0;
    virtual uint64_t minDigits() const = 0;
    virtual uint64_t prohibitedDigitsPosition() const = 0;
    virtual uint64_t minSymbols() const = 0;
    virtual uint64_t prohibitedSymbolsPosition() const = 0;
};

// Every member zero (and enforcement off) until set.
class PasswordComplexity : public VLPasswordComplexity {
public:
    bool enforceComplexityRules() const override { return enforce_; }
    uint64_t minLength() const override { return minLength_; }
    uint64_t maxLength() const override { return maxLength_; }
    uint64_t maxRepeats() const override { return maxRepeats_; }
    uint64_t minLowercase() const override { return minLowercase_; }
    uint64_t prohibitedLowercasePosition() const override { return lowercasePosition_; }
    uint64_t minUppercase() const override { return minUppercase_; }
    uint64_t prohibitedUppercasePosition() const override { return uppercasePosition_; }
    uint64_t minDigits() const override { return minDigits_; }
    uint64_t prohibitedDigitsPosition() const override { return digitsPosition_; }
    uint64_t minSymbols() const override { return minSymbols_; }
    uint64_t prohibitedSymbolsPosition() const override { return symbolsPosition_; }

    void setEnforceComplexityRules(bool value) { enforce_ = value; }
    void setMinLength(uint64_t value) { minLength_ = value; }
    void setMaxLength(uint64_t value) { maxLength_ = value; }
    void setMaxRepeats(uint64_t value) { maxRepeats_ = value; }
    void setMinLowercase(uint64_t value) { minLowercase_ = value; }
    void setProhibitedLowercasePosition(uint64_t value) { lowercasePosition_ = value; }
    void setMinUppercase(uint64_t value) { minUppercase_ = value; }
    void setProhibitedUppercasePosition(uint64_t value) { uppercasePosition_ = value; }
    void setMinDigits(uint64_t value) { minDigits_ = value; }
    void setProhibitedDigitsPosition(uint64_t value) { digitsPosition_ = value; }
    void setMinSymbols(uint64_t value) { minSymbols_ = value; }
    void setProhibitedSymbolsPosition(uint64_t value) { symbolsPosition_ = value; }

private:
    bool enforce_ = false;
    uint64_t minLength_ = 0, maxLength_ = 0, maxRepeats_ = 0;
    uint64_t minLowercase_ = 0, lowercasePosition_ = 0, minUppercase_ = 0, uppercasePosition_ = 0;
    uint64_t minDigits_ = 0, digitsPosition_ = 0, minSymbols_ = 0, symbolsPosition_ = 0;
};

} // namespace VorlaneBridge
