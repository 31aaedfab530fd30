#pragma once

#include <QRect>
#include <QtMath>

// Windows and controls are laid out in twips, 1/1440 inch: 15 to a pixel at 96 dpi.
inline QRect twips(int left, int top, int width, int height)
{
    return {qRound(left / 15.0), qRound(top / 15.0), qRound(width / 15.0), qRound(height / 15.0)};
}
