#pragma once

#include <QPushButton>
#include <QRadioButton>
#include <QWidget>

// The language window. It is created with the others but nothing shows it: the language is
// chosen on the command line before the main window is built.
class TForm2 : public QWidget {
    Q_OBJECT
  public:
    explicit TForm2(QWidget* parent = nullptr);

    QRadioButton* Radio_Chinese;
    QRadioButton* Radio_English;
    QPushButton* BitBtn1;

    void BitBtn1Click() {}
};
