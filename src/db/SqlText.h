#pragma once

#include <QString>

// A text value as it stands between the single quotes of a statement: every single quote
// doubled, so that any text is matched and stored unchanged and cannot end the literal.
inline QString sqlText(const QString& value)
{
    return QString(value).replace(QLatin1Char('\''), QLatin1String("''"));
}
