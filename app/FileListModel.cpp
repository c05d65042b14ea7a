#include "FileListModel.h"

#include "BlockingCall.h"
#include "Formatos.h"
#include "VisibleText.h"

#include <QLocale>

#include <algorithm>
#include <climits>

namespace {

TIdFTPListItem entrada(const FileListModel::Entries& e, qsizetype i)
{
    return e.listing[static_cast<std::size_t>(i)];
}

QString nomeEncurtado(const QString& nome)
{
    qsizetype corte = FileListModel::kShownNameLength;
    if (nome.at(corte - 1).isHighSurrogate())
        --corte;
    return nome.left(corte) + QChar(0x2026);
}

// Sorts rows (indexes into the listing) by one column; column -1 restores the
// order as received. Equal keys keep the received order.
void ordenar(const FileListModel::Entries& e, std::vector<qsizetype>& rows, int column, Qt::SortOrder order)
{
    if (column < 0 || column >= FileListModel::ColumnCount) {
        std::sort(rows.begin(), rows.end());
        return;
    }
    std::sort(rows.begin(), rows.end());
    const bool crescente = order == Qt::AscendingOrder;
    auto porChave = [&](const auto& chave) {
        std::stable_sort(rows.begin(), rows.end(), [&](qsizetype a, qsizetype b) {
            return crescente ? chave[static_cast<std::size_t>(a)] < chave[static_cast<std::size_t>(b)]
                             : chave[static_cast<std::size_t>(b)] < chave[static_cast<std::size_t>(a)];
        });
    };
    const std::size_t n = e.listing.size();
    if (column == FileListModel::Nome) {
        // Folded once, so each comparison is a plain one. A name's first thousand
        // characters decide: a hostile name of megabytes costs no more.
        std::vector<QString> chave(n);
        for (qsizetype i : rows) {
            const QString nome = entrada(e, i).FileName;
            chave[static_cast<std::size_t>(i)] = QStringView(nome).left(1024).toString().toCaseFolded();
        }
        porChave(chave);
    } else if (column == FileListModel::Tamanho) {
        std::vector<std::int64_t> chave(n);
        for (qsizetype i : rows)
            chave[static_cast<std::size_t>(i)] = entrada(e, i).Size;
        porChave(chave);
    } else {
        std::vector<qint64> chave(n, LLONG_MIN);
        for (qsizetype i : rows) {
            const QDateTime quando = entrada(e, i).ModifiedDate;
            if (quando.isValid())
                chave[static_cast<std::size_t>(i)] = quando.toMSecsSinceEpoch();
        }
        porChave(chave);
    }
}

}

FileListModel::FileListModel(QObject* parent) : QAbstractTableModel(parent) {}

FileListModel::~FileListModel() = default;

FileListModel::Contents FileListModel::prepare(FtpListing listing, int sortColumn, Qt::SortOrder order)
{
    auto entries = std::make_shared<Entries>();
    entries->listing = std::move(listing);
    Contents contents;
    const std::size_t n = entries->listing.size();
    contents.rows.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const QString nome = entries->listing[i].FileName;
        if (nome == QLatin1String(".") || nome == QLatin1String(".."))
            continue;
        if (nome.size() > kShownNameLength)
            entries->shortNames.insert(static_cast<qsizetype>(i), nomeEncurtado(nome));
        contents.rows.push_back(static_cast<qsizetype>(i));
    }
    if (sortColumn >= 0)
        ordenar(*entries, contents.rows, sortColumn, order);
    contents.entries = std::move(entries);
    return contents;
}

void FileListModel::setContents(Contents contents)
{
    beginResetModel();
    m_entries = std::move(contents.entries);
    m_rows = std::move(contents.rows);
    ++m_version;
    endResetModel();
}

void FileListModel::setListing(FtpListing listing)
{
    setContents(prepare(std::move(listing), m_sortColumn, m_sortOrder));
}

FtpListing FileListModel::takeListing()
{
    const Contents antigo = takeContents();
    return antigo.entries ? antigo.entries->listing : FtpListing();
}

FileListModel::Contents FileListModel::takeContents()
{
    Contents antigo;
    beginResetModel();
    antigo.entries = std::exchange(m_entries, nullptr);
    antigo.rows = std::exchange(m_rows, {});
    ++m_version;
    endResetModel();
    return antigo;
}

QString FileListModel::fileName(int row) const
{
    if (row < 0 || static_cast<std::size_t>(row) >= m_rows.size())
        return {};
    return entrada(*m_entries, m_rows[static_cast<std::size_t>(row)]).FileName;
}

RemoteName FileListModel::remoteName(int row) const
{
    if (row < 0 || static_cast<std::size_t>(row) >= m_rows.size())
        return {};
    return entrada(*m_entries, m_rows[static_cast<std::size_t>(row)]);
}

bool FileListModel::isFolder(int row) const
{
    if (row < 0 || static_cast<std::size_t>(row) >= m_rows.size())
        return false;
    return entrada(*m_entries, m_rows[static_cast<std::size_t>(row)]).IsDirectory;
}

void FileListModel::removeFileRow(int row)
{
    if (row < 0 || static_cast<std::size_t>(row) >= m_rows.size())
        return;
    beginRemoveRows({}, row, row);
    m_rows.erase(m_rows.begin() + row);
    ++m_version;
    endRemoveRows();
}

int FileListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int FileListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || static_cast<std::size_t>(index.row()) >= m_rows.size())
        return {};
    const qsizetype i = m_rows[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole: {
        if (index.column() == Nome) {
            // A name may hold control characters or reordering marks: painted as
            // escapes, "fatura\u202Etxt.exe" cannot pass for a text file.
            const auto curto = m_entries->shortNames.constFind(i);
            if (curto != m_entries->shortNames.cend())
                return visibleText(*curto);
            return visibleText(entrada(*m_entries, i).FileName);
        }
        const TIdFTPListItem e = entrada(*m_entries, i);
        const QLocale local;
        return index.column() == Tamanho ? TextoTamanho(e.Size, local) : TextoDataHora(e.ModifiedDate, local);
    }
    case FullNameRole:
        return entrada(*m_entries, i).FileName;
    case Qt::TextAlignmentRole:
        return headerData(index.column(), Qt::Horizontal, role);
    default:
        return {};
    }
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::DisplayRole) {
        switch (section) {
        case Nome: return QStringLiteral("Nome");
        case Tamanho: return QStringLiteral("Tamanho");
        case DataHora: return QStringLiteral("Data/Hora");
        default: return {};
        }
    }
    if (role == Qt::TextAlignmentRole) {
        switch (section) {
        case Tamanho: return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
        case DataHora: return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
        default: return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
        }
    }
    return {};
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void FileListModel::sort(int column, Qt::SortOrder order)
{
    m_sortColumn = column;
    m_sortOrder = order;
    if (!m_entries || m_rows.empty())
        return;
    const quint64 pedido = ++m_sortRequest;
    const quint64 versao = m_version;
    std::shared_ptr<const Entries> entries = m_entries;
    std::vector<qsizetype> rows = m_rows;
    // Sorting 100,000 names takes longer than a frame: the window keeps painting.
    executarBloqueante([&] { ordenar(*entries, rows, column, order); });
    // Overtaken by a newer sort, new contents or a removed row while it ran.
    if (pedido != m_sortRequest || versao != m_version)
        return;

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> novaLinha(m_entries->listing.size(), -1);
    for (std::size_t r = 0; r < rows.size(); ++r)
        novaLinha[static_cast<std::size_t>(rows[r])] = static_cast<int>(r);
    const QModelIndexList antes = persistentIndexList();
    QModelIndexList depois;
    depois.reserve(antes.size());
    for (const QModelIndex& idx : antes)
        depois << index(novaLinha[static_cast<std::size_t>(m_rows[static_cast<std::size_t>(idx.row())])], idx.column());
    m_rows = std::move(rows);
    changePersistentIndexList(antes, depois);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
