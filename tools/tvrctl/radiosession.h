#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <optional>

#include "radio/profile.h"
#include "radio/sequencer.h"
#include "serial/seriallink.h"

// A port as the user named it and the device it stands for.
struct PortTarget {
    QString port;  // "COM1"
    QString device;
};

// How one port's work ended.
struct SessionResult {
    PortTarget target;
    QString model;  // model and version, "TVR-M402.3"
    // What the first read found, and what the read-back after a write found.
    std::optional<ShownParameters> before;
    std::optional<ShownParameters> after;
    // The values a write sent.
    std::optional<WriteSelection> written;
    bool verified = false;
    // The write steps the radio acknowledged: "air_rate", "id", "channel", "serial".
    QStringList stepsWritten;
    double seconds = 0;
    int exitStatus = 0;
    QString error;
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

// How an engine outcome ends a session: its exit status and what its line says.
struct SessionEnd {
    int exitStatus = 0;
    QString error;
};
// The end of a session after `result`; a read that a write follows is not its end.
[[nodiscard]] SessionEnd EndOf(const SequenceResult& result, const SessionState& state);

// Why the port did not take 9600 bit/s, 8N1, where a session and the link test start.
QString StartSettingRefusalText(SettingsRefusal refusal);

// One port with its own link and engine: the same connect, read, write and read-back as the
// window's, driven by a timer of its own, so that several sessions run side by side in one
// event loop. A port that fails or hangs ends its own session only: every session gives up
// after its time-out.
class RadioSession : public QObject, public SequencerHost, public SerialLinkHost {
    Q_OBJECT
  public:
    RadioSession(PortTarget target, const SerialDeviceOpener& opener, int timeoutSeconds);
    ~RadioSession() override;

    // A read of the whole parameter set.
    void startRead();
    // A read, then the write of the read values with the changes put in, then (when asked)
    // the read-back.
    void startWrite(const RadioProfile& changes, bool verify);
    // Ends the session on the termination signal `signal`: at once, or once a write step on
    // the wire is acknowledged or given up, within a second. Its exit status is 128 + signal.
    void interrupt(int signal);

    const SessionResult& result() const { return result_; }
    bool isFinished() const { return finished_; }
    // "connecting 9600-N", "reading 2/4", "writing 1/4", "verifying", or how it ended.
    QString phase() const;

  signals:
    void finished();

    // ---- SequencerHost, SerialLinkHost ----
  public:
    void setCommandTimers(bool running) override;
    bool commandTimersRunning() const override;
    void stopDataTest() override {}
    void resumeDataTest() override {}
    void showProgress(SequencePhase, int) override {}
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
    // Why the write would send a value the radio holds that no list knows; empty when none.
    QString unknownValueKept() const;
    void timedOut();
    void finish(int exitStatus, const QString& error = {});

    enum class Task { Read, Write };
    Task task_ = Task::Read;
    bool writing_ = false;  // the read before a write is done
    RadioProfile changes_;
    bool verify_ = true;
    bool finished_ = false;
    int timeoutSeconds_;
    int interruptStatus_ = 0;
    SessionResult result_;
    WriteSelection values_;
    std::optional<ShownParameters> shown_;
    QElapsedTimer clock_;
    QTimer commandTimer_;
    QTimer deadline_;
    SerialLink link_;
    CommandSequencer engine_;
};
