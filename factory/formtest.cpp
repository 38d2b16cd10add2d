#include "factory/formtest.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "core/language.h"
#include "core/messages.h"
#include "radio/frame.h"

namespace {

// The window's messages, all in one place.
const LocalizedMessage kPortNotOpened{"Port not opened", "串口未打开", "ERROR"};
QString NoRespondText() {
    return Tr("No respond", "无响应");
}
const char* const kPowerTooHigh = "功率不能大于10mW";
const char* const kReadEnd = "Read End";
const char* const kReadError = "Read Error";

// A repeated identical reply is still seen to arrive: its colour alternates between these.
const QColor kReplyRed(255, 0, 0);
// The usual system hot-light colour, fixed so the alternation never depends on the theme.
const QColor kReplyHotLight(0x00, 0x66, 0xCC);

constexpr int kPowerLevelCount = 8;
// How often a running exchange looks for its reply.
constexpr int kExchangePollMs = 2;

template <typename T>
T* Named(T* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QPushButton* MakeButton(const char* name, const QString& text) {
    return Named(new QPushButton(text), name);
}

QLineEdit* MakeEdit(const char* name, const QString& text) {
    return Named(new QLineEdit(text), name);
}

MsClock MonotonicClock() {
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    return [started] { return started->elapsed(); };
}

}  // namespace

TFormTest::TFormTest(SerialLink& link, QWidget* centreOn, std::function<void()> onClose)
    : QWidget(nullptr, Qt::Window),
      link_(link),
      centreOn_(centreOn),
      onClose_(std::move(onClose)),
      exchanger_(link, MonotonicClock()) {
    setObjectName(QStringLiteral("FormTest"));
    setWindowTitle(QStringLiteral("测试"));
    buildControls();
    ExchangeTimer = Named(new QTimer(this), "ExchangeTimer");
    ExchangeTimer->setInterval(kExchangePollMs);
    connect(ExchangeTimer, &QTimer::timeout, this, &TFormTest::ExchangeTimerTimer);
}

void TFormTest::setClock(MsClock clock) {
    exchanger_.setClock(std::move(clock));
}

void TFormTest::buildControls() {
    GroupBox3 = Named(new QGroupBox(QStringLiteral("生产测试")), "GroupBox3");
    Button1 = MakeButton("Button1", QStringLiteral("发射测试"));
    Button6 = MakeButton("Button6", QStringLiteral("灵敏度频率"));
    Button5 = MakeButton("Button5", QStringLiteral("结束测试"));
    EditDis = MakeEdit("EditDis", QString());
    // Wide enough for the largest reply shown, 20 bytes of three characters.
    EditDis->setMinimumWidth(
        EditDis->fontMetrics().horizontalAdvance(QString(3 * int(MaxTestReply), QLatin1Char('0'))));
    Button7 = MakeButton("Button7", QStringLiteral("读场强"));
    Edit1 = MakeEdit("Edit1", QStringLiteral("Edit1"));
    Button8 = MakeButton("Button8", QStringLiteral("功率设置"));
    ComboBox1 = Named(new QComboBox, "ComboBox1");
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    for (int level = 1; level <= kPowerLevelCount; ++level) {
        ComboBox1->addItem(QStringLiteral("%1级").arg(level));
    }
    ComboBox1->setCurrentIndex(0);
    Button9 = MakeButton("Button9", QStringLiteral("功率读取"));
    Edit6 = MakeEdit("Edit6", QStringLiteral("Edit6"));
    Edit5 = MakeEdit("Edit5", QStringLiteral("Edit5"));

    auto* production = new QGridLayout(GroupBox3);
    production->addWidget(Button1, 0, 0);
    production->addWidget(Button6, 0, 1);
    production->addWidget(Button5, 0, 2);
    production->addWidget(EditDis, 1, 0, 1, 3);
    production->addWidget(Button7, 2, 0);
    production->addWidget(Edit1, 2, 1);
    production->addWidget(Button8, 3, 0);
    production->addWidget(ComboBox1, 3, 1);
    production->addWidget(Button9, 4, 0);
    production->addWidget(Edit6, 4, 1);
    production->addWidget(Edit5, 4, 2);

    GroupBox1 = Named(new QGroupBox(QStringLiteral("寄存器操作")), "GroupBox1");
    Button3 = MakeButton("Button3", QStringLiteral("ReadOne"));
    Edit2 = MakeEdit("Edit2", QStringLiteral("00"));
    Button4 = MakeButton("Button4", QStringLiteral("WriteOne"));
    Edit3 = MakeEdit("Edit3", QStringLiteral("00"));
    Edit4 = MakeEdit("Edit4", QStringLiteral("00"));
    auto* registers = new QGridLayout(GroupBox1);
    registers->addWidget(Button3, 0, 0);
    registers->addWidget(Edit2, 0, 1);
    registers->addWidget(Button4, 1, 0);
    registers->addWidget(Edit3, 1, 1);
    registers->addWidget(Edit4, 1, 2);

    GroupBox2 = Named(new QGroupBox(QStringLiteral("读所有寄存器")), "GroupBox2");
    Button2 = MakeButton("Button2", QStringLiteral("ReadAll"));
    Memo1 = Named(new QPlainTextEdit(QStringLiteral("Memo1")), "Memo1");
    Memo1->setFixedHeight(Memo1->fontMetrics().lineSpacing() * 5);
    auto* dump = new QVBoxLayout(GroupBox2);
    dump->addWidget(Button2, 0, Qt::AlignLeft);
    dump->addWidget(Memo1);

    // Nothing in the program shows the register groups; they work when shown.
    GroupBox1->hide();
    GroupBox2->hide();

    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(GroupBox3);
    layout->addWidget(GroupBox1);
    layout->addWidget(GroupBox2);

    connect(Button1, &QPushButton::clicked, this, &TFormTest::Button1Click);
    connect(Button5, &QPushButton::clicked, this, &TFormTest::Button5Click);
    connect(Button6, &QPushButton::clicked, this, &TFormTest::Button6Click);
    connect(Button7, &QPushButton::clicked, this, &TFormTest::Button7Click);
    connect(Button8, &QPushButton::clicked, this, &TFormTest::Button8Click);
    connect(Button9, &QPushButton::clicked, this, &TFormTest::Button9Click);
    connect(Button3, &QPushButton::clicked, this, &TFormTest::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TFormTest::Button4Click);
    connect(Button2, &QPushButton::clicked, this, &TFormTest::Button2Click);
    exchangeButtons_ = {Button1, Button5, Button6, Button7, Button8,
                        Button9, Button3, Button4, Button2};
}

void TFormTest::showNoPort() {
    ShowLocalized(kPortNotOpened);
}

void TFormTest::TestExchange(const TestFrame& frame,
                             std::function<void(std::optional<uint8_t>)> onResult) {
    const bool started = exchanger_.startSingle(
        frame, [this, onResult = std::move(onResult)](const TestReply& reply) {
            setExchangeRunning(false);
            showReply(reply);
            if (onResult) onResult(reply.result());
        });
    if (!started) {
        showNoPort();
        return;
    }
    EditDis->setText(QStringLiteral(" "));
    setExchangeRunning(true);
}

void TFormTest::showReply(const TestReply& reply) {
    switch (reply.outcome) {
        case TestReply::Outcome::Flooded:
            break;
        case TestReply::Outcome::Silent:
            ShowPlain(NoRespondText());
            break;
        case TestReply::Outcome::Answered: {
            std::vector<char> hex(3 * reply.bytes.size() + 1);
            BytesToHex(reply.bytes.data(), static_cast<int>(reply.bytes.size()), hex.data());
            EditDis->setText(QString::fromLatin1(hex.data()));
            toggleReplyColour();
            break;
        }
    }
}

void TFormTest::setExchangeRunning(bool running) {
    for (QPushButton* button : exchangeButtons_) button->setEnabled(!running);
    if (running) {
        ExchangeTimer->start();
    } else {
        ExchangeTimer->stop();
    }
}

void TFormTest::ExchangeTimerTimer() {
    exchanger_.poll();
    // The port went away under the exchange.
    if (!exchanger_.running() && ExchangeTimer->isActive()) setExchangeRunning(false);
}

void TFormTest::CancelExchange() {
    exchanger_.cancel();
    setExchangeRunning(false);
}

void TFormTest::toggleReplyColour() {
    QPalette palette = EditDis->palette();
    const bool red = palette.color(QPalette::Text) == kReplyRed;
    palette.setColor(QPalette::Text, red ? kReplyHotLight : kReplyRed);
    EditDis->setPalette(palette);
}

void TFormTest::sendPlain(TestCommand command,
                          std::function<void(std::optional<uint8_t>)> onResult) {
    TestExchange(TestFrameTable[command], std::move(onResult));
}

void TFormTest::Button1Click() {
    sendPlain(TransmitTest);
}

void TFormTest::Button5Click() {
    sendPlain(EndTest);
}

void TFormTest::Button6Click() {
    sendPlain(SensitivityFrequency);
}

void TFormTest::Button7Click() {
    // Without a reply the last reading stays, rather than a value nobody sent.
    sendPlain(ReadFieldStrength, [this](std::optional<uint8_t> value) {
        if (value) Edit1->setText(FieldStrengthText(*value));
    });
}

void TFormTest::Button8Click() {
    const int8_t level = PowerLevelForIndex(ComboBox1->findText(
        ComboBox1->currentText(), Qt::MatchFixedString | Qt::MatchCaseSensitive));
    if (level > MaxPowerLevel) {
        ShowPlain(QString::fromUtf8(kPowerTooHigh));
        return;
    }
    TestFrame frame = TestFrameTable[SetPowerLevel];
    frame[4] = static_cast<uint8_t>(level);
    TestExchange(frame);
}

void TFormTest::Button9Click() {
    sendPlain(ReadPowerLevel, [this](std::optional<uint8_t> value) {
        if (value) Edit6->setText(PowerLevelText(*value));
    });
}

void TFormTest::Button3Click() {
    TestFrame frame = TestFrameTable[ReadRegister];
    frame[4] = HexToByte(Edit2->text().toStdString());
    TestExchange(frame);
}

void TFormTest::Button4Click() {
    TestFrame frame = TestFrameTable[WriteRegister];
    frame[4] = HexToByte(Edit3->text().toStdString());
    frame[5] = HexToByte(Edit4->text().toStdString());
    TestExchange(frame);
}

void TFormTest::Button2Click() {
    const bool started = exchanger_.startDump([this](const RegisterDump& dump) {
        setExchangeRunning(false);
        showDump(dump);
    });
    if (!started) {
        showNoPort();
        return;
    }
    Memo1->setPlainText(QStringLiteral(" "));
    setExchangeRunning(true);
}

void TFormTest::showDump(const RegisterDump& dump) {
    if (!dump.complete()) {
        ShowPlain(QString::fromLatin1(kReadError));
        return;
    }
    ShowPlain(QString::fromLatin1(kReadEnd));
    Memo1->setPlainText(DumpText(dump.values));
}

void TFormTest::FormClose() {
    // Nobody is left to see the reply; the main window's receive poll takes the port back.
    CancelExchange();
    if (onClose_) onClose_();
}

void TFormTest::showEvent(QShowEvent* event) {
    if (centreOn_) {
        QRect frame = frameGeometry();
        frame.moveCenter(centreOn_->frameGeometry().center());
        move(frame.topLeft());
    }
    QWidget::showEvent(event);
}

void TFormTest::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}
