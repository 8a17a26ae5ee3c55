// The main window: the drop zone, the description with its link and the button that opens the open
// dialog. Dropped and chosen archives go, one by one, to the items processor.
#pragma once

#include <memory>

#include <QMainWindow>

#include "TarvexReader/Drop/customizable_dragging_destination_view.h"
#include "TarvexReader/Drop/drag_interfaces.h"
#include "TarvexReader/Drop/open_widget.h"
#include "TarvexReader/Pipeline/items_processor.h"

class QPushButton;
class QTextBrowser;

namespace TarvexReader {

class MainWindowController : public QMainWindow, public DragProcessor, public OpenWidgetProtocol {
    Q_OBJECT
public:
    // The product's information page, the target of the description's link.
    static constexpr char kProductInformationAddress[] = "https://www.tarvex.example/reader/";
    // The description's text, line by line.
    static const QStringList& descriptionLines();

    explicit MainWindowController(QWidget* parent = nullptr);

    void setItemsProcessor(std::shared_ptr<ItemsProcessor> processor) { itemsProcessor_ = std::move(processor); }
    const std::shared_ptr<ItemsProcessor>& itemsProcessor() const { return itemsProcessor_; }

    // Builds the window's contents: the drop zone with its receiver, the description and the button.
    void windowDidLoad();

    void processDroppedURLs(const QList<QUrl>& urls) override;
    void didChooseURLs(const QList<QUrl>& urls) override;

    CustomizableDraggingDestinationView* dropView = nullptr;
    QTextBrowser* txtDescription = nullptr;
    QPushButton* btnSelectArchives = nullptr;

public slots:
    void onSelectArchives();

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    std::shared_ptr<ItemsProcessor> itemsProcessor_;
    std::unique_ptr<OpenWidget> openWidget_;
};

} // namespace TarvexReader
