#include "SimpleDataSet.h"

#include "Exception.h"

#include <cmath>
#include <limits>

QString TField::AsString() const
{
    if (IsNull())
        return {};
    if (m_value->kind == TSQLValue::Kind::Text)
        return m_value->text;
    if (m_value->scale >= 0) {
        QString digits = QString::number(m_value->integer);
        if (m_value->integer != 0)
            digits += QString(m_value->scale, QLatin1Char('0'));
        return digits;
    }
    // NUMERIC/DECIMAL: the point goes where the scale says.
    const int decimals = -m_value->scale;
    const bool negative = m_value->integer < 0;
    QString digits = QString::number(negative ? -static_cast<quint64>(m_value->integer) : static_cast<quint64>(m_value->integer));
    if (digits.size() <= decimals)
        digits = QString(decimals - digits.size() + 1, QLatin1Char('0')) + digits;
    digits.insert(digits.size() - decimals, QLatin1Char('.'));
    return negative ? QLatin1Char('-') + digits : digits;
}

int TField::AsInteger() const
{
    if (IsNull())
        return 0;
    qint64 n = 0;
    if (m_value->kind == TSQLValue::Kind::Text) {
        bool ok = false;
        n = m_value->text.trimmed().toLongLong(&ok);
        if (!ok)
            throw Exception(QStringLiteral("'%1' is not a valid integer value").arg(m_value->text));
    } else if (m_value->scale == 0) {
        n = m_value->integer;
    } else {
        n = std::llround(static_cast<double>(m_value->integer) * std::pow(10.0, m_value->scale));
    }
    if (n < std::numeric_limits<int>::min() || n > std::numeric_limits<int>::max())
        throw Exception(QStringLiteral("'%1' is not a valid integer value").arg(n));
    return static_cast<int>(n);
}

void TSimpleDataSet::Open()
{
    if (m_active)
        return;
    if (m_commandText.trimmed().isEmpty())
        throw Exception(QStringLiteral("Missing query, table name or procedure name"));
    if (!m_connection)
        throw Exception(QStringLiteral("Missing connection"));
    m_result = m_connection->QueryFirstRow(m_commandText);
    m_fields.clear();
    for (qsizetype i = 0; i < m_result.columns.size(); ++i) {
        const TSQLValue* value = m_result.row ? &(*m_result.row)[static_cast<std::size_t>(i)] : nullptr;
        m_fields.emplace_back(m_result.columns.at(i), value);
    }
    m_active = true;
}

void TSimpleDataSet::Close()
{
    if (!m_active)
        return;
    m_fields.clear();
    m_result = {};
    m_active = false;
}

const TField& TSimpleDataSet::FieldByName(const QString& name) const
{
    for (const TField& field : m_fields) {
        if (field.FieldName().compare(name, Qt::CaseInsensitive) == 0)
            return field;
    }
    throw Exception(QStringLiteral("Field '%1' not found").arg(name));
}
