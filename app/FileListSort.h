#pragma once
// The file list's order: as received until the user clicks a header, then by that
// column, rows of equal keys in the order received whichever way the column goes;
// a third click goes back to the order as received. A proxy in front of the model:
// it sorts where the click is handled, with the model's own keys (a name folded
// once per listing), and a new listing comes in the order the user chose.
#include <QSortFilterProxyModel>

class FileListModel;

class FileListSort : public QSortFilterProxyModel {
    Q_OBJECT

public:
    FileListSort(FileListModel& model, QObject* parent);

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    FileListModel& m_model;
};
