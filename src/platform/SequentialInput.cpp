#include "SequentialInput.h"

#include "Failure.h"
#include "FileOperations.h"
#include "SystemText.h"
#include "Windows1252.h"

#include <QFile>

SequentialInput SequentialInput::open(const QString& path, Encoding encoding)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw FileOperations::failureOf(file, path, QIODevice::ReadOnly);
    QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw FileOperations::failureOf(file, path, QIODevice::ReadOnly);
    return SequentialInput(std::move(content), encoding);
}

SequentialInput::SequentialInput(QByteArray content, Encoding encoding)
    : m_data(std::move(content)),
      m_decode(encoding == Encoding::System && SystemText::readsAsSystemText(m_data)
                   ? &SystemText::decode
                   : &Windows1252::decode)
{
}

bool SequentialInput::atLineEnd() const
{
    return !atEnd() && (m_data[m_pos] == '\r' || m_data[m_pos] == '\n');
}

bool SequentialInput::skipLineEnd()
{
    if (atEnd())
        return false;
    if (m_data[m_pos] == '\r') {
        ++m_pos;
        if (!atEnd() && m_data[m_pos] == '\n')
            ++m_pos;
        return true;
    }
    if (m_data[m_pos] == '\n') {
        ++m_pos;
        return true;
    }
    return false;
}

QString SequentialInput::readLine()
{
    if (atEnd())
        throw Failure::inputPastEndOfFile();
    const qsizetype start = m_pos;
    while (!atEnd() && !atLineEnd())
        ++m_pos;
    const QString line = m_decode(QByteArrayView(m_data).sliced(start, m_pos - start));
    skipLineEnd();
    return line;
}

QString SequentialInput::readField(bool* endedAtComma)
{
    if (endedAtComma)
        *endedAtComma = false;
    if (atEnd())
        throw Failure::inputPastEndOfFile();
    while (!atEnd() && m_data[m_pos] == ' ')
        ++m_pos;

    qsizetype start = m_pos;
    qsizetype end = m_pos;
    if (!atEnd() && m_data[m_pos] == '"') {
        start = ++m_pos;
        while (!atEnd() && m_data[m_pos] != '"')
            ++m_pos;
        end = m_pos;
        if (!atEnd())
            ++m_pos; // the closing quote
        // Whatever stands between the closing quote and the delimiter is not part of the field.
        while (!atEnd() && m_data[m_pos] != ',' && !atLineEnd())
            ++m_pos;
    } else {
        while (!atEnd() && m_data[m_pos] != ',' && !atLineEnd())
            ++m_pos;
        end = m_pos;
    }

    const QString field = m_decode(QByteArrayView(m_data).sliced(start, end - start));
    if (!atEnd() && m_data[m_pos] == ',') {
        ++m_pos;
        if (endedAtComma)
            *endedAtComma = true;
    } else {
        skipLineEnd();
    }
    return field;
}
