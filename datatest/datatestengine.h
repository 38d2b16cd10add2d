#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

#include "datatest/errtest.h"
#include "datatest/textcodec.h"
#include "datatest/trttperiod.h"

class SerialLink;

// How an action of the data test ended; the host tells its user in its own words.
enum class DataTestOutcome {
    Done,
    PortNotOpened,          // a send by hand with the port closed
    AutoSendPortNotOpened,  // periodic sending switched on with the port closed
    StringEmpty,            // nothing in the transmit text
    NoTestData,             // a loop-back test started with nothing to send
    PeriodNotInteger,       // the period text is not an integer; reported once per wrong text
};

struct [[nodiscard]] DataTestResult {
    DataTestOutcome outcome = DataTestOutcome::Done;
    // PeriodNotInteger: the period text as it was given.
    QString periodText;
};

// What the statistics row shows after a start or a statistics step. A box whose value is not
// given keeps what it shows.
struct ErrTestRow {
    // ErrTestSent as shown: the sends evaluated before the current one.
    ErrTestCounters counts;
    // A running test rewrites the matched count only when a reply matched.
    bool matchedShown = true;
    // A start leaves the same-length count as it was until the first statistics step.
    bool sameLenShown = true;
    std::optional<QString> rate;
};

// What the data test shows of itself. Every call has a default that shows nothing (and takes
// the text's own lines as shown), so that a host without a window takes only what it needs.
class DataTestView {
  public:
    virtual ~DataTestView() = default;
    // The transmit text's lines as they are shown; a hexadecimal pair never spans two.
    virtual QStringList transmitLines(const QString& text) const;
    virtual void showTxCount(int32_t /*count*/) {}
    virtual void showTxNotes(uint32_t /*skippedSends*/, uint64_t /*refusedBytes*/) {}
    virtual void showRxCount(int32_t /*count*/) {}
    // Received bytes lost for want of room since the counters were reset; 0 when none.
    virtual void showLostBytes(uint64_t /*lost*/) {}
    // Bytes read while the display runs, and the fact that some were read while it is stopped.
    virtual void showReceived(QByteArrayView /*bytes*/) {}
    virtual void skipReceived() {}
    virtual void showDisplayStopped(bool /*stopped*/) {}
    // The automatic send box as the test leaves it; the engine has already acted on it.
    virtual void showAutoSend(bool /*checked*/, bool /*enabled*/) {}
    // The periodic send's timer: the host ticks Timer_TrttDataTimer exactly while it is on.
    virtual void setPeriodicSending(bool /*on*/) {}
    virtual void showPeriodText(const QString& /*text*/) {}
    virtual void showErrTestRunning(bool /*running*/) {}
    virtual void showErrTestRow(const ErrTestRow& /*row*/) {}
};

// Sending, receiving and counting user data, and the loop-back error test, on a serial link.
// The host sets the test up from its controls, calls a handler per tick or click, and shows
// what the engine reports through its view; each handler does one tick's or click's work.
class DataTestEngine {
  public:
    explicit DataTestEngine(SerialLink& link, DataTestView* view = nullptr);

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

    // What the host's controls hold.
    void setTransmitText(const QString& text);
    void setHexSend(bool hex);
    void setPeriodText(const QString& text);
    void setRecording(bool recording);
    void setLineEnding(LineEnding ending);
    LineEnding lineEnding() const { return lineEnding_; }
    bool autoSend() const { return autoSend_; }
    // The test panel is lowered: a test was started and not stopped.
    bool errTestRunning() const { return errTestRunning_; }

    DataTestResult Button_ManulTrttClick();
    // Bytes the host put together itself (a saved send), refused and counted as a manual send
    // is; the transmit text plays no part.
    DataTestResult SendBytes(const QByteArray& payload);
    // The automatic send box is now `checked`, by the user or the program.
    DataTestResult Check_AutoTrttClick(bool checked);
    DataTestResult Timer_TrttDataTimer();
    // The driver has taken more bytes: the TX counter catches up.
    void ShowSentBytes();

    void Timer_RecDataTimer();
    void Button1Click();
    void Button3Click();

    DataTestResult PanelTrttTestClick();
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
    void CountLostBytes();
    void StopErrTest();
    void StartErrTest();

    SerialLink& link_;
    DataTestView silentView_;
    DataTestView* view_;
    PeriodTextReader periodReader_;
    QString transmitText_;
    QString periodText_ = QStringLiteral("1000");
    bool hexSend_ = false;
    LineEnding lineEnding_ = LineEnding::CrLf;
    bool recording_ = false;
    bool autoSend_ = false;
    bool errTestRunning_ = false;
};
