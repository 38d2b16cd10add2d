#pragma once

// A model of the radio as the program sees it from its serial port, driven by time that the
// caller advances. Nothing here reads a clock: the same calls give the same bytes.
//
// The "host" is the program's UART at the other end of the serial cable: it writes bytes at
// its own line settings, and the radio answers only when they match the radio's.

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <utility>
#include <vector>

#include "serial/serialdevice.h"

using SimDuration = std::chrono::nanoseconds;

inline constexpr int RadioRegisterCount = 64;

struct RadioParameters {
    LineSettings line;  // the radio's own serial rate and parity
    uint8_t airRateCode = 4;
    uint8_t channel = 1;
    std::array<uint8_t, 2> identity{0x12, 0x34};  // four digits, packed BCD
    uint8_t modelCode = 3;
    uint8_t version = 0x12;
    uint8_t powerLevel = 5;
    uint8_t fieldStrength = 85;
    std::array<uint8_t, RadioRegisterCount> registers = [] {
        std::array<uint8_t, RadioRegisterCount> values{};
        for (int i = 0; i < RadioRegisterCount; ++i) values[i] = static_cast<uint8_t>(i * 7 + 3);
        return values;
    }();
};

// The serial cable to the program and the air to the far end.
struct LinkOptions {
    double lossProbability = 0;     // per byte and crossing
    double corruptProbability = 0;  // per byte and crossing that was not lost
    uint32_t seed = 1;
    // Without a peer, the far end is an echo station: it returns what it received once the
    // air has been quiet for EchoQuietTime.
    bool echoStation = false;
    // A pseudo-terminal carries no parity, so the host's none and even look alike there.
    bool hostTellsNoneFromEven = true;
};

struct RadioFaults {
    bool silent = false;         // commands are swallowed without effect or answer
    bool wrongChecksum = false;  // every reply leaves with its last byte off by one
    int splitPieces = 0;         // above 1: each reply leaves in that many pieces
    int replyDelayMs = 0;        // extra wait before each reply
    bool chatter = false;        // noise whenever the radio has nothing else to send
    int floodBytes = 0;          // above 0: each command is answered by this much noise
    bool modelCode17 = false;    // the model reply carries model code 17
    // The code of a write command (0x03, 0x09, 0x07, 0x0F) that is acknowledged but not
    // applied; 0 for none.
    uint8_t ignoredWrite = 0;
};

inline constexpr SimDuration ProcessingDelay = std::chrono::milliseconds(1);
inline constexpr SimDuration SplitPieceGap = std::chrono::milliseconds(15);
inline constexpr SimDuration AirLatency = std::chrono::milliseconds(3);
inline constexpr SimDuration EchoQuietTime = std::chrono::milliseconds(350);

// Time one byte takes on the wire: start bit, 8 data bits, parity bit when used, stop bit.
SimDuration ByteTime(const LineSettings& line);
// Air data rate of an air-rate code; unknown codes fall back to 9600 bit/s.
int32_t AirBitsPerSecond(uint8_t airRateCode);
// The serial byte of the write-serial command: rate code 1..9 (600..115200 bit/s) plus 0x10
// for odd or 0x20 for even parity; code 1 (600) is always without parity. Other bytes:
// nullopt.
std::optional<LineSettings> DecodeSerialByte(uint8_t value);

class SimulatedRadio {
  public:
    explicit SimulatedRadio(RadioParameters parameters = {}, LinkOptions links = {});
    ~SimulatedRadio();
    SimulatedRadio(const SimulatedRadio&) = delete;
    SimulatedRadio& operator=(const SimulatedRadio&) = delete;

    const RadioParameters& parameters() const { return params_; }

    // Time. Events happen in order inside the step; a peer must be advanced alongside.
    void advance(SimDuration step);
    void advanceTo(SimDuration time);
    SimDuration now() const { return now_; }
    // The time of the next thing that will happen by itself, if any.
    std::optional<SimDuration> nextEventTime() const;

    // The program's side of the serial cable.
    void setHostLine(const LineSettings& line) { hostLine_ = line; }
    const LineSettings& hostLine() const { return hostLine_; }
    // Queues bytes on the host's transmit line; each takes its wire time.
    void hostWrite(const uint8_t* data, size_t n);
    // Host bytes not yet fully on the wire.
    size_t hostPendingOutput() const { return hostTx_.queue.size(); }
    // Discards host output that has not started on the wire.
    void hostPurgeOutput();
    void hostPurgeInput() { hostRx_.clear(); }
    size_t hostAvailable() const { return hostRx_.size(); }
    size_t hostRead(uint8_t* buffer, size_t max);
    // Line error flags of the bytes received since the last call.
    uint32_t takeHostErrors();

    // Two radios on the same air; each hears the other when channel and air rate agree.
    void linkPeer(SimulatedRadio& peer);

    void setFaults(const RadioFaults& faults);
    const RadioFaults& faults() const { return faults_; }
    // The device is gone for good; the handler hears of it once.
    void vanish();
    bool vanished() const { return vanished_; }
    void setVanishHandler(std::function<void()> handler) { vanishHandler_ = std::move(handler); }

    // Called with every command frame taken in and every reply sent out.
    using FrameLog = std::function<void(bool incoming, const std::vector<uint8_t>& frame)>;
    void setFrameLog(FrameLog log) { frameLog_ = std::move(log); }

  private:
    struct Line {
        std::deque<std::pair<uint8_t, std::optional<LineSettings>>> queue;  // byte, line after
        SimDuration frontDone{};
        LineSettings frontLine;
    };
    struct PendingSend {
        std::vector<uint8_t> bytes;
        std::optional<LineSettings> lineAfter;
        std::vector<uint8_t> logFrame;
    };

    bool parityMatches(ParityMode a, ParityMode b) const;
    bool linesMatch(const LineSettings& a, const LineSettings& b) const;
    enum class Event {
        HostTxDone,
        RadioTxDone,
        PendingReady,
        SerialGap,
        AirTxDone,
        Inbox,
        EchoTxDone,
        EchoQuiet
    };
    bool nextEvent(SimDuration& time, Event& event) const;
    void runEvent(Event event);
    void startFront(Line& line, SimDuration byteTime);
    void hostByteArrived(uint8_t value, const LineSettings& sentAt);
    void radioByteArrived(uint8_t value, const LineSettings& sentAt);
    void parseSerialInput(bool gapElapsed);
    void execute(const uint8_t* frame);
    void reply(std::vector<uint8_t> frame, std::optional<LineSettings> lineAfter = {});
    void radioSend(uint8_t value, std::optional<LineSettings> lineAfter = {});
    void airSend(Line& line, uint8_t value);
    std::optional<uint8_t> crossAir(uint8_t value);
    SimDuration airByteTime() const;
    SimDuration gapTime() const;
    uint8_t noise();
    bool chance(double probability);

    RadioParameters params_;
    LinkOptions links_;
    RadioFaults faults_;
    std::mt19937 rng_;
    SimDuration now_{};
    LineSettings hostLine_;

    Line hostTx_;   // host to radio
    Line radioTx_;  // radio to host
    std::deque<uint8_t> hostRx_;
    uint32_t hostErrors_ = 0;

    std::vector<uint8_t> serialIn_;  // bytes the radio received, not yet classified
    SimDuration lastSerialIn_{};
    std::multimap<SimDuration, PendingSend> pending_;

    Line airTx_;                                         // to the peer or the echo station
    std::deque<std::pair<SimDuration, uint8_t>> inbox_;  // from the air, by arrival time
    SimulatedRadio* peer_ = nullptr;
    std::vector<uint8_t> echoHeld_;
    SimDuration echoLastIn_{};
    Line echoTx_;  // echo station back to this radio

    bool vanished_ = false;
    std::function<void()> vanishHandler_;
    FrameLog frameLog_;
};
