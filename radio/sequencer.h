#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <optional>

#include "radio/paramglue.h"
#include "radio/paramtext.h"
#include "serial/portchoice.h"

class SerialLink;

// How an exchange with the radio ended. Each host tells its user in its own way: the window
// in a message, a command-line tool in a line and its exit status.
enum class SequenceOutcome {
    // No port could be opened; nothing was started.
    NoPort,
    ReadDone,
    // A write that was not read back (VerifyWrites off).
    WriteDone,
    // A write the radio acknowledged whose port then refused the radio's new serial settings
    // and was closed: nothing can read it back.
    WriteNotFollowed,
    // A write read back: the radio reports what was written.
    WriteVerified,
    // A write read back: the radio reports other values.
    VerifyFailed,
    // A write the radio acknowledged whose read-back found no radio or failed.
    VerifyReadFailed,
    ConnectFailed,
    // A read or write step refused or timed out. The exchange waits for its host to ask for
    // Retry() or Abandon().
    ReadFailed,
    WriteFailed,
    // A write refused before anything was sent, for a value it does not have.
    WriteRefused,
    // The port was closed or vanished under the exchange.
    PortClosed,
    // Stopped on request, with no write step left on the wire.
    Interrupted,
};

// What the progress shows running.
enum class SequencePhase { Connect, Read, Write };

// An outcome with the details its telling needs.
struct [[nodiscard]] SequenceResult {
    SequenceOutcome outcome = SequenceOutcome::ReadDone;
    // ReadDone: what the read found. VerifyFailed: what the read-back found.
    ShownParameters reading;
    // VerifyFailed: what the write sent.
    WriteSelection written;
    // WriteRefused: the value the write lacks, and its field when the last read found a value
    // there that no list offers (`reading` then holds that read).
    MissingValue missing = MissingValue::AirRate;
    std::optional<RadioField> unlisted;
    // NoPort: why, a line per device tried.
    QString portFailure;
    // WriteDone: the port refused the radio's new serial settings and was closed.
    bool portRefusedSettings = false;
};

// What the engine needs of whoever drives it: the main window, a command-line tool, a test.
// Besides showing the parameters (ParameterView): its two command timers, the data test that
// pauses while the engine talks to the radio, the progress, the values a write sends and
// the outcome.
class SequencerHost : public ParameterView {
  public:
    // Timer_SdCmd and Timer_RecCmd together.
    virtual void setCommandTimers(bool running) = 0;
    virtual bool commandTimersRunning() const = 0;
    virtual void stopDataTest() = 0;
    virtual void resumeDataTest() = 0;
    virtual void showProgress(SequencePhase phase, int maximum) = 0;
    virtual void setProgress(int position) = 0;
    virtual void closeProgress() = 0;
    // What the parameter lists and the identity field hold now.
    virtual WriteSelection valuesToWrite() const = 0;
    // Speed_W and FileWrite.
    virtual void enableWrite() = 0;
    virtual void sequenceEnded(const SequenceResult& result) = 0;
};

// Connects to the radio with the speed-and-parity search, then reads or writes its parameters
// one command per send tick. Each handler does one tick's work; the timers only call them.
// Every exchange ends by telling its host the outcome.
class CommandSequencer {
  public:
    static constexpr uint8_t ConnectAttempts = 28;
    // The period the hosts run the command timers at: RecTicks counts these.
    static constexpr int TickMs = 10;
    static constexpr uint32_t MaxReplyBytes = 100;

    // Permits the next command to be sent and carries the verdict on the last reply.
    bool SendReady = false;
    // What the radio reported, as the read steps store it.
    RadioParameterSet RadioPara;
    // Every write is read back and compared with what was written.
    bool VerifyWrites = true;
    // The steps of the last write that the radio acknowledged, counted from the first: steps
    // taken before a retry count too.
    int32_t WriteStepsAcknowledged = 0;
    bool WriteMode = false;
    bool ConnectMode = false;
    int32_t CmdStep = 0;
    uint8_t ConnectLeft = 0;
    int32_t RecTicks = 0;

    CommandSequencer(SerialLink& link, SequencerHost& host);

    void Speed_RClick();
    void Speed_WClick();
    void Timer_SdCmdTimer();
    void Timer_RecCmdTimer();

    [[nodiscard]] bool StartConnect();
    void StartRead();
    void StartWrite();
    void ConnectTick(uint32_t waiting);
    [[nodiscard]] bool ReadStepDone();
    [[nodiscard]] bool WriteStepDone();
    void SequenceFailed();

    // After ReadFailed or WriteFailed: the read or write starts again at step 0, without a new
    // connect; when the port has gone meanwhile, the exchange stays ended as with Abandon().
    void Retry();
    // After ReadFailed or WriteFailed: the exchange stays ended and the data test resumes.
    void Abandon();

    // The port was closed under a running exchange: it ends as PortClosed.
    void PortClosed();
    // Ends the running exchange as Interrupted as soon as no write step is on the wire: at once,
    // or when the step on the wire is acknowledged, refused or timed out. Starts nothing new
    // meanwhile.
    void Interrupt();

    // A write's read-back is running.
    bool verifying() const { return verifying_; }

  private:
    void startExchange(bool write);
    // After a write: a read from where the port now stands, then the comparison.
    void startVerify();
    void verifyDone(const ShownParameters& reported);
    // A write's read-back found no radio or failed: the write is not verified.
    void verifyReadFailed();
    // A write step was sent and its acknowledgement not yet judged.
    bool writeStepOnWire() const;
    void endInterrupted();
    // False, after telling the host which value is missing, when a write could not send what
    // the user means.
    bool writeValuesComplete();
    // The field of a missing value that the last read left without a selection, for the
    // radio held a value the list does not offer.
    std::optional<RadioField> unlistedReadValue(MissingValue missing) const;
    void endExchange();
    void connectFailed();
    void end(SequenceOutcome outcome);
    // False when the port refused the radio's new settings and was closed.
    [[nodiscard]] bool followRadioSerialSettings();
    // "connect at 9600-N", "read step 2": what the log calls the running exchange.
    QString exchangeName() const;
    void send(const uint8_t* frame, uint32_t size);
    uint32_t readReply(uint32_t waiting);
    // The round trip of a network port in whole ticks, rounded up, which every reply wait adds
    // to its own; 0 for a local port.
    int roundTripTicks() const;
    // The receive ticks a connect attempt waits for its reply.
    int connectWaitTicks() const;
    // Sets the port to the search's next setting. A setting the port refused is not probed:
    // the port still stands where it stood, and a radio answering there would be reported at
    // the setting refused. A port whose settings cannot change is probed where it stands.
    void searchStep(RateAndParity attempt);

    SerialLink& link_;
    SequencerHost& host_;
    std::array<uint8_t, MaxReplyBytes> reply_{};
    // The running read checks the write that sent these values.
    bool verifying_ = false;
    WriteSelection written_;
    bool interrupted_ = false;
    // A failed read or write waits for Retry() or Abandon().
    bool failurePending_ = false;
    // The running connect attempt has sent its probe: only then is what arrives its reply.
    bool probeSent_ = false;
    // What the last whole read showed, until the next read starts: a write refused for want
    // of a value names the radio's own value when the read left its list empty.
    std::optional<ShownParameters> lastRead_;
};
