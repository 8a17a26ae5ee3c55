#include "TarvexReader/Accounts/account_information_controller.h"

#include <utility>

namespace TarvexReader {

AccountInformationController::AccountInformationController(std::shared_ptr<VorlaneBridge::VorlaneFacade> vorlane)
    : vorlane_(std::move(vorlane)) {}

void AccountInformationController::showAccountInformation(QWidget* /*window*/) {}

} // namespace TarvexReader
