// A mouse move with no button pressed, delivered to the widget as the window system delivers one.
// QTest::mouseMove makes such a move by placing the cursor (QCursor::setPos), which only a platform with a
// cursor turns into an event: Qt's offscreen platform does, its minimal one (all the Windows build has under
// Wine) does not. Moves with a button pressed QTest sends to the widget itself on every platform.
#pragma once

#include <QApplication>
#include <QMouseEvent>
#include <QPoint>
#include <QWidget>

namespace support {

inline void MouseHover(QWidget* widget, QPoint pos)
{
    QMouseEvent move(QEvent::MouseMove, pos, widget->mapToGlobal(pos), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

} // namespace support
