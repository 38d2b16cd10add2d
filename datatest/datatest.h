#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

#include "datatest/datatestengine.h"
#include "datatest/receiveview.h"
#include "datatest/sendhistory.h"
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
    // The line ending of text sends, in the order of AllLineEndings; without it, CR LF.
    QComboBox* Combo_LineEnd = nullptr;
};

// The data test on the window's controls: the controls set the engine up, and the engine's
// reports show on them. The handlers hand back the engine's outcome for the window to tell.
class DataTest : private DataTestView {
  public:
    DataTest(const DataTestControls& controls, SerialLink& link);
    ~DataTest() override;

    DataTestEngine Engine;
    // Texts sent by hand; Up in the transmit area's first line and Down in its last recall them.
    SendHistory History;

    DataTestResult Button_ManulTrttClick();
    DataTestResult Check_AutoTrttClick();
    DataTestResult Timer_TrttDataTimer();
    void Button_ClrTrttMemoClick();
    void ShowSentBytes();

    void Timer_RecDataTimer();
    void Button_ClrRecMemoClick();
    void Button1Click();
    void Button3Click();

    DataTestResult PanelTrttTestClick();

  private:
    void followControls();
    // True when the key recalled an entry of the history into the transmit area.
    bool recallHistory(const QKeyEvent* key);

    // DataTestView
    QStringList transmitLines(const QString& text) const override;
    void showTxCount(int32_t count) override;
    void showTxNotes(uint32_t skippedSends, uint64_t refusedBytes) override;
    void showRxCount(int32_t count) override;
    void showLostBytes(uint64_t lost) override;
    void showReceived(QByteArrayView bytes) override;
    void skipReceived() override;
    void showDisplayStopped(bool stopped) override;
    void showAutoSend(bool checked, bool enabled) override;
    void setPeriodicSending(bool on) override;
    void showPeriodText(const QString& text) override;
    void showErrTestRunning(bool running) override;
    void showErrTestRow(const ErrTestRow& row) override;

    DataTestControls c_;
    std::unique_ptr<QObject> historyKeys_;
};
