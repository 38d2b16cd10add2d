#pragma once

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

// Product name, version and the maker's name; shown and hidden, never modal.
class TAboutBox : public QDialog {
    Q_OBJECT
  public:
    explicit TAboutBox(QWidget* parent = nullptr);

    QFrame* Panel1;
    QLabel* Label1;
    QLabel* ProductName;
    QLabel* Version;
    QLabel* ProgramIcon;
    QLabel* Copyright;
    QPushButton* OKButton;

    void OKButtonClick();

  protected:
    void changeEvent(QEvent* event) override;

  private:
    // Text colours from the palette, each checked to read against its ground.
    void applyColours();
};
