// The watch for the next radio on a port whose adapter stays, with an in-process simulated
// radio that can fall silent and answer again as a radio pulled out and another plugged in.

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QTest>

#include "production/radiowatch.h"
#include "sim/simulatedport.h"

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
        SimulatedRadio radio;
        int commands = 0;
        radio.setFrameLog(
            [&](bool incoming, const std::vector<uint8_t>&) { commands += incoming; });
        QElapsedTimer clock;
        clock.start();
        const auto opener = [&](const QString&) {
            return OpenResult(std::make_unique<SimulatedPort>(
                radio, [&] { return SimDuration(clock.nsecsElapsed()); }));
        };
        RadioWatch watch(adapter.fileName(), opener, RateAndParity{4, 0});
        QSignalSpy next(&watch, &RadioWatch::nextRadio);

        // The radio just handled answers on: it is no next radio. One query a look, the last
        // one still on its way to the radio.
        polls(watch, 4);
        QCOMPARE(next.count(), 0);
        QCOMPARE(commands, 3);

        RadioFaults silent;
        silent.silent = true;
        radio.setFaults(silent);
        polls(watch, 4);
        QCOMPARE(next.count(), 0);

        radio.setFaults({});
        polls(watch, 4);
        QCOMPARE(next.count(), 1);
    }

    void aDeviceThatIsNotThereIsWaitedForAndItsReturnIsTheNextRadio() {
        QTemporaryDir folder;
        const QString device = folder.filePath(QStringLiteral("adapter"));
        SimulatedRadio radio;
        QElapsedTimer clock;
        clock.start();
        const auto opener = [&](const QString&) {
            return OpenResult(std::make_unique<SimulatedPort>(
                radio, [&] { return SimDuration(clock.nsecsElapsed()); }));
        };
        RadioWatch watch(device, opener, RateAndParity{4, 0});
        QSignalSpy next(&watch, &RadioWatch::nextRadio);
        polls(watch, 3);
        QCOMPARE(next.count(), 0);
        QFile file(device);
        QVERIFY(file.open(QIODevice::WriteOnly));
        polls(watch, 1);
        QCOMPARE(next.count(), 1);
    }
};

QTEST_MAIN(RadioWatchTest)
#include "radio_watch_test.moc"
