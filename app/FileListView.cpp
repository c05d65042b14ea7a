#include "FileListView.h"

#include "FileListModel.h"

#include <QHeaderView>
#include <QPainter>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QTreeView>

namespace {

// Grid lines drawn over the platform's own painting of the cell, so the selected
// row keeps the highlight the platform gives it.
class GridDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        painter->save();
        painter->setPen(option.palette.color(QPalette::Midlight));
        painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
        painter->drawLine(option.rect.topRight(), option.rect.bottomRight());
        painter->restore();
    }
};

}

void setUpFileList(QTreeView& view, FileListModel& model, FileListActions actions)
{
    view.setModel(&model);
    view.setItemDelegate(new GridDelegate(&view));

    QHeaderView* header = view.header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(FileListModel::Nome, QHeaderView::Stretch);
    header->setSectionResizeMode(FileListModel::Tamanho, QHeaderView::Interactive);
    header->setSectionResizeMode(FileListModel::DataHora, QHeaderView::Interactive);
    header->resizeSection(FileListModel::Tamanho, 100);
    header->resizeSection(FileListModel::DataHora, 120);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    // No column is sorted until the user clicks one; a third click goes back to the
    // order as received.
    header->setSortIndicatorClearable(true);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    view.setSortingEnabled(true);

    QObject::connect(&view, &QAbstractItemView::doubleClicked, &view, [open = std::move(actions.open)](const QModelIndex& index) {
        if (index.isValid())
            open();
    });
    auto* excluir = new QShortcut(QKeySequence::Delete, &view, nullptr, nullptr, Qt::WidgetShortcut);
    QObject::connect(excluir, &QShortcut::activated, &view, std::move(actions.remove));
}
