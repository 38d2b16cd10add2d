#include "tools/tvrctl/recordedapply.h"

#include <QEventLoop>
#include <QSysInfo>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "core/escape.h"
#include "core/terminationsignals.h"
#include "production/productionrun.h"
#include "records/recordlocation.h"
#include "records/recordstore.h"
#include "serial/portopener.h"
#include "tools/tvrctl/history.h"

namespace {

void Print(FILE* stream, const QString& text) {
    std::fputs(EscapeControlCharacters(text).toLocal8Bit().constData(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

// The exit status a failed radio gives the run, as the plain apply's statuses go.
int ExitStatusOf(ProductionFailure failure) {
    switch (failure) {
        case ProductionFailure::None:
            return CtlExit::Ok;
        case ProductionFailure::PortFailed:
        case ProductionFailure::ReferenceFailed:
            return CtlExit::PortError;
        case ProductionFailure::NoRadio:
            return CtlExit::NoRadio;
        case ProductionFailure::WrongModel:
        case ProductionFailure::OldFirmware:
        case ProductionFailure::IdUnavailable:
            return CtlExit::CheckFailed;
        case ProductionFailure::ExchangeFailed:
        case ProductionFailure::Stopped:
            return CtlExit::ExchangeFailed;
        case ProductionFailure::VerifyMismatch:
            return CtlExit::VerifyMismatch;
        case ProductionFailure::LinkTestFailed:
        case ProductionFailure::LinkDamaged:
            return CtlExit::LinkTestFailed;
        case ProductionFailure::RecordLost:
            return CtlExit::FileNotWritten;
    }
    return CtlExit::ExchangeFailed;
}

QString RowLine(const ProductionRow& row) {
    const QString port = QStringLiteral("%1 (%2)").arg(row.port, row.device);
    const QString seconds = QString::number(row.seconds, 'f', 1);
    if (row.passed.value_or(false)) {
        return QStringLiteral("%1: PASS, ID %2, %3 s").arg(port, row.idGiven, seconds);
    }
    QString line = QStringLiteral("%1: FAIL %2").arg(port, FailureKey(row.failure));
    if (!row.detail.isEmpty()) line += u' ' + row.detail;
    return line + QStringLiteral(", %1 s").arg(seconds);
}

ProductionPlan PlanOf(const CtlOptions& options, const RadioProfile& profile,
                      const QString& operatorName) {
    ProductionPlan plan;
    plan.profile = profile;
    if (options.idRange) {
        plan.idPolicy = IdPolicy::NextFree;
        plan.idRange = *options.idRange;
    } else if (profile.id) {
        plan.idPolicy = IdPolicy::Same;
        plan.sameId = *profile.id;
    }
    if (!options.linkReference.isEmpty()) {
        plan.linkReference = options.linkReference;
        plan.linkFrames = options.frames;
        plan.linkPassPercent = options.passPercent;
    }
    plan.station = options.station.isEmpty() ? QSysInfo::machineHostName() : options.station;
    plan.operatorName = operatorName;
    plan.timeoutSeconds = options.timeoutSeconds;
    return plan;
}

// Opens the database, waiting for its answer; false, after saying why, when it cannot be
// used. A server that does not answer is no obstacle: records wait in the outbox.
bool OpenStore(RecordStore& store, const QString& location) {
    const LocationParse parsed = ParseRecordsLocation(location);
    if (!parsed.location) {
        Print(stderr,
              QStringLiteral("tvrctl: --db: %1").arg(LocationText(parsed.error, parsed.detail)));
        return false;
    }
    RecordStoreSettings settings;
    settings.location = location;
    std::optional<StoreOpening> opening;
    QEventLoop loop;
    store.open(settings, [&](const StoreOpening& answer) {
        opening = answer;
        loop.quit();
    });
    if (!opening) loop.exec();
    if (opening->failure == StoreOpening::Failure::Unreachable) {
        Print(stderr, QStringLiteral("tvrctl: %1 does not answer; records wait in the outbox")
                          .arg(parsed.location->shown()));
        return true;
    }
    if (opening->failure == StoreOpening::Failure::None) return true;
    Print(stderr, QStringLiteral("tvrctl: records not opened: %1").arg(OpeningText(*opening)));
    return false;
}

}  // namespace

int RunRecordedApply(const CtlOptions& options, const RadioProfile& profile,
                     const QList<PortTarget>& targets, const QString& operatorName,
                     TerminationSignals& interrupts) {
    RecordStore store;
    if (!OpenStore(store, options.database)) return CtlExit::PortError;
    QStringList devices;
    for (const PortTarget& target : targets) devices << target.device;

    ProductionRun run(PlanOf(options, profile, operatorName), OpenNamedPort, &store);
    QList<bool> printed(devices.size(), false);
    QEventLoop loop;
    QObject::connect(&run, &ProductionRun::rowChanged, &loop, [&](int i) {
        const ProductionRow& row = run.rows().at(i);
        if (printed[i] || row.phase != ProductionPhase::Done || !row.passed) return;
        printed[i] = true;
        Print(*row.passed ? stdout : stderr, RowLine(row));
    });
    QObject::connect(&run, &ProductionRun::finished, &loop, &QEventLoop::quit);
    QObject::connect(&interrupts, &TerminationSignals::arrived, &run, &ProductionRun::stop);
    run.start(devices);
    if (run.isRunning()) loop.exec();

    int status = CtlExit::Ok;
    int passed = 0;
    for (const ProductionRow& row : run.rows()) {
        if (row.passed.value_or(false)) ++passed;
        status = std::max(status, ExitStatusOf(row.failure));
    }
    Print(stdout, QStringLiteral("%1 of %2 radios passed").arg(passed).arg(run.rows().size()));
    if (const int waiting = store.waitingCount(); waiting > 0) {
        Print(
            stderr,
            QStringLiteral("tvrctl: %1 records wait in the outbox for the database").arg(waiting));
    }
    return status;
}
