#pragma once

#include <QCoreApplication>
#include <QLayout>
#include <QRect>
#include <QStringList>
#include <QWidget>

// The window's shown controls that are not wholly on the screen's available area, or not
// wholly inside the window, or that its layout squeezes below their least size; each with
// its name and where it is.
inline QStringList ControlsOffScreen(QWidget* window, const QRect& available) {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QStringList faults;
    const auto where = [](const QRect& r) {
        return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
    };
    if (!available.contains(window->frameGeometry()))
        faults << QStringLiteral("window at ") + where(window->frameGeometry());
    const QSize least = window->layout()->totalMinimumSize();
    if (least.width() > window->width() || least.height() > window->height())
        faults << QStringLiteral("layout needs %1x%2").arg(least.width()).arg(least.height());
    const QRect inside = window->rect();
    for (QWidget* control : window->findChildren<QWidget*>()) {
        if (!control->isVisibleTo(window) || control->isWindow()) continue;
        const QRect local(control->mapTo(window, QPoint(0, 0)), control->size());
        const QRect global(control->mapToGlobal(QPoint(0, 0)), control->size());
        if (!inside.contains(local) || !available.contains(global)) {
            faults << control->metaObject()->className() + QStringLiteral(" ") +
                          control->objectName() + QStringLiteral(" at ") + where(global);
        }
    }
    return faults;
}
