#pragma once

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include "datatest/filesend.h"

// File > Send File…: how far the file has gone, at what rate, and a button that cancels the
// send (and closes the window once it has ended). One file at a time; closing the window
// cancels a send that runs.
class TFormFileSend : public QWidget {
    Q_OBJECT
  public:
    static constexpr int TickMs = 20;
    // The bar counts in thousandths, so that a file of any size fits it.
    static constexpr int ProgressSteps = 1000;

    TFormFileSend(SerialLink& link, FileSend::PortTakenProbe portTaken, QWidget* parent);

    FileSend Send;
    QLabel* LabelFile;
    QProgressBar* Progress;
    QLabel* LabelState;
    QPushButton* ButtonCancel;
    QTimer* Timer;

    // Starts the file on its way and shows the window; false, after telling the user why, when
    // it cannot.
    bool startSend(const QString& path);
    void TimerTimer();
    void ButtonCancelClick();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void showProgress();
    // Tells how the send ended, in the window and, when it failed, in a message.
    void showEnd(FileSendState state);

    SerialLink& link_;
};
