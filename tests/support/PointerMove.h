#pragma once

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

// Delivers a pointer move to widget at a point of its own, as mouse tracking reports it.
inline void moveOver(QWidget* widget, QPointF at = {2, 2})
{
    QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}
