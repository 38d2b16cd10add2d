#pragma once

#include <QString>
#include <array>
#include <cstdint>

#include "core/messages.h"
#include "radio/paramglue.h"

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
    ConnectFailed,
    ReadFailed,
    WriteFailed,
    // A write refused before anything was sent, for a value it does not have.
    WriteRefused,
    // The port was closed or vanished under the exchange.
    PortClosed,
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

    // A write's read-back is running.
    bool verifying() const { return verifying_; }

  private:
    void startExchange(bool write);
    // After a write: a read from where the port now stands, then the comparison.
    void startVerify();
    void verifyDone(const ShownParameters& reported);
    // False, after saying which value is missing, when a write could not send what the user
    // means.
    bool writeValuesComplete();
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
};
