// The program's read and write against tvrsim on a pseudo-terminal, through the real serial
// backend and the main window's own command timers.

#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>
#include <memory>

#include "app/mainwindow.h"
#include "app/progresswindow.h"
#include "app/windows.h"
#include "core/language.h"
#include "core/messages.h"
#include "serial/portnames.h"
#include "serial/qtserialdevice.h"
#include "serial/seriallink.h"
#include "tests/support/processes.h"

namespace {

// The search from 9600 none to 38400 none makes six attempts of up to 0.36 s before the
// seventh; this bound leaves room for a loaded machine.
constexpr int ExchangeTimeoutMs = 30000;

// What the main window shows after a read.
struct Shown {
    QString channel;
    QString airRate;
    QString id;
    QString model;
    QString serialRate;
    QString parity;
    QString status;
};

Shown ShownNow() {
    return {Form1->ComboChnn->currentText(),
            Form1->ComboAirBaud->currentText(),
            Form1->EditID->text(),
            Form1->EditModelVer->text(),
            Form1->ComboRadioSerBaud->currentText(),
            Form1->ComboRadioParity->currentText(),
            Form1->statusText(2)};
}

}  // namespace

class SequencerE2eTest : public QObject {
    Q_OBJECT

    RadioFolder folder_;
    QStringList messages_;

    QString linkPath() const { return folder_.path(QStringLiteral("radio")); }

    // Starts tvrsim with `args` behind a fresh link and waits until the link exists.
    bool startRadio(const QStringList& args) {
        return folder_.radios().run(QStringList{"--link", linkPath()} + args, {linkPath()}) !=
               nullptr;
    }

    // Presses the button and lets the timers run until the exchange (and a write's read-back)
    // is over and has reported its end.
    QString exchange(void (TForm1::*press)()) {
        messages_.clear();
        (Form1->*press)();
        QElapsedTimer timer;
        timer.start();
        while ((messages_.isEmpty() || Form1->commandTimersRunning()) &&
               timer.elapsed() < ExchangeTimeoutMs) {
            QTest::qWait(20);
        }
        return messages_.isEmpty() ? QStringLiteral("(no message)") : messages_.join('|');
    }

    static void select(QComboBox* box, const QString& text) {
        const int position = box->findText(text);
        QVERIFY2(position >= 0, qPrintable(text));
        box->setCurrentIndex(position);
    }

    static void compareShown(const Shown& actual, const Shown& expected) {
        QCOMPARE(actual.channel, expected.channel);
        QCOMPARE(actual.airRate, expected.airRate);
        QCOMPARE(actual.id, expected.id);
        QCOMPARE(actual.model, expected.model);
        QCOMPARE(actual.serialRate, expected.serialRate);
        QCOMPARE(actual.parity, expected.parity);
        QCOMPARE(actual.status, expected.status);
    }

  private slots:
    void initTestCase() {
        LanguageFlag = 1;
        SetMessagePresenter([this](const Message& m) {
            messages_ << m.text;
            return MessageAnswer::Ok;
        });
        CreateWindows();
        Link().setOpener(OpenQtSerialDevice);
    }

    void init() {
        QVERIFY(folder_.begin());
        SetPinnedPorts({linkPath()});
    }

    void cleanup() {
        // Closed first, so that the radio going away is not a vanished device.
        Link().ClosePort();
        folder_.end();
    }

    void radioAt38400IsFoundReadAndWritten() {
        QVERIFY(startRadio({"--baud", "38400", "--channel", "5", "--air", "6", "--id", "2468",
                            "--firmware", "2.3"}));
        QCOMPARE(exchange(&TForm1::Speed_RClick), QStringLiteral("Read correct!"));
        compareShown(ShownNow(),
                     {"NO.5", "38400", "246800", "TVR-M402.3", "38400", "N", "38400-N-1"});
        // Found on the seventh attempt, after 9600 and 19200 with each parity.
        QCOMPARE(int(Form1->Sequencer.ConnectLeft), 22);
        QVERIFY(Form1->Speed_W->isEnabled());
        QVERIFY(!Form_Progress->isVisible());

        select(Form1->ComboChnn, QStringLiteral("NO.11"));
        select(Form1->ComboAirBaud, QStringLiteral("9600"));
        Form1->EditID->setText(QStringLiteral("135700"));
        QCOMPARE(exchange(&TForm1::Speed_WClick), QStringLiteral("Write correct!"));
        QVERIFY(!Form_Progress->isVisible());

        // The read clears the controls first, so what shows now came back from the radio.
        QCOMPARE(exchange(&TForm1::Speed_RClick), QStringLiteral("Read correct!"));
        compareShown(ShownNow(),
                     {"NO.11", "9600", "135700", "TVR-M402.3", "38400", "N", "38400-N-1"});
    }

    void portFollowsTheRadioToANewSerialRate() {
        QVERIFY(startRadio({"--baud", "9600", "--channel", "3"}));
        QCOMPARE(exchange(&TForm1::Speed_RClick), QStringLiteral("Read correct!"));
        QCOMPARE(Form1->statusText(2), QStringLiteral("9600-N-1"));

        select(Form1->ComboRadioSerBaud, QStringLiteral("57600"));
        QCOMPARE(exchange(&TForm1::Speed_WClick), QStringLiteral("Write correct!"));
        QCOMPARE(Form1->statusText(2), QStringLiteral("57600-N-1"));
        QCOMPARE(int(Link().BaudIndex()), 7);

        // The port already runs at the radio's new rate: the first attempt finds it.
        QCOMPARE(exchange(&TForm1::Speed_RClick), QStringLiteral("Read correct!"));
        QCOMPARE(int(Form1->Sequencer.ConnectLeft), 28);
        compareShown(ShownNow(),
                     {"NO.3", "9600", "123400", "TVR-M401.2", "57600", "N", "57600-N-1"});
    }
};

QTEST_MAIN(SequencerE2eTest)
#include "sequencer_e2e_test.moc"
