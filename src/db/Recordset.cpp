#include "Recordset.h"

#include "db/DbError.h"

Recordset::Recordset(QStringList fieldNames, std::vector<Value> values, QByteArray bytes)
    : m_fieldNames(std::move(fieldNames)), m_values(std::move(values)), m_bytes(std::move(bytes)),
      m_rowCount(m_fieldNames.isEmpty() ? 0 : m_values.size() / std::size_t(m_fieldNames.size()))
{
}

int Recordset::fieldIndex(QAnyStringView name) const
{
    // Field names compare as the engine compares them: without regard to letter case.
    qsizetype column = 0;
    while (column < m_fieldNames.size() &&
           QAnyStringView::compare(m_fieldNames[column], name, Qt::CaseInsensitive) != 0)
        ++column;
    if (column == m_fieldNames.size())
        throw DbError::itemNotFound(name.toString());
    return int(column);
}

const Recordset::Value& Recordset::value(int column) const
{
    if (column < 0 || column >= m_fieldNames.size())
        throw DbError::itemNotFound(QString::number(column));
    if (eof())
        throw DbError::noCurrentRecord();
    return m_values[m_current * std::size_t(m_fieldNames.size()) + std::size_t(column)];
}

QVariant Recordset::field(int column) const
{
    const Value& value = this->value(column);
    switch (value.kind) {
    case Value::Kind::Integer:
        return qlonglong(value.integer);
    case Value::Kind::Real:
        return value.real;
    case Value::Kind::Text:
        return QString::fromUtf8(bytesOf(value));
    case Value::Kind::Blob:
        return bytesOf(value).toByteArray();
    case Value::Kind::Null:
        break;
    }
    return {};
}

void Recordset::moveFirst()
{
    if (m_rowCount == 0)
        throw DbError::noCurrentRecord();
    m_current = 0;
}

void Recordset::moveLast()
{
    if (m_rowCount == 0)
        throw DbError::noCurrentRecord();
    m_current = m_rowCount - 1;
}

void Recordset::moveNext()
{
    if (eof())
        throw DbError::noCurrentRecord();
    ++m_current;
}
