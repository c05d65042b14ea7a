#include "FileListSort.h"

#include "FileListModel.h"

FileListSort::FileListSort(FileListModel& model, QObject* parent) : QSortFilterProxyModel(parent), m_model(model)
{
    setSourceModel(&model);
}

bool FileListSort::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    const int a = left.row();
    const int b = right.row();
    if (const int c = m_model.compare(a, b, left.column()); c != 0)
        return c < 0;
    // A descending sort asks whether right comes before left.
    return sortOrder() == Qt::AscendingOrder ? a < b : a > b;
}
