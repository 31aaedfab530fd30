#include "Recordset.h"

#include "db/DbError.h"

Recordset::Recordset(QStringList fieldNames, std::vector<std::vector<QVariant>> rows)
    : m_fieldNames(std::move(fieldNames)), m_rows(std::move(rows))
{
}

QVariant Recordset::field(const QString& name) const
{
    // Field names compare as the engine compares them: without regard to letter case.
    qsizetype column = 0;
    while (column < m_fieldNames.size() &&
           m_fieldNames[column].compare(name, Qt::CaseInsensitive) != 0)
        ++column;
    if (column == m_fieldNames.size())
        throw DbError::itemNotFound(name);
    if (eof())
        throw DbError::noCurrentRecord();
    return m_rows[m_current][column];
}

void Recordset::moveFirst()
{
    if (m_rows.empty())
        throw DbError::noCurrentRecord();
    m_current = 0;
}

void Recordset::moveLast()
{
    if (m_rows.empty())
        throw DbError::noCurrentRecord();
    m_current = m_rows.size() - 1;
}

void Recordset::moveNext()
{
    if (eof())
        throw DbError::noCurrentRecord();
    ++m_current;
}
