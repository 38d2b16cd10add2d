#include "sim/simulatedradio.h"

#include <algorithm>

#include "radio/frame.h"

using namespace std::chrono_literals;

namespace {

// Parameter bytes each command needs after its code; 0 for codes the radio does not know.
int CommandDataBytes(uint8_t code) {
    switch (code) {
        case 0x10:
        case 0x04:
        case 0x08:
        case 0x0A:  // reads
        case 0x03:
        case 0x07:
        case 0x0F:  // writes of one byte
        case 0x0D:
        case 0x0E:
        case 0x0C:
        case 0x11:
        case 0x12:  // factory
        case 0x13:
        case 0x99:
            return 1;
        case 0x09:
        case 0x88:
            return 2;
        default:
            return 0;
    }
}

bool IsCommand(const uint8_t* frame) {
    const int length = frame[2];
    const int needed = CommandDataBytes(frame[3]);
    return needed > 0 && length - 2 >= needed && CheckFrame(frame, FrameSize(frame[2]));
}

std::vector<uint8_t> MakeFrame(uint8_t code, std::initializer_list<uint8_t> data) {
    std::vector<uint8_t> frame{FrameHeader1, FrameHeader2, static_cast<uint8_t>(2 + data.size()),
                               code};
    frame.insert(frame.end(), data);
    frame.resize(frame.size() + 2);
    SetChecksum(frame.data());
    return frame;
}

SimDuration BitsTime(int bits, int32_t bitsPerSecond) {
    return SimDuration(int64_t{bits} * 1'000'000'000 / std::max<int32_t>(bitsPerSecond, 1));
}

}  // namespace

SimDuration ByteTime(const LineSettings& line) {
    return BitsTime(line.parity == ParityMode::None ? 10 : 11, line.baudRate);
}

int32_t AirBitsPerSecond(uint8_t airRateCode) {
    constexpr int32_t rates[] = {1200,  2400,  4800,   9600,   19200,
                                 38400, 76800, 100000, 120000, 56000};
    if (airRateCode >= 1 && airRateCode <= 10) return rates[airRateCode - 1];
    return 9600;
}

std::optional<LineSettings> DecodeSerialByte(uint8_t value) {
    const int rateCode = value & 0x0F;
    const int parityBits = value & 0xF0;
    if (rateCode < 1 || rateCode > 9) return std::nullopt;
    LineSettings line;
    line.baudRate = SerialRates[rateCode - 1];
    if (rateCode == 1) return line;
    switch (parityBits) {
        case 0x00:
            line.parity = ParityMode::None;
            break;
        case 0x10:
            line.parity = ParityMode::Odd;
            break;
        case 0x20:
            line.parity = ParityMode::Even;
            break;
        default:
            return std::nullopt;
    }
    return line;
}

SimulatedRadio::SimulatedRadio(RadioParameters parameters, LinkOptions links)
    : params_(parameters), links_(links), rng_(links.seed) {}

SimulatedRadio::~SimulatedRadio() {
    if (peer_) peer_->peer_ = nullptr;
}

void SimulatedRadio::linkPeer(SimulatedRadio& peer) {
    peer_ = &peer;
    peer.peer_ = this;
}

void SimulatedRadio::advance(SimDuration step) {
    advanceTo(now_ + step);
}

void SimulatedRadio::advanceTo(SimDuration time) {
    SimDuration at;
    Event event;
    while (!vanished_ && nextEvent(at, event) && at <= time) {
        now_ = std::max(now_, at);
        runEvent(event);
    }
    now_ = std::max(now_, time);
}

std::optional<SimDuration> SimulatedRadio::nextEventTime() const {
    SimDuration at;
    Event event;
    if (vanished_ || !nextEvent(at, event)) return std::nullopt;
    return at;
}

bool SimulatedRadio::nextEvent(SimDuration& time, Event& event) const {
    bool found = false;
    const auto consider = [&](bool present, SimDuration at, Event which) {
        if (present && (!found || at < time)) {
            found = true;
            time = at;
            event = which;
        }
    };
    consider(!hostTx_.queue.empty(), hostTx_.frontDone, Event::HostTxDone);
    consider(!radioTx_.queue.empty(), radioTx_.frontDone, Event::RadioTxDone);
    consider(!pending_.empty(), pending_.empty() ? SimDuration{} : pending_.begin()->first,
             Event::PendingReady);
    consider(!serialIn_.empty(), lastSerialIn_ + gapTime(), Event::SerialGap);
    consider(!airTx_.queue.empty(), airTx_.frontDone, Event::AirTxDone);
    consider(!inbox_.empty(), inbox_.empty() ? SimDuration{} : inbox_.front().first, Event::Inbox);
    consider(!echoTx_.queue.empty(), echoTx_.frontDone, Event::EchoTxDone);
    consider(!echoHeld_.empty(), echoLastIn_ + EchoQuietTime, Event::EchoQuiet);
    return found;
}

void SimulatedRadio::runEvent(Event event) {
    switch (event) {
        case Event::HostTxDone: {
            const uint8_t value = hostTx_.queue.front().first;
            const LineSettings sentAt = hostTx_.frontLine;
            hostTx_.queue.pop_front();
            if (!hostTx_.queue.empty()) {
                hostTx_.frontLine = hostLine_;
                startFront(hostTx_, ByteTime(hostLine_));
            }
            hostByteArrived(value, sentAt);
            break;
        }
        case Event::RadioTxDone: {
            const auto [value, lineAfter] = radioTx_.queue.front();
            const LineSettings sentAt = radioTx_.frontLine;
            radioTx_.queue.pop_front();
            if (lineAfter) params_.line = *lineAfter;
            if (!radioTx_.queue.empty()) {
                radioTx_.frontLine = params_.line;
                startFront(radioTx_, ByteTime(params_.line));
            } else if (faults_.chatter) {
                radioSend(noise());
            }
            radioByteArrived(value, sentAt);
            break;
        }
        case Event::PendingReady: {
            const PendingSend send = std::move(pending_.begin()->second);
            pending_.erase(pending_.begin());
            if (frameLog_ && !send.logFrame.empty()) frameLog_(false, send.logFrame);
            for (size_t i = 0; i < send.bytes.size(); ++i) {
                const bool last = i + 1 == send.bytes.size();
                radioSend(send.bytes[i], last ? send.lineAfter : std::nullopt);
            }
            break;
        }
        case Event::SerialGap:
            parseSerialInput(true);
            break;
        case Event::AirTxDone: {
            const uint8_t value = airTx_.queue.front().first;
            airTx_.queue.pop_front();
            if (!airTx_.queue.empty()) startFront(airTx_, airByteTime());
            const auto crossed = crossAir(value);
            if (!crossed) break;
            if (peer_) {
                if (peer_->params_.channel == params_.channel &&
                    peer_->params_.airRateCode == params_.airRateCode) {
                    peer_->inbox_.emplace_back(now_ + AirLatency, *crossed);
                }
            } else if (links_.echoStation) {
                echoHeld_.push_back(*crossed);
                echoLastIn_ = now_ + AirLatency;
            }
            break;
        }
        case Event::Inbox: {
            const uint8_t value = inbox_.front().second;
            inbox_.pop_front();
            radioSend(value);
            break;
        }
        case Event::EchoTxDone: {
            const uint8_t value = echoTx_.queue.front().first;
            echoTx_.queue.pop_front();
            if (!echoTx_.queue.empty()) startFront(echoTx_, airByteTime());
            if (const auto crossed = crossAir(value))
                inbox_.emplace_back(now_ + AirLatency, *crossed);
            break;
        }
        case Event::EchoQuiet:
            for (const uint8_t value : echoHeld_) airSend(echoTx_, value);
            echoHeld_.clear();
            break;
    }
}

void SimulatedRadio::startFront(Line& line, SimDuration byteTime) {
    line.frontDone = now_ + byteTime;
}

bool SimulatedRadio::parityMatches(ParityMode a, ParityMode b) const {
    if (a == b) return true;
    const auto noneOrEven = [](ParityMode p) {
        return p == ParityMode::None || p == ParityMode::Even;
    };
    return !links_.hostTellsNoneFromEven && noneOrEven(a) && noneOrEven(b);
}

bool SimulatedRadio::linesMatch(const LineSettings& a, const LineSettings& b) const {
    return a.baudRate == b.baudRate && parityMatches(a.parity, b.parity);
}

void SimulatedRadio::hostWrite(const uint8_t* data, size_t n) {
    if (vanished_) return;
    for (size_t i = 0; i < n; ++i) {
        hostTx_.queue.emplace_back(data[i], std::nullopt);
        if (hostTx_.queue.size() == 1) {
            hostTx_.frontLine = hostLine_;
            startFront(hostTx_, ByteTime(hostLine_));
        }
    }
}

void SimulatedRadio::hostPurgeOutput() {
    // The byte at the front is already on the wire.
    if (hostTx_.queue.size() > 1) hostTx_.queue.resize(1);
}

size_t SimulatedRadio::hostRead(uint8_t* buffer, size_t max) {
    const size_t n = std::min(max, hostRx_.size());
    std::copy_n(hostRx_.begin(), n, buffer);
    hostRx_.erase(hostRx_.begin(), hostRx_.begin() + static_cast<std::ptrdiff_t>(n));
    return n;
}

uint32_t SimulatedRadio::takeHostErrors() {
    return std::exchange(hostErrors_, 0);
}

void SimulatedRadio::setFaults(const RadioFaults& faults) {
    faults_ = faults;
    if (faults_.chatter && radioTx_.queue.empty() && !vanished_) radioSend(noise());
}

void SimulatedRadio::vanish() {
    if (vanished_) return;
    vanished_ = true;
    hostRx_.clear();
    if (vanishHandler_) vanishHandler_();
}

void SimulatedRadio::hostByteArrived(uint8_t value, const LineSettings& sentAt) {
    // The radio's UART cannot make sense of bytes at another rate or parity.
    if (!linesMatch(sentAt, params_.line)) return;
    serialIn_.push_back(value);
    lastSerialIn_ = now_;
    parseSerialInput(false);
}

void SimulatedRadio::radioByteArrived(uint8_t value, const LineSettings& sentAt) {
    uint32_t flags = 0;
    if (sentAt.baudRate != hostLine_.baudRate) {
        value = noise();
        flags |= LineError::Framing;
    }
    if (!parityMatches(sentAt.parity, hostLine_.parity)) flags |= LineError::RxParity;
    hostErrors_ |= flags;
    hostRx_.push_back(value);
}

// Splits what the radio received into command frames and user data. A possible start of a
// frame waits for the rest until the line has been quiet for a few byte times.
void SimulatedRadio::parseSerialInput(bool gapElapsed) {
    size_t pos = 0;
    while (pos < serialIn_.size()) {
        const uint8_t* p = serialIn_.data() + pos;
        const size_t available = serialIn_.size() - pos;
        bool needMore = false;
        if (p[0] == FrameHeader1) {
            if (available < 2) {
                needMore = true;
            } else if (p[1] == FrameHeader2) {
                if (available < 3) {
                    needMore = true;
                } else if (p[2] >= MinReplyLength && p[2] <= MaxReplyLength) {
                    if (available < static_cast<size_t>(FrameSize(p[2]))) {
                        needMore = true;
                    } else if (IsCommand(p)) {
                        execute(p);
                        pos += FrameSize(p[2]);
                        continue;
                    }
                }
            }
        }
        if (needMore && !gapElapsed) break;
        airSend(airTx_, p[0]);
        ++pos;
    }
    serialIn_.erase(serialIn_.begin(), serialIn_.begin() + static_cast<std::ptrdiff_t>(pos));
}

void SimulatedRadio::execute(const uint8_t* frame) {
    const uint8_t code = frame[3];
    const uint8_t param = frame[4];
    if (frameLog_) frameLog_(true, std::vector<uint8_t>(frame, frame + FrameSize(frame[2])));
    if (faults_.silent) return;
    const std::vector<uint8_t> ack(std::begin(WriteAck), std::end(WriteAck));
    if (code == faults_.ignoredWrite) {
        reply(ack);
        return;
    }
    RadioParameters& p = params_;
    switch (code) {
        case 0x10:
            reply(MakeFrame(code, {faults_.modelCode17 ? uint8_t{17} : p.modelCode, p.version}));
            break;
        case 0x04:
            reply(MakeFrame(code, {p.airRateCode}));
            break;
        case 0x08:
            reply(MakeFrame(code, {p.channel}));
            break;
        case 0x0A:
            reply(MakeFrame(code, {p.identity[0], p.identity[1]}));
            break;
        case 0x03:
            p.airRateCode = param;
            reply(ack);
            break;
        case 0x09:
            p.identity = {param, frame[5]};
            reply(ack);
            break;
        case 0x07:
            p.channel = param;
            reply(ack);
            break;
        case 0x0F:
            // A byte that names no setting leaves the serial side as it is.
            reply(ack, DecodeSerialByte(param));
            break;
        case 0x11:
            reply(MakeFrame(code, {p.fieldStrength}));
            break;
        case 0x12:
            p.powerLevel = param;
            reply(MakeFrame(code, {p.powerLevel}));
            break;
        case 0x13:
            reply(MakeFrame(code, {p.powerLevel}));
            break;
        case 0x99:
            reply(MakeFrame(code, {p.registers[param % RadioRegisterCount]}));
            break;
        case 0x88:
            p.registers[param % RadioRegisterCount] = frame[5];
            reply(MakeFrame(code, {p.registers[param % RadioRegisterCount]}));
            break;
        default:  // 0x0D, 0x0E, 0x0C: test modes, the parameter comes back
            reply(MakeFrame(code, {param}));
            break;
    }
}

void SimulatedRadio::reply(std::vector<uint8_t> frame, std::optional<LineSettings> lineAfter) {
    if (faults_.floodBytes > 0) {
        frame.resize(static_cast<size_t>(faults_.floodBytes));
        for (uint8_t& value : frame) value = noise();
    } else if (faults_.wrongChecksum) {
        ++frame.back();
    }
    const size_t pieces =
        std::clamp<size_t>(static_cast<size_t>(std::max(faults_.splitPieces, 1)), 1, frame.size());
    const SimDuration ready =
        now_ + ProcessingDelay + std::chrono::milliseconds(faults_.replyDelayMs);
    size_t start = 0;
    for (size_t i = 0; i < pieces; ++i) {
        const size_t end = frame.size() * (i + 1) / pieces;
        PendingSend send;
        send.bytes.assign(frame.begin() + static_cast<std::ptrdiff_t>(start),
                          frame.begin() + static_cast<std::ptrdiff_t>(end));
        if (i == 0) send.logFrame = frame;
        if (i + 1 == pieces) send.lineAfter = lineAfter;
        pending_.emplace(ready + SplitPieceGap * static_cast<int64_t>(i), std::move(send));
        start = end;
    }
}

void SimulatedRadio::radioSend(uint8_t value, std::optional<LineSettings> lineAfter) {
    radioTx_.queue.emplace_back(value, lineAfter);
    if (radioTx_.queue.size() == 1) {
        radioTx_.frontLine = params_.line;
        startFront(radioTx_, ByteTime(params_.line));
    }
}

void SimulatedRadio::airSend(Line& line, uint8_t value) {
    line.queue.emplace_back(value, std::nullopt);
    if (line.queue.size() == 1) startFront(line, airByteTime());
}

std::optional<uint8_t> SimulatedRadio::crossAir(uint8_t value) {
    if (chance(links_.lossProbability)) return std::nullopt;
    if (chance(links_.corruptProbability)) value ^= static_cast<uint8_t>(1 + rng_() % 255);
    return value;
}

SimDuration SimulatedRadio::airByteTime() const {
    return BitsTime(10, AirBitsPerSecond(params_.airRateCode));
}

SimDuration SimulatedRadio::gapTime() const {
    return 3 * ByteTime(params_.line) + 2ms;
}

uint8_t SimulatedRadio::noise() {
    return static_cast<uint8_t>(rng_());
}

bool SimulatedRadio::chance(double probability) {
    // Drawn even when the probability is 0, so one seed gives one sequence whatever the rates.
    return static_cast<double>(rng_()) / 4294967296.0 < probability;
}
