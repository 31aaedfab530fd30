#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <vector>

// The rows a query yielded, in query order, with a current row. A field value is a null
// QVariant for SQL NULL, a qlonglong for a whole number, a double or a QString otherwise.
class Recordset
{
public:
    Recordset() = default;
    Recordset(QStringList fieldNames, std::vector<std::vector<QVariant>> rows);

    // The number of rows: zero when the query yielded none.
    int recordCount() const { return int(m_rows.size()); }
    bool eof() const { return m_current >= m_rows.size(); }

    // The named field of the current row; an unknown name or no current row fails.
    QVariant field(const QString& name) const;

    void moveFirst();
    void moveLast();
    void moveNext();

private:
    QStringList m_fieldNames;
    std::vector<std::vector<QVariant>> m_rows;
    std::size_t m_current = 0;
};
