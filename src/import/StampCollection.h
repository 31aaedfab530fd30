#pragma once

#include <QDateTime>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

// The last-modified time each of the ten results logs had when it was last imported, kept in
// dateStamps.txt. Created from the file; every setStamp that changes a slot writes the file at
// once (replaced whole and made durable), and a list whose last write failed tries again when
// it goes. The file is never rewritten unchanged.
class StampCollection
{
public:
    using Stamp = std::optional<QDateTime>;

    // Reads the file: code 53 when it is missing, code 9 for an eleventh field, code 13 for
    // a field that is neither empty nor a stamp.
    explicit StampCollection(QString path);
    ~StampCollection();

    StampCollection(const StampCollection&) = delete;
    StampCollection& operator=(const StampCollection&) = delete;

    // Code 9 for a slot outside 0 to 9. setStamp writes the file; its failures go to the caller.
    Stamp getStamp(std::int16_t intindex) const;
    void setStamp(const QDateTime& tempStamp, std::int16_t intindex);

    // The file's text for one slot, and the reading of one field.
    // #yyyy-mm-dd hh:mm:ss#, or #yyyy-mm-dd# at midnight, or empty; parseStamp fails with 13.
    static QString formatStamp(const Stamp& stamp);
    static Stamp parseStamp(const QString& field);

private:
    void write();

    QString m_path;
    std::array<Stamp, 10> m_slots;
    bool m_unsaved = false;
};
