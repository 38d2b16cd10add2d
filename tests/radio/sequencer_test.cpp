#include <QTest>

#include "app/mainwindow.h"
#include "app/progresswindow.h"
#include "app/windows.h"
#include "serial/serialform.h"
#include "tests/support/scriptedradio.h"
#include "tests/support/windowfixture.h"

using namespace std::chrono_literals;

// The connect search, the read and the write against the simulated radio, one 10 ms tick at a
// time: each tick runs the send handler, then the receive handler, then moves the radio on.
class SequencerTest : public QObject {
    Q_OBJECT

    WindowFixture f_;
    QList<QPair<int, int>> probes_;  // rate and parity index of every connect probe

    void tick() {
        if (Form1->Sequencer.SendReady && Form1->Sequencer.ConnectMode &&
            Form1->commandTimersRunning()) {
            probes_ << qMakePair(int(Link().BaudIndex()), int(Link().ParityIndex()));
        }
        f_.commandTick();
    }

    // Ticks until the exchange ends; false when it is still running after maxTicks.
    bool runToEnd(int maxTicks = 2000) {
        for (int i = 0; i < maxTicks && Form1->commandTimersRunning(); ++i) tick();
        Settle();
        return !Form1->commandTimersRunning();
    }

    QString lastMessage() { return f_.messages.last(); }

    void readOnce() {
        Form1->Speed_RClick();
        QVERIFY(runToEnd());
        QCOMPARE(lastMessage(), QStringLiteral("Read correct!"));
    }

    // Opens the fake radio at 9600 and brings the exchange past its connect, so that the next
    // send tick sends step 0 of the read or the write.
    void connectToFake(bool write) {
        f_.useFake(RadioAnswer);
        f_.openPort();
        if (write) {
            readOnce();
            Form1->Speed_WClick();
        } else {
            Form1->Speed_RClick();
        }
        tick();  // the probe, answered
        tick();  // the answer judged: the read or write begins
        QVERIFY(!Form1->Sequencer.ConnectMode);
        QCOMPARE(Form1->Sequencer.WriteMode, write);
        f_.journal->events.clear();
        f_.messages.clear();
    }

  private slots:
    void initTestCase() { f_.createWindows(); }

    void init() {
        LanguageFlag = 1;
        f_.messages.clear();
        probes_.clear();
        f_.settingsApplied = 0;
    }

    void silentRadioIsSearchedTwentyEightTimes() {
        RadioFaults silent;
        silent.silent = true;
        f_.useRadio({}, silent);
        QCOMPARE(int(Link().WaitFactor), 3);  // nothing has set the rate yet
        QList<int> probeTicks;
        Form1->Speed_RClick();
        QVERIFY(Form_Progress->isVisible());
        QCOMPARE(Form_Progress->windowTitle(), QStringLiteral("Connect"));
        for (int t = 0; t < 2000 && Form1->commandTimersRunning(); ++t) {
            const int before = probes_.size();
            tick();
            if (probes_.size() > before) probeTicks << t;
        }
        QCOMPARE(probes_.size(), 28);
        QCOMPARE(probes_.first(), qMakePair(4, 0));
        QCOMPARE(probes_[5], qMakePair(5, 2));
        QCOMPARE(probes_[6], qMakePair(6, 0));
        QCOMPARE(probes_[15], qMakePair(0, 0));     // 115200 wraps to 600
        QCOMPARE(probes_.last(), qMakePair(4, 0));  // the 28th repeats the first
        // With the factor of 3 the attempts at 9600 end on the 29th receive tick, from 19200 on
        // the factor is 10 and they end on the 36th.
        QCOMPARE(probeTicks[1] - probeTicks[0], 29);
        QCOMPARE(probeTicks[3] - probeTicks[2], 29);
        QCOMPARE(probeTicks[4] - probeTicks[3], 36);
        QCOMPARE(lastMessage(), QStringLiteral("Connect error!"));
        QCOMPARE(int(Link().BaudIndex()), 4);
        QCOMPARE(int(Link().ParityIndex()), 0);
        QVERIFY(!Form_Progress->isVisible());
        QVERIFY(Form1->Timer_RecData->isActive());
    }

    void radioAt19200EvenIsFoundOnTheSixthAttempt() {
        RadioParameters parameters;
        parameters.line = {19200, ParityMode::Even, 1};
        parameters.channel = 7;
        parameters.airRateCode = 5;
        parameters.identity = {0x08, 0x15};
        f_.useRadio(parameters);
        Form1->Speed_RClick();
        QVERIFY(runToEnd());
        const QList<QPair<int, int>> expected{{4, 0}, {4, 1}, {4, 2}, {5, 0}, {5, 1}, {5, 2}};
        QCOMPARE(probes_, expected);
        QCOMPARE(lastMessage(), QStringLiteral("Read correct!"));
        QCOMPARE(Form1->ComboRadioSerBaud->currentText(), QStringLiteral("19200"));
        QCOMPARE(Form1->ComboRadioParity->currentText(), QStringLiteral("E"));
        QCOMPARE(Form1->ComboChnn->currentText(), QStringLiteral("NO.7"));
        QCOMPARE(Form1->ComboAirBaud->currentText(), QStringLiteral("19200"));
        QCOMPARE(Form1->EditModelVer->text(), QStringLiteral("TVR-M401.2"));
        QCOMPARE(Form1->EditID->text(), QStringLiteral("081500"));
        QCOMPARE(Form1->statusText(2), QStringLiteral("19200-E-1"));
        QCOMPARE(Serial_Form->ComboBaudRate->currentIndex(), 5);
        QCOMPARE(Serial_Form->ComboParity->currentIndex(), 2);
        QVERIFY(Form1->Speed_W->isEnabled() && Form1->FileWrite->isEnabled());
        QVERIFY(!Form_Progress->isVisible());
        QVERIFY(Form1->Timer_RecData->isActive());
    }

    void aSecondReadStartsWhereThePortStands() {
        readOnce();
        QCOMPARE(probes_.first(), qMakePair(5, 2));
        QCOMPARE(probes_.size(), 1);
    }

    void parityErrorAloneRefusesAValidReply_data() {
        QTest::addColumn<uint32_t>("errors");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("parity alone") << LineError::RxParity << false;
        QTest::newRow("parity and framing") << (LineError::RxParity | LineError::Framing) << true;
        QTest::newRow("no error") << 0u << true;
    }
    void parityErrorAloneRefusesAValidReply() {
        QFETCH(uint32_t, errors);
        QFETCH(bool, accepted);
        f_.useFake([errors](const QByteArray&) {
            return FakeSerialDevice::Answer{ModelReply, errors};
        });
        Form1->Speed_RClick();
        tick();  // probe out
        tick();  // reply judged
        QCOMPARE(!Form1->Sequencer.ConnectMode, accepted);
        Form1->Speed_CClick();
    }

    void modelCode17IsRefusedAndTheSearchMovesOn() {
        RadioFaults faults;
        faults.modelCode17 = true;
        f_.useRadio({}, faults);
        Form1->Speed_RClick();
        for (int t = 0; t < 80; ++t) tick();
        QVERIFY(Form1->Sequencer.ConnectMode);
        QCOMPARE(probes_.mid(0, 2), (QList<QPair<int, int>>{{4, 0}, {4, 1}}));
        Form1->Speed_CClick();
    }

    void chatterKeepsAnAttemptAlive() {
        RadioParameters parameters;
        parameters.line = {115200, ParityMode::None, 1};
        RadioFaults faults;
        faults.chatter = true;
        f_.useRadio(parameters, faults);
        Form1->Speed_RClick();
        for (int t = 0; t < 200; ++t) tick();
        QCOMPARE(probes_.size(), 1);
        QCOMPARE(int(Form1->Sequencer.ConnectLeft), 28);
        f_.radio->setFaults({});
        for (int t = 0; t < 60 && probes_.size() < 2; ++t) tick();
        QCOMPARE(probes_.size(), 2);  // quiet again: the attempt times out
        Form1->Speed_CClick();
    }

    void moreThan100BytesArePurgedAndTheTickEnds() {
        f_.useFake(
            [](const QByteArray&) { return FakeSerialDevice::Answer{QByteArray(150, 'x')}; });
        Form1->Speed_RClick();
        Form1->Timer_SdCmdTimer();  // the probe; its reply is held back
        const int lastQuietTick = Link().WaitFactor + 25;
        for (int t = 0; t < lastQuietTick; ++t) Form1->Timer_RecCmdTimer();
        f_.fake->deliver();
        Form1->Timer_RecCmdTimer();  // this tick would time out, but the flood is purged
        QCOMPARE(int(Form1->Sequencer.ConnectLeft), 28);
        uint32_t errors = 0;
        QCOMPARE(f_.fake->bytesWaiting(&errors), 0u);
        Form1->Timer_RecCmdTimer();
        QCOMPARE(int(Form1->Sequencer.ConnectLeft), 27);
        Form1->Speed_CClick();
    }

    void aReplyInPiecesIsReadWhenComplete() {
        RadioFaults faults;
        faults.splitPieces = 3;
        f_.useRadio({}, faults);
        readOnce();
        QCOMPARE(probes_.size(), 1);
    }

    void invalidReplyAtReadStepTwo_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<int>("answer");
        QTest::newRow("English") << 1 << int(MessageAnswer::Ok);
        QTest::newRow("Chinese, Retry") << 0 << int(MessageAnswer::Retry);
        QTest::newRow("Chinese, Cancel") << 0 << int(MessageAnswer::Cancel);
    }
    void invalidReplyAtReadStepTwo() {
        QFETCH(int, language);
        QFETCH(int, answer);
        f_.useFake([](const QByteArray& written) -> FakeSerialDevice::Answer {
            switch (written.at(3)) {
                case 0x10:
                    return {ModelReply};
                case 0x04:
                    return {AirReply};
                default:
                    return {QByteArray::fromHex("55AA0308030000")};
            }
        });
        LanguageFlag = language;
        f_.messages.answers << MessageAnswer(answer);
        Form1->Speed_RClick();
        const QList<Message>& shown = f_.messages.shown;
        for (int t = 0; t < 20 && shown.isEmpty(); ++t) tick();
        QCOMPARE(shown.size(), 1);
        if (language == 1) {
            QCOMPARE(shown[0].text, QStringLiteral("Read error!"));
            QCOMPARE(shown[0].kind, MessageKind::Plain);
        } else {
            QCOMPARE(shown[0].text, QStringLiteral("参数读取失败"));
            QCOMPARE(shown[0].caption, QStringLiteral("读参数"));
            QCOMPARE(shown[0].buttons, MessageButtons::RetryCancel);
        }
        if (MessageAnswer(answer) == MessageAnswer::Retry) {
            QVERIFY(Form1->commandTimersRunning());
            QVERIFY(!Form1->Sequencer.ConnectMode);
            QCOMPARE(Form1->Sequencer.CmdStep, 0);
            QCOMPARE(Form_Progress->windowTitle(), QStringLiteral("读参数"));
            tick();
            QCOMPARE(f_.fake->writes.last().at(3), char(0x10));  // step 0 again, no probe
            Form1->Speed_CClick();
        } else {
            QVERIFY(!Form1->commandTimersRunning());
            QCOMPARE(Form1->Sequencer.CmdStep, 2);
            QVERIFY(Form1->Timer_RecData->isActive());
        }
        QVERIFY(!Form_Progress->isVisible() || Form1->commandTimersRunning());
    }

    void retryAfterThePortWentAwayEndsTheExchange() {
        f_.useFake([](const QByteArray&) {
            return FakeSerialDevice::Answer{QByteArray::fromHex("55AA0410")};
        });
        LanguageFlag = 0;
        f_.messages.answers << MessageAnswer::Retry;
        f_.messages.whileOpen = [this](const Message& m) {
            if (m.buttons != MessageButtons::RetryCancel) return;
            Form1->Speed_CClick();
            f_.fake = nullptr;  // closing the port deleted it
        };
        Form1->Speed_RClick();
        f_.fake->deliver();
        Form1->Sequencer.ConnectMode = false;  // straight to read step 0, whose reply is short
        Form1->Sequencer.StartRead();
        for (int t = 0; t < 60 && f_.messages.shown.isEmpty(); ++t) tick();
        QCOMPARE(f_.messages.shown.size(), 1);
        QVERIFY(!Link().PortHandle());
        QVERIFY(!Form1->commandTimersRunning());
        QVERIFY(!Form_Progress->isVisible());
    }

    // From 9600 none, a change of the rate, the parity or both.
    void writeMovesThePortOnlyWhenTheSerialSettingsChange_data() {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("parity");
        QTest::addColumn<int>("baud");
        QTest::addColumn<QString>("status");
        QTest::newRow("rate and parity") << 5 << 2 << 19200 << "19200-E-1";
        QTest::newRow("parity alone") << 4 << 1 << 9600 << "9600-O-1";
        QTest::newRow("rate alone") << 6 << 0 << 38400 << "38400-N-1";
    }
    void writeMovesThePortOnlyWhenTheSerialSettingsChange() {
        QFETCH(int, rate);
        QFETCH(int, parity);
        QFETCH(int, baud);
        QFETCH(QString, status);
        f_.useRadio();
        readOnce();
        // Without the read-back, whose search sets the port once more.
        Form1->Sequencer.VerifyWrites = false;
        Form1->ComboRadioSerBaud->setCurrentIndex(rate);
        Form1->ComboRadioParity->setCurrentIndex(parity);
        Form1->ComboChnn->setCurrentIndex(8);
        Form1->Speed_WClick();
        int appliedBefore = 0;
        while (Form1->commandTimersRunning() && probes_.size() < 100) {
            appliedBefore = f_.settingsApplied;
            tick();
        }
        QCOMPARE(lastMessage(), QStringLiteral("Write correct!"));
        QCOMPARE(f_.settingsApplied - appliedBefore, 1);  // the port followed the radio
        QCOMPARE(f_.radio->parameters().line, (LineSettings{baud, ParityMode(parity), 1}));
        QCOMPARE(int(f_.radio->parameters().channel), 9);
        QCOMPARE(int(Link().BaudIndex()), rate);
        QCOMPARE(int(Link().ParityIndex()), parity);
        QCOMPARE(Serial_Form->ComboBaudRate->currentIndex(), rate);
        QCOMPARE(Serial_Form->ComboParity->currentIndex(), parity);
        QCOMPARE(Form1->statusText(2), status);

        Form1->Speed_WClick();
        while (Form1->commandTimersRunning() && probes_.size() < 100) {
            appliedBefore = f_.settingsApplied;
            tick();
        }
        QCOMPARE(lastMessage(), QStringLiteral("Write correct!"));
        QCOMPARE(f_.settingsApplied - appliedBefore, 0);
        Form1->Sequencer.VerifyWrites = true;
        readOnce();
        QCOMPARE(Form1->ComboChnn->currentText(), QStringLiteral("NO.9"));
        QCOMPARE(Form1->ComboRadioParity->currentIndex(), parity);
    }

    void readPressedDuringAWriteStartsAConnect() {
        f_.useRadio();
        readOnce();
        Form1->Speed_WClick();
        for (int t = 0; t < 50 && Form1->Sequencer.ConnectMode; ++t) tick();
        QVERIFY(Form1->Sequencer.WriteMode);
        tick();
        Form1->Speed_RClick();
        QVERIFY(Form1->Sequencer.ConnectMode);
        QVERIFY(!Form1->Sequencer.WriteMode);
        QCOMPARE(Form_Progress->windowTitle(), QStringLiteral("Connect"));
        QVERIFY(runToEnd());
        QCOMPARE(lastMessage(), QStringLiteral("Read correct!"));
    }

    void writeStaysEnabledAfterAFailedRead() {
        f_.useRadio();
        readOnce();
        RadioFaults silent;
        silent.silent = true;
        f_.radio->setFaults(silent);
        Form1->Speed_RClick();
        QVERIFY(runToEnd(3000));
        QCOMPARE(lastMessage(), QStringLiteral("Connect error!"));
        QVERIFY(Form1->Speed_W->isEnabled());
        QVERIFY(Form1->FileWrite->isEnabled());
    }

    void closingThePortEndsTheExchangeWithoutAMessage() {
        f_.useRadio();
        Form1->Speed_RClick();
        for (int t = 0; t < 3; ++t) tick();
        Form1->Speed_CClick();
        QVERIFY(!Form1->commandTimersRunning());
        QVERIFY(!Form_Progress->isVisible());
        QVERIFY(!Form1->Sequencer.ConnectMode);
        QVERIFY(f_.messages.texts().isEmpty());
    }

    void aVanishingDeviceEndsTheExchangeWithOneMessage() {
        f_.useRadio();
        Form1->Speed_RClick();
        for (int t = 0; t < 3; ++t) tick();
        f_.radio->vanish();
        for (int t = 0; t < 5; ++t) tick();
        QVERIFY(!Form1->commandTimersRunning());
        QVERIFY(!Form_Progress->isVisible());
        QVERIFY(!Link().PortHandle());
        QCOMPARE(f_.messages.texts(), QStringList{"Port disconnected!"});
    }

    // A step's reply is taken on the last tick the time-out allows; one tick later the step has
    // failed even though the reply is complete.
    void stepTimeOutBoundary_data() {
        QTest::addColumn<bool>("write");
        QTest::addColumn<int>("extraTicks");
        QTest::addColumn<bool>("taken");
        QTest::newRow("read, last allowed tick") << false << 0 << true;
        QTest::newRow("read, one tick later") << false << 1 << false;
        QTest::newRow("write, last allowed tick") << true << 0 << true;
        QTest::newRow("write, one tick later") << true << 1 << false;
    }
    void stepTimeOutBoundary() {
        QFETCH(bool, write);
        QFETCH(int, extraTicks);
        QFETCH(bool, taken);
        connectToFake(write);
        Form1->Timer_SdCmdTimer();
        const int lastAllowed = Link().WaitFactor + 20;
        for (int t = 1; t < lastAllowed + extraTicks; ++t) Form1->Timer_RecCmdTimer();
        f_.fake->deliver();
        Form1->Timer_RecCmdTimer();
        QCOMPARE(Form1->Sequencer.RecTicks, lastAllowed + extraTicks);
        QCOMPARE(Form1->Sequencer.CmdStep, taken ? 1 : 0);
        QCOMPARE(Form1->commandTimersRunning(), taken);
        QCOMPARE(f_.messages.texts(),
                 taken ? QStringList{} : QStringList{write ? "Write error!" : "Read error!"});
        if (taken) Form1->Speed_CClick();
    }

    // Where each phase purges matters on adapters that echo what they send: the echoed probe
    // is itself a valid frame.
    void purgesAndWritesOfEachPhase() {
        f_.useFake(RadioAnswer);
        f_.openPort();
        Form1->Speed_RClick();
        f_.journal->events.clear();
        Form1->Timer_SdCmdTimer();
        QCOMPARE(f_.journal->events, (QStringList{"purge out", "write 7", "purge in"}));
        Form1->Speed_CClick();

        connectToFake(false);
        Form1->Timer_SdCmdTimer();
        QCOMPARE(f_.journal->events, (QStringList{"purge in", "purge out", "write 7"}));
        Form1->Speed_CClick();

        connectToFake(true);
        Form1->Timer_SdCmdTimer();
        QCOMPARE(f_.journal->events, (QStringList{"purge out", "write 7", "purge in"}));
        Form1->Speed_CClick();
    }

    void connectProgressAfterTenTimedOutAttempts() {
        RadioFaults silent;
        silent.silent = true;
        f_.useRadio({}, silent);
        Form1->Speed_RClick();
        for (int t = 0; t < 2000 && Form1->Sequencer.ConnectLeft > 18; ++t) tick();
        QCOMPARE(int(Form1->Sequencer.ConnectLeft), 18);
        QCOMPARE(Form_Progress->ProgressBar1->maximum(), 28);
        QCOMPARE(Form_Progress->ProgressBar1->value(), 7);
        Form1->Speed_CClick();
    }

    // A receive tick reads up to 100 waiting bytes; one more and it purges instead.
    void aHundredBytesAreReadAHundredAndOnePurged_data() {
        QTest::addColumn<int>("waiting");
        QTest::addColumn<QString>("event");
        QTest::newRow("100") << 100 << "read 100";
        QTest::newRow("101") << 101 << "purge in";
    }
    void aHundredBytesAreReadAHundredAndOnePurged() {
        QFETCH(int, waiting);
        QFETCH(QString, event);
        f_.useFake();
        f_.openPort();
        Form1->Speed_RClick();
        Form1->Timer_SdCmdTimer();
        f_.fake->feed(QByteArray(waiting, 'x'));
        f_.journal->events.clear();
        Form1->Timer_RecCmdTimer();
        QCOMPARE(f_.journal->events, QStringList{event});
        Form1->Speed_CClick();
    }

    // A write that would send a value nobody chose sends nothing at all and says which.
    void writeRefusesAMissingValue_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("cleared");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("caption");
        QTest::newRow("air rate") << 1 << "air"
                                  << "Write cancelled: no air rate selected. Read the radio first."
                                  << ApplicationTitle();
        QTest::newRow("air rate, Chinese") << 0 << "air"
                                           << "写参数取消：未选择空中速率，请先读参数。"
                                           << "写参数";
        QTest::newRow("identity") << 1 << "id"
                                  << "Write cancelled: the ID code is not four digits. Read the "
                                     "radio first."
                                  << ApplicationTitle();
        QTest::newRow("channel") << 1 << "channel"
                                 << "Write cancelled: no channel selected. Read the radio first."
                                 << ApplicationTitle();
        QTest::newRow("serial rate, Chinese") << 0 << "serial"
                                              << "写参数取消：未选择串口速率，请先读参数。"
                                              << "写参数";
        QTest::newRow("parity") << 1 << "parity"
                                << "Write cancelled: no parity selected. Read the radio first."
                                << ApplicationTitle();
    }
    void writeRefusesAMissingValue() {
        QFETCH(int, language);
        QFETCH(QString, cleared);
        QFETCH(QString, text);
        QFETCH(QString, caption);
        f_.useFake(RadioAnswer);
        f_.openPort();
        readOnce();
        f_.messages.clear();
        if (cleared == "air") Form1->ComboAirBaud->setCurrentIndex(-1);
        if (cleared == "id") Form1->EditID->setText(QStringLiteral("12"));
        if (cleared == "channel") Form1->ComboChnn->setCurrentIndex(-1);
        if (cleared == "serial") Form1->ComboRadioSerBaud->setCurrentIndex(-1);
        if (cleared == "parity") Form1->ComboRadioParity->setCurrentIndex(-1);
        LanguageFlag = language;
        f_.journal->events.clear();
        Form1->Speed_WClick();
        QVERIFY(!Form1->commandTimersRunning());
        QVERIFY(!Form_Progress->isVisible());
        QCOMPARE(f_.messages.texts(), QStringList{text});
        QCOMPARE(f_.messages.shown[0].caption, caption);
        QVERIFY(f_.journal->events.isEmpty());
    }

    // Messages open from the event loop once the tick that raised them is over and the
    // command timers are stopped, never from inside it.
    void outcomeIsShownAfterTheTick() {
        f_.useRadio();
        Form1->Speed_RClick();
        f_.messages.whileOpen = [](const Message&) {
            QVERIFY(!Form1->commandTimersRunning());
            QVERIFY(!Form_Progress->isVisible());
        };
        while (Form1->commandTimersRunning()) {
            Form1->Timer_SdCmdTimer();
            Form1->Timer_RecCmdTimer();
            QVERIFY(f_.messages.shown.isEmpty());
            f_.radio->advance(10ms);
        }
        QCOMPARE(f_.messages.texts(), QStringList{"Read correct!"});
    }
};

QTEST_MAIN(SequencerTest)
#include "sequencer_test.moc"
