#pragma once

#include <QWidget>

// The factory test window, opened from the hidden Test menu.
class TFormTest : public QWidget {
    Q_OBJECT
public:
    explicit TFormTest(QWidget* parent = nullptr);
};
