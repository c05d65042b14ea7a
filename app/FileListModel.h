#pragma once
// The client folder's entries as the list shows them: name, size and date, one
// row per entry in the order the server sent them until the user sorts by a
// column. The model keeps the listing as received and makes each cell's text
// only when the view asks for it, so a folder of 100,000 entries costs what is on
// screen. Everything that touches every entry (copying, finding the rows, sorting)
// runs off the GUI thread.
#include "FtpSession.h"

#include <QAbstractTableModel>
#include <QHash>

#include <atomic>
#include <memory>
#include <vector>

class FileListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { Nome, Tamanho, DataHora, ColumnCount };
    // The name exactly as the server gave it; the display text of a very long name
    // is cut short, since a hostile server may send a name of any size.
    static constexpr int FullNameRole = Qt::UserRole;
    static constexpr qsizetype kShownNameLength = 300;

    struct Entries {
        FtpListing listing;
        QHash<qsizetype, QString> shortNames; // display texts of the names too long to show whole
    };
    // A listing made ready to be shown.
    struct Contents {
        std::shared_ptr<const Entries> entries;
        std::vector<qsizetype> rows; // the listing's index of each row, "." and ".." left out
    };
    // Builds the contents of a listing, sorted as given (column -1: as received).
    // Touches every entry: call it off the GUI thread.
    static Contents prepare(FtpListing listing, int sortColumn, Qt::SortOrder order);

    explicit FileListModel(QObject* parent = nullptr);
    ~FileListModel() override;

    void setContents(Contents contents);
    // A listing to show, sorted as the list is.
    void setListing(FtpListing listing);
    // Empties the model and hands back the listing it showed.
    FtpListing takeListing();
    // Empties the model and hands back what it held, so that it can be released
    // where freeing 100,000 names does not hold up the window.
    Contents takeContents();

    int sortColumn() const { return m_sortColumn; }
    Qt::SortOrder sortOrder() const { return m_sortOrder; }
    // The remote name of a row as shown, whole.
    QString fileName(int row) const;
    // The remote name of a row as the server knows it: what commands about it send.
    RemoteName remoteName(int row) const;
    // Whether a row is a folder of the client folder, which cannot be downloaded.
    bool isFolder(int row) const;
    void removeFileRow(int row);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

private:
    std::shared_ptr<const Entries> m_entries;
    std::vector<qsizetype> m_rows;
    // Read by the session's thread too, which sorts a new listing as the list is sorted.
    std::atomic<int> m_sortColumn{-1};
    std::atomic<Qt::SortOrder> m_sortOrder{Qt::AscendingOrder};
    // Changes with every new content and every removed row: a sort that finishes
    // after either has nothing left to apply to.
    quint64 m_version = 0;
    quint64 m_sortRequest = 0;
};
