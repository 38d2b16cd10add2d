// The engine's reply waits on a network port, and its search over a port whose settings cannot
// change, against a fake port that reports a round trip or refuses every setting as a plain
// network connection does.

#include <QTest>

#include "radio/frame.h"
#include "radio/sequencer.h"
#include "serial/portnames.h"
#include "serial/seriallink.h"
#include "tests/support/fakeserialdevice.h"
#include "tests/support/plainhost.h"
#include "tests/support/scriptedradio.h"

class NetworkWaitsTest : public QObject {
    Q_OBJECT

    std::shared_ptr<DeviceJournal> journal_;
    FakeSerialDevice* fake_ = nullptr;
    std::unique_ptr<SerialLink> link_;
    PlainHost host_;
    std::unique_ptr<CommandSequencer> engine_;
    FakeSerialDevice::Script script_;

    // One 10 ms tick: the send handler, the receive handler, then the far end answers.
    void tick() {
        engine_->Timer_SdCmdTimer();
        engine_->Timer_RecCmdTimer();
        if (link_->PortHandle()) fake_->deliver();
    }

    bool runToOutcome(int maxTicks = 3000) {
        const qsizetype before = host_.outcomes.size();
        for (int i = 0; i < maxTicks && host_.outcomes.size() == before; ++i) {
            if (host_.timers) tick();
        }
        return host_.outcomes.size() > before;
    }

    // Starts a read whose probe the radio answers: the next send tick sends read step 0.
    void connectAndStartRead() {
        script_ = RadioAnswer;
        engine_->Speed_RClick();
        QVERIFY(link_->PortHandle());
        tick();  // the probe, answered
        tick();  // the answer judged: the read begins
        QVERIFY(!engine_->ConnectMode);
        QVERIFY(!engine_->WriteMode);
    }

  private slots:
    void init() {
        SetPinnedPorts({QStringLiteral("net")});
        journal_ = std::make_shared<DeviceJournal>();
        script_ = {};
        link_ = std::make_unique<SerialLink>(
            [this, open = FakeOpener(journal_, &fake_)](const QString& name) {
                OpenResult result = open(name);
                if (result.device)
                    fake_->answerWith([this](const QByteArray& written) {
                        return script_ ? script_(written) : FakeSerialDevice::Answer{};
                    });
                return result;
            });
        host_ = PlainHost{};
        engine_ = std::make_unique<CommandSequencer>(*link_, host_);
    }

    void cleanup() {
        engine_.reset();
        link_.reset();
    }

    void cleanupTestCase() { SetPinnedPorts({}); }

    // An unanswered connect attempt lasts its factor and 25 ticks, plus the round trip in whole
    // ticks on a network port; a local port keeps its timing to the tick.
    void connectAttemptsWaitTheRoundTripLonger_data() {
        QTest::addColumn<int>("roundTripMs");  // below 0: a local port
        QTest::addColumn<int>("attemptTicks");
        QTest::newRow("local port") << -1 << 29;
        QTest::newRow("network, under a millisecond") << 0 << 29;
        QTest::newRow("network, 1 ms") << 1 << 30;
        QTest::newRow("network, 40 ms") << 40 << 33;
        QTest::newRow("network, 41 ms") << 41 << 34;
    }
    void connectAttemptsWaitTheRoundTripLonger() {
        QFETCH(int, roundTripMs);
        QFETCH(int, attemptTicks);
        if (roundTripMs >= 0) journal_->roundTripMs = roundTripMs;
        engine_->Speed_RClick();
        QCOMPARE(int(link_->WaitFactor), 3);
        QList<int> probeTicks;
        for (int t = 0; t < 200 && probeTicks.size() < 3; ++t) {
            const qsizetype before = fake_->writes.size();
            tick();
            if (fake_->writes.size() > before) probeTicks << t;
        }
        QCOMPARE(probeTicks.size(), 3);
        QCOMPARE(probeTicks[1] - probeTicks[0], attemptTicks);
        QCOMPARE(probeTicks[2] - probeTicks[1], attemptTicks);
    }

    // A read step's reply is taken on the last tick its wait allows, the round trip included,
    // and one tick later the step has failed.
    void stepWaitsTheRoundTripLonger_data() {
        QTest::addColumn<int>("roundTripMs");  // below 0: a local port
        QTest::addColumn<int>("roundTripTicks");
        QTest::addColumn<int>("extraTicks");
        QTest::addColumn<bool>("taken");
        QTest::newRow("local, last tick") << -1 << 0 << 0 << true;
        QTest::newRow("local, one later") << -1 << 0 << 1 << false;
        QTest::newRow("network 45 ms, last tick") << 45 << 5 << 0 << true;
        QTest::newRow("network 45 ms, one later") << 45 << 5 << 1 << false;
        QTest::newRow("network 200 ms, last tick") << 200 << 20 << 0 << true;
    }
    void stepWaitsTheRoundTripLonger() {
        QFETCH(int, roundTripMs);
        QFETCH(int, roundTripTicks);
        QFETCH(int, extraTicks);
        QFETCH(bool, taken);
        if (roundTripMs >= 0) journal_->roundTripMs = roundTripMs;
        connectAndStartRead();
        engine_->Timer_SdCmdTimer();
        const int lastAllowed = link_->WaitFactor + 20 + roundTripTicks;
        for (int t = 1; t < lastAllowed + extraTicks; ++t) engine_->Timer_RecCmdTimer();
        fake_->deliver();
        engine_->Timer_RecCmdTimer();
        QCOMPARE(engine_->RecTicks, lastAllowed + extraTicks);
        QCOMPARE(engine_->CmdStep, taken ? 1 : 0);
        QCOMPARE(host_.outcomes, taken ? QList<SequenceOutcome>{}
                                       : QList<SequenceOutcome>{SequenceOutcome::ReadFailed});
    }

    // A port that cannot change its settings is tried once, at the setting it was given; a port
    // that refused a setting for its own reasons is searched through as before, without a
    // probe at the settings refused: a radio answering there stands where the port still
    // stands, not at the setting the search would report.
    void searchOverAFixedPortIsOneAttempt_data() {
        QTest::addColumn<int>("refusal");
        QTest::addColumn<bool>("answering");
        QTest::addColumn<int>("probes");
        QTest::addColumn<int>("outcome");
        const int unchangeable = int(SettingsRefusal::Unchangeable);
        QTest::newRow("plain connection, silent radio")
            << unchangeable << false << 1 << int(SequenceOutcome::ConnectFailed);
        QTest::newRow("plain connection, radio answers")
            << unchangeable << true << 1 + ReadStepCount << int(SequenceOutcome::ReadDone);
        QTest::newRow("driver refuses, silent radio")
            << int(SettingsRefusal::Driver) << false << 0 << int(SequenceOutcome::ConnectFailed);
        QTest::newRow("server refuses, radio answers")
            << int(SettingsRefusal::Server) << true << 0 << int(SequenceOutcome::ConnectFailed);
    }
    void searchOverAFixedPortIsOneAttempt() {
        QFETCH(int, refusal);
        QFETCH(bool, answering);
        QFETCH(int, probes);
        QFETCH(int, outcome);
        journal_->refuseSettings = true;
        journal_->refusal = SettingsRefusal(refusal);
        link_->setSearchStart({{}, {6, 2}});
        if (answering) script_ = RadioAnswer;
        engine_->Speed_RClick();
        QVERIFY(runToOutcome());
        QCOMPARE(int(host_.outcomes.last()), outcome);
        QCOMPARE(fake_->writes.size(), probes);
        if (refusal == int(SettingsRefusal::Unchangeable)) {
            // Asked for the setting given once, and left there.
            QCOMPARE(journal_->events.filter("set ").size(), 1);
            QCOMPARE(journal_->events.filter("set ").first(), QStringLiteral("set 38400 E 1"));
            QCOMPARE(link_->Settings(), (RateAndParity{6, 2}));
            QVERIFY(!host_.timers && host_.dataTestRunning && !host_.progressShown);
        }
    }

    // The progress of the one attempt over a port that cannot change its settings runs from
    // its start to its end, a step a tick, instead of jumping to the last of the 28 attempts.
    void progressOfTheOneAttemptRunsThroughIt() {
        journal_->refuseSettings = true;
        journal_->refusal = SettingsRefusal::Unchangeable;
        journal_->roundTripMs = 15;
        engine_->Speed_RClick();
        const int waitTicks = 3 + 25 + 2;
        QCOMPARE(host_.progressMaximum, waitTicks);
        QList<int> positions;
        for (int t = 0; t < 100 && host_.outcomes.isEmpty(); ++t) {
            tick();
            positions << host_.progressPosition;
        }
        QCOMPARE(host_.outcomes, QList<SequenceOutcome>{SequenceOutcome::ConnectFailed});
        // The tick after the last it waits ends the attempt, and the progress with it.
        QCOMPARE(positions.size(), waitTicks + 1);
        for (int t = 0; t < waitTicks; ++t) QCOMPARE(positions[t], t + 1);
        QVERIFY(!host_.progressShown);
    }

    // Over a port that cannot change its settings a write that moves the radio's serial
    // settings cannot be read back: the port is closed and the write says so.
    void writeThatMovesTheRadioAwayFromAFixedPortIsNotFollowed() {
        journal_->refuseSettings = true;
        journal_->refusal = SettingsRefusal::Unchangeable;
        script_ = RadioAnswer;
        engine_->Speed_RClick();
        QVERIFY(runToOutcome());
        QCOMPARE(host_.outcomes.last(), SequenceOutcome::ReadDone);
        host_.values.serialBaudPosition = 8;
        engine_->Speed_WClick();
        QVERIFY(runToOutcome());
        QCOMPARE(host_.outcomes.last(), SequenceOutcome::WriteNotFollowed);
        QCOMPARE(engine_->WriteStepsAcknowledged, WriteStepCount);
        QVERIFY(!link_->PortHandle());
        QCOMPARE(journal_->events.filter("set ").size(), 2);  // a search step for each exchange
    }
};

QTEST_GUILESS_MAIN(NetworkWaitsTest)
#include "networkwaits_test.moc"
