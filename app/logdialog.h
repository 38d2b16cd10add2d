#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include "monitor/trafficlog.h"

// Where and how the traffic log is written: the file, text or raw capture, and the size at
// which it rotates.
class TFormLogSettings : public QDialog {
    Q_OBJECT
  public:
    explicit TFormLogSettings(QWidget* parent = nullptr);

    QLineEdit* EditPath;
    QPushButton* BrowseButton;
    QComboBox* ComboFormat;
    QSpinBox* SpinRotateMb;
    QSpinBox* SpinKeptFiles;

    TrafficLogSettings settings() const;

  private:
    void BrowseButtonClick();
};
