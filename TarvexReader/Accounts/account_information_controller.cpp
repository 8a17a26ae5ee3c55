#include "TarvexReader/Accounts/account_information_controller.h"

#include <utility>

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
        if (accountWindowController_) {
            return;
        }
        auto* sheet = new AccountWindowController(window);
        accountWindowController_ = sheet;
        sheet->name = presentText(vorlane_->name());
        sheet->email = presentText(vorlane_->email());
        sheet->server = presentText(vorlane_->host());
        sheet->windowDidLoad();
        QObject::connect(sheet, &QDialog::finished, sheet, [sheet] { sheet->deleteLater(); });
        sheet->open();
        return;
    }
    if (emailVerificationWindowController_) {
        return;
    }
    auto* sheet = new VerifyEmailWindowController(window);
    emailVerificationWindowController_ = sheet;
    sheet->vorlane = vorlane_;
    sheet->windowDidLoad();
    QObject::connect(sheet, &QDialog::finished, sheet, [sheet] { sheet->deleteLater(); });
    sheet->open();
}

} // namespace TarvexReader
