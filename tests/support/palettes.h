#pragma once

#include <QColor>
#include <QPalette>
#include <initializer_list>
#include <utility>

// A dark desktop theme, as a dark Fusion or a dark GTK theme gives it.
inline QPalette DarkPalette() {
    QPalette dark;
    const QColor window(0x35, 0x35, 0x35);
    const QColor base(0x2a, 0x2a, 0x2a);
    for (const auto& [role, colour] : std::initializer_list<std::pair<QPalette::ColorRole, QColor>>{
             {QPalette::Window, window},
             {QPalette::WindowText, Qt::white},
             {QPalette::Base, base},
             {QPalette::AlternateBase, window},
             {QPalette::Text, Qt::white},
             {QPalette::Button, window},
             {QPalette::ButtonText, Qt::white},
             {QPalette::ToolTipBase, base},
             {QPalette::ToolTipText, Qt::white},
             {QPalette::PlaceholderText, QColor(0xa0, 0xa0, 0xa0)},
             {QPalette::Highlight, QColor(0x2a, 0x82, 0xda)},
             {QPalette::HighlightedText, Qt::black},
             {QPalette::Light, QColor(0x50, 0x50, 0x50)},
             {QPalette::Midlight, QColor(0x45, 0x45, 0x45)},
             {QPalette::Mid, QColor(0x25, 0x25, 0x25)},
             {QPalette::Dark, QColor(0x1a, 0x1a, 0x1a)},
             {QPalette::Shadow, Qt::black}}) {
        dark.setColor(QPalette::Active, role, colour);
        dark.setColor(QPalette::Inactive, role, colour);
    }
    dark.setColor(QPalette::Disabled, QPalette::Window, window);
    dark.setColor(QPalette::Disabled, QPalette::Base, window);
    dark.setColor(QPalette::Disabled, QPalette::Button, window);
    dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x9a, 0x9a, 0x9a));
    dark.setColor(QPalette::Disabled, QPalette::Text, QColor(0x9a, 0x9a, 0x9a));
    dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x9a, 0x9a, 0x9a));
    return dark;
}
