#pragma once

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QStringList>

// The letter that reaches an item with Alt (or within its open menu), upper case; empty when
// it has none.
inline QString AcceleratorOf(const QString& text) {
    const QKeySequence keys = QKeySequence::mnemonic(text);
    if (keys.isEmpty()) return {};
    return QKeySequence(keys[0].key()).toString().toUpper();
}

// Items of one menu (or of the menu bar) that share their letter with an item before them,
// then the same for every menu below, by the path of menus to them.
inline QStringList SharedAccelerators(const QList<QAction*>& items, const QString& path) {
    QStringList faults;
    QHash<QString, QString> taken;
    for (QAction* item : items) {
        if (item->isSeparator()) continue;
        const QString letter = AcceleratorOf(item->text());
        if (!letter.isEmpty()) {
            if (taken.contains(letter)) {
                faults << QStringLiteral("%1: '%2' and '%3' on %4")
                              .arg(path, taken[letter], item->text(), letter);
            } else {
                taken.insert(letter, item->text());
            }
        }
        if (QMenu* menu = item->menu())
            faults << SharedAccelerators(menu->actions(), path + u'>' + item->text());
    }
    return faults;
}

inline QStringList SharedAccelerators(QMenuBar* bar) {
    return SharedAccelerators(bar->actions(), QStringLiteral("menu bar"));
}
