#include "SqlConnection.h"

#include "Cp1252.h"
#include "Exception.h"
#include "ExePath.h"
#include "FbClient.h"

#include <atomic>
#include <cstring>

namespace {

std::atomic<int> g_defaultConnectTimeout{12};

bool sameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

bool isTrue(const QString& value) { return sameName(value.trimmed(), QStringLiteral("True")); }

bool isUtf8Charset(const QString& charset)
{
    return sameName(charset, QStringLiteral("UTF8")) || sameName(charset, QStringLiteral("UNICODE_FSS"));
}

// Text travels in the connection's character set both ways.
QString decodeText(const QString& charset, const char* data, qsizetype size)
{
    return isUtf8Charset(charset) ? QString::fromUtf8(data, size) : cp1252::decode(data, size);
}

QByteArray encodeText(const QString& charset, const QString& text)
{
    return isUtf8Charset(charset) ? text.toUtf8() : cp1252::encode(text);
}

// An exact numeric column of any width: its value and its decimal scale.
template <typename Inteiro>
void lerInteiro(TSQLValue& value, const XSQLVAR& var, Inteiro)
{
    value.kind = TSQLValue::Kind::Integer;
    Inteiro n = 0;
    std::memcpy(&n, var.sqldata, sizeof n);
    value.integer = n;
    value.scale = var.sqlscale;
}

int dialectOf(const TSQLParams& params)
{
    bool ok = false;
    const int dialect = params.Value(QStringLiteral("SQLDialect")).toInt(&ok);
    return ok ? dialect : SQL_DIALECT_V6;
}

class ParameterBlock {
public:
    explicit ParameterBlock(char version) { m_bytes.append(version); }
    void addFlag(char tag)
    {
        m_bytes.append(tag);
        m_bytes.append('\0');
    }
    void addString(char tag, const QByteArray& value)
    {
        if (value.size() > 255)
            throw Exception(QStringLiteral("Connection parameter too long"));
        m_bytes.append(tag);
        m_bytes.append(static_cast<char>(value.size()));
        m_bytes.append(value);
    }
    // Numbers in a parameter block are little-endian whatever the platform.
    void addInt(char tag, quint32 value)
    {
        m_bytes.append(tag);
        m_bytes.append('\4');
        for (int i = 0; i < 4; ++i)
            m_bytes.append(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
    const QByteArray& bytes() const { return m_bytes; }

private:
    QByteArray m_bytes;
};

// Output descriptor with room for n columns.
class Sqlda {
public:
    explicit Sqlda(short n) : m_storage(XSQLDA_LENGTH(n), 0)
    {
        get()->version = SQLDA_VERSION1;
        get()->sqln = n;
    }
    XSQLDA* get() { return reinterpret_cast<XSQLDA*>(m_storage.data()); }

private:
    std::vector<char> m_storage;
};

}

// ---------------------------------------------------------------------------

void TSQLParams::SetValue(const QString& name, const QString& value)
{
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        if (sameName(it->first, name)) {
            if (value.isEmpty())
                m_entries.erase(it);
            else
                it->second = value;
            return;
        }
    }
    if (!value.isEmpty())
        m_entries.emplace_back(name, value);
}

QString TSQLParams::Value(const QString& name) const
{
    for (const auto& [n, v] : m_entries) {
        if (sameName(n, name))
            return v;
    }
    return {};
}

bool TSQLParams::Contains(const QString& name) const
{
    for (const auto& entry : m_entries) {
        if (sameName(entry.first, name))
            return true;
    }
    return false;
}

QStringList TSQLParams::Lines() const
{
    QStringList lines;
    for (const auto& [n, v] : m_entries)
        lines << n + QLatin1Char('=') + v;
    return lines;
}

// ---------------------------------------------------------------------------

struct TSQLConnection::Attachment {
    const fbclient::Api* api = nullptr;
    isc_db_handle db = 0;
};

TSQLConnection::TSQLConnection() : m_connectTimeout(g_defaultConnectTimeout.load()) {}

TSQLConnection::~TSQLConnection() { Close(); }

void TSQLConnection::SetDefaultConnectTimeout(int seconds) { g_defaultConnectTimeout.store(seconds); }

int TSQLConnection::DefaultConnectTimeout() { return g_defaultConnectTimeout.load(); }

void TSQLConnection::SetDriverName(const QString& name)
{
    m_driverName = name;
    m_params.Clear();
    if (sameName(name, QStringLiteral("Firebird"))) {
        // Read-committed, waiting on locks, dialect 3, and fixed-length text as
        // stored: CHAR(n) values keep their trailing blanks.
        m_params.SetValue(QStringLiteral("DriverName"), QStringLiteral("Firebird"));
        m_params.SetValue(QStringLiteral("SQLDialect"), QStringLiteral("3"));
        m_params.SetValue(QStringLiteral("IsolationLevel"), QStringLiteral("ReadCommitted"));
        m_params.SetValue(QStringLiteral("WaitOnLocks"), QStringLiteral("True"));
        m_params.SetValue(QStringLiteral("CommitRetain"), QStringLiteral("False"));
        m_params.SetValue(QStringLiteral("TrimChar"), QStringLiteral("False"));
    }
}

bool TSQLConnection::Connected() const { return m_attachment != nullptr; }

void TSQLConnection::Open()
{
    if (m_attachment)
        return;
    if (!sameName(m_driverName, QStringLiteral("Firebird")))
        throw Exception(QStringLiteral("Unknown driver: %1").arg(m_driverName));

    const fbclient::Api& api =
        m_vendorLib.isEmpty() ? fbclient::load({fbclient::libraryFileName()}) : *fbclient::carregar(m_vendorLib).api;

    const QString charset = m_params.Value(QStringLiteral("ServerCharset"));
    const int dialect = dialectOf(m_params);

    // Declared UTF-8, the file name and the login reach the server intact instead of
    // going through whatever code page the workstation happens to use.
    ParameterBlock dpb(isc_dpb_version1);
    dpb.addFlag(isc_dpb_utf8_filename);
    const QString user = m_params.Value(QStringLiteral("User_Name"));
    const QString password = m_params.Value(QStringLiteral("Password"));
    if (!user.isEmpty())
        dpb.addString(isc_dpb_user_name, user.toUtf8());
    if (!password.isEmpty())
        dpb.addString(isc_dpb_password, password.toUtf8());
    if (!charset.isEmpty())
        dpb.addString(isc_dpb_lc_ctype, charset.toUtf8());
    dpb.addInt(isc_dpb_sql_dialect, static_cast<quint32>(dialect));
    // Without it an unreachable host holds the caller for the operating system's
    // TCP connect time-out, minutes on some systems.
    if (m_connectTimeout > 0)
        dpb.addInt(isc_dpb_connect_timeout, static_cast<quint32>(m_connectTimeout));

    const QByteArray database = m_params.Value(QStringLiteral("Database")).toUtf8();
    if (database.size() > 0x7FFF)
        throw Exception(QStringLiteral("Database name too long"));

    ISC_STATUS_ARRAY status{};
    isc_db_handle db = 0;
    if (api.attach_database(status, static_cast<short>(database.size()), database.constData(), &db,
                            static_cast<short>(dpb.bytes().size()), dpb.bytes().constData()))
        throw Exception(fbclient::statusMessage(api, status));

    m_attachment = std::make_unique<Attachment>();
    m_attachment->api = &api;
    m_attachment->db = db;
}

void TSQLConnection::Close()
{
    if (!m_attachment)
        return;
    ISC_STATUS_ARRAY status{};
    m_attachment->api->detach_database(status, &m_attachment->db);
    m_attachment.reset();
}

namespace {

// Reading only, so a read-only transaction that sees committed rows; whether it
// waits for locks follows the driver setting.
QByteArray readOnlyTransaction(const TSQLParams& params)
{
    QByteArray tpb;
    tpb.append(static_cast<char>(isc_tpb_version3));
    tpb.append(static_cast<char>(isc_tpb_read));
    const QString isolation = params.Value(QStringLiteral("IsolationLevel"));
    if (sameName(isolation, QStringLiteral("RepeatableRead")) || sameName(isolation, QStringLiteral("SnapShot"))) {
        tpb.append(static_cast<char>(isc_tpb_concurrency));
    } else {
        tpb.append(static_cast<char>(isc_tpb_read_committed));
        tpb.append(static_cast<char>(isc_tpb_rec_version));
    }
    const QString waitOnLocks = params.Value(QStringLiteral("WaitOnLocks"));
    tpb.append(static_cast<char>(waitOnLocks.isEmpty() || isTrue(waitOnLocks) ? isc_tpb_wait : isc_tpb_nowait));
    return tpb;
}

// Where the fetch puts a row: a buffer and a null indicator per column.
struct RowBuffers {
    std::vector<std::vector<char>> data;
    std::vector<ISC_SHORT> indicators;
};

// Points each output column at a buffer of its own; returns the columns' names.
QStringList bindColumns(XSQLDA* da, RowBuffers& row, const QString& charset)
{
    const auto columns = static_cast<std::size_t>(da->sqld);
    row.data.assign(columns, {});
    row.indicators.assign(columns, 0);
    QStringList names;
    for (std::size_t i = 0; i < columns; ++i) {
        XSQLVAR& var = da->sqlvar[i];
        names << decodeText(charset, var.aliasname, var.aliasname_length);
        const short nullable = var.sqltype & 1;
        switch (var.sqltype & ~1) {
        case SQL_TEXT:
            row.data[i].resize(static_cast<std::size_t>(var.sqllen));
            break;
        case SQL_VARYING:
            row.data[i].resize(static_cast<std::size_t>(var.sqllen) + 2);
            break;
        case SQL_SHORT:
        case SQL_LONG:
        case SQL_INT64:
            row.data[i].resize(8);
            break;
        default:
            // Dates, floats and the like are of no use here beyond their text:
            // the server converts them when asked for a string.
            var.sqltype = static_cast<ISC_SHORT>(SQL_VARYING | nullable);
            var.sqlsubtype = 0;
            var.sqllen = 4096;
            row.data[i].resize(4096 + 2);
            break;
        }
        var.sqldata = row.data[i].data();
        var.sqlind = &row.indicators[i];
    }
    return names;
}

// The values of the row just fetched into row.
std::vector<TSQLValue> readRow(const XSQLDA* da, const RowBuffers& row, const QString& charset, bool trimChar)
{
    std::vector<TSQLValue> values(row.data.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        const XSQLVAR& var = da->sqlvar[i];
        TSQLValue& value = values[i];
        const char* data = row.data[i].data();
        value.isNull = (var.sqltype & 1) && row.indicators[i] < 0;
        switch (var.sqltype & ~1) {
        case SQL_TEXT:
            value.kind = TSQLValue::Kind::Text;
            if (!value.isNull) {
                value.text = decodeText(charset, data, var.sqllen);
                if (trimChar) {
                    qsizetype n = value.text.size();
                    while (n > 0 && value.text.at(n - 1) == QLatin1Char(' '))
                        --n;
                    value.text.truncate(n);
                }
            }
            break;
        case SQL_VARYING: {
            value.kind = TSQLValue::Kind::Text;
            if (!value.isNull) {
                ISC_USHORT length = 0;
                std::memcpy(&length, data, sizeof length);
                value.text = decodeText(charset, data + 2, length);
            }
            break;
        }
        case SQL_SHORT:
            lerInteiro(value, var, ISC_SHORT{});
            break;
        case SQL_LONG:
            lerInteiro(value, var, ISC_LONG{});
            break;
        case SQL_INT64:
            lerInteiro(value, var, ISC_INT64{});
            break;
        }
        if (value.isNull) {
            value.text.clear();
            value.integer = 0;
        }
    }
    return values;
}

}

TSQLFirstRow TSQLConnection::QueryFirstRow(const QString& sql)
{
    Open();
    const fbclient::Api& api = *m_attachment->api;
    const QString charset = m_params.Value(QStringLiteral("ServerCharset"));
    const int dialect = dialectOf(m_params);

    ISC_STATUS_ARRAY status{};
    isc_tr_handle tr = 0;
    isc_stmt_handle stmt = 0;

    // Statement and transaction end on every path; only a failure that is already
    // being reported could make the clean-up fail, so its status is dropped.
    struct Cleanup {
        const fbclient::Api& api;
        isc_tr_handle& tr;
        isc_stmt_handle& stmt;
        ~Cleanup()
        {
            ISC_STATUS_ARRAY ignored{};
            if (stmt)
                api.dsql_free_statement(ignored, &stmt, DSQL_drop);
            if (tr)
                api.rollback_transaction(ignored, &tr);
        }
    } cleanup{api, tr, stmt};

    auto check = [&](ISC_STATUS result) {
        if (result)
            throw Exception(fbclient::statusMessage(api, status));
    };

    const QByteArray tpb = readOnlyTransaction(m_params);
    check(api.start_transaction(status, &tr, 1, &m_attachment->db, static_cast<int>(tpb.size()), tpb.constData()));
    check(api.dsql_allocate_statement(status, &m_attachment->db, &stmt));

    const QByteArray text = encodeText(charset, sql);
    if (text.size() > 0xFFFF)
        throw Exception(QStringLiteral("Statement too long"));
    Sqlda out(1);
    check(api.dsql_prepare(status, &tr, &stmt, static_cast<unsigned short>(text.size()), text.constData(),
                           static_cast<unsigned short>(dialect), out.get()));
    const short columns = out.get()->sqld;
    if (columns == 0)
        throw Exception(QStringLiteral("Cursor not returned from Query"));
    Sqlda described(columns);
    if (columns > 1)
        check(api.dsql_describe(status, &stmt, SQLDA_VERSION1, described.get()));
    XSQLDA* da = columns > 1 ? described.get() : out.get();

    TSQLFirstRow result;
    RowBuffers row;
    result.columns = bindColumns(da, row, charset);
    check(api.dsql_execute(status, &tr, &stmt, SQLDA_VERSION1, nullptr));
    const ISC_STATUS fetched = api.dsql_fetch(status, &stmt, SQLDA_VERSION1, da);
    if (fetched != 0 && fetched != 100)
        check(fetched);
    if (fetched == 0)
        result.row = readRow(da, row, charset, isTrue(m_params.Value(QStringLiteral("TrimChar"))));

    ISC_STATUS_ARRAY ignored{};
    api.dsql_free_statement(ignored, &stmt, DSQL_drop);
    stmt = 0;
    check(api.commit_transaction(status, &tr));
    tr = 0;
    return result;
}
