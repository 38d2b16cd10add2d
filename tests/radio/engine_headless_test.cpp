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
#include "tests/support/recorders.h"

using namespace std::chrono_literals;

namespace {

// Everything the engine needs of its user, as plain values.
struct PlainHost : SequencerHost {
    bool timers = false;
    bool dataTestRunning = true;
    int progressMaximum = 0;
    int progressPosition = 0;
    bool progressShown = false;
    QString panel0;
    QString modelField;
    bool airRateEnabled = false;
    ShownParameters shown;
    WriteSelection values;
    bool writeEnabled = false;
    QList<SequenceOutcome> outcomes;

    void setCommandTimers(bool running) override { timers = running; }
    bool commandTimersRunning() const override { return timers; }
    void stopDataTest() override { dataTestRunning = false; }
    void resumeDataTest() override { dataTestRunning = true; }
    void showProgress(const QString&, const QString&, int maximum) override {
        progressShown = true;
        progressMaximum = maximum;
    }
    void setProgress(int position) override { progressPosition = position; }
    void closeProgress() override { progressShown = false; }
    WriteSelection valuesToWrite() const override { return values; }
    void enableWrite() override { writeEnabled = true; }
    void sequenceEnded(SequenceOutcome outcome) override { outcomes << outcome; }
    void showModelVersion(const QString& text) override { panel0 = text; }
    QString modelVersionShown() const override { return panel0; }
    void showModelField(const QString& text) override { modelField = text; }
    void enableAirRate() override { airRateEnabled = true; }
    void showParameters(const ShownParameters& s) override {
        shown = s;
        values = {s.airBaudPosition, s.channelPosition, s.serialBaudPosition, s.parityPosition,
                  s.idText.toStdU16String()};
    }
    void clearReadResults() override {
        modelField.clear();
        shown = {};
    }
};

}  // namespace

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

    void cleanup() {
        engine_.reset();
        link_.reset();
    }

    void readsAndWritesTheRadio() {
        engine_->Speed_RClick();
        QVERIFY(runToOutcome());
        QCOMPARE(host_.outcomes.last(), SequenceOutcome::ReadDone);
        QCOMPARE(messages_.texts(), QStringList{"Read correct!"});
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
        QCOMPARE(messages_.texts(), (QStringList{"Read correct!", "Write correct!"}));
        QCOMPARE(int(radio_->parameters().channel), 11);
        QCOMPARE(radio_->parameters().line, (LineSettings{115200, ParityMode::Even, 1}));
        // The port followed the radio to its new settings.
        QCOMPARE(int(link_->BaudIndex), 8);
        QCOMPARE(int(link_->ParityIndex), 2);
        QCOMPARE(link_->device()->lineSettings().baudRate, 115200);

        engine_->Speed_RClick();
        QVERIFY(runToOutcome());
        QCOMPARE(host_.outcomes.last(), SequenceOutcome::ReadDone);
        QCOMPARE(host_.shown.channelPosition, 10);
    }

    // Every write is read back from where the port then stands and compared; a radio that
    // acknowledged a write without applying it is named field by field, in one message.
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
        messages_.clear();
        host_.values.airBaudPosition = 0;
        host_.values.channelPosition = 10;
        host_.values.serialBaudPosition = 8;
        host_.values.parityPosition = 2;
        const LanguageScope scope{uint8_t(language)};
        engine_->Speed_WClick();
        QVERIFY(runToOutcome());
        QCOMPARE(int(host_.outcomes.last()), outcome);
        QStringList expected{language == 1 ? "Write correct!" : "参数设置成功"};
        if (!message.isEmpty()) expected << message;
        QCOMPARE(messages_.texts(), expected);
        QVERIFY(!host_.timers && host_.dataTestRunning && !host_.progressShown);
    }

    void withoutVerificationNothingIsReadBack() {
        engine_->Speed_RClick();
        QVERIFY(runToOutcome());
        QList<uint8_t> commands;
        radio_->setFrameLog([&](bool incoming, const std::vector<uint8_t>& frame) {
            if (incoming) commands << frame[3];
        });
        engine_->VerifyWrites = false;
        host_.values.channelPosition = 10;
        engine_->Speed_WClick();
        QVERIFY(runToOutcome());
        QCOMPARE(host_.outcomes.last(), SequenceOutcome::WriteDone);
        // The probe, then the four writes, and nothing after them.
        QCOMPARE(commands, (QList<uint8_t>{0x10, 0x03, 0x09, 0x07, 0x0F}));
        QCOMPARE(int(radio_->parameters().channel), 11);
    }

    void aWriteWithoutValuesSendsNothing() {
        engine_->Speed_WClick();
        Settle();
        QCOMPARE(host_.outcomes, QList<SequenceOutcome>{SequenceOutcome::WriteRefused});
        QVERIFY(!link_->PortHandle());
        QVERIFY(!host_.timers);
        QCOMPARE(messages_.texts(),
                 QStringList{"Write cancelled: no air rate selected. Read the radio first."});
    }

    void aSilentRadioEndsInConnectError() {
        RadioFaults silent;
        silent.silent = true;
        radio_->setFaults(silent);
        engine_->Speed_RClick();
        QVERIFY(runToOutcome());
        QCOMPARE(host_.outcomes.last(), SequenceOutcome::ConnectFailed);
        QCOMPARE(messages_.texts(), QStringList{"Connect error!"});
        QVERIFY(host_.dataTestRunning && !host_.timers);
    }
};

QTEST_GUILESS_MAIN(EngineHeadlessTest)
#include "engine_headless_test.moc"
