// Why a sign-in or an account creation failed: an e-mail entry without an e-mail part, or the
// framework's error. `AccountFailure` carries it as the rejection of the flows' futures.
#pragma once

#include <exception>
#include <variant>

#include <QException>

#include "Platform/error.h"
#include "TarvexReader/Accounts/email_splitter.h"

namespace TarvexReader {

using SignInFailure = std::variant<EmailSplitterError, Platform::Error>;

class AccountFailure : public QException {
public:
    explicit AccountFailure(SignInFailure why) : failure(std::move(why)) {}
    void raise() const override { throw *this; }
    AccountFailure* clone() const override { return new AccountFailure(*this); }

    SignInFailure failure;
};

} // namespace TarvexReader
