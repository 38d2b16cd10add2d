#pragma once

#include <QComboBox>
#include <QDateTime>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include "monitor/trafficlog.h"

// Where and how the traffic log is written: the file, text or raw capture, and the size at
// which it rotates. A file that is there already is appended to or replaced only when the
// user says which.
class TFormLogSettings : public QDialog {
    Q_OBJECT
  public:
    explicit TFormLogSettings(QWidget* parent = nullptr);

    QLineEdit* EditPath;
    QPushButton* BrowseButton;
    QComboBox* ComboFormat;
    QSpinBox* SpinRotateMb;
    QSpinBox* SpinKeptFiles;
    QPushButton* OkButton;

    TrafficLogSettings settings() const;
    // A file named after the time, in the folder of the one shown.
    void suggestPath(const QDateTime& localTime);

    // Accepts the settings, asking first what becomes of files that are there already.
    void OkButtonClick();

  private:
    void BrowseButtonClick();
    TrafficLogFormat format() const;

    ExistingLogFile existing_ = ExistingLogFile::Refuse;
};
