#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <array>

#include "serial/seriallink.h"

// The port's modem lines in the data test area: DTR and RTS as switches, CTS, DSR, CD and RI as
// lamps. Shown only while the open port has modem lines; it looks at them every RefreshMs (the
// link holds them as last seen, so a look never waits for the port).
class ModemLinesView : public QWidget {
    Q_OBJECT
  public:
    static constexpr int RefreshMs = 200;

    ModemLinesView(SerialLink& link, QWidget* parent);

    QCheckBox* Check_Dtr;
    QCheckBox* Check_Rts;
    // CTS, DSR, CD and RI.
    std::array<QLabel*, 4> Lamps{};
    QTimer* RefreshTimer;

    // Shows the lines as the port has them now, or hides them all.
    void RefreshTimerTimer();

  private:
    // The user's switch; where the port refuses, the switch shows the line as it is.
    void switchLine(uint8_t line, bool on);
    void showLines(uint8_t lines);

    SerialLink& link_;
};
