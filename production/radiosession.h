#pragma once

// One radio on one port: found, read, written and read back, by the same engine as the
// window's. tvrctl and the production run drive it; each says its endings in its own words.

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <optional>

#include "radio/paramtext.h"
#include "radio/profile.h"
#include "radio/sequencer.h"
#include "serial/seriallink.h"

// A port as the user named it and the device it stands for.
struct PortTarget {
    QString port;  // "COM1"
    QString device;
};

// What the session knows when the engine ends an exchange.
struct SessionState {
    // The read before a write is done: the exchange was the write.
    bool writing = false;
    // The write is read back.
    bool verify = true;
    int stepsAcknowledged = 0;
    // 128 + the signal that interrupted the session.
    int interruptStatus = 0;
    // The one setting a port that cannot change its settings was tried at ("9600-N-1"); empty
    // where the search could go through them all.
    QString onlySetting{};
};

// Why a session ended.
enum class SessionStop {
    Done,  // the read, or the write and (when asked for) its read-back
    NoSuchPort,
    OpenFailed,        // `openFailure` holds the link's account of it
    SettingsRefused,   // the port did not take 9600 bit/s, 8N1: `refusal` says how
    Exchange,          // the engine ended the exchange otherwise than done: `sequence`
    UnknownValueKept,  // not written: the radio holds a value no list knows, in `unknownField`
    TimedOut,          // `searching`: no radio had answered yet
    PortLost,
    Interrupted,
};

struct SessionEnding {
    SessionStop stop = SessionStop::Done;
    std::optional<SequenceResult> sequence{};
    SessionState state{};
    QString openFailure{};
    SettingsRefusal refusal = SettingsRefusal::Driver;
    std::optional<RadioField> unknownField{};
    RawRadioValues raw{};  // UnknownValueKept: what the radio holds
    bool searching = false;
    // TimedOut: after how long, and what the session was doing, as phase() said it.
    int timeoutSeconds = 0;
    QString phase{};
};

// How one port's work ended.
struct SessionResult {
    PortTarget target;
    QString model;  // model and version, "TVR-M402.3"
    // The model and version codes the connect found (the version: major * 16 + minor).
    std::optional<int> modelCode;
    std::optional<int> versionCode;
    // What the first read found, and what the read-back after a write found.
    std::optional<ShownParameters> before;
    std::optional<ShownParameters> after;
    // The values a write sent.
    std::optional<WriteSelection> written;
    bool verified = false;
    // The setting the radio answered at last: after a write, its new one.
    std::optional<RateAndParity> answeredAt;
    // The write steps the radio acknowledged: "air_rate", "id", "channel", "serial".
    QStringList stepsWritten;
    double seconds = 0;
    SessionEnding ending;
    // What the host's teller made of the ending; 0 and empty without one.
    int exitStatus = 0;
    QString error;
};

// An ending as a host tells it: its exit status and what its line says.
struct SessionEnd {
    int exitStatus = 0;
    QString error;
};
using SessionTeller = std::function<SessionEnd(const SessionResult&)>;

// One port with its own link and engine: the same connect, read, write and read-back as the
// window's, driven by a timer of its own, so that several sessions run side by side in one
// event loop. A port that fails or hangs ends its own session only: every session gives up
// after its time-out.
class RadioSession : public QObject, public SequencerHost, public SerialLinkHost {
    Q_OBJECT
  public:
    // What the exchange with the radio is doing.
    enum class Stage { Finding, Reading, Waiting, Writing, Verifying, Ended };

    // Without a teller, the result's exit status and error stay 0 and empty.
    RadioSession(PortTarget target, const SerialDeviceOpener& opener, int timeoutSeconds,
                 SessionTeller teller = {});
    ~RadioSession() override;

    // A read of the whole parameter set.
    void startRead();
    // A read, then the write of the read values with the changes put in, then (when asked)
    // the read-back.
    void startWrite(const RadioProfile& changes, bool verify);
    // A read that then waits, port open, for the host to look at what it found (readForWrite):
    // the host goes on with write() or ends the session with leaveUnwritten(). The time-out
    // runs on meanwhile.
    void startReadForWrite(bool verify);
    void write(const RadioProfile& changes);
    void leaveUnwritten();
    // Ends the session on the termination signal `signal`: at once, or once a write step on
    // the wire is acknowledged or given up, within a second. Its exit status is 128 + signal.
    void interrupt(int signal);

    const SessionResult& result() const { return result_; }
    bool isFinished() const { return finished_; }
    Stage stage() const;
    // "connecting 9600-N", "reading 2/4", "writing 1/4", "verifying", or how it ended.
    QString phase() const;

  signals:
    // The stage may have changed.
    void progressed();
    // startReadForWrite: the read is done and the session waits.
    void readForWrite();
    void finished();

    // ---- SequencerHost, SerialLinkHost ----
  public:
    void setCommandTimers(bool running) override;
    bool commandTimersRunning() const override;
    void stopDataTest() override {}
    void resumeDataTest() override {}
    void showProgress(SequencePhase, int) override { emit progressed(); }
    void setProgress(int) override {}
    void closeProgress() override {}
    WriteSelection valuesToWrite() const override { return values_; }
    void enableWrite() override {}
    void sequenceEnded(const SequenceResult& result) override;
    void showModelVersion(const QString& text) override { result_.model = text; }
    QString modelVersionShown() const override { return result_.model; }
    void showModelField(const QString&) override {}
    void enableAirRate() override {}
    void showParameters(const ShownParameters& shown) override;
    void clearReadResults() override {}
    void setStatusText(int, const QString&) override {}
    void startReceivePoll() override {}
    void stopReceivePoll() override {}
    void portLost() override;
    void dataSent() override {}

  private:
    [[nodiscard]] bool open();
    void tick();
    void readDone();
    // The field whose value the radio holds and no list knows, which a write would send.
    std::optional<RadioField> unknownValueKept() const;
    void timedOut();
    void finish(SessionEnding ending);

    enum class Task { Read, Write, ReadForWrite };
    Task task_ = Task::Read;
    bool writing_ = false;  // the read before a write is done
    bool waiting_ = false;  // ReadForWrite: the read is done, the write not yet asked for
    RadioProfile changes_;
    bool verify_ = true;
    bool finished_ = false;
    int timeoutSeconds_;
    int interruptStatus_ = 0;
    SessionTeller teller_;
    SessionResult result_;
    WriteSelection values_;
    std::optional<ShownParameters> shown_;
    QElapsedTimer clock_;
    QTimer commandTimer_;
    QTimer deadline_;
    SerialLink link_;
    CommandSequencer engine_;
};
