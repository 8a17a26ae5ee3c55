// Shows the signed-in account (or the e-mail verification) as a dialog on a window; reached from the
// menu's account action.
#pragma once

#include <memory>

#include "Vorlane/vorlane_facade.h"

class QWidget;

namespace TarvexReader {

class AccountInformationController {
public:
    explicit AccountInformationController(std::shared_ptr<VorlaneBridge::VorlaneFacade> vorlane);

    // So far shows nothing.
    void showAccountInformation(QWidget* window);

    const std::shared_ptr<VorlaneBridge::VorlaneFacade>& vorlane() const { return vorlane_; }

private:
    std::shared_ptr<VorlaneBridge::VorlaneFacade> vorlane_;
};

} // namespace TarvexReader
