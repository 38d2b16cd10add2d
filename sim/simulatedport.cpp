#include "sim/simulatedport.h"

#include <QElapsedTimer>

SimulatedPort::SimulatedPort(SimulatedRadio& radio, Clock clock)
    : radio_(radio), clock_(std::move(clock)) {
    radio_.setVanishHandler([this] {
        open_ = false;
        emit lost();
    });
}

SimulatedPort::~SimulatedPort() {
    radio_.setVanishHandler({});
}

bool SimulatedPort::usable() {
    if (!open_ || radio_.vanished()) return false;
    if (clock_) radio_.advanceTo(clock_());
    return true;
}

LineSettings SimulatedPort::lineSettings() const {
    return radio_.hostLine();
}

bool SimulatedPort::setLineSettings(const LineSettings& settings) {
    if (!usable()) return false;
    radio_.setHostLine(settings);
    return true;
}

QByteArray SimulatedPort::purge(bool output, bool input) {
    QByteArray thrownAway;
    if (!usable()) return thrownAway;
    if (output) radio_.hostPurgeOutput();
    if (input) {
        thrownAway.resize(static_cast<qsizetype>(radio_.hostAvailable()));
        radio_.hostRead(reinterpret_cast<uint8_t*>(thrownAway.data()), radio_.hostAvailable());
    }
    return thrownAway;
}

uint32_t SimulatedPort::bytesWaiting(uint32_t* errorFlags) {
    const bool ok = usable();
    const uint32_t errors = ok ? radio_.takeHostErrors() : 0;
    if (errorFlags) *errorFlags = errors;
    return ok ? static_cast<uint32_t>(radio_.hostAvailable()) : 0;
}

int64_t SimulatedPort::read(uint8_t* buffer, int64_t n) {
    if (!usable()) return -1;
    if (n <= 0) return 0;
    return static_cast<int64_t>(radio_.hostRead(buffer, static_cast<size_t>(n)));
}

int64_t SimulatedPort::write(const uint8_t* data, int64_t n) {
    if (!usable()) return -1;
    if (n <= 0) return 0;
    radio_.hostWrite(data, static_cast<size_t>(n));
    sent_ += static_cast<uint64_t>(n);
    emit sent();
    return n;
}

void SimulatedPort::close() {
    if (!open_) return;
    open_ = false;
    radio_.hostPurgeOutput();
    radio_.hostPurgeInput();
}

namespace {

struct DemoRadio {
    SimulatedRadio radio{RadioParameters{}, LinkOptions{.echoStation = true}};
    QElapsedTimer clock;
    bool inUse = false;
    DemoRadio() { clock.start(); }
};

DemoRadio& Demo() {
    static DemoRadio demo;
    return demo;
}

class DemoPort : public SimulatedPort {
  public:
    DemoPort()
        : SimulatedPort(Demo().radio, [] { return SimDuration(Demo().clock.nsecsElapsed()); }) {
        Demo().inUse = true;
    }
    ~DemoPort() override { release(); }
    void close() override {
        SimulatedPort::close();
        release();
    }

  private:
    void release() {
        if (holding_) Demo().inUse = false;
        holding_ = false;
    }
    bool holding_ = true;
};

}  // namespace

OpenResult OpenSimulatedDemoPort() {
    if (Demo().inUse) return OpenResult::Failed(OpenFailure::InUse);
    return OpenResult(std::make_unique<DemoPort>());
}
