#include "FileListModel.h"

#include "Formatos.h"
#include "VisibleText.h"

#include <QLocale>

#include <algorithm>

namespace {

// A name as the list shows it: cut short after kShownNameLength characters.
QString nomeExibido(const QString& nome)
{
    if (nome.size() <= FileListModel::kShownNameLength)
        return nome;
    qsizetype corte = FileListModel::kShownNameLength;
    if (nome.at(corte - 1).isHighSurrogate())
        --corte;
    return nome.left(corte) + QChar(0x2026);
}

template <typename T>
int comparar(const T& a, const T& b)
{
    return a < b ? -1 : b < a ? 1 : 0;
}

}

FileListModel::FileListModel(QObject* parent) : QAbstractTableModel(parent) {}

FileListModel::~FileListModel() = default;

void FileListModel::setListing(FtpListing listing)
{
    beginResetModel();
    m_listing = std::move(listing);
    m_nameRanks.clear();
    m_rows.clear();
    const std::size_t n = m_listing.size();
    m_rows.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const QByteArrayView nome = m_listing.rawName(i);
        if (nome != QByteArrayView(".") && nome != QByteArrayView(".."))
            m_rows.push_back(static_cast<qsizetype>(i));
    }
    endResetModel();
}

FtpListing FileListModel::takeListing()
{
    beginResetModel();
    FtpListing antigo = std::exchange(m_listing, {});
    m_rows = {};
    m_nameRanks = {};
    endResetModel();
    return antigo;
}

QString FileListModel::fileName(int row) const
{
    return validRow(row) ? m_listing.fileName(entry(row)) : QString();
}

RemoteName FileListModel::remoteName(int row) const
{
    return validRow(row) ? RemoteName::fromBytes(m_listing.rawName(entry(row)).toByteArray()) : RemoteName();
}

bool FileListModel::isFolder(int row) const
{
    return validRow(row) && m_listing.isDirectory(entry(row));
}

void FileListModel::removeFileRow(int row)
{
    if (!validRow(row))
        return;
    beginRemoveRows({}, row, row);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
}

int FileListModel::compare(int rowA, int rowB, int column) const
{
    const std::size_t a = entry(rowA);
    const std::size_t b = entry(rowB);
    switch (column) {
    case Nome:
        if (m_nameRanks.empty())
            rankNames();
        return comparar(m_nameRanks[a], m_nameRanks[b]);
    case Tamanho:
        return comparar(m_listing.fileSize(a), m_listing.fileSize(b));
    case DataHora:
        return comparar(m_listing.modifiedKey(a), m_listing.modifiedKey(b));
    default:
        return 0;
    }
}

QModelIndex FileListModel::index(int row, int column, const QModelIndex& parent) const
{
    if (parent.isValid() || !validRow(row) || column < 0 || column >= ColumnCount)
        return {};
    return createIndex(row, column);
}

void FileListModel::rankNames() const
{
    // Folded once, and ranked once: each comparison of a sort is then one of two
    // numbers. A name's first thousand characters decide: a hostile name of
    // megabytes costs no more.
    std::vector<QString> chaves(m_listing.size());
    for (const qsizetype i : m_rows)
        chaves[static_cast<std::size_t>(i)] = QStringView(m_listing.fileName(static_cast<std::size_t>(i))).left(1024).toString().toCaseFolded();
    std::vector<qsizetype> ordem = m_rows;
    std::sort(ordem.begin(), ordem.end(), [&chaves](qsizetype x, qsizetype y) {
        return chaves[static_cast<std::size_t>(x)] < chaves[static_cast<std::size_t>(y)];
    });
    m_nameRanks.assign(m_listing.size(), 0);
    int posto = 0;
    for (std::size_t k = 0; k < ordem.size(); ++k) {
        if (k > 0 && chaves[static_cast<std::size_t>(ordem[k - 1])] < chaves[static_cast<std::size_t>(ordem[k])])
            ++posto;
        m_nameRanks[static_cast<std::size_t>(ordem[k])] = posto;
    }
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
    if (!index.isValid() || !validRow(index.row()))
        return {};
    const std::size_t i = entry(index.row());
    switch (role) {
    case Qt::DisplayRole: {
        const QLocale local;
        switch (index.column()) {
        case Nome:
            // A name may hold control characters or reordering marks: painted as
            // escapes, "fatura\u202Etxt.exe" cannot pass for a text file.
            return visibleText(nomeExibido(m_listing.fileName(i)));
        case Tamanho:
            return TextoTamanho(m_listing.fileSize(i), local);
        default:
            return TextoDataHora(m_listing.modifiedDate(i), local);
        }
    }
    case FullNameRole:
        return m_listing.fileName(i);
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
