// A dialog that one owner holds while it is up: opened window-modal, and when it finishes, let go by
// its owner and deleted. The owner may be gone by then.
#pragma once

#include <memory>

#include <QDialog>
#include <QPointer>

namespace TarvexReader {

// Opens `dialog`, which the caller has put in `owner`'s `slot`. When it finishes, the slot is emptied
// if the owner still lives and still holds this dialog, and the dialog is deleted. Main thread only.
template <typename Dialog, typename Owner>
void openHeldDialog(Dialog* dialog, std::weak_ptr<Owner> owner, QPointer<Dialog> Owner::*slot) {
    QObject::connect(dialog, &QDialog::finished, dialog, [owner = std::move(owner), dialog, slot] {
        if (auto held = owner.lock(); held && (*held).*slot == dialog) {
            ((*held).*slot).clear();
        }
        dialog->deleteLater();
    });
    dialog->open();
}

} // namespace TarvexReader
