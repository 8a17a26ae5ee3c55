// The framework's sign-in sequence as one future: server, sign-in, first synchronization. The work
// runs at once on the calling thread (a worker, never the main thread: the framework may need the
// main thread for an MFA question meanwhile), so the future is settled when `signIn` returns.
#pragma once

#include <memory>

#include <QFuture>

#include "TarvexReader/Credentials/credential.h"
#include "Vorlane/vorlane_facade.h"

namespace TarvexReader {

class PromisingVorlaneFacade {
public:
    explicit PromisingVorlaneFacade(std::shared_ptr<VorlaneBridge::VorlaneFacade> vorlane);

    // Sets the credential's server when it has one (without one the facade keeps its server), signs in
    // with the typed password as both the directory and the system password, MFA off, then synchronizes.
    // Rejected with `AccountFailure` holding the framework's error of the step that failed.
    QFuture<void> signIn(const Credential& credential);

    const std::shared_ptr<VorlaneBridge::VorlaneFacade>& vorlane() const { return vorlane_; }

private:
    std::shared_ptr<VorlaneBridge::VorlaneFacade> vorlane_;
};

} // namespace TarvexReader
