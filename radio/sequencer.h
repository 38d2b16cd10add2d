#pragma once

#include <QString>
#include <array>
#include <cstdint>

class SerialLink;

// What the sequencer needs of the main window: its two command timers, the data test's
// timers, the progress window and a few controls.
class SequencerHost {
public:
    virtual ~SequencerHost() = default;
    // Timer_SdCmd and Timer_RecCmd together.
    virtual void setCommandTimers(bool running) = 0;
    virtual bool commandTimersRunning() const = 0;
    virtual void stopDataTest() = 0;
    virtual void resumeDataTest() = 0;
    virtual void showProgress(const QString& title, const QString& message, int maximum) = 0;
    virtual void setProgress(int position) = 0;
    virtual void closeProgress() = 0;
    // Empties the model and identity boxes and unselects the air and serial rate lists.
    virtual void clearReadResults() = 0;
    // Speed_W and FileWrite.
    virtual void enableWrite() = 0;
    virtual int radioSerialRatePosition() const = 0;
    virtual int radioParityPosition() const = 0;
};

// Connects to the radio with the speed-and-parity search, then reads or writes its parameters
// one command per send tick. Each handler does one tick's work; the timers only call them.
class CommandSequencer {
public:
    static constexpr uint8_t ConnectAttempts = 28;
    static constexpr uint32_t MaxReplyBytes = 100;

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

private:
    void startExchange(bool write);
    void endExchange();
    void connectFailed();
    void followRadioSerialSettings();
    uint32_t readReply(uint32_t waiting);

    SerialLink& link_;
    SequencerHost& host_;
    std::array<uint8_t, MaxReplyBytes> reply_{};
};
