#pragma once

#include <QAbstractButton>
#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QStringList>
#include <QWidget>

// The name a screen reader announces for the control. On Linux Qt gives a list its value as its
// name and names the list through its label relation (AT-SPI's "labelled by"), the first of
// which is its own label when it has one and the group around it otherwise.
inline QString AccessibleName(QWidget* control) {
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(control);
    if (!face) return {};
#ifdef Q_OS_UNIX
    if (face->role() == QAccessible::ComboBox) {
        const auto labels = face->relations(QAccessible::Label);
        return labels.isEmpty() ? QString() : labels.first().first->text(QAccessible::Name);
    }
#endif
    return face->text(QAccessible::Name);
}

// The window's controls a user reaches (buttons, lists, fields, text areas, status panels that
// show something), each with the name a screen reader announces for it. Qt's own helpers and
// the line inside an editable list are left out.
inline QList<std::pair<QWidget*, QString>> ControlNames(QWidget* window) {
    QList<std::pair<QWidget*, QString>> named;
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        if (widget->objectName().startsWith(QLatin1String("qt_"))) continue;
        auto* label = qobject_cast<QLabel*>(widget);
        const bool control = qobject_cast<QAbstractButton*>(widget) ||
                             qobject_cast<QComboBox*>(widget) ||
                             qobject_cast<QPlainTextEdit*>(widget) ||
                             (qobject_cast<QLineEdit*>(widget) &&
                              !qobject_cast<QComboBox*>(widget->parentWidget())) ||
                             (label && !label->text().isEmpty() &&
                              qobject_cast<QStatusBar*>(widget->parentWidget()));
        if (control) named.append({widget, AccessibleName(widget)});
    }
    return named;
}

// Controls without a name, or whose name another control of the window has too.
inline QStringList UnnamedOrSharedNames(QWidget* window) {
    const QList<std::pair<QWidget*, QString>> named = ControlNames(window);
    QStringList names;
    for (const auto& [control, name] : named) names << name;
    QStringList faults;
    for (const auto& [control, name] : named) {
        if (name.isEmpty() || names.count(name) > 1) {
            faults << control->objectName() + QStringLiteral(" '") + name + u'\'';
        }
    }
    return faults;
}
