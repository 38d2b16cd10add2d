#include "datatest/datatest.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <limits>

#include "core/language.h"
#include "core/messages.h"

namespace {

const LocalizedMessage kPortNotOpened{"Port not opened", "串口未打开", "ERROR"};
const LocalizedMessage kPortNotOpenedWrite{"Port not opened", "串口未打开", "ERROR", "Write"};
const LocalizedMessage kStringEmpty{"String is empty", "发送字符串为空", "传送"};

template <typename Count>
void CountUp(Count& count) {
    if (count < std::numeric_limits<Count>::max()) ++count;
}

// The lines of a text area as it shows them: a wrapped paragraph gives one line per row.
QStringList DisplayedLines(const QPlainTextEdit* area) {
    QStringList lines;
    const QTextDocument* document = area->document();
    auto* layout = qobject_cast<QPlainTextDocumentLayout*>(document->documentLayout());
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        if (layout) layout->ensureBlockLayout(block);
        const QTextLayout* rows = block.layout();
        const QString text = block.text();
        if (!rows || rows->lineCount() == 0) {
            lines << text;
            continue;
        }
        for (int i = 0; i < rows->lineCount(); ++i) {
            const QTextLine row = rows->lineAt(i);
            lines << text.mid(row.textStart(), row.textLength());
        }
    }
    return lines;
}

}  // namespace

DataTest::DataTest(const DataTestControls& controls, SerialLink& link) : c_(controls), link_(link) {
    // The area keeps the bytes and their text, so switching shows everything kept anew.
    c_.Memo_Rec->setHexDisplay(c_.Check_RecHex->isChecked());
    QObject::connect(c_.Check_RecHex, &QCheckBox::toggled, c_.Memo_Rec,
                     &ReceiveView::setHexDisplay);
    // Checked, more than the line limit empties the area; unchecked, its store bounds it.
    const auto followAutoClear = [view = c_.Memo_Rec](bool checked) {
        view->setLineLimit(checked ? std::optional<qsizetype>(RecAutoClearLineLimit)
                                   : std::nullopt);
    };
    followAutoClear(c_.Check_AutoClr->isChecked());
    QObject::connect(c_.Check_AutoClr, &QCheckBox::toggled, c_.Memo_Rec, followAutoClear);
}

// ---- Transmit ----

QByteArray DataTest::SendPayload() const {
    if (!c_.Check_TrttHex->isChecked()) return TransmitTextBytes(c_.Memo_Trtt->toPlainText());
    std::array<uint8_t, TrttHexBufferSize> bytes{};
    const int count = TrttHexToBytes(DisplayedLines(c_.Memo_Trtt), bytes);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), count);
}

void DataTest::WriteCounted(const QByteArray& payload) {
    const auto size = static_cast<uint32_t>(payload.size());
    const uint32_t accepted =
        link_.WriteData(reinterpret_cast<const uint8_t*>(payload.constData()), size);
    if (accepted < size) {
        RefusedBytes += size - accepted;
        ShowTxNotes();
    }
    // Shown after every send, even when the driver has not taken anything yet.
    CountSentBytes();
    ShowTxCount();
}

// The counter shows what the driver has taken, not what waits in the send queue.
bool DataTest::CountSentBytes() {
    const uint64_t sent = link_.TakeSentData();
    TxByteCount = AddByteCount(TxByteCount, static_cast<uint32_t>(sent));
    return sent > 0;
}

void DataTest::ShowSentBytes() {
    if (CountSentBytes()) ShowTxCount();
}

void DataTest::ShowTxCount() {
    c_.setStatusText(4, QStringLiteral("TX : %1").arg(TxByteCount));
}

void DataTest::ShowTxNotes() {
    c_.setStatusToolTip(4,
                        Tr("Periodic sends skipped because the previous one had not left yet: %1\n"
                           "Bytes the full send queue did not take: %2",
                           "因上次数据尚未发完而跳过的自动发送：%1\n发送队列已满而未发送的字节：%2")
                            .arg(SkippedSends)
                            .arg(RefusedBytes));
}

void DataTest::Button_ManulTrttClick() {
    if (!link_.PortHandle()) {
        ShowLocalized(kPortNotOpened);
        return;
    }
    if (c_.Memo_Trtt->toPlainText().isEmpty()) {
        ShowLocalized(kStringEmpty);
        return;
    }
    WriteCounted(SendPayload());
}

void DataTest::Check_AutoTrttClick() {
    if (!c_.Check_AutoTrtt->isChecked()) {
        c_.Timer_TrttData->stop();
        return;
    }
    if (!link_.PortHandle()) {
        ShowLocalized(kPortNotOpenedWrite);
        c_.Check_AutoTrtt->setChecked(false);
        return;
    }
    if (c_.Memo_Trtt->toPlainText().isEmpty()) {
        ShowLocalized(kStringEmpty);
        c_.Check_AutoTrtt->setChecked(false);
        return;
    }
    c_.Timer_TrttData->start();
}

void DataTest::Timer_TrttDataTimer() {
    CountUp(TrttTickCount);
    const PeriodReading period = periodReader_.Read(c_.Edit_TrttPerio->text());
    if (!period.errorToShow.isEmpty()) ShowErrorReport(period.errorToShow);
    if (!period.periodMs || !TrttSendDue(TrttTickCount, *period.periodMs)) return;
    TrttTickCount = 0;
    // Data piling up faster than the link carries them would only grow the queue.
    if (link_.SendPending()) {
        CountUp(SkippedSends);
        ShowTxNotes();
        return;
    }
    WriteCounted(SendPayload());
    if (ErrTestActive) ErrTestStatisticsStep();
}

void DataTest::Button_ClrTrttMemoClick() {
    c_.Memo_Trtt->setPlainText(QString());
}

// ---- Receive ----

void DataTest::ShowRxCount() {
    c_.setStatusText(5, QStringLiteral("RX : %1").arg(RxByteCount));
}

void DataTest::ShowLostBytes() {
    const uint64_t lost = link_.TakeLostBytes();
    if (lost == 0) return;
    LostBytes += lost;
    c_.showLostBytes(Tr("Lost: %1", "丢失：%1").arg(LostBytes));
}

void DataTest::Timer_RecDataTimer() {
    if (!link_.PortHandle()) return;
    ShowLostBytes();
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
        c_.Memo_Rec->forgetPartialCharacter();
        return;
    }
    c_.Memo_Rec->appendReceived(bytes);
    RxByteCount = AddByteCount(RxByteCount, waiting);
    ShowRxCount();
}

void DataTest::Button_ClrRecMemoClick() {
    c_.Memo_Rec->clearReceived();
}

void DataTest::Button1Click() {
    if (RecDisplayStopped) {
        RecDisplayStopped = 0;
        c_.Button1->setText(Tr("Stop Displsy", "停止显示"));
    } else {
        RecDisplayStopped = 1;
        c_.Button1->setText(Tr("continue", "继续显示"));
    }
}

void DataTest::Button3Click() {
    RxByteCount = 0;
    ShowRxCount();
    LostBytes = 0;
    // Bytes dropped before the reset belong to the old count, whether or not a tick saw them.
    link_.TakeLostBytes();
    c_.showLostBytes(QString());
    TxByteCount = 0;
    // Bytes the driver took before the reset belong to the old count.
    link_.TakeSentData();
    ShowTxCount();
    SkippedSends = 0;
    RefusedBytes = 0;
    ShowTxNotes();
}

// ---- Loop-back error test ----

void DataTest::PanelTrttTestClick() {
    if (c_.PanelTrttTest->frameShadow() == QFrame::Sunken) {
        c_.PanelTrttTest->setFrameShadow(QFrame::Raised);
        c_.Check_AutoTrtt->setChecked(false);
        c_.Check_AutoTrtt->setEnabled(true);
        return;
    }
    for (QLineEdit* box : {c_.Edit1, c_.Edit2, c_.Edit3, c_.Edit5, c_.Edit6, c_.Edit7}) {
        box->setText(QStringLiteral("0"));
    }
    ErrTest = {};
    if (c_.Memo_Trtt->toPlainText().isEmpty()) {
        // Both languages use the simple box here.
        ShowPlain(Tr("Please input datas", "请输入发送字符"));
        return;
    }
    ErrTestActive = 1;
    ErrTestRxText.clear();
    c_.Edit_TrttPerio->setText(QStringLiteral("2000"));
    c_.PanelTrttTest->setFrameShadow(QFrame::Sunken);
    c_.Check_AutoTrtt->setEnabled(false);
    if (c_.CheckTrtt->isChecked()) c_.Check_AutoTrtt->setChecked(true);
}

void DataTest::ErrTestReceive(QByteArrayView bytes) {
    // Zero bytes included: an echo station must return exactly what arrived.
    ErrTestRxText.append(bytes);
}

void DataTest::ErrTestReplyStep() {
    if (!ErrTestActive || ErrTestRxText.isEmpty()) return;
    if (c_.CheckTrtt->isChecked()) {
        // Send at once; the echo stays for the statistics step of that send.
        TrttTickCount = 1000;
        return;
    }
    link_.WritePort(reinterpret_cast<const uint8_t*>(ErrTestRxText.constData()),
                    static_cast<uint32_t>(ErrTestRxText.size()));
    ErrTestRxText.clear();
    RecIdleTicks = 0;
}

void DataTest::ErrTestStatisticsStep() {
    const QByteArray sent = TransmitTextBytes(c_.Memo_Trtt->toPlainText());
    if (CountReply(ErrTest, sent, ErrTestRxText) == ReplyVerdict::Matched) {
        c_.Edit2->setText(QString::number(ErrTest.ErrTestMatched));
    }
    c_.Edit6->setText(QString::number(ErrTest.ErrTestLonger));
    c_.Edit7->setText(QString::number(ErrTest.ErrTestShorter));
    c_.Edit5->setText(QString::number(ErrTest.ErrTestNoReply));
    c_.Edit4->setText(QString::number(ErrTest.ErrTestSameLen));
    c_.Edit1->setText(QString::number(ErrTest.ErrTestSent));
    // Without a computed rate Edit3 keeps what it showed.
    if (c_.CheckTrtt->isChecked()) {
        if (const auto rate = SuccessRateText(ErrTest)) c_.Edit3->setText(*rate);
    }
    ErrTestRxText.clear();
    CountUp(ErrTest.ErrTestSent);
}
