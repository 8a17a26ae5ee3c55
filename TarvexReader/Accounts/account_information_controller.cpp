#include "TarvexReader/Accounts/account_information_controller.h"

#include <utility>

#include "TarvexReader/QtPlatform/held_dialog.h"

namespace TarvexReader {

namespace {
std::optional<std::string> presentText(std::string text) {
    if (text.empty()) {
        return std::nullopt;
    }
    return text;
}
} // namespace

AccountInformationController::AccountInformationController(std::shared_ptr<VorlaneBridge::VorlaneFacade> vorlane)
    : vorlane_(std::move(vorlane)) {}

void AccountInformationController::showAccountInformation(QWidget* window) {
    if (vorlane_->userIsVerified()) {
        if (shown_->accountWindowController) {
            return;
        }
        auto* sheet = new AccountWindowController(window);
        shown_->accountWindowController = sheet;
        sheet->name = presentText(vorlane_->name());
        sheet->email = presentText(vorlane_->email());
        sheet->server = presentText(vorlane_->host());
        sheet->windowDidLoad();
        openHeldDialog(sheet, std::weak_ptr<Shown>(shown_), &Shown::accountWindowController);
        return;
    }
    if (shown_->emailVerificationWindowController) {
        return;
    }
    auto* sheet = new VerifyEmailWindowController(window);
    shown_->emailVerificationWindowController = sheet;
    sheet->vorlane = vorlane_;
    sheet->windowDidLoad();
    openHeldDialog(sheet, std::weak_ptr<Shown>(shown_), &Shown::emailVerificationWindowController);
}

} // namespace TarvexReader
