#include "datatest/datatestengine.h"

#include <array>
#include <limits>

#include "datatest/recdisplay.h"
#include "datatest/textcodec.h"
#include "datatest/trtthex.h"
#include "serial/seriallink.h"

namespace {

template <typename Count>
void CountUp(Count& count) {
    if (count < std::numeric_limits<Count>::max()) ++count;
}

// The loop-back test sends every 2000 ms: a send on every 134th tick of the 10 ms timer.
const QString ErrTestPeriod = QStringLiteral("2000");
// A forced send comes on the next tick for any period up to 15014 ms.
constexpr int32_t ForcedSendTicks = 1000;

}  // namespace

QStringList DataTestView::transmitLines(const QString& text) const {
    return text.split(u'\n');
}

DataTestEngine::DataTestEngine(SerialLink& link, DataTestView* view)
    : link_(link), view_(view ? view : &silentView_) {}

void DataTestEngine::setTransmitText(const QString& text) {
    transmitText_ = text;
}

void DataTestEngine::setHexSend(bool hex) {
    hexSend_ = hex;
}

void DataTestEngine::setPeriodText(const QString& text) {
    periodText_ = text;
}

void DataTestEngine::setRecording(bool recording) {
    recording_ = recording;
}

void DataTestEngine::setLineEnding(LineEnding ending) {
    lineEnding_ = ending;
}

// ---- Transmit ----

QByteArray DataTestEngine::SendPayload() const {
    if (!hexSend_) return TransmitTextBytes(transmitText_, lineEnding_);
    std::array<uint8_t, TrttHexBufferSize> bytes{};
    const int count = TrttHexToBytes(view_->transmitLines(transmitText_), bytes);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), count);
}

void DataTestEngine::WriteCounted(const QByteArray& payload) {
    const auto size = static_cast<uint32_t>(payload.size());
    const uint32_t accepted =
        link_.WriteData(reinterpret_cast<const uint8_t*>(payload.constData()), size);
    if (accepted < size) {
        RefusedBytes += size - accepted;
        view_->showTxNotes(SkippedSends, RefusedBytes);
    }
    // Shown after every send, even when the driver has not taken anything yet.
    CountSentBytes();
    view_->showTxCount(TxByteCount);
}

// The counter shows what the driver has taken, not what waits in the send queue.
bool DataTestEngine::CountSentBytes() {
    const uint64_t sent = link_.TakeSentData();
    TxByteCount = AddByteCount(TxByteCount, static_cast<uint32_t>(sent));
    return sent > 0;
}

void DataTestEngine::ShowSentBytes() {
    if (CountSentBytes()) view_->showTxCount(TxByteCount);
}

DataTestResult DataTestEngine::Button_ManulTrttClick() {
    if (!link_.PortHandle()) return {DataTestOutcome::PortNotOpened, {}};
    if (transmitText_.isEmpty()) return {DataTestOutcome::StringEmpty, {}};
    WriteCounted(SendPayload());
    return {};
}

DataTestResult DataTestEngine::SendBytes(const QByteArray& payload) {
    if (!link_.PortHandle()) return {DataTestOutcome::PortNotOpened, {}};
    if (payload.isEmpty()) return {DataTestOutcome::StringEmpty, {}};
    WriteCounted(payload);
    return {};
}

DataTestResult DataTestEngine::Check_AutoTrttClick(bool checked) {
    DataTestOutcome refused = DataTestOutcome::Done;
    if (checked && !link_.PortHandle()) {
        refused = DataTestOutcome::AutoSendPortNotOpened;
    } else if (checked && transmitText_.isEmpty()) {
        refused = DataTestOutcome::StringEmpty;
    }
    autoSend_ = checked && refused == DataTestOutcome::Done;
    // A refused box is unchecked again; the box stays locked while a test runs.
    if (checked) view_->showAutoSend(autoSend_, !errTestRunning_);
    view_->setPeriodicSending(autoSend_);
    return {refused, {}};
}

DataTestResult DataTestEngine::Timer_TrttDataTimer() {
    CountUp(TrttTickCount);
    const PeriodReading period = periodReader_.Read(periodText_);
    DataTestResult result;
    if (!period.errorToShow.isEmpty()) result = {DataTestOutcome::PeriodNotInteger, periodText_};
    if (!period.periodMs || !TrttSendDue(TrttTickCount, *period.periodMs)) return result;
    TrttTickCount = 0;
    // Data piling up faster than the link carries them would only grow the queue.
    if (link_.SendPending()) {
        CountUp(SkippedSends);
        view_->showTxNotes(SkippedSends, RefusedBytes);
        return result;
    }
    WriteCounted(SendPayload());
    if (ErrTestActive) ErrTestStatisticsStep();
    return result;
}

// ---- Receive ----

void DataTestEngine::CountLostBytes() {
    const uint64_t lost = link_.TakeLostBytes();
    if (lost == 0) return;
    LostBytes += lost;
    view_->showLostBytes(LostBytes);
}

void DataTestEngine::Timer_RecDataTimer() {
    if (!link_.PortHandle()) return;
    CountLostBytes();
    const uint32_t waiting = link_.BytesWaiting();
    if (waiting == 0) {
        const int32_t quietBefore = RecIdleTicks;
        CountUp(RecIdleTicks);
        if (quietBefore > 5) ErrTestReplyStep();
        return;
    }
    RecIdleTicks = 0;

    // Everything waiting is read: nothing is purged or dropped.
    QByteArray bytes(qsizetype(waiting), Qt::Uninitialized);
    link_.ReadPort(reinterpret_cast<uint8_t*>(bytes.data()), waiting);
    if (ErrTestActive) ErrTestReceive(bytes);
    if (RecDisplayStopped) {
        view_->skipReceived();
        return;
    }
    view_->showReceived(bytes);
    RxByteCount = AddByteCount(RxByteCount, waiting);
    view_->showRxCount(RxByteCount);
}

void DataTestEngine::Button1Click() {
    RecDisplayStopped = RecDisplayStopped ? 0 : 1;
    view_->showDisplayStopped(RecDisplayStopped != 0);
}

void DataTestEngine::Button3Click() {
    RxByteCount = 0;
    view_->showRxCount(RxByteCount);
    LostBytes = 0;
    // Bytes dropped before the reset belong to the old count, whether or not a tick saw them.
    link_.TakeLostBytes();
    view_->showLostBytes(0);
    TxByteCount = 0;
    // Bytes the driver took before the reset belong to the old count.
    link_.TakeSentData();
    view_->showTxCount(TxByteCount);
    SkippedSends = 0;
    RefusedBytes = 0;
    view_->showTxNotes(SkippedSends, RefusedBytes);
}

// ---- Loop-back error test ----

DataTestResult DataTestEngine::PanelTrttTestClick() {
    if (errTestRunning_) {
        StopErrTest();
        return {};
    }
    ErrTest = {};
    // Every box but the same-length count starts at 0.
    view_->showErrTestRow({{}, true, false, QStringLiteral("0")});
    if (transmitText_.isEmpty()) return {DataTestOutcome::NoTestData, {}};
    StartErrTest();
    // Recording sends periodically; the box's own checks may refuse that.
    if (recording_ && !autoSend_) return Check_AutoTrttClick(true);
    return {};
}

void DataTestEngine::StartErrTest() {
    ErrTestActive = 1;
    ErrTestRxText.clear();
    periodText_ = ErrTestPeriod;
    view_->showPeriodText(periodText_);
    errTestRunning_ = true;
    view_->showErrTestRunning(true);
    view_->showAutoSend(autoSend_, false);
}

// Counts, the collected text and the echo go on; only periodic sending stops.
void DataTestEngine::StopErrTest() {
    errTestRunning_ = false;
    view_->showErrTestRunning(false);
    autoSend_ = false;
    view_->showAutoSend(false, true);
    view_->setPeriodicSending(false);
}

void DataTestEngine::ErrTestReceive(QByteArrayView bytes) {
    // Zero bytes included: an echo station must return exactly what arrived.
    ErrTestRxText.append(bytes);
}

void DataTestEngine::ErrTestReplyStep() {
    if (!ErrTestActive || ErrTestRxText.isEmpty()) return;
    if (recording_) {
        // Send at once; the echo stays for the statistics step of that send.
        TrttTickCount = ForcedSendTicks;
        return;
    }
    // Discarded: an echo the full send queue cuts short comes back shorter, and the recording
    // station counts it so.
    static_cast<void>(link_.WritePort(reinterpret_cast<const uint8_t*>(ErrTestRxText.constData()),
                                      static_cast<uint32_t>(ErrTestRxText.size())));
    ErrTestRxText.clear();
    RecIdleTicks = 0;
}

void DataTestEngine::ErrTestStatisticsStep() {
    // The echo carries the breaks the text went out with.
    const QByteArray sent = TransmitTextBytes(transmitText_, lineEnding_);
    ErrTestRow row;
    row.matchedShown = CountReply(ErrTest, sent, ErrTestRxText) == ReplyVerdict::Matched;
    row.counts = ErrTest;
    // Without a computed rate the box keeps what it showed.
    if (recording_) row.rate = SuccessRateText(ErrTest);
    view_->showErrTestRow(row);
    ErrTestRxText.clear();
    CountUp(ErrTest.ErrTestSent);
}
