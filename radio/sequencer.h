#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <optional>

#include "core/messages.h"
#include "radio/paramglue.h"
#include "radio/paramtext.h"

class SerialLink;

// How an exchange with the radio ended. The user learns it from the messages; a host that
// works without a person (a command-line tool, a test) learns it from here.
enum class SequenceOutcome {
    ReadDone,
    // A write that was not read back (VerifyWrites off).
    WriteDone,
    // A write read back: the radio reports what was written.
    WriteVerified,
    // A write read back: the radio reports other values. The message lists them.
    VerifyFailed,
    // A write the radio acknowledged whose read-back found no radio or failed.
    VerifyReadFailed,
    ConnectFailed,
    ReadFailed,
    WriteFailed,
    // A write refused before anything was sent, for a value it does not have.
    WriteRefused,
    // The port was closed or vanished under the exchange.
    PortClosed,
    // Stopped on request, with no write step left on the wire.
    Interrupted,
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
    virtual void showProgress(const QString& title, const QString& message, int maximum) = 0;
    virtual void setProgress(int position) = 0;
    virtual void closeProgress() = 0;
    // What the parameter lists and the identity field hold now.
    virtual WriteSelection valuesToWrite() const = 0;
    // Speed_W and FileWrite.
    virtual void enableWrite() = 0;
    virtual void sequenceEnded(SequenceOutcome outcome) = 0;
};

// Connects to the radio with the speed-and-parity search, then reads or writes its parameters
// one command per send tick. Each handler does one tick's work; the timers only call them.
// Outcomes are told through queued messages, so that no box opens inside a tick.
class CommandSequencer {
  public:
    static constexpr uint8_t ConnectAttempts = 28;
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

    bool StartConnect();
    void StartRead();
    void StartWrite();
    void ConnectTick(uint32_t waiting);
    bool ReadStepDone();
    bool WriteStepDone();
    void SequenceFailed();

    // The port was closed under a running exchange: end it without a result message.
    void PortClosed();
    // Ends the running exchange without a message as soon as no write step is on the wire: at
    // once, or when the step on the wire is acknowledged, refused or timed out. Starts nothing
    // new meanwhile.
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
    // False, after saying which value is missing, when a write could not send what the user
    // means.
    bool writeValuesComplete();
    // The field of a missing value that the last read left without a selection, for the
    // radio held a value the list does not offer.
    std::optional<RadioField> unlistedReadValue(MissingValue missing) const;
    void endExchange();
    void connectFailed();
    void failureAnswered(bool write, MessageAnswer answer);
    void followRadioSerialSettings();
    // "connect at 9600-N", "read step 2": what the log calls the running exchange.
    QString exchangeName() const;
    void send(const uint8_t* frame, uint32_t size);
    uint32_t readReply(uint32_t waiting);

    SerialLink& link_;
    SequencerHost& host_;
    std::array<uint8_t, MaxReplyBytes> reply_{};
    // The running read checks the write that sent these values.
    bool verifying_ = false;
    WriteSelection written_;
    bool interrupted_ = false;
    // What the last whole read showed, until the next read starts: a write refused for want
    // of a value names the radio's own value when the read left its list empty.
    std::optional<ShownParameters> lastRead_;
};
