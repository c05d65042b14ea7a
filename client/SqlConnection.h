#pragma once
// A thin SQL layer over the Firebird client library: a connection configured by a
// driver name and name=value parameters, opened on demand, and the one kind of
// read the program makes (a SELECT of which only the first row counts).
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

// Name=value parameters of a connection. Names are compared without regard to
// case; the order of first appearance is kept.
class TSQLParams {
public:
    // Replaces the entry of that name or appends one; an empty value removes the
    // entry instead, so an empty setting never reaches the server.
    void SetValue(const QString& name, const QString& value);
    // Empty when there is no such entry.
    QString Value(const QString& name) const;
    bool Contains(const QString& name) const;
    int Count() const { return static_cast<int>(m_entries.size()); }
    // "name=value" lines, in order.
    QStringList Lines() const;
    void Clear() { m_entries.clear(); }

private:
    std::vector<std::pair<QString, QString>> m_entries;
};

// One value of a result row.
struct TSQLValue {
    enum class Kind { Text, Integer };
    Kind kind = Kind::Text;
    bool isNull = true;
    QString text;
    qint64 integer = 0;
    int scale = 0; // NUMERIC/DECIMAL: the value is integer * 10^scale
};

// A statement's column names and its first row, if it had one.
struct TSQLFirstRow {
    QStringList columns;
    std::optional<std::vector<TSQLValue>> row;
};

class TSQLConnection {
public:
    TSQLConnection();
    ~TSQLConnection();
    TSQLConnection(const TSQLConnection&) = delete;
    TSQLConnection& operator=(const TSQLConnection&) = delete;

    // Choosing the driver loads its defaults into the parameters; set it first.
    // Only "Firebird" is known.
    void SetDriverName(const QString& name);
    QString DriverName() const { return m_driverName; }
    // The driver is built in, so LibraryName is only recorded. VendorLib is the
    // client library tried first; the package's own and the computer's are tried
    // after it (fbclient::carregar).
    void SetLibraryName(const QString& path) { m_libraryName = path; }
    QString LibraryName() const { return m_libraryName; }
    void SetVendorLib(const QString& path) { m_vendorLib = path; }
    QString VendorLib() const { return m_vendorLib; }
    // There is nobody to ask: credentials come from the installed system only.
    void SetLoginPrompt(bool on) { m_loginPrompt = on; }
    bool LoginPrompt() const { return m_loginPrompt; }

    TSQLParams& Params() { return m_params; }
    const TSQLParams& Params() const { return m_params; }

    // How long an attach may take to reach the server, in seconds. A new
    // connection starts with the process-wide default.
    void SetConnectTimeout(int seconds) { m_connectTimeout = seconds; }
    int ConnectTimeout() const { return m_connectTimeout; }
    static void SetDefaultConnectTimeout(int seconds);
    static int DefaultConnectTimeout();

    // Attaches to "Database" with the parameters; does nothing when attached.
    void Open();
    // Detaches; failures to detach are of no interest to anyone and are dropped.
    void Close();
    bool Connected() const;

    // Runs a SELECT in a read-only transaction of its own that ends after the
    // first row. Opens the connection first when it is not open.
    TSQLFirstRow QueryFirstRow(const QString& sql);

private:
    struct Attachment;

    QString m_driverName;
    QString m_libraryName;
    QString m_vendorLib;
    bool m_loginPrompt = true;
    int m_connectTimeout;
    TSQLParams m_params;
    std::unique_ptr<Attachment> m_attachment;
};
