#pragma once
// The client folder's entries as the list shows them: name, size and date, one
// row per entry in the order the server sent them. The model keeps the listing as
// received and makes each cell's text only when the view asks for it, so a folder
// of 100,000 entries costs what is on screen. The order the user picks with a
// header is FileListSort's, a proxy in front of this model: the rows here never move.
#include "FtpSession.h"

#include <QAbstractTableModel>

#include <vector>

class FileListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { Nome, Tamanho, DataHora, ColumnCount };
    // The name exactly as the server gave it; the display text of a very long name
    // is cut short, since a hostile server may send a name of any size.
    static constexpr int FullNameRole = Qt::UserRole;
    static constexpr qsizetype kShownNameLength = 300;

    explicit FileListModel(QObject* parent = nullptr);
    ~FileListModel() override;

    // A listing to show, in the order received, "." and ".." left out.
    void setListing(FtpListing listing);
    // Empties the model and hands back the listing it showed, so that it can be
    // released where freeing 100,000 names does not hold up the window.
    FtpListing takeListing();

    // The remote name of a row as shown, whole.
    QString fileName(int row) const;
    // The remote name of a row as the server knows it: what commands about it send.
    RemoteName remoteName(int row) const;
    // Whether a row is a folder of the client folder, which cannot be downloaded.
    bool isFolder(int row) const;
    void removeFileRow(int row);
    // How two rows compare by a column: below zero when rowA comes first, zero for
    // equal keys. A name's first thousand characters decide, without regard to case.
    int compare(int rowA, int rowB, int column) const;

    // Without the checks of the base's: a sort asks for two indexes at every comparison.
    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    std::size_t entry(int row) const { return static_cast<std::size_t>(m_rows[static_cast<std::size_t>(row)]); }
    bool validRow(int row) const { return row >= 0 && static_cast<std::size_t>(row) < m_rows.size(); }

    FtpListing m_listing;
    std::vector<qsizetype> m_rows; // the listing's index of each row
    // Where each entry's name comes in the order of names, made on the first sort by
    // name of a listing; equal names have equal ranks.
    void rankNames() const;
    mutable std::vector<int> m_nameRanks;
};
