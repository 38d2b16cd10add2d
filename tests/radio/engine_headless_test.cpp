// The radio engine with no window at all: a host of plain values drives the connect, the read
// and the write of the simulated radio under a core application. This program links no
// widget library; the engine needing one would not build.

#include <QTest>
#include <list>

#include "radio/sequencer.h"
#include "serial/portnames.h"
#include "serial/seriallink.h"
#include "sim/simulatedport.h"
#include "sim/simulatedradio.h"
#include "tests/support/plainhost.h"
#include "tests/support/recorders.h"

using namespace std::chrono_literals;

class EngineHeadlessTest : public QObject {
    Q_OBJECT

    std::list<std::unique_ptr<SimulatedRadio>> radios_;
    SimulatedRadio* radio_ = nullptr;
    std::unique_ptr<SerialLink> link_;
    PlainHost host_;
    std::unique_ptr<CommandSequencer> engine_;
    MessageRecorder messages_;

    // Ticks until the exchange has reported its outcome.
    bool runToOutcome(int maxTicks = 3000) {
        const qsizetype before = host_.outcomes.size();
        for (int i = 0; i < maxTicks && host_.outcomes.size() == before; ++i) {
            if (host_.timers) {
                engine_->Timer_SdCmdTimer();
                engine_->Timer_RecCmdTimer();
            }
            radio_->advance(10ms);
            Settle();
        }
        return host_.outcomes.size() > before;
    }

    QList<uint8_t> commands_;  // the command code of each frame the radio took in

    void recordCommands() {
        commands_.clear();
        radio_->setFrameLog([this](bool incoming, const std::vector<uint8_t>& frame) {
            if (incoming) commands_ << frame[3];
        });
    }

  private slots:
    void init() {
        RadioParameters parameters;
        parameters.line = {19200, ParityMode::Odd, 1};
        parameters.channel = 4;
        parameters.airRateCode = 6;
        parameters.identity = {0x24, 0x68};
        radios_.push_back(std::make_unique<SimulatedRadio>(parameters));
        radio_ = radios_.back().get();
        SetPinnedPorts({QStringLiteral("RADIO")});
        link_ = std::make_unique<SerialLink>([this](const QString&) -> OpenResult {
            return OpenResult(std::make_unique<SimulatedPort>(*radio_));
        });
        host_ = PlainHost{};
        engine_ = std::make_unique<CommandSequencer>(*link_, host_);
        messages_.clear();
    }

    // The engine tells its host; it never raises a message of its own.
    void cleanup() {
        QCOMPARE(messages_.texts(), QStringList{});
        engine_.reset();
        link_.reset();
    }

    void readsAndWritesTheRadio() {
        engine_->Speed_RClick();
        QVERIFY(runToOutcome());
        QCOMPARE(host_.outcomes.last(), SequenceOutcome::ReadDone);
        QCOMPARE(host_.last.reading.raw, host_.shown.raw);
        QCOMPARE(host_.shown.channelPosition, 3);
        QCOMPARE(host_.shown.airBaudPosition, 5);
        QCOMPARE(host_.shown.serialBaudPosition, 5);
        QCOMPARE(host_.shown.parityPosition, 1);
        QCOMPARE(host_.shown.idText, QStringLiteral("246800"));
        QCOMPARE(host_.modelField, QStringLiteral("TVR-M401.2"));
        QVERIFY(host_.writeEnabled && host_.dataTestRunning && !host_.progressShown);

        host_.values.channelPosition = 10;
        host_.values.serialBaudPosition = 8;
        host_.values.parityPosition = 2;
        engine_->Speed_WClick();
        QVERIFY(runToOutcome());
        QCOMPARE(host_.outcomes.last(), SequenceOutcome::WriteVerified);
        QCOMPARE(int(radio_->parameters().channel), 11);
        QCOMPARE(radio_->parameters().line, (LineSettings{115200, ParityMode::Even, 1}));
        // The port followed the radio to its new settings.
        QCOMPARE(int(link_->BaudIndex()), 8);
        QCOMPARE(int(link_->ParityIndex()), 2);
        QCOMPARE(link_->device()->lineSettings().baudRate, 115200);

        engine_->Speed_RClick();
        QVERIFY(runToOutcome());
        QCOMPARE(host_.outcomes.last(), SequenceOutcome::ReadDone);
        QCOMPARE(host_.shown.channelPosition, 10);
    }

    // Every write is read back from where the port then stands and compared; the outcome is one
    // verdict: verified once the read-back matches, otherwise what was written and what the
    // radio reports, whose fields a message names one by one.
    void aWriteIsReadBackAndCompared_data() {
        QTest::addColumn<int>("ignoredWrite");
        QTest::addColumn<int>("language");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("message");
        const int verified = int(SequenceOutcome::WriteVerified);
        const int failed = int(SequenceOutcome::VerifyFailed);
        QTest::newRow("applied") << 0 << 1 << verified << "";
        QTest::newRow("channel ignored")
            << 0x07 << 1 << failed << "Verify failed: channel written NO.11, radio reports NO.4";
        QTest::newRow("channel ignored, Chinese")
            << 0x07 << 0 << failed << "校验失败：信道号写入 NO.11，电台读出 NO.4";
        QTest::newRow("air rate ignored")
            << 0x03 << 1 << failed << "Verify failed: air rate written 1200, radio reports 38400";
        // The port follows the radio to 115200 even; the search finds it where it stayed.
        QTest::newRow("serial settings ignored")
            << 0x0F << 1 << failed
            << "Verify failed: serial rate written 115200, radio reports 19200\n"
               "parity written even, radio reports odd";
        QTest::newRow("serial settings ignored, Chinese")
            << 0x0F << 0 << failed
            << "校验失败：串口速率写入 115200，电台读出 19200\n校验方式写入 偶检验，电台读出 "
               "奇检验";
    }
    void aWriteIsReadBackAndCompared() {
        QFETCH(int, ignoredWrite);
        QFETCH(int, language);
        QFETCH(int, outcome);
        QFETCH(QString, message);
        engine_->Speed_RClick();
        QVERIFY(runToOutcome());
        radio_->setFaults({.ignoredWrite = uint8_t(ignoredWrite)});
        host_.values.airBaudPosition = 0;
        host_.values.channelPosition = 10;
        host_.values.serialBaudPosition = 8;
        host_.values.parityPosition = 2;
        const LanguageScope scope{uint8_t(language)};
        engine_->Speed_WClick();
        QVERIFY(runToOutcome());
        QCOMPARE(int(host_.outcomes.last()), outcome);
        QCOMPARE(VerifyFailedText(host_.last.written, host_.last.reading), message);
        QVERIFY(!host_.timers && host_.dataTestRunning && !host_.progressShown);
    }

    // A value no list knows is never replaced by a default: the read names it, its list stays
    // empty, and a write that would have to send it back is refused before any frame goes out,
    // naming the radio's own value.
    void unknownValuesAreNamedAndNeverWritten_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<int>("channel");
        QTest::addColumn<int>("airCode");
        QTest::addColumn<int>("id1");
        QTest::addColumn<QString>("unknown");
        QTest::addColumn<QString>("refused");
        QTest::newRow("channel 200")
            << 1 << 200 << 6 << 0x24
            << "The radio holds values this program does not know: channel 200."
            << "channel 200";
        QTest::newRow("channel 200, Chinese")
            << 0 << 200 << 6 << 0x24 << "电台中有本程序不认识的值：信道号 200。"
            << "信道号 200";
        QTest::newRow("air-rate code 12")
            << 1 << 4 << 12 << 0x24
            << "The radio holds values this program does not know: air rate code 12."
            << "air rate code 12";
        QTest::newRow("ID bytes 1A 68")
            << 1 << 4 << 6 << 0x1A
            << "The radio holds values this program does not know: ID bytes 1A 68."
            << "ID bytes 1A 68";
        // Channel 13 is the radio's own, but not the window's list: named, not called unknown.
        QTest::newRow("channel 13") << 1 << 13 << 6 << 0x24 << ""
                                    << "channel 13";
    }
    void unknownValuesAreNamedAndNeverWritten() {
        QFETCH(int, language);
        QFETCH(int, channel);
        QFETCH(int, airCode);
        QFETCH(int, id1);
        QFETCH(QString, unknown);
        QFETCH(QString, refused);
        const LanguageScope scope{uint8_t(language)};
        RadioParameters parameters = radio_->parameters();
        parameters.channel = uint8_t(channel);
        parameters.airRateCode = uint8_t(airCode);
        parameters.identity[0] = uint8_t(id1);
        radios_.push_back(std::make_unique<SimulatedRadio>(parameters));
        radio_ = radios_.back().get();
        engine_->Speed_RClick();
        QVERIFY(runToOutcome());
        QCOMPARE(UnknownValuesText(host_.last.reading.raw), unknown);
        QCOMPARE(host_.shown.raw,
                 (RawRadioValues{uint8_t(channel), uint8_t(airCode), {uint8_t(id1), 0x68}}));
        recordCommands();
        // Channel 13 stays unselected in a list of twelve.
        if (host_.values.channelPosition >= 12) host_.values.channelPosition = NoSelection;
        engine_->Speed_WClick();
        Settle();
        QCOMPARE(host_.outcomes.last(), SequenceOutcome::WriteRefused);
        QVERIFY(host_.last.unlisted);
        QCOMPARE(RawValueText(*host_.last.unlisted, host_.last.reading.raw), refused);
        radio_->advance(1s);
        QCOMPARE(commands_, QList<uint8_t>{});
        QCOMPARE(radio_->parameters().channel, parameters.channel);
    }

    // A write the radio acknowledged but whose read-back finds no radio, or fails on the way,
    // is not called correct: it ends not verified.
    void aWriteWhoseReadBackFailsIsNotVerified_data() {
        QTest::addColumn<int>("silentFrom");
        QTest::newRow("no radio found") << 0x10;
        QTest::newRow("a read step unanswered") << 0x04;
    }
    void aWriteWhoseReadBackFailsIsNotVerified() {
        QFETCH(int, silentFrom);
        engine_->Speed_RClick();
        QVERIFY(runToOutcome());
        bool written = false;
        radio_->setFrameLog([&](bool incoming, const std::vector<uint8_t>& frame) {
            if (incoming && frame[3] == 0x0F) written = true;
            if (incoming && written && frame[3] == silentFrom) radio_->setFaults({.silent = true});
        });
        host_.values.channelPosition = 10;
        engine_->Speed_WClick();
        QVERIFY(runToOutcome(20000));
        QCOMPARE(host_.outcomes.last(), SequenceOutcome::VerifyReadFailed);
        QCOMPARE(engine_->WriteStepsAcknowledged, 4);
        QVERIFY(!host_.timers && host_.dataTestRunning && !host_.progressShown);
    }

    // A write whose own search finds the radio no more sends no write step and claims nothing
    // written.
    void aWriteWhoseSearchFindsNoRadioSendsNothing() {
        engine_->Speed_RClick();
        QVERIFY(runToOutcome());
        recordCommands();
        radio_->setFaults({.silent = true});
        host_.values.channelPosition = 10;
        engine_->Speed_WClick();
        QVERIFY(runToOutcome(20000));
        QCOMPARE(host_.outcomes.last(), SequenceOutcome::ConnectFailed);
        // Probes alone reached it.
        QVERIFY(!commands_.isEmpty());
        QCOMPARE(commands_, QList<uint8_t>(commands_.size(), 0x10));
        QCOMPARE(engine_->WriteStepsAcknowledged, 0);
        QCOMPARE(int(radio_->parameters().channel), 4);
        QVERIFY(!host_.timers && host_.dataTestRunning && !host_.progressShown);
    }

    // Interrupted, the engine sends nothing new; a write step already on the wire is let finish,
    // so the steps counted as acknowledged are exactly those the radio took.
    void anInterruptLetsTheStepOnTheWireFinish() {
        engine_->Speed_RClick();
        QVERIFY(runToOutcome());
        recordCommands();
        host_.values.airBaudPosition = 0;
        host_.values.channelPosition = 10;
        engine_->Speed_WClick();
        // Ticks until the first write frame has been sent and waits for its acknowledgement.
        for (int i = 0; i < 1000 && !(engine_->WriteMode && !engine_->ConnectMode); ++i) {
            engine_->Timer_SdCmdTimer();
            engine_->Timer_RecCmdTimer();
            radio_->advance(10ms);
        }
        engine_->Timer_SdCmdTimer();
        QVERIFY(!engine_->SendReady);
        engine_->Interrupt();
        QVERIFY(host_.timers);
        QVERIFY(runToOutcome());
        QCOMPARE(host_.outcomes.last(), SequenceOutcome::Interrupted);
        radio_->advance(1s);
        QCOMPARE(commands_, (QList<uint8_t>{0x10, 0x03}));
        QCOMPARE(engine_->WriteStepsAcknowledged, 1);
        QCOMPARE(int(radio_->parameters().airRateCode), 1);
        QCOMPARE(int(radio_->parameters().channel), 4);
        QVERIFY(!host_.timers && host_.dataTestRunning && !host_.progressShown);

        // Nothing on the wire: the search ends at once.
        engine_->Speed_RClick();
        engine_->Timer_SdCmdTimer();
        engine_->Interrupt();
        QCOMPARE(host_.outcomes.last(), SequenceOutcome::Interrupted);
        QVERIFY(!host_.timers);
    }

    void withoutVerificationNothingIsReadBack() {
        engine_->Speed_RClick();
        QVERIFY(runToOutcome());
        recordCommands();
        engine_->VerifyWrites = false;
        host_.values.channelPosition = 10;
        engine_->Speed_WClick();
        QVERIFY(runToOutcome());
        QCOMPARE(host_.outcomes.last(), SequenceOutcome::WriteDone);
        // The probe, then the four writes, and nothing after them.
        QCOMPARE(commands_, (QList<uint8_t>{0x10, 0x03, 0x09, 0x07, 0x0F}));
        QCOMPARE(int(radio_->parameters().channel), 11);
    }

    void aWriteWithoutValuesSendsNothing() {
        engine_->Speed_WClick();
        Settle();
        QCOMPARE(host_.outcomes, QList<SequenceOutcome>{SequenceOutcome::WriteRefused});
        QVERIFY(!link_->PortHandle());
        QVERIFY(!host_.timers);
        QCOMPARE(host_.last.missing, MissingValue::AirRate);
        QVERIFY(!host_.last.unlisted);
    }

    void withoutAPortNothingStarts() {
        link_->setOpener([](const QString&) { return OpenResult::Failed(OpenFailure::InUse); });
        engine_->Speed_RClick();
        QCOMPARE(host_.outcomes, QList<SequenceOutcome>{SequenceOutcome::NoPort});
        QCOMPARE(host_.last.portFailure,
                 QStringLiteral("COM1 (RADIO) is in use by another program."));
        QVERIFY(!host_.timers && host_.dataTestRunning && !host_.progressShown);
    }

    // A failed step waits for its host: Retry starts the read again at step 0 without a new
    // connect, Abandon resumes the data test, and an answer that comes late starts nothing.
    void aFailedStepWaitsForTheHostsAnswer() {
        radio_->setFrameLog([this](bool incoming, const std::vector<uint8_t>& frame) {
            if (incoming && frame[3] == 0x08) radio_->setFaults({.silent = true});
        });
        engine_->Speed_RClick();
        QVERIFY(runToOutcome());
        QCOMPARE(host_.outcomes.last(), SequenceOutcome::ReadFailed);
        QVERIFY(!host_.timers && !host_.dataTestRunning && !host_.progressShown);

        radio_->setFrameLog({});
        radio_->setFaults({});
        engine_->Retry();
        QVERIFY(host_.timers && !engine_->ConnectMode);
        QCOMPARE(engine_->CmdStep, 0);
        QVERIFY(runToOutcome());
        QCOMPARE(host_.outcomes.last(), SequenceOutcome::ReadDone);

        radio_->setFaults({.silent = true});
        engine_->Speed_RClick();
        QVERIFY(runToOutcome());
        QCOMPARE(host_.outcomes.last(), SequenceOutcome::ConnectFailed);
        QVERIFY(host_.dataTestRunning && !host_.timers);
        engine_->Retry();
        QVERIFY(!host_.timers);

        host_.values.channelPosition = 10;
        radio_->setFaults({});
        engine_->Speed_WClick();
        radio_->setFrameLog([this](bool incoming, const std::vector<uint8_t>& frame) {
            if (incoming && frame[3] == 0x09) radio_->setFaults({.silent = true});
        });
        QVERIFY(runToOutcome());
        QCOMPARE(host_.outcomes.last(), SequenceOutcome::WriteFailed);
        engine_->Abandon();
        QVERIFY(host_.dataTestRunning);
        engine_->Retry();
        QVERIFY(!host_.timers);
    }
};

QTEST_GUILESS_MAIN(EngineHeadlessTest)
#include "engine_headless_test.moc"
