#pragma once

#include <functional>
#include <memory>

#include "serial/serialdevice.h"
#include "sim/simulatedradio.h"

// A serial port whose far end is a SimulatedRadio, in the same process. Without a clock it
// never moves time itself: the caller advances the radio between calls, so a test sees the
// same bytes on every run. With a clock, every call first brings the radio up to it.
class SimulatedPort : public SerialDevice {
    Q_OBJECT
  public:
    // Time since some fixed start.
    using Clock = std::function<SimDuration()>;

    explicit SimulatedPort(SimulatedRadio& radio, Clock clock = {});
    ~SimulatedPort() override;

    LineSettings lineSettings() const override;
    // Always accepted, as a UART takes any rate; whether the radio understands is its affair.
    bool setLineSettings(const LineSettings& settings) override;
    QByteArray purge(bool output, bool input) override;
    uint32_t bytesWaiting(uint32_t* errorFlags) override;
    int64_t read(uint8_t* buffer, int64_t n) override;
    // The radio takes every byte at once; its own wire time paces them from there.
    int64_t write(const uint8_t* data, int64_t n) override;
    int64_t bytesToWrite() const override { return 0; }
    uint64_t bytesSent() const override { return sent_; }
    uint64_t bytesLost() const override { return 0; }
    void close() override;

    bool isOpen() const { return open_; }

  private:
    // False when the port is closed or its device has vanished.
    bool usable();

    SimulatedRadio& radio_;
    Clock clock_;
    bool open_ = true;
    uint64_t sent_ = 0;
};

// The port behind the port name "SIM": one radio for the whole run, with an echo station at
// the far end and wall-clock time, so that every window of the program works without
// hardware. While a port onto it is open, it is in use.
OpenResult OpenSimulatedDemoPort();
