// The loop-back test between two stations without a window: two data test engines, each on a
// simulated radio of its own, the radios on one simulated air. Time moves only in 10 ms steps.

#include <QTest>
#include <memory>

#include "datatest/datatestengine.h"
#include "serial/seriallink.h"
#include "sim/simulatedport.h"
#include "tests/support/recorders.h"

using namespace std::chrono_literals;

namespace {

constexpr int StepsPerReceiveTick = 5;
// A send on every 134th 10 ms tick at the test's 2000 ms period.
constexpr int PeriodSteps = 134;
// The seventh quiet receive tick acts; the periodic send acts on the step after it.
constexpr int QuietSteps = 7 * StepsPerReceiveTick;

// What a station's window would show.
struct RowRecorder : DataTestView {
    QList<ErrTestRow> rows;
    QList<bool> autoSend;
    bool sending = false;
    void showErrTestRow(const ErrTestRow& row) override { rows << row; }
    void showAutoSend(bool checked, bool) override { autoSend << checked; }
    void setPeriodicSending(bool on) override { sending = on; }
};

// Tells the engine when the driver has taken more bytes, as the window does.
struct StationHost : HostRecorder {
    DataTestEngine* engine = nullptr;
    void dataSent() override { engine->ShowSentBytes(); }
};

struct Station {
    Station(SimulatedRadio& radio, const QString& text) : engine(link, &view) {
        host.engine = &engine;
        link.setOpener([&radio](const QString&) -> OpenResult {
            return OpenResult(std::make_unique<SimulatedPort>(radio));
        });
        link.setHost(&host);
        engine.setTransmitText(text);
    }
    bool open() { return OpenAt9600(link, QStringLiteral("SIM")); }

    StationHost host;
    SerialLink link;
    RowRecorder view;
    DataTestEngine engine;
};

}  // namespace

class LoopbackEngineTest : public QObject {
    Q_OBJECT

    std::unique_ptr<SimulatedRadio> radioA_;
    std::unique_ptr<SimulatedRadio> radioB_;
    std::unique_ptr<Station> recorder_;
    std::unique_ptr<Station> echo_;
    int step_ = 0;
    // The steps at which the recorder sent, and at which each station last read bytes.
    QList<int> sendSteps_;
    int recorderLastRead_ = -1;
    int echoLastRead_ = -1;
    QList<int> echoSteps_;

    // One 10 ms step: the send tick while periodic sending runs, both receive ticks on every
    // fifth step, then the air moves on.
    void step() {
        ++step_;
        const int32_t txBefore = recorder_->engine.TxByteCount;
        if (recorder_->view.sending) {
            QCOMPARE(recorder_->engine.Timer_TrttDataTimer().outcome, DataTestOutcome::Done);
        }
        if (recorder_->engine.TxByteCount != txBefore) sendSteps_ << step_;
        if (step_ % StepsPerReceiveTick == 0) {
            receiveTick(*recorder_, recorderLastRead_);
            const bool collecting = !echo_->engine.ErrTestRxText.isEmpty();
            receiveTick(*echo_, echoLastRead_);
            if (collecting && echo_->engine.ErrTestRxText.isEmpty()) echoSteps_ << step_;
        }
        radioA_->advance(10ms);
        radioB_->advance(10ms);
    }

    void receiveTick(Station& station, int& lastRead) {
        const int32_t before = station.engine.RxByteCount;
        station.engine.Timer_RecDataTimer();
        if (station.engine.RxByteCount != before) lastRead = step_;
    }

    bool runUntilSent(int sends, int maxSteps = 20000) {
        for (int i = 0; i < maxSteps && sendSteps_.size() < sends; ++i) step();
        return sendSteps_.size() >= sends;
    }

    void makeStations(LinkOptions air = {}) {
        radioA_ = std::make_unique<SimulatedRadio>(RadioParameters{}, air);
        radioB_ = std::make_unique<SimulatedRadio>(RadioParameters{}, air);
        radioA_->linkPeer(*radioB_);
        recorder_ = std::make_unique<Station>(*radioA_, QStringLiteral("HELLO RADIO"));
        echo_ = std::make_unique<Station>(*radioB_, QStringLiteral("echo"));
        QVERIFY(recorder_->open());
        QVERIFY(echo_->open());
        recorder_->engine.setRecording(true);
    }

  private slots:
    void init() {
        step_ = 0;
        sendSteps_.clear();
        echoSteps_.clear();
        recorderLastRead_ = echoLastRead_ = -1;
        makeStations();
    }
    void cleanup() {
        recorder_.reset();
        echo_.reset();
        radioA_.reset();
        radioB_.reset();
    }

    void perfectEchoForcesEachSendAfterSevenQuietTicks() {
        QCOMPARE(echo_->engine.PanelTrttTestClick().outcome, DataTestOutcome::Done);
        QCOMPARE(recorder_->engine.PanelTrttTestClick().outcome, DataTestOutcome::Done);
        QVERIFY(recorder_->engine.autoSend() && recorder_->view.sending);
        QVERIFY(!echo_->engine.autoSend() && !echo_->view.sending);
        // The first frame waits for the whole period.
        QVERIFY(runUntilSent(1));
        QCOMPARE(sendSteps_[0], PeriodSteps);
        for (int k = 2; k <= 5; ++k) {
            QVERIFY(runUntilSent(k));
            // The echo left on the echo station's seventh quiet tick after the frame's last
            // byte, and its arrival forced the next send on the seventh quiet tick.
            QCOMPARE(echoSteps_.size(), k - 1);
            QCOMPARE(echoSteps_.last() - echoLastRead_, QuietSteps);
            QCOMPARE(sendSteps_[k - 1] - recorderLastRead_, QuietSteps + 1);
        }
        const ErrTestRow& row = recorder_->view.rows.last();
        QCOMPARE(row.counts.ErrTestSent, 4);
        QCOMPARE(row.counts.ErrTestMatched, 4);
        QCOMPARE(row.counts.ErrTestNoReply + row.counts.ErrTestSameLen + row.counts.ErrTestLonger +
                     row.counts.ErrTestShorter,
                 0);
        QCOMPARE(row.rate, QStringLiteral("100.0000"));
        QCOMPARE(recorder_->engine.TxByteCount, 5 * 11);
        QCOMPARE(recorder_->engine.RxByteCount, 4 * 11);
        // The echo is not user data: the echo station's TX counter stays.
        QCOMPARE(echo_->engine.TxByteCount, 0);
        QVERIFY(echo_->view.rows.size() == 1);  // its start only: it never sends periodically
    }

    void silenceSendsOnThePeriodAndCountsNoReplyFromTheThirdSend() {
        QCOMPARE(recorder_->engine.PanelTrttTestClick().outcome, DataTestOutcome::Done);
        QList<int32_t> noReply;
        for (int k = 1; k <= 4; ++k) {
            QVERIFY(runUntilSent(k));
            QCOMPARE(sendSteps_.last(), k * PeriodSteps);
            noReply << recorder_->view.rows.last().counts.ErrTestNoReply;
        }
        QCOMPARE(noReply, (QList<int32_t>{0, 0, 1, 2}));
        QCOMPARE(recorder_->view.rows.last().rate, QStringLiteral("0.0000"));
    }

    void stoppedEchoStationStillEchoes() {
        QCOMPARE(echo_->engine.PanelTrttTestClick().outcome, DataTestOutcome::Done);
        QCOMPARE(echo_->engine.PanelTrttTestClick().outcome, DataTestOutcome::Done);
        QVERIFY(!echo_->engine.errTestRunning());
        QCOMPARE(recorder_->engine.PanelTrttTestClick().outcome, DataTestOutcome::Done);
        QVERIFY(runUntilSent(3));
        QCOMPARE(recorder_->view.rows.last().counts.ErrTestMatched, 2);
    }

    void refusedStarts() {
        // Nothing to send: the boxes are reset, no test starts.
        recorder_->engine.setTransmitText(QString());
        recorder_->engine.ErrTest.ErrTestMatched = 3;
        QCOMPARE(recorder_->engine.PanelTrttTestClick().outcome, DataTestOutcome::NoTestData);
        QCOMPARE(recorder_->engine.ErrTest.ErrTestMatched, 0);
        QVERIFY(!recorder_->engine.errTestRunning() && recorder_->engine.ErrTestActive == 0);
        QVERIFY(!recorder_->view.rows.last().sameLenShown);
        // A closed port: the test runs, but the box's own check leaves periodic sending off.
        recorder_->engine.setTransmitText(QStringLiteral("x"));
        recorder_->link.ClosePort();
        QCOMPARE(recorder_->engine.PanelTrttTestClick().outcome,
                 DataTestOutcome::AutoSendPortNotOpened);
        QVERIFY(recorder_->engine.errTestRunning());
        QVERIFY(!recorder_->engine.autoSend() && !recorder_->view.sending);
        QCOMPARE(recorder_->view.autoSend.last(), false);
    }
};

QTEST_GUILESS_MAIN(LoopbackEngineTest)
#include "test_loopback_engine.moc"
