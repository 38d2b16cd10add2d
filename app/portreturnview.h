#pragma once

#include <QAction>
#include <QLabel>
#include <QObject>

#include "serial/portreturn.h"

class TForm1;

// The Reconnect choice of the port menu (off unless the user chose it, and remembered): a port
// whose device vanishes is then opened again by itself once the same device is back, and the
// status bar says what it waits for meanwhile.
class PortReturnView : public QObject {
    Q_OBJECT
  public:
    static constexpr int WaitingCellWidth = 220;

    PortReturnView(TForm1& form, SerialLink& link);

    QAction* Seri_Reconnect;
    QLabel* StatusWaiting;
    PortReturn Return;

    // The port vanished: true when the program waits for it to come back, which the user then
    // reads in the status bar instead of a message.
    bool portLost();
    // The user closed the port: nothing is waited for any longer.
    void portClosed();

  private:
    void Seri_ReconnectClick(bool chosen);
    void showWaiting();
    void waitEnded(bool reopened);
};

// The one instance, made by CreateWindows with the other windows.
extern PortReturnView* Reconnection;
