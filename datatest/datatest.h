#pragma once

#include <QByteArray>
#include <QCheckBox>
#include <QFrame>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QString>
#include <QTimer>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "datatest/errtest.h"
#include "datatest/recdisplay.h"
#include "datatest/receiveview.h"
#include "datatest/textcodec.h"
#include "datatest/trtthex.h"
#include "datatest/trttperiod.h"
#include "serial/seriallink.h"

// The main window's controls that the data test reads and writes.
struct DataTestControls {
    // Receive side.
    ReceiveView* Memo_Rec = nullptr;
    QCheckBox* Check_RecHex = nullptr;
    QCheckBox* Check_AutoClr = nullptr;
    QPushButton* Button1 = nullptr;
    // Transmit side.
    QPlainTextEdit* Memo_Trtt = nullptr;
    QCheckBox* Check_AutoTrtt = nullptr;
    QLineEdit* Edit_TrttPerio = nullptr;
    QCheckBox* Check_TrttHex = nullptr;
    QTimer* Timer_TrttData = nullptr;
    // Loop-back test row; the panel's sunken shadow is its lowered bevel.
    QFrame* PanelTrttTest = nullptr;
    QCheckBox* CheckTrtt = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QLineEdit* Edit3 = nullptr;
    QLineEdit* Edit4 = nullptr;
    QLineEdit* Edit5 = nullptr;
    QLineEdit* Edit6 = nullptr;
    QLineEdit* Edit7 = nullptr;
    // Status bar panel by number, its tooltip, and the lost-bytes cell (hidden while empty).
    std::function<void(int panel, const QString& text)> setStatusText;
    std::function<void(int panel, const QString& tip)> setStatusToolTip;
    std::function<void(const QString& text)> showLostBytes;
};

// Sending, receiving and showing user data, the byte counters and the loop-back error test.
// The window's timers and controls call the handlers; each does one tick's or click's work.
class DataTest {
  public:
    DataTest(const DataTestControls& controls, SerialLink& link);

    // Transmit.
    int32_t TxByteCount = 0;
    int32_t TrttTickCount = 0;
    // Periodic sends skipped because the previous one had not left yet, and bytes of sends
    // that the full send queue did not take; both since the last counter reset.
    uint32_t SkippedSends = 0;
    uint64_t RefusedBytes = 0;
    // Receive.
    int32_t RxByteCount = 0;
    // Received bytes dropped for want of room since the last counter reset.
    uint64_t LostBytes = 0;
    uint8_t RecDisplayStopped = 0;
    int32_t RecIdleTicks = 0;
    // Loop-back test.
    uint8_t ErrTestActive = 0;
    QByteArray ErrTestRxText;
    ErrTestCounters ErrTest;

    void Button_ManulTrttClick();
    void Check_AutoTrttClick();
    void Timer_TrttDataTimer();
    void Button_ClrTrttMemoClick();
    // The driver has taken more bytes: the TX counter catches up.
    void ShowSentBytes();

    void Timer_RecDataTimer();
    void Button_ClrRecMemoClick();
    void Button1Click();
    void Button3Click();

    void PanelTrttTestClick();
    // Called with every read while the test is active, whether or not the display runs.
    void ErrTestReceive(QByteArrayView bytes);
    // Called on the seventh and every later consecutive quiet receive tick.
    void ErrTestReplyStep();
    // Called right after each periodic send while the test is active.
    void ErrTestStatisticsStep();

  private:
    // The bytes a send carries: the text, or the bytes its hexadecimal digits spell.
    QByteArray SendPayload() const;
    void WriteCounted(const QByteArray& payload);
    // Adds what the driver took of the user data since the last time; false when nothing.
    bool CountSentBytes();
    void ShowTxCount();
    void ShowTxNotes();
    void ShowRxCount();
    void ShowLostBytes();

    DataTestControls c_;
    SerialLink& link_;
    PeriodTextReader periodReader_;
};
