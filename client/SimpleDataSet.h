#pragma once
// A result set over a TSQLConnection that stands on the first row of its query.
#include "SqlConnection.h"

#include <QString>

#include <vector>

class TField {
public:
    TField(QString name, const TSQLValue* value) : m_name(std::move(name)), m_value(value) {}
    const QString& FieldName() const { return m_name; }
    bool IsNull() const { return !m_value || m_value->isNull; }
    // "" when NULL or when there is no current row.
    QString AsString() const;
    // 0 when NULL or when there is no current row.
    int AsInteger() const;

private:
    QString m_name;
    const TSQLValue* m_value; // null: no current row
};

class TSimpleDataSet {
public:
    TSimpleDataSet() = default;
    TSimpleDataSet(const TSimpleDataSet&) = delete;
    TSimpleDataSet& operator=(const TSimpleDataSet&) = delete;

    // Not owned: whoever creates the connection releases it, after this data set
    // has let go of it.
    void SetConnection(TSQLConnection* connection) { m_connection = connection; }
    TSQLConnection* Connection() const { return m_connection; }
    void SetCommandText(const QString& sql) { m_commandText = sql; }
    const QString& CommandText() const { return m_commandText; }

    // Opens the connection when needed, runs the command and stands on the first
    // row; a result without rows opens without error.
    void Open();
    // Does nothing when not open.
    void Close();
    bool Active() const { return m_active; }
    bool IsEmpty() const { return !m_result.row.has_value(); }

    // Names compared without regard to case: the server reports unquoted aliases
    // in upper case.
    const TField& FieldByName(const QString& name) const;
    int FieldCount() const { return static_cast<int>(m_fields.size()); }

private:
    TSQLConnection* m_connection = nullptr;
    QString m_commandText;
    bool m_active = false;
    TSQLFirstRow m_result;
    std::vector<TField> m_fields;
};
