#include "FileListView.h"

#include "FileListModel.h"
#include "FileListSort.h"
#include "Formatos.h"

#include <QFontMetrics>
#include <QSortFilterProxyModel>
#include <QHeaderView>
#include <QLocale>
#include <QPainter>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QStyle>
#include <QTreeView>

#include <algorithm>

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
    view.setModel(new FileListSort(model, &view));
    view.setItemDelegate(new GridDelegate(&view));

    QHeaderView* header = view.header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(FileListModel::Nome, QHeaderView::Stretch);
    header->setSectionResizeMode(FileListModel::Tamanho, QHeaderView::Interactive);
    header->setSectionResizeMode(FileListModel::DataHora, QHeaderView::Interactive);
    // 100 and 120 pixels fit the texts in Segoe UI at 8 points; where the font that
    // stands in for it is wider, the columns start as wide as their texts need.
    const QFontMetrics fm(view.font());
    const int margem = 2 * (view.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &view) + 1) + 2;
    const QLocale local;
    const int tamanho = fm.horizontalAdvance(TextoTamanho(99999999999LL, local)) + margem;
    const int data = fm.horizontalAdvance(TextoDataHora(QDateTime(QDate(2000, 12, 28), QTime(20, 48, 58)), local)) + margem;
    header->resizeSection(FileListModel::Tamanho, std::max(100, tamanho));
    header->resizeSection(FileListModel::DataHora, std::max(120, data));
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

int modelRow(const QTreeView& view, const QModelIndex& index)
{
    const auto* ordem = qobject_cast<const QSortFilterProxyModel*>(view.model());
    return ordem ? ordem->mapToSource(index).row() : index.row();
}
