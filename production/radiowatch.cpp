#include "production/radiowatch.h"

#include <algorithm>
#include <array>

#include "radio/frame.h"
#include "radio/paramcodec.h"
#include "radio/sequencer.h"
#include "serial/portreturn.h"
#include "serial/porturl.h"

namespace {

// 9600 bit/s, no parity: where a radio stands as it leaves the factory.
constexpr RateAndParity FactorySetting{4, 0};

// The device's name leads somewhere; a network port is tried by opening it.
bool DeviceThere(const QString& device) {
    return ParsePortUrl(device) || WhereNameLeads(device, {}).has_value();
}

}  // namespace

RadioWatch::RadioWatch(QString device, const SerialDeviceOpener& opener,
                       std::optional<RateAndParity> answeredAt, QObject* parent)
    : QObject(parent),
      device_(std::move(device)),
      answeredAt_(answeredAt),
      state_(answeredAt ? State::RadioThere : State::RadioGone),
      link_(opener) {
    link_.setHost(this);
    timer_.setInterval(PollMs);
    connect(&timer_, &QTimer::timeout, this, &RadioWatch::poll);
    timer_.start();
}

RadioWatch::~RadioWatch() {
    link_.ClosePort();
}

void RadioWatch::portLost() {
    state_ = State::PortGone;
    querySent_ = false;
}

void RadioWatch::poll() {
    if (announced_) return;
    if (!link_.PortHandle()) {
        if (!DeviceThere(device_) || !link_.OpenPortByName(device_)) {
            state_ = State::PortGone;
            return;
        }
        applied_.reset();
        if (state_ == State::PortGone) {
            announce();
            return;
        }
    }
    if (querySent_) {
        if (answered()) {
            silentPolls_ = 0;
            if (state_ == State::RadioGone) {
                announce();
                return;
            }
        } else if (state_ == State::RadioThere && ++silentPolls_ >= SilentPollsForGone) {
            state_ = State::RadioGone;
        }
    }
    query();
}

void RadioWatch::announce() {
    announced_ = true;
    timer_.stop();
    link_.ClosePort();
    emit nextRadio();
}

bool RadioWatch::answered() {
    std::array<uint8_t, CommandSequencer::MaxReplyBytes> reply{};
    const uint32_t received = std::min<uint32_t>(link_.BytesWaiting(), reply.size());
    if (received == 0) return false;
    link_.ReadPort(reply.data(), received);
    RadioParameterSet para;
    return JudgeModelReply(reply.data(), received, para);
}

void RadioWatch::query() {
    querySent_ = false;
    link_.PurgePort(PURGE_RXCLEAR | PURGE_TXCLEAR);
    // A network port waits for its server to confirm a setting: only a change is asked for.
    const RateAndParity setting = nextSetting();
    if (applied_ != setting) {
        applied_.reset();
        if (!link_.ApplyPortSettings(setting)) return;  // closed: looked at again next time
        applied_ = setting;
    }
    querySent_ = link_.WritePort(ReadCmdTable[0], ReadRequestSize) == ReadRequestSize;
}

RateAndParity RadioWatch::nextSetting() {
    if (state_ != State::RadioGone || !answeredAt_) return answeredAt_.value_or(FactorySetting);
    return ++gonePolls_ % 2 == 0 ? *answeredAt_ : FactorySetting;
}
