// The watch for the next radio on a port whose adapter stays, with an in-process simulated
// radio that can fall silent and answer again as a radio pulled out and another plugged in;
// and a production run in continuous mode that starts its row again when that happens.

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include "production/productionrun.h"
#include "production/radiowatch.h"
#include "sim/simulatedport.h"
#include "tests/support/memorykeeper.h"

namespace {

// Opens every name onto the one simulated radio, whose time is the wall clock's.
class SimulatedAdapter {
  public:
    SimulatedRadio radio;

    SimulatedAdapter() { clock_.start(); }
    SerialDeviceOpener opener() {
        return [this](const QString&) {
            return OpenResult(std::make_unique<SimulatedPort>(
                radio, [this] { return SimDuration(clock_.nsecsElapsed()); }));
        };
    }

  private:
    QElapsedTimer clock_;
};

RadioFaults Silent() {
    RadioFaults faults;
    faults.silent = true;
    return faults;
}

}  // namespace

class RadioWatchTest : public QObject {
    Q_OBJECT

    // Polls as the timer would, with room for the radio to answer in between.
    static void polls(RadioWatch& watch, int count) {
        for (int i = 0; i < count; ++i) {
            QTest::qWait(60);
            watch.poll();
        }
    }

  private slots:
    void aRadioThatFallsSilentAndAnswersAgainIsTheNextRadio() {
        // The adapter: a file that stays, the name the watch looks for.
        QTemporaryFile adapter;
        QVERIFY(adapter.open());
        SimulatedAdapter port;
        int commands = 0;
        port.radio.setFrameLog(
            [&](bool incoming, const std::vector<uint8_t>&) { commands += incoming; });
        RadioWatch watch(adapter.fileName(), port.opener(), RateAndParity{4, 0});
        QSignalSpy next(&watch, &RadioWatch::nextRadio);

        // The radio just handled answers on: it is no next radio. One query a look, the last
        // one still on its way to the radio.
        polls(watch, 4);
        QCOMPARE(next.count(), 0);
        QCOMPARE(commands, 3);

        port.radio.setFaults(Silent());
        polls(watch, 4);
        QCOMPARE(next.count(), 0);

        port.radio.setFaults({});
        polls(watch, 4);
        QCOMPARE(next.count(), 1);
    }

    void aDeviceThatIsNotThereIsWaitedForAndItsReturnIsTheNextRadio() {
        QTemporaryDir folder;
        const QString device = folder.filePath(QStringLiteral("adapter"));
        SimulatedAdapter port;
        RadioWatch watch(device, port.opener(), RateAndParity{4, 0});
        QSignalSpy next(&watch, &RadioWatch::nextRadio);
        polls(watch, 3);
        QCOMPARE(next.count(), 0);
        QFile file(device);
        QVERIFY(file.open(QIODevice::WriteOnly));
        polls(watch, 1);
        QCOMPARE(next.count(), 1);
    }

    void aContinuousRunStartsTheRowAgainForTheRadioSwappedBehindItsAdapter() {
        QTemporaryFile adapter;
        QVERIFY(adapter.open());
        SimulatedAdapter port;
        MemoryKeeper keeper;
        ProductionPlan plan;
        plan.profile.channelPosition = 4;
        plan.timeoutSeconds = 10;
        ProductionRun run(plan, port.opener(), &keeper);
        run.setContinuous(true);
        QSignalSpy finished(&run, &ProductionRun::finished);
        run.start({adapter.fileName()});
        QTRY_COMPARE_WITH_TIMEOUT(keeper.records.size(), 1, 10000);
        QCOMPARE(keeper.records[0].before["channel"].toInt(), 1);

        // Pulled: silent for long enough to be missed at every look it takes (the first look
        // only opens the port), then the next radio answers.
        port.radio.setFaults(Silent());
        QTest::qWait((RadioWatch::SilentPollsForGone + 2) * RadioWatch::PollMs);
        QCOMPARE(keeper.records.size(), 1);
        port.radio.setFaults({});
        QTRY_COMPARE_WITH_TIMEOUT(keeper.records.size(), 2, 10000);
        QVERIFY(run.rows()[0].passed == true);
        QCOMPARE(keeper.records[1].before["channel"].toInt(), 5);
        QCOMPARE(finished.count(), 0);
        run.stop();
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 2000);
    }
};

QTEST_MAIN(RadioWatchTest)
#include "radio_watch_test.moc"
