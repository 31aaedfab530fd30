#pragma once

#include <QByteArray>
#include <QString>

// Sequential reading of an 8-bit text file, line by line or field by field. A line ends at
// CR LF, at a lone CR or at a lone LF; the line end is not part of what is read.
// The whole file is read when it is opened, so the file itself is closed at once.
// The game's logs and the stamp list are Windows-1252; the settings are in the system's own
// encoding (see SystemText).
class SequentialInput
{
public:
    enum class Encoding { Windows1252, System };

    // Fails with code 53 when the file does not exist, or with the file system's failure
    // when it cannot be read.
    static SequentialInput open(const QString& path, Encoding encoding = Encoding::Windows1252);
    explicit SequentialInput(QByteArray content, Encoding encoding = Encoding::Windows1252);

    bool atEnd() const { return m_pos >= m_data.size(); }

    // The next line; fails with code 62 at the end of the file.
    QString readLine();

    // The next field: blanks at its start are skipped; a field that begins with a double
    // quote runs to the next double quote (the quotes are not part of it), otherwise it ends
    // at a comma or at a line end. Reading goes on across line ends and fails with code 62
    // at the end of the file. endedAtComma tells whether the field's delimiter was a comma.
    QString readField(bool* endedAtComma = nullptr);

private:
    // Steps over a line end at the current position; returns whether there was one.
    bool skipLineEnd();
    bool atLineEnd() const;

    QByteArray m_data;
    QString (*m_decode)(QByteArrayView);
    qsizetype m_pos = 0;
};
