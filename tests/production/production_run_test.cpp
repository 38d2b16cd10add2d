// The production run against tvrsim radios on pseudo-terminals, all in this process's event
// loop: radios configured side by side, the checks that leave a radio untouched, IDs from a
// range, the link test against a paired radio, a port watched for the next radio, and a stop
// in the middle of a write. Every wait is bounded.

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <algorithm>

#include "production/productionrun.h"
#include "production/radiosession.h"
#include "serial/qtserialdevice.h"
#include "tests/support/memorykeeper.h"
#include "tests/support/processes.h"

namespace {

constexpr int RunMs = 30000;

// Channel 5 and air rate 19200; the serial settings stay.
RadioProfile ChannelFiveProfile() {
    RadioProfile profile;
    profile.channelPosition = 4;
    profile.airRatePosition = 4;
    return profile;
}

ProductionPlan PlanFor(const RadioProfile& profile) {
    ProductionPlan plan;
    plan.profile = profile;
    plan.station = QStringLiteral("bench-1");
    plan.operatorName = QStringLiteral("ann");
    plan.timeoutSeconds = 20;
    return plan;
}

// Runs until every row is done; false when that takes longer than `ms`.
bool RunToEnd(ProductionRun& run, const QStringList& devices, int ms = RunMs) {
    QSignalSpy finished(&run, &ProductionRun::finished);
    run.start(devices);
    return finished.wait(ms) || finished.count() > 0;
}

// What a radio holds now, read as tvrctl read does; none when it did not answer.
std::optional<ShownParameters> ReadRadio(const QString& device) {
    RadioSession session({QStringLiteral("COM1"), device}, OpenQtSerialDevice, 10);
    QSignalSpy finished(&session, &RadioSession::finished);
    session.startRead();
    if (!finished.wait(15000)) return std::nullopt;
    return session.result().before;
}

// The record the keeper got of the radio at `device`; records come in the order radios end.
RadioRecord RecordOf(const MemoryKeeper& keeper, const QString& device) {
    for (const RadioRecord& record : keeper.records) {
        if (record.device == device) return record;
    }
    return {};
}

QString Summary(const ProductionRow& row) {
    return QStringLiteral("%1: failure %2 %3").arg(row.device, FailureKey(row.failure), row.detail);
}

}  // namespace

class ProductionRunTest : public QObject {
    Q_OBJECT

    RadioFolder folder_{QStringLiteral(TVRSIM_PATH)};

  private slots:
    void init() { QVERIFY(folder_.begin()); }
    void cleanup() { folder_.end(); }

    void threeRadiosPassWithTheProfileWrittenAndReadBack() {
        const QStringList devices{folder_.radio("a"), folder_.radio("b", {"--id", "0007"}),
                                  folder_.radio("c", {"--baud", "19200", "--parity", "O"})};
        MemoryKeeper keeper;
        ProductionRun run(PlanFor(ChannelFiveProfile()), OpenQtSerialDevice, &keeper);
        QVERIFY(RunToEnd(run, devices));
        QCOMPARE(run.rows().size(), 3);
        QCOMPARE(keeper.records.size(), 3);
        QStringList uids;
        for (int i = 0; i < 3; ++i) {
            const ProductionRow& row = run.rows()[i];
            QVERIFY2(row.passed == true, qPrintable(Summary(row)));
            QCOMPARE(row.phase, ProductionPhase::Done);
            QCOMPARE(row.modelVersion, QStringLiteral("TVR-M401.2"));
            QVERIFY(row.recordKept == KeepOutcome::Kind::Written);
            QVERIFY(row.seconds > 0);
            const RadioRecord record = RecordOf(keeper, devices[i]);
            QCOMPARE(record, row.record);
            QCOMPARE(record.port, QStringLiteral("COM%1").arg(i + 1));
            QCOMPARE(record.station, QStringLiteral("bench-1"));
            QCOMPARE(record.operatorName, QStringLiteral("ann"));
            QCOMPARE(record.modelCode, 3);
            QCOMPARE(record.firmware, QStringLiteral("1.2"));
            QCOMPARE(record.timeUtc.timeSpec(), Qt::UTC);
            QVERIFY(record.verified);
            QVERIFY(record.passed);
            QVERIFY(record.reason.isEmpty());
            QVERIFY(!record.link);
            QCOMPARE(record.before["channel"].toInt(), 1);
            QCOMPARE(record.after["channel"].toInt(), 5);
            QCOMPARE(record.after["air_rate"].toString(), QStringLiteral("19200"));
            QCOMPARE(record.programVersion, QStringLiteral(TVR_VERSION));
            uids << record.uid;
        }
        // Keep: each radio leaves with its own ID.
        QCOMPARE(RecordOf(keeper, devices[1]).idGiven, QStringLiteral("0007"));
        QCOMPARE(RecordOf(keeper, devices[1]).after["id"].toString(), QStringLiteral("0007"));
        QCOMPARE(RecordOf(keeper, devices[2]).after["serial_rate"].toInt(), 19200);
        uids.removeDuplicates();
        QCOMPARE(uids.size(), 3);
        const std::optional<ShownParameters> now = ReadRadio(devices[0]);
        QVERIFY(now);
        QCOMPARE(now->channelPosition, 4);
    }

    void aWrongModelOrOldFirmwareFailsWithoutAWrite() {
        const QStringList devices{folder_.radio("model", {"--model", "5"}),
                                  folder_.radio("old", {"--firmware", "1.0"}),
                                  folder_.radio("good", {"--firmware", "2.1"})};
        MemoryKeeper keeper;
        ProductionPlan plan = PlanFor(ChannelFiveProfile());
        plan.modelCode = 3;
        plan.lowestFirmware = 0x11;
        plan.idPolicy = IdPolicy::Same;
        plan.sameId = QStringLiteral("0042");
        ProductionRun run(plan, OpenQtSerialDevice, &keeper);
        QVERIFY(RunToEnd(run, devices));
        const QList<ProductionRow>& rows = run.rows();
        QCOMPARE(rows[0].failure, ProductionFailure::WrongModel);
        QCOMPARE(rows[0].detail, QStringLiteral(R"({"expected":3,"model":5})"));
        QCOMPARE(rows[1].failure, ProductionFailure::OldFirmware);
        QCOMPARE(rows[1].detail, QStringLiteral(R"({"firmware":"1.0","lowest":"1.1"})"));
        QVERIFY2(rows[2].passed == true, qPrintable(Summary(rows[2])));
        QCOMPARE(rows[2].idGiven, QStringLiteral("0042"));
        // Both failures are kept, without an ID given or anything read back.
        QCOMPARE(keeper.records.size(), 3);
        QCOMPARE(RecordOf(keeper, devices[0]).reason, QStringLiteral("wrong_model"));
        QCOMPARE(RecordOf(keeper, devices[1]).reason, QStringLiteral("old_firmware"));
        for (int i = 0; i < 2; ++i) {
            const RadioRecord record = RecordOf(keeper, devices[i]);
            QVERIFY(rows[i].passed == false);
            QVERIFY(record.idGiven.isEmpty());
            QVERIFY(record.after.isEmpty());
            QCOMPARE(record.before["channel"].toInt(), 1);
            const std::optional<ShownParameters> now = ReadRadio(devices[i]);
            QVERIFY(now);
            QCOMPARE(now->channelPosition, 0);
            QCOMPARE(now->idText.left(4), QStringLiteral("1234"));
        }
    }

    void aWriteTheRadioIgnoresIsAMismatchNamingTheField() {
        const QString device = folder_.radio("deaf", {"--fault", "ignore-write=channel"});
        MemoryKeeper keeper;
        ProductionRun run(PlanFor(ChannelFiveProfile()), OpenQtSerialDevice, &keeper);
        QVERIFY(RunToEnd(run, {device}));
        const ProductionRow& row = run.rows()[0];
        QVERIFY2(row.failure == ProductionFailure::VerifyMismatch, qPrintable(Summary(row)));
        QCOMPARE(row.detail, QStringLiteral(R"({"channel":{"read":1,"written":5}})"));
        QCOMPARE(keeper.records.value(0).reason, QStringLiteral("verify_mismatch"));
        QVERIFY(!keeper.records.value(0).verified);
        QCOMPARE(keeper.records.value(0).after["channel"].toInt(), 1);
    }

    void nextFreeGivesEachRadioItsOwnIdAndAUsedUpRangeFailsTheRow() {
        const QStringList devices{folder_.radio("a"), folder_.radio("b"), folder_.radio("c")};
        MemoryKeeper keeper;
        keeper.taken.insert(100);
        ProductionPlan plan = PlanFor({});
        plan.idPolicy = IdPolicy::NextFree;
        plan.idRange = {100, 102};
        ProductionRun run(plan, OpenQtSerialDevice, &keeper);
        QVERIFY(RunToEnd(run, devices));
        QStringList given;
        int refused = -1;
        for (int i = 0; i < 3; ++i) {
            const ProductionRow& row = run.rows()[i];
            if (row.failure == ProductionFailure::IdUnavailable) {
                refused = i;
                QCOMPARE(
                    row.detail,
                    QStringLiteral(R"({"database":"","range":"0100-0102","why":"range_used_up"})"));
                QVERIFY(row.idGiven.isEmpty());
                continue;
            }
            QVERIFY2(row.passed == true, qPrintable(Summary(row)));
            QCOMPARE(row.record.after["id"].toString(), row.idGiven);
            given << row.idGiven;
        }
        // In the order asked for, none twice, and the radio left over untouched.
        QCOMPARE(keeper.allocations, (QStringList{"0101", "0102", ""}));
        given.sort();
        QCOMPARE(given, (QStringList{"0101", "0102"}));
        QVERIFY(refused >= 0);
        const std::optional<ShownParameters> now = ReadRadio(devices[refused]);
        QVERIFY(now);
        QCOMPARE(now->idText.left(4), QStringLiteral("1234"));
    }

    void withoutAKeeperNextFreeIsRefusedAtTheStart() {
        ProductionPlan plan = PlanFor({});
        plan.idPolicy = IdPolicy::NextFree;
        plan.idRange = {100, 199};
        ProductionRun run(plan, OpenQtSerialDevice, nullptr);
        QVERIFY(RunToEnd(run, {folder_.path("nothing")}, 2000));
        QCOMPARE(run.rows()[0].failure, ProductionFailure::IdUnavailable);
        QVERIFY(!run.isRunning());
    }

    void aLostRecordFailsAPassingRow() {
        const QString device = folder_.radio("a");
        MemoryKeeper keeper;
        keeper.keepAnswer = {KeepOutcome::Kind::Lost, QStringLiteral("disk full")};
        ProductionRun run(PlanFor({}), OpenQtSerialDevice, &keeper);
        QVERIFY(RunToEnd(run, {device}));
        const ProductionRow& row = run.rows()[0];
        QVERIFY(row.passed == false);
        QCOMPARE(row.failure, ProductionFailure::RecordLost);
        QVERIFY(row.recordKept == KeepOutcome::Kind::Lost);
        QCOMPARE(row.detail, QStringLiteral(R"({"database":"disk full"})"));
        // The radio itself passed, and the record says so.
        QVERIFY(row.record.passed);
    }

    void aLinkTestPassesOverCleanAirAndFailsOverLossyOrDamagingAir_data() {
        QTest::addColumn<QStringList>("air");
        QTest::addColumn<ProductionFailure>("failure");
        QTest::newRow("clean") << QStringList{} << ProductionFailure::None;
        QTest::newRow("lossy") << QStringList{"--loss", "0.3"} << ProductionFailure::LinkTestFailed;
        QTest::newRow("damaging") << QStringList{"--corrupt", "0.05"}
                                  << ProductionFailure::LinkDamaged;
    }
    void aLinkTestPassesOverCleanAirAndFailsOverLossyOrDamagingAir() {
        QFETCH(QStringList, air);
        QFETCH(ProductionFailure, failure);
        QVERIFY(folder_.pair("tested", "reference", air));
        MemoryKeeper keeper;
        ProductionPlan plan = PlanFor({});
        plan.linkReference = folder_.path("reference");
        plan.linkFrames = 3;
        ProductionRun run(plan, OpenQtSerialDevice, &keeper);
        QVERIFY(RunToEnd(run, {folder_.path("tested")}));
        const ProductionRow& row = run.rows()[0];
        QVERIFY2(row.failure == failure, qPrintable(Summary(row)));
        QVERIFY(row.passed == (failure == ProductionFailure::None));
        QVERIFY(row.record.link);
        QCOMPARE(row.record.link->sent, 3);
        QCOMPARE(keeper.records.value(0).link, row.record.link);
        if (failure == ProductionFailure::None) QCOMPARE(row.record.link->matched, 3);
        if (failure == ProductionFailure::LinkDamaged) QVERIFY(row.record.link->damaged > 0);
    }

    void theReferenceServesOneRadioAtATime() {
        QVERIFY(folder_.pair("tested", "reference"));
        // Not on the reference's air: none of its frames come back.
        const QString unpaired = folder_.radio("unpaired");
        ProductionPlan plan = PlanFor({});
        plan.linkReference = folder_.path("reference");
        plan.linkFrames = 3;
        ProductionRun run(plan, OpenQtSerialDevice, nullptr);
        int mostAtTheReference = 0;
        connect(&run, &ProductionRun::rowChanged, this, [&] {
            const auto testing = std::count_if(
                run.rows().begin(), run.rows().end(),
                [](const ProductionRow& row) { return row.phase == ProductionPhase::LinkTest; });
            mostAtTheReference = std::max(mostAtTheReference, int(testing));
        });
        QVERIFY(RunToEnd(run, {unpaired, folder_.path("tested")}));
        // Both were there at once, and each had the reference to itself: it opened for both.
        QCOMPARE(mostAtTheReference, 2);
        QVERIFY2(run.rows()[0].failure == ProductionFailure::LinkTestFailed,
                 qPrintable(Summary(run.rows()[0])));
        QCOMPARE(run.rows()[0].record.link->matched, 0);
        QVERIFY2(run.rows()[1].passed == true, qPrintable(Summary(run.rows()[1])));
    }

    void aStopEndsTheLinkTestAndTheRadiosWaitingForTheReference() {
        QVERIFY(folder_.pair("tested", "reference"));
        const QString second = folder_.radio("second");
        ProductionPlan plan = PlanFor({});
        plan.linkReference = folder_.path("reference");
        MemoryKeeper keeper;
        ProductionRun run(plan, OpenQtSerialDevice, &keeper);
        QSignalSpy finished(&run, &ProductionRun::finished);
        run.start({folder_.path("tested"), second});
        QTRY_VERIFY_WITH_TIMEOUT(std::all_of(run.rows().begin(), run.rows().end(),
                                             [](const ProductionRow& row) {
                                                 return row.phase == ProductionPhase::LinkTest;
                                             }),
                                 RunMs);
        run.stop();
        QVERIFY(finished.wait(2000) || finished.count() == 1);
        for (const ProductionRow& row : run.rows()) {
            QVERIFY2(row.failure == ProductionFailure::Stopped, qPrintable(Summary(row)));
            QCOMPARE(row.phase, ProductionPhase::Done);
        }
        QCOMPARE(keeper.records.size(), 2);
    }

    void aReferenceThatDoesNotOpenFailsTheRow() {
        const QString device = folder_.radio("a");
        ProductionPlan plan = PlanFor({});
        plan.linkReference = folder_.path("no-reference");
        ProductionRun run(plan, OpenQtSerialDevice, nullptr);
        QVERIFY(RunToEnd(run, {device}));
        QCOMPARE(run.rows()[0].failure, ProductionFailure::ReferenceFailed);
        QVERIFY(!run.rows()[0].record.link);
    }

    void continuousModeStartsAgainWhenTheDeviceVanishesAndReturns() {
        const QString device = folder_.radio("a");
        MemoryKeeper keeper;
        ProductionRun run(PlanFor(ChannelFiveProfile()), OpenQtSerialDevice, &keeper);
        run.setContinuous(true);
        QSignalSpy finished(&run, &ProductionRun::finished);
        run.start({device});
        QTRY_COMPARE_WITH_TIMEOUT(keeper.records.size(), 1, RunMs);
        QVERIFY(run.rows()[0].passed == true);
        // The radio stays: it still answers, so nothing starts again.
        QTest::qWait(2500);
        QCOMPARE(keeper.records.size(), 1);

        folder_.radios().stopAll();
        QTest::qWait(1500);
        QCOMPARE(folder_.radio("a", {"--id", "0555"}), device);
        QTRY_COMPARE_WITH_TIMEOUT(keeper.records.size(), 2, RunMs);
        QCOMPARE(keeper.records[1].before["id"].toString(), QStringLiteral("0555"));
        QCOMPARE(keeper.records[1].after["channel"].toInt(), 5);
        QVERIFY(keeper.records[1].uid != keeper.records[0].uid);
        QCOMPARE(finished.count(), 0);
        QVERIFY(run.isRunning());
        run.stop();
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 2000);
    }

    // Rows start one after another; a stop before the later ones have started ends them too.
    void aStopBeforeEveryRowHasStartedEndsThemAll() {
        const QStringList devices{folder_.radio("a"), folder_.radio("b"), folder_.radio("c")};
        MemoryKeeper keeper;
        ProductionRun run(PlanFor(ChannelFiveProfile()), OpenQtSerialDevice, &keeper);
        QSignalSpy finished(&run, &ProductionRun::finished);
        run.start(devices);
        run.stop();
        QVERIFY(finished.wait(5000) || finished.count() == 1);
        for (const ProductionRow& row : run.rows()) {
            QVERIFY2(row.failure == ProductionFailure::Stopped, qPrintable(Summary(row)));
            QCOMPARE(row.phase, ProductionPhase::Done);
        }
        // No radio had answered: nothing to record.
        QVERIFY(keeper.records.isEmpty());
    }

    void aStopInTheMiddleOfAWriteEndsWithinASecondAndAHalf() {
        // Slow replies keep each write step on the wire for a while.
        const QString device = folder_.radio("slow", {"--fault", "delay=60"});
        MemoryKeeper keeper;
        ProductionRun run(PlanFor(ChannelFiveProfile()), OpenQtSerialDevice, &keeper);
        QSignalSpy finished(&run, &ProductionRun::finished);
        QElapsedTimer stopping;
        // Once the first step is on its way.
        connect(&run, &ProductionRun::rowChanged, this, [&] {
            if (run.rows()[0].phase != ProductionPhase::Writing || stopping.isValid()) return;
            stopping.start();
            QTimer::singleShot(30, &run, [&] {
                stopping.start();
                run.stop();
            });
        });
        run.start({device});
        QVERIFY(finished.wait(RunMs) || finished.count() == 1);
        QVERIFY(stopping.isValid());
        QVERIFY2(stopping.elapsed() < 1500, qPrintable(QString::number(stopping.elapsed())));
        const ProductionRow& row = run.rows()[0];
        QVERIFY2(row.failure == ProductionFailure::Stopped, qPrintable(Summary(row)));
        QVERIFY(row.passed == false);
        QCOMPARE(row.phase, ProductionPhase::Done);
        QCOMPARE(keeper.records.size(), 1);
        QCOMPARE(keeper.records[0].reason, QStringLiteral("stopped"));
        // The port is free again and the radio answers: no step was cut off half sent.
        QVERIFY(ReadRadio(device));
    }
};

QTEST_MAIN(ProductionRunTest)
#include "production_run_test.moc"
