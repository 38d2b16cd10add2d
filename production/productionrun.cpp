#include "production/productionrun.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QTimer>
#include <QUuid>
#include <deque>
#include <vector>

#include "production/linkcheck.h"
#include "production/radiosession.h"
#include "production/radiowatch.h"
#include "serial/portreturn.h"

namespace {

// The engine's send period for the link test, and room for the last reply and the ports.
constexpr int LinkFramePeriodMs = 1000;
constexpr int LinkTimeoutMarginMs = 10000;
// A keeper that never answers must not hold the row for ever.
constexpr int RecordAnswerWaitMs = 30000;
// Between the starts of two rows: enough for the host's events to be served in between.
constexpr int StartGapMs = 1;

QString Compact(const QJsonObject& object) {
    return object.isEmpty()
               ? QString()
               : QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QString FourDigits(int id) {
    return QStringLiteral("%1").arg(id, 4, 10, QLatin1Char('0'));
}

QString VersionText(int versionCode) {
    return QStringLiteral("%1.%2").arg(versionCode >> 4).arg(versionCode & 0xF);
}

QString AllocationKey(IdAllocation::Failure failure) {
    switch (failure) {
        case IdAllocation::Failure::RangeUsedUp:
            return QStringLiteral("range_used_up");
        case IdAllocation::Failure::Unreachable:
            return QStringLiteral("unreachable");
        case IdAllocation::Failure::StoreFailed:
            return QStringLiteral("store_failed");
        case IdAllocation::Failure::None:
            break;
    }
    return QStringLiteral("no_id");
}

QString OutcomeKey(SequenceOutcome outcome) {
    switch (outcome) {
        case SequenceOutcome::NoPort:
            return QStringLiteral("no_port");
        case SequenceOutcome::ReadDone:
            return QStringLiteral("read_done");
        case SequenceOutcome::WriteDone:
            return QStringLiteral("write_done");
        case SequenceOutcome::WriteNotFollowed:
            return QStringLiteral("write_not_followed");
        case SequenceOutcome::WriteVerified:
            return QStringLiteral("write_verified");
        case SequenceOutcome::VerifyFailed:
            return QStringLiteral("verify_failed");
        case SequenceOutcome::VerifyReadFailed:
            return QStringLiteral("verify_read_failed");
        case SequenceOutcome::ConnectFailed:
            return QStringLiteral("connect_failed");
        case SequenceOutcome::ReadFailed:
            return QStringLiteral("read_failed");
        case SequenceOutcome::WriteFailed:
            return QStringLiteral("write_failed");
        case SequenceOutcome::WriteRefused:
            return QStringLiteral("write_refused");
        case SequenceOutcome::PortClosed:
            return QStringLiteral("port_closed");
        case SequenceOutcome::Interrupted:
            break;
    }
    return QStringLiteral("interrupted");
}

QJsonObject FiguresJson(const LinkFigures& f) {
    return {{"sent", f.sent},
            {"matched", f.matched},
            {"damaged", f.damaged},
            {"no_reply", f.noReply},
            {"longer", f.longer},
            {"shorter", f.shorter},
            {"pass_percent", f.passPercent}};
}

// What a failure is, and what it needs said.
struct Verdict {
    ProductionFailure failure = ProductionFailure::None;
    QJsonObject detail;
};

// The fields a read-back found other than written, each with both values.
QJsonObject Differences(const WriteSelection& written, const ShownParameters& after) {
    const WriteSelection reported = AsWriteSelection(after);
    const QJsonObject writtenValues = ValuesJson(written);
    const QJsonObject readValues = ValuesJson(reported);
    QJsonObject differing;
    for (const RadioField field : DifferingFields(written, reported)) {
        const QString key = FieldKey(field);
        differing[key] = QJsonObject{{"written", writtenValues[key]}, {"read", readValues[key]}};
    }
    return differing;
}

// How a session that was not stopped by the run's own checks ended, as a row's verdict.
Verdict SessionVerdict(const SessionResult& result) {
    const SessionEnding& ending = result.ending;
    switch (ending.stop) {
        case SessionStop::Done:
            return {};
        case SessionStop::NoSuchPort:
            return {ProductionFailure::PortFailed, {{"port", "no_such_port"}}};
        case SessionStop::OpenFailed:
            return {ProductionFailure::PortFailed, {{"open", ending.openFailure}}};
        case SessionStop::SettingsRefused:
            return {ProductionFailure::PortFailed,
                    {{"refused", "9600-N-1"}, {"why", static_cast<int>(ending.refusal)}}};
        case SessionStop::PortLost:
            return {ProductionFailure::PortFailed, {{"port", "went_away"}}};
        case SessionStop::UnknownValueKept:
            return {ProductionFailure::ExchangeFailed,
                    {{"unknown_value", FieldKey(*ending.unknownField)},
                     {"raw", RawValue(*ending.unknownField, ending.raw)}}};
        case SessionStop::TimedOut:
            return {
                ending.searching ? ProductionFailure::NoRadio : ProductionFailure::ExchangeFailed,
                {{"timed_out", ending.timeoutSeconds}}};
        case SessionStop::Interrupted:
            return {ProductionFailure::Stopped, {}};
        case SessionStop::Exchange:
            break;
    }
    const SequenceResult& sequence = *ending.sequence;
    switch (sequence.outcome) {
        case SequenceOutcome::NoPort:
            return {ProductionFailure::PortFailed, {{"open", sequence.portFailure}}};
        case SequenceOutcome::PortClosed:
            return {ProductionFailure::PortFailed, {{"port", "went_away"}}};
        case SequenceOutcome::ConnectFailed:
            if (!ending.state.writing) {
                QJsonObject detail;
                if (!ending.state.onlySetting.isEmpty())
                    detail["setting"] = ending.state.onlySetting;
                return {ProductionFailure::NoRadio, detail};
            }
            break;
        case SequenceOutcome::VerifyFailed:
            return {ProductionFailure::VerifyMismatch,
                    Differences(sequence.written, sequence.reading)};
        default:
            break;
    }
    QJsonObject detail{{"outcome", OutcomeKey(sequence.outcome)}};
    if (ending.state.writing) detail["steps_acknowledged"] = ending.state.stepsAcknowledged;
    return {ProductionFailure::ExchangeFailed, detail};
}

}  // namespace

QString FailureKey(ProductionFailure failure) {
    switch (failure) {
        case ProductionFailure::None:
            return {};
        case ProductionFailure::PortFailed:
            return QStringLiteral("port_failed");
        case ProductionFailure::NoRadio:
            return QStringLiteral("no_radio");
        case ProductionFailure::WrongModel:
            return QStringLiteral("wrong_model");
        case ProductionFailure::OldFirmware:
            return QStringLiteral("old_firmware");
        case ProductionFailure::IdUnavailable:
            return QStringLiteral("id_unavailable");
        case ProductionFailure::ExchangeFailed:
            return QStringLiteral("exchange_failed");
        case ProductionFailure::VerifyMismatch:
            return QStringLiteral("verify_mismatch");
        case ProductionFailure::LinkTestFailed:
            return QStringLiteral("link_test_failed");
        case ProductionFailure::LinkDamaged:
            return QStringLiteral("link_damaged");
        case ProductionFailure::ReferenceFailed:
            return QStringLiteral("reference_failed");
        case ProductionFailure::Stopped:
            return QStringLiteral("stopped");
        case ProductionFailure::RecordLost:
            break;
    }
    return QStringLiteral("record_lost");
}

class ProductionRunPrivate {
  public:
    ProductionRunPrivate(ProductionRun& run, ProductionPlan plan, SerialDeviceOpener opener,
                         RecordKeeper* keeper)
        : q(run), plan(std::move(plan)), opener(std::move(opener)), keeper(keeper) {}

    // What a row works with besides what it shows.
    struct Lane {
        std::unique_ptr<RadioSession> session;
        std::unique_ptr<LinkCheck> link;
        std::unique_ptr<RadioWatch> watch;
        QElapsedTimer clock;
        // Answers meant for an earlier pass of the row are dropped.
        int pass = 0;
        // A failure found by the run's own checks, which ended the session unwritten.
        std::optional<Verdict> checkFailed;
        std::optional<RateAndParity> answeredAt;
        QTimer recordWait;
    };

    // `adapterSerial`: of the adapter the row's device is behind now, where it has one.
    void startRow(int i, const QString& adapterSerial);
    // Starts row i, and the rows after it one by one.
    void startRowsFrom(int i, const QList<ListedDevice>& listed);
    void afterRead(int i);
    void writeWithId(int i, const std::optional<QString>& id);
    void sessionFinished(int i);
    void stageChanged(int i);
    void linkTurn();
    void linkFinished(int i);
    void record(int i);
    void recordKept(int i, const KeepOutcome& outcome);
    void fail(int i, const Verdict& verdict);
    void done(int i);
    void watch(int i);
    bool allDone() const;
    void changed(int i) { emit q.rowChanged(i); }

    ProductionRun& q;
    ProductionPlan plan;
    SerialDeviceOpener opener;
    RecordKeeper* keeper;
    QList<ProductionRow> rows;
    std::vector<std::unique_ptr<Lane>> lanes;
    bool running = false;
    bool stopping = false;
    bool continuous = false;
    // Rows waiting for the reference station, and the one it serves.
    std::deque<int> linkQueue;
    std::optional<int> linkHolder;
};

void ProductionRunPrivate::startRow(int i, const QString& adapterSerial) {
    Lane& lane = *lanes[i];
    ProductionRow& row = rows[i];
    lane.watch.reset();
    lane.checkFailed.reset();
    lane.answeredAt.reset();
    ++lane.pass;
    ProductionRow fresh;
    fresh.port = row.port;
    fresh.device = row.device;
    row = fresh;
    row.record.adapterSerial = adapterSerial;
    row.phase = ProductionPhase::Finding;
    lane.clock.start();
    lane.session = std::make_unique<RadioSession>(PortTarget{row.port, row.device}, opener,
                                                  plan.timeoutSeconds);
    RadioSession* session = lane.session.get();
    QObject::connect(session, &RadioSession::progressed, &q, [this, i] { stageChanged(i); });
    QObject::connect(session, &RadioSession::readForWrite, &q, [this, i] { afterRead(i); });
    QObject::connect(session, &RadioSession::finished, &q, [this, i] { sessionFinished(i); });
    changed(i);
    session->startReadForWrite(plan.verify);
}

void ProductionRunPrivate::stageChanged(int i) {
    const RadioSession* session = lanes[i]->session.get();
    if (!session) return;
    ProductionPhase phase = rows[i].phase;
    switch (session->stage()) {
        case RadioSession::Stage::Finding:
            phase = ProductionPhase::Finding;
            break;
        case RadioSession::Stage::Reading:
        case RadioSession::Stage::Waiting:
            phase = ProductionPhase::Reading;
            break;
        case RadioSession::Stage::Writing:
            phase = ProductionPhase::Writing;
            break;
        case RadioSession::Stage::Verifying:
            phase = ProductionPhase::Verifying;
            break;
        case RadioSession::Stage::Ended:
            return;
    }
    if (phase == rows[i].phase) return;
    rows[i].phase = phase;
    changed(i);
}

void ProductionRunPrivate::afterRead(int i) {
    Lane& lane = *lanes[i];
    const SessionResult& result = lane.session->result();
    rows[i].modelVersion = result.model;
    const int model = result.modelCode.value_or(-1);
    // Shown beside the version while the row goes on.
    rows[i].record.modelCode = model;
    changed(i);
    const int version = result.versionCode.value_or(0);
    if (plan.modelCode && model != *plan.modelCode) {
        lane.checkFailed = Verdict{ProductionFailure::WrongModel,
                                   {{"model", model}, {"expected", *plan.modelCode}}};
    } else if (plan.lowestFirmware && version < *plan.lowestFirmware) {
        lane.checkFailed = Verdict{
            ProductionFailure::OldFirmware,
            {{"firmware", VersionText(version)}, {"lowest", VersionText(*plan.lowestFirmware)}}};
    }
    if (lane.checkFailed) {
        lane.session->leaveUnwritten();
        return;
    }
    switch (plan.idPolicy) {
        case IdPolicy::Keep:
            writeWithId(i, std::nullopt);
            return;
        case IdPolicy::Same:
            writeWithId(i, plan.sameId);
            return;
        case IdPolicy::NextFree:
            break;
    }
    const int pass = lane.pass;
    const QPointer<ProductionRun> run(&q);
    keeper->allocateId(plan.idRange, plan.station, [this, run, i, pass](const IdAllocation& given) {
        if (!run || lanes[i]->pass != pass || !lanes[i]->session ||
            lanes[i]->session->isFinished()) {
            return;
        }
        if (given.id) {
            writeWithId(i, given.id);
            return;
        }
        lanes[i]->checkFailed = Verdict{
            ProductionFailure::IdUnavailable,
            {{"range", FourDigits(plan.idRange.first) + u'-' + FourDigits(plan.idRange.last)},
             {"why", AllocationKey(given.failure)},
             {"database", given.detail}}};
        lanes[i]->session->leaveUnwritten();
    });
}

void ProductionRunPrivate::writeWithId(int i, const std::optional<QString>& id) {
    RadioProfile changes = plan.profile;
    changes.id = id;
    const SessionResult& result = lanes[i]->session->result();
    // Kept: the radio's own four digits go back as they are.
    rows[i].idGiven = id ? *id : result.before->idText.left(4);
    changed(i);
    lanes[i]->session->write(changes);
}

void ProductionRunPrivate::sessionFinished(int i) {
    Lane& lane = *lanes[i];
    const SessionResult& result = lane.session->result();
    lane.answeredAt = result.answeredAt;
    ProductionRow& row = rows[i];
    row.modelVersion = result.model;
    if (!result.written) row.idGiven.clear();
    Verdict verdict = lane.checkFailed ? *lane.checkFailed : SessionVerdict(result);
    if (stopping && verdict.failure == ProductionFailure::None && !result.written) {
        verdict = {ProductionFailure::Stopped, {}};
    }
    if (verdict.failure != ProductionFailure::None) {
        fail(i, verdict);
        record(i);
        return;
    }
    if (plan.linkReference && !stopping) {
        row.phase = ProductionPhase::LinkTest;
        changed(i);
        linkQueue.push_back(i);
        linkTurn();
        return;
    }
    record(i);
}

void ProductionRunPrivate::linkTurn() {
    if (linkHolder || linkQueue.empty()) return;
    const int i = linkQueue.front();
    linkQueue.pop_front();
    linkHolder = i;
    Lane& lane = *lanes[i];
    const int timeoutMs = plan.linkFrames * LinkFramePeriodMs + LinkTimeoutMarginMs;
    lane.link = std::make_unique<LinkCheck>(
        LinkEnd{rows[i].device, lane.answeredAt.value_or(RateAndParity{4, 0})},
        LinkEnd{*plan.linkReference}, opener, plan.linkFrames, timeoutMs);
    QObject::connect(lane.link.get(), &LinkCheck::finished, &q, [this, i] { linkFinished(i); });
    lane.link->start();
}

void ProductionRunPrivate::linkFinished(int i) {
    Lane& lane = *lanes[i];
    const LinkCheckResult& result = lane.link->result();
    const LinkFigures figures = FiguresOf(result.row, plan.linkPassPercent);
    Verdict verdict;
    switch (result.stop) {
        case LinkStop::Completed:
            rows[i].record.link = figures;
            if (figures.damaged > 0) {
                verdict = {ProductionFailure::LinkDamaged, FiguresJson(figures)};
            } else if (!LinkPassed(figures)) {
                verdict = {ProductionFailure::LinkTestFailed, FiguresJson(figures)};
            }
            break;
        case LinkStop::ReferenceFailed:
        case LinkStop::ReferenceLost:
            verdict = {ProductionFailure::ReferenceFailed,
                       {{"reference", *plan.linkReference},
                        {"open", result.openFailure},
                        {"lost", result.stop == LinkStop::ReferenceLost}}};
            break;
        case LinkStop::RecorderFailed:
        case LinkStop::RecorderLost:
            verdict = {ProductionFailure::PortFailed, {{"link_test", "port_failed"}}};
            break;
        case LinkStop::TimedOut:
            rows[i].record.link = figures;
            verdict = {ProductionFailure::LinkTestFailed, FiguresJson(figures)};
            verdict.detail["timed_out"] = true;
            break;
        case LinkStop::Stopped:
            verdict = {ProductionFailure::Stopped, {}};
            break;
    }
    lane.link.release()->deleteLater();
    linkHolder.reset();
    if (verdict.failure != ProductionFailure::None) fail(i, verdict);
    record(i);
    linkTurn();
}

void ProductionRunPrivate::fail(int i, const Verdict& verdict) {
    rows[i].passed = false;
    rows[i].failure = verdict.failure;
    rows[i].detail = Compact(verdict.detail);
}

void ProductionRunPrivate::record(int i) {
    Lane& lane = *lanes[i];
    ProductionRow& row = rows[i];
    const SessionResult& result = lane.session->result();
    if (!row.passed) row.passed = true;
    RadioRecord& r = row.record;
    r.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    r.timeUtc = QDateTime::currentDateTimeUtc();
    r.station = plan.station;
    r.operatorName = plan.operatorName;
    r.port = row.port;
    r.device = row.device;
    r.modelCode = result.modelCode.value_or(-1);
    r.firmware = result.versionCode ? VersionText(*result.versionCode) : QString();
    if (result.before) r.before = ValuesJson(AsWriteSelection(*result.before));
    if (result.after) r.after = ValuesJson(AsWriteSelection(*result.after));
    r.idGiven = result.written ? row.idGiven : QString();
    r.verified = result.verified;
    r.passed = *row.passed;
    r.reason = FailureKey(row.failure);
    r.detail = row.detail;
    r.programVersion = QStringLiteral(TVR_VERSION);
    // A stopped row that never found a radio did nothing worth keeping.
    if (!keeper || (row.failure == ProductionFailure::Stopped && r.modelCode < 0)) {
        done(i);
        return;
    }
    row.phase = ProductionPhase::Recording;
    changed(i);
    const int pass = lane.pass;
    const QPointer<ProductionRun> run(&q);
    lane.recordWait.setSingleShot(true);
    QObject::disconnect(&lane.recordWait, nullptr, nullptr, nullptr);
    QObject::connect(&lane.recordWait, &QTimer::timeout, &q, [this, i] {
        recordKept(i, {KeepOutcome::Kind::Lost, QStringLiteral("no_answer")});
    });
    lane.recordWait.start(RecordAnswerWaitMs);
    keeper->keep(r, [this, run, i, pass](const KeepOutcome& outcome) {
        if (run && lanes[i]->pass == pass && rows[i].phase == ProductionPhase::Recording) {
            recordKept(i, outcome);
        }
    });
}

void ProductionRunPrivate::recordKept(int i, const KeepOutcome& outcome) {
    lanes[i]->recordWait.stop();
    ProductionRow& row = rows[i];
    row.recordKept = outcome.kind;
    if (outcome.kind == KeepOutcome::Kind::Lost && row.failure == ProductionFailure::None) {
        fail(i, {ProductionFailure::RecordLost, {{"database", outcome.detail}}});
    }
    done(i);
}

void ProductionRunPrivate::done(int i) {
    Lane& lane = *lanes[i];
    ProductionRow& row = rows[i];
    row.phase = ProductionPhase::Done;
    row.seconds = lane.clock.nsecsElapsed() / 1e9;
    if (lane.session) lane.session.release()->deleteLater();
    changed(i);
    if (continuous && !stopping) {
        watch(i);
        return;
    }
    if (allDone()) {
        running = false;
        stopping = false;
        emit q.finished();
    }
}

void ProductionRunPrivate::watch(int i) {
    Lane& lane = *lanes[i];
    const bool radioAnswered = rows[i].record.modelCode >= 0;
    lane.watch = std::make_unique<RadioWatch>(rows[i].device, opener,
                                              radioAnswered ? lane.answeredAt : std::nullopt);
    QObject::connect(lane.watch.get(), &RadioWatch::nextRadio, &q, [this, i] {
        // Not inside the watch's own call: it goes with the new start.
        QMetaObject::invokeMethod(
            &q,
            [this, i] {
                if (running && !stopping && rows[i].phase == ProductionPhase::Done) {
                    startRow(i, AdapterSerialNumber(rows[i].device));
                }
            },
            Qt::QueuedConnection);
    });
}

void ProductionRunPrivate::startRowsFrom(int i, const QList<ListedDevice>& listed) {
    if (i >= rows.size() || !running || stopping) return;
    startRow(i, AdapterSerialNumber(rows[i].device, listed));
    // Each port opens in a turn of the event loop of its own: 32 opened in one would keep the
    // host's thread, a window's, from its events for hundreds of milliseconds.
    QTimer::singleShot(StartGapMs, &q, [this, i, listed] { startRowsFrom(i + 1, listed); });
}

bool ProductionRunPrivate::allDone() const {
    return std::all_of(rows.begin(), rows.end(),
                       [](const ProductionRow& row) { return row.phase == ProductionPhase::Done; });
}

ProductionRun::ProductionRun(ProductionPlan plan, SerialDeviceOpener opener, RecordKeeper* keeper,
                             QObject* parent)
    : QObject(parent),
      d_(std::make_unique<ProductionRunPrivate>(*this, std::move(plan), std::move(opener),
                                                keeper)) {}

ProductionRun::~ProductionRun() = default;

void ProductionRun::start(const QList<QString>& devices) {
    if (d_->running) return;
    d_->rows.clear();
    d_->lanes.clear();
    d_->linkQueue.clear();
    d_->linkHolder.reset();
    for (qsizetype i = 0; i < devices.size(); ++i) {
        ProductionRow row;
        row.port = QStringLiteral("COM%1").arg(i + 1);
        row.device = devices[i];
        d_->rows << row;
        d_->lanes.push_back(std::make_unique<ProductionRunPrivate::Lane>());
    }
    d_->running = true;
    d_->stopping = false;
    // Without a keeper there is nowhere to take the next free ID from: no row starts.
    if (d_->plan.idPolicy == IdPolicy::NextFree && !d_->keeper) {
        for (int i = 0; i < d_->rows.size(); ++i) {
            d_->rows[i].phase = ProductionPhase::Done;
            d_->rows[i].passed = false;
            d_->rows[i].failure = ProductionFailure::IdUnavailable;
            d_->rows[i].detail = Compact({{"why", "no_keeper"}});
        }
        d_->running = false;
        QMetaObject::invokeMethod(this, &ProductionRun::finished, Qt::QueuedConnection);
        return;
    }
    // One listing of the system's ports for them all: it takes milliseconds.
    d_->startRowsFrom(0, ListedDevices());
    if (d_->rows.isEmpty()) {
        d_->running = false;
        QMetaObject::invokeMethod(this, &ProductionRun::finished, Qt::QueuedConnection);
    }
}

void ProductionRun::stop() {
    if (!d_->running) return;
    d_->stopping = true;
    d_->linkQueue.clear();
    for (int i = 0; i < d_->rows.size(); ++i) {
        ProductionRunPrivate::Lane& lane = *d_->lanes[i];
        ProductionRow& row = d_->rows[i];
        if (row.phase == ProductionPhase::Done) {
            lane.watch.reset();
            continue;
        }
        if (row.phase == ProductionPhase::LinkTest && !lane.link) {
            // Waiting for the reference station: nothing of it has started.
            d_->fail(i, {ProductionFailure::Stopped, {}});
            d_->record(i);
            continue;
        }
        if (lane.link) {
            lane.link->stop();
        } else if (lane.session && !lane.session->isFinished()) {
            lane.session->interrupt(0);
        } else if (row.phase == ProductionPhase::Idle) {
            // Its turn to start had not come: nothing of it ran, nothing is recorded.
            d_->fail(i, {ProductionFailure::Stopped, {}});
            row.phase = ProductionPhase::Done;
            emit rowChanged(i);
        }
    }
    if (d_->allDone()) {
        d_->running = false;
        d_->stopping = false;
        emit finished();
    }
}

void ProductionRun::setContinuous(bool continuous) {
    d_->continuous = continuous;
}

bool ProductionRun::addDevice(const QString& device) {
    if (!d_->running || d_->stopping || !d_->continuous) return false;
    for (const ProductionRow& row : std::as_const(d_->rows))
        if (row.device == device) return false;
    ProductionRow row;
    row.port = QStringLiteral("COM%1").arg(d_->rows.size() + 1);
    row.device = device;
    d_->rows << row;
    d_->lanes.push_back(std::make_unique<ProductionRunPrivate::Lane>());
    const int i = static_cast<int>(d_->rows.size() - 1);
    emit rowAdded(i);
    d_->startRow(i, AdapterSerialNumber(device, ListedDevices()));
    return true;
}

bool ProductionRun::isRunning() const {
    return d_->running;
}

const QList<ProductionRow>& ProductionRun::rows() const {
    return d_->rows;
}
