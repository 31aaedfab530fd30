#pragma once

#include <QAnyStringView>
#include <QByteArray>
#include <QStringList>
#include <QVariant>
#include <vector>

// The rows a query yielded, in query order, with a current row. A field value is a null
// QVariant for SQL NULL, a qlonglong for a whole number, a double, a QString for text or a
// QByteArray for a blob.
class Recordset
{
public:
    // One field of one row as the engine gave it. Text and blobs are slices of the record
    // set's one byte store, so that reading many rows allocates nothing per value.
    struct Value
    {
        enum class Kind : quint8 { Null, Integer, Real, Text, Blob };
        Kind kind = Kind::Null;
        union {
            qint64 integer = 0;
            double real;
            qsizetype offset;
        };
        qsizetype size = 0;
    };

    Recordset() = default;
    // values holds the rows one after the other, each row one value per field name; bytes
    // holds the text and blob values.
    Recordset(QStringList fieldNames, std::vector<Value> values, QByteArray bytes);

    // The number of rows: zero when the query yielded none.
    int recordCount() const { return int(m_rowCount); }
    bool eof() const { return m_current >= m_rowCount; }

    // The named field of the current row; an unknown name or no current row fails.
    QVariant field(QAnyStringView name) const { return field(fieldIndex(name)); }
    // The position of the named field, for reading many rows by it; an unknown name fails.
    int fieldIndex(QAnyStringView name) const;
    // The field at that position of the current row; no current row fails.
    QVariant field(int index) const;
    // The same as the engine gave it, for reading many rows without a QVariant for each
    // field; a text's or a blob's bytes are read with bytesOf.
    const Value& value(int index) const;
    QByteArrayView bytesOf(const Value& value) const
    {
        return QByteArrayView(m_bytes).sliced(value.offset, value.size);
    }

    void moveFirst();
    void moveLast();
    void moveNext();

private:
    QStringList m_fieldNames;
    std::vector<Value> m_values;
    QByteArray m_bytes;
    std::size_t m_rowCount = 0;
    std::size_t m_current = 0;
};
