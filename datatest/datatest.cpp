#include "datatest/datatest.h"

#include <QKeyEvent>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <optional>

#include "core/language.h"
#include "datatest/recdisplay.h"

namespace {

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

// Hands the key presses of the object it filters to a function, which says whether it took them.
class KeyPressFilter : public QObject {
  public:
    explicit KeyPressFilter(std::function<bool(const QKeyEvent*)> take) : take_(std::move(take)) {}
    bool eventFilter(QObject* /*watched*/, QEvent* event) override {
        return event->type() == QEvent::KeyPress && take_(static_cast<const QKeyEvent*>(event));
    }

  private:
    std::function<bool(const QKeyEvent*)> take_;
};

}  // namespace

DataTest::DataTest(const DataTestControls& controls, SerialLink& link)
    : Engine(link, this), c_(controls) {
    followControls();
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
    historyKeys_ = std::make_unique<KeyPressFilter>(
        [this](const QKeyEvent* key) { return recallHistory(key); });
    c_.Memo_Trtt->installEventFilter(historyKeys_.get());
}

DataTest::~DataTest() = default;

// The engine holds what the controls hold, from now on.
void DataTest::followControls() {
    Engine.setTransmitText(c_.Memo_Trtt->toPlainText());
    QObject::connect(c_.Memo_Trtt, &QPlainTextEdit::textChanged, c_.Memo_Trtt,
                     [this] { Engine.setTransmitText(c_.Memo_Trtt->toPlainText()); });
    Engine.setHexSend(c_.Check_TrttHex->isChecked());
    QObject::connect(c_.Check_TrttHex, &QCheckBox::toggled, c_.Check_TrttHex,
                     [this](bool hex) { Engine.setHexSend(hex); });
    Engine.setPeriodText(c_.Edit_TrttPerio->text());
    QObject::connect(c_.Edit_TrttPerio, &QLineEdit::textChanged, c_.Edit_TrttPerio,
                     [this](const QString& text) { Engine.setPeriodText(text); });
    Engine.setRecording(c_.CheckTrtt->isChecked());
    QObject::connect(c_.CheckTrtt, &QCheckBox::toggled, c_.CheckTrtt,
                     [this](bool recording) { Engine.setRecording(recording); });
    if (!c_.Combo_LineEnd) return;
    const auto followLineEnd = [this](int index) {
        if (index >= 0 && index < int(std::size(AllLineEndings)))
            Engine.setLineEnding(AllLineEndings[index]);
    };
    followLineEnd(c_.Combo_LineEnd->currentIndex());
    QObject::connect(c_.Combo_LineEnd, &QComboBox::currentIndexChanged, c_.Combo_LineEnd,
                     followLineEnd);
}

// Up and Down move through the text as usual and recall the history only where they cannot.
bool DataTest::recallHistory(const QKeyEvent* key) {
    if (key->modifiers() != Qt::NoModifier) return false;
    QTextCursor probe = c_.Memo_Trtt->textCursor();
    std::optional<QString> recalled;
    if (key->key() == Qt::Key_Up && !probe.movePosition(QTextCursor::Up)) {
        recalled = History.older(c_.Memo_Trtt->toPlainText());
    } else if (key->key() == Qt::Key_Down && !probe.movePosition(QTextCursor::Down)) {
        recalled = History.newer();
    }
    if (!recalled) return false;
    c_.Memo_Trtt->setPlainText(*recalled);
    c_.Memo_Trtt->moveCursor(QTextCursor::End);
    return true;
}

DataTestResult DataTest::Button_ManulTrttClick() {
    DataTestResult result = Engine.Button_ManulTrttClick();
    if (result.outcome == DataTestOutcome::Done) History.add(c_.Memo_Trtt->toPlainText());
    return result;
}

DataTestResult DataTest::Check_AutoTrttClick() {
    return Engine.Check_AutoTrttClick(c_.Check_AutoTrtt->isChecked());
}

DataTestResult DataTest::Timer_TrttDataTimer() {
    return Engine.Timer_TrttDataTimer();
}

void DataTest::Button_ClrTrttMemoClick() {
    c_.Memo_Trtt->setPlainText(QString());
}

void DataTest::ShowSentBytes() {
    Engine.ShowSentBytes();
}

void DataTest::Timer_RecDataTimer() {
    Engine.Timer_RecDataTimer();
}

void DataTest::Button_ClrRecMemoClick() {
    c_.Memo_Rec->clearReceived();
}

void DataTest::Button1Click() {
    Engine.Button1Click();
}

void DataTest::Button3Click() {
    Engine.Button3Click();
}

DataTestResult DataTest::PanelTrttTestClick() {
    return Engine.PanelTrttTestClick();
}

// ---- What the engine shows ----

QStringList DataTest::transmitLines(const QString& /*text*/) const {
    return DisplayedLines(c_.Memo_Trtt);
}

void DataTest::showTxCount(int32_t count) {
    c_.setStatusText(4, QStringLiteral("TX : %1").arg(count));
}

void DataTest::showTxNotes(uint32_t skippedSends, uint64_t refusedBytes) {
    c_.setStatusToolTip(4,
                        Tr("Periodic sends skipped because the previous one had not left yet: %1\n"
                           "Bytes the full send queue did not take: %2",
                           "因上次数据尚未发完而跳过的自动发送：%1\n发送队列已满而未发送的字节：%2")
                            .arg(skippedSends)
                            .arg(refusedBytes));
}

void DataTest::showRxCount(int32_t count) {
    c_.setStatusText(5, QStringLiteral("RX : %1").arg(count));
}

void DataTest::showLostBytes(uint64_t lost) {
    c_.showLostBytes(lost == 0 ? QString() : Tr("Lost: %1", "丢失：%1").arg(lost));
}

void DataTest::showReceived(QByteArrayView bytes) {
    c_.Memo_Rec->appendReceived(bytes);
}

void DataTest::skipReceived() {
    c_.Memo_Rec->forgetPartialCharacter();
}

void DataTest::showDisplayStopped(bool stopped) {
    c_.Button1->setText(stopped ? Tr("continue", "继续显示") : Tr("Stop Displsy", "停止显示"));
}

// The engine has already done what the box's handler does.
void DataTest::showAutoSend(bool checked, bool enabled) {
    const QSignalBlocker quiet(c_.Check_AutoTrtt);
    c_.Check_AutoTrtt->setChecked(checked);
    c_.Check_AutoTrtt->setEnabled(enabled);
}

void DataTest::setPeriodicSending(bool on) {
    if (on) {
        c_.Timer_TrttData->start();
    } else {
        c_.Timer_TrttData->stop();
    }
}

void DataTest::showPeriodText(const QString& text) {
    c_.Edit_TrttPerio->setText(text);
}

void DataTest::showErrTestRunning(bool running) {
    c_.PanelTrttTest->setFrameShadow(running ? QFrame::Sunken : QFrame::Raised);
}

void DataTest::showErrTestRow(const ErrTestRow& row) {
    const auto show = [](QLineEdit* box, int32_t value) { box->setText(QString::number(value)); };
    const ErrTestCounters& counts = row.counts;
    if (row.matchedShown) show(c_.Edit2, counts.ErrTestMatched);
    show(c_.Edit6, counts.ErrTestLonger);
    show(c_.Edit7, counts.ErrTestShorter);
    show(c_.Edit5, counts.ErrTestNoReply);
    if (row.sameLenShown) show(c_.Edit4, counts.ErrTestSameLen);
    show(c_.Edit1, counts.ErrTestSent);
    if (row.rate) c_.Edit3->setText(*row.rate);
}
