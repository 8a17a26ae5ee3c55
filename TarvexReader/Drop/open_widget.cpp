#include "TarvexReader/Drop/open_widget.h"

#include <QFileDialog>
#include <QWidget>

namespace TarvexReader {

OpenWidget::OpenWidget(OpenWidgetProtocol* delegate)
    : delegateObject_(dynamic_cast<QObject*>(delegate)), delegate_(delegate) {}

void OpenWidget::showOpenPanel(QWidget* window) {
    auto* panel = new QFileDialog(window);
    panel->setObjectName(QStringLiteral("OpenPanel"));
    panel->setOption(QFileDialog::DontUseNativeDialog);
    panel->setFileMode(QFileDialog::ExistingFile);
    panel->setAcceptMode(QFileDialog::AcceptOpen);
    panel->setLabelText(QFileDialog::Accept, QStringLiteral("Extract"));
    panel->setMimeTypeFilters({QStringLiteral("application/zip")});
    panel->setWindowModality(Qt::WindowModal);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<OpenWidget> self(this);
    connect(panel, &QFileDialog::finished, panel, [self, panel](int result) {
        if (result != QDialog::Accepted || !self || !self->delegateObject_) {
            return;
        }
        self->delegate_->didChooseURLs(panel->selectedUrls());
    });
    panel->open();
}

} // namespace TarvexReader
