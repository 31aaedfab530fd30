#pragma once

#include <QString>
#include <QStringView>

// Removes blanks (the space character only) from both ends, as the program's trimming does
// everywhere: other white space is kept.
inline QStringView trimBlanks(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.mid(begin, end - begin);
}
