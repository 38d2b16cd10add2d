#include "production/linkcheck.h"

#include "serial/porturl.h"
#include "serial/seriallink.h"

namespace {

// The window's two data timers.
constexpr int SendTickMs = 10;
constexpr int ReceiveTickMs = 50;
const QString FrameText = QStringLiteral("TVR LINK TEST 0123456789");

}  // namespace

// One station of the test with what its window would show.
class LinkCheck::Station : public SerialLinkHost, public DataTestView {
  public:
    explicit Station(const SerialDeviceOpener& opener) : link(opener) { link.setHost(this); }
    ~Station() override { link.ClosePort(); }

    // Opens the port at the end's setting and starts the test; false, with `failed` filled,
    // when the port would not open or take the setting.
    bool start(const LinkEnd& end, bool recording, LinkCheckResult& failed) {
        if (!link.OpenPortByName(end.device)) {
            failed.openFailure = link.OpenFailureText();
            return false;
        }
        // A plain network connection carries the data at the server's settings, which it
        // cannot change.
        const std::optional<PortUrl> url = ParsePortUrl(end.device);
        if (!(url && url->protocol == PortProtocol::RawTcp) &&
            !link.ApplyPortSettings(end.setting)) {
            failed.refusal = link.LastSettingsRefusal();
            return false;
        }
        engine.setTransmitText(FrameText);
        engine.setRecording(recording);
        // Discarded: the frame is set just above, so the one refusal, no test data, cannot come.
        static_cast<void>(engine.PanelTrttTestClick());
        return true;
    }

    SerialLink link;
    DataTestEngine engine{link, this};
    ErrTestRow row;
    bool sending = false;
    bool lost = false;

    // SerialLinkHost
    void setStatusText(int, const QString&) override {}
    void startReceivePoll() override {}
    void stopReceivePoll() override {}
    void portLost() override { lost = true; }
    void dataSent() override { engine.ShowSentBytes(); }
    // DataTestView
    void setPeriodicSending(bool on) override { sending = on; }
    // As the window's boxes do, the rate stays until a step computes a new one.
    void showErrTestRow(const ErrTestRow& shown) override {
        const std::optional<QString> rate = shown.rate ? shown.rate : row.rate;
        row = shown;
        row.rate = rate;
    }
};

LinkFigures FiguresOf(const ErrTestRow& row, double passPercent) {
    const ErrTestCounters& c = row.counts;
    return {c.ErrTestSent,   c.ErrTestMatched, c.ErrTestSameLen, c.ErrTestNoReply,
            c.ErrTestLonger, c.ErrTestShorter, passPercent};
}

bool LinkPassed(const LinkFigures& figures) {
    return figures.sent > 0 && figures.matched * 100.0 >= figures.passPercent * figures.sent &&
           figures.damaged == 0;
}

LinkCheck::LinkCheck(LinkEnd recorder, LinkEnd reference, SerialDeviceOpener opener, int frames,
                     int timeoutMs, QObject* parent)
    : QObject(parent),
      recorderEnd_(std::move(recorder)),
      referenceEnd_(std::move(reference)),
      frames_(frames),
      timeoutMs_(timeoutMs),
      recorder_(std::make_unique<Station>(opener)),
      reference_(std::make_unique<Station>(opener)) {
    connect(&sendTimer_, &QTimer::timeout, this, &LinkCheck::sendTick);
    connect(&receiveTimer_, &QTimer::timeout, this, &LinkCheck::receiveTick);
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, [this] { end(LinkStop::TimedOut); });
}

LinkCheck::~LinkCheck() = default;

void LinkCheck::start() {
    if (!reference_->start(referenceEnd_, false, result_)) {
        end(LinkStop::ReferenceFailed);
        return;
    }
    if (!recorder_->start(recorderEnd_, true, result_)) {
        end(LinkStop::RecorderFailed);
        return;
    }
    sendTimer_.start(SendTickMs);
    receiveTimer_.start(ReceiveTickMs);
    if (timeoutMs_ > 0) deadline_.start(timeoutMs_);
}

void LinkCheck::stop() {
    end(LinkStop::Stopped);
}

void LinkCheck::sendTick() {
    // Discarded: the engine keeps its default period, whose text is never refused.
    if (recorder_->sending) static_cast<void>(recorder_->engine.Timer_TrttDataTimer());
    // The statistics step of a send counts it after showing the sends before it.
    if (recorder_->engine.ErrTest.ErrTestSent > frames_) end(LinkStop::Completed);
}

void LinkCheck::receiveTick() {
    recorder_->engine.Timer_RecDataTimer();
    reference_->engine.Timer_RecDataTimer();
    if (recorder_->lost) end(LinkStop::RecorderLost);
    if (reference_->lost) end(LinkStop::ReferenceLost);
}

void LinkCheck::end(LinkStop stop) {
    if (finished_) return;
    finished_ = true;
    sendTimer_.stop();
    receiveTimer_.stop();
    deadline_.stop();
    result_.stop = stop;
    result_.row = recorder_->row;
    // Both ports are free for the next radio once the check has ended.
    recorder_->link.ClosePort();
    reference_->link.ClosePort();
    QMetaObject::invokeMethod(this, &LinkCheck::finished, Qt::QueuedConnection);
}
