#include "tools/tvrsim/options.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdlib>

namespace {

std::optional<long> ParseInt(const std::string& text, long low, long high) {
    long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> ParseProbability(const std::string& text) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !(value >= 0 && value <= 1)) return std::nullopt;
    return value;
}

std::optional<std::array<uint8_t, 2>> ParseIdentity(const std::string& text) {
    if (text.size() != 4 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    const auto pair = [&](int i) {
        return static_cast<uint8_t>((text[i] - '0') << 4 | (text[i + 1] - '0'));
    };
    return std::array<uint8_t, 2>{pair(0), pair(2)};
}

std::optional<uint8_t> ParseVersion(const std::string& text) {
    const size_t dot = text.find('.');
    if (dot == std::string::npos) return std::nullopt;
    const auto major = ParseInt(text.substr(0, dot), 0, 15);
    const auto minor = ParseInt(text.substr(dot + 1), 0, 15);
    if (!major || !minor) return std::nullopt;
    return static_cast<uint8_t>(*major << 4 | *minor);
}

// NAME or NAME=N; returns an error text, empty when the fault was taken.
std::string ApplyFault(const std::string& text, SimToolOptions& options) {
    const size_t eq = text.find('=');
    const std::string name = text.substr(0, eq);
    const std::optional<std::string> value =
        eq == std::string::npos ? std::nullopt : std::optional(text.substr(eq + 1));
    const auto number = [&](long low, long high, long fallback) -> std::optional<int> {
        if (!value) return static_cast<int>(fallback);
        const auto parsed = ParseInt(*value, low, high);
        return parsed ? std::optional(static_cast<int>(*parsed)) : std::nullopt;
    };
    const auto flag = [&](bool& field) {
        field = true;
        return value ? "fault '" + name + "' takes no value" : std::string();
    };
    RadioFaults& f = options.faults;
    if (name == "silent") return flag(f.silent);
    if (name == "badsum") return flag(f.wrongChecksum);
    if (name == "chatter") return flag(f.chatter);
    if (name == "model17") return flag(f.modelCode17);
    std::optional<int> parsed;
    if (name == "split") {
        parsed = number(2, 64, 3);
        if (parsed) f.splitPieces = *parsed;
    } else if (name == "delay") {
        parsed = value ? number(0, 600000, 0) : std::nullopt;
        if (parsed) f.replyDelayMs = *parsed;
    } else if (name == "flood") {
        parsed = number(1, 1000000, 300);
        if (parsed) f.floodBytes = *parsed;
    } else if (name == "ignore-write") {
        static const std::pair<const char*, uint8_t> writes[] = {
            {"air", 0x03}, {"id", 0x09}, {"channel", 0x07}, {"serial", 0x0F}};
        for (const auto& [field, code] : writes) {
            if (value == field) parsed = code;
        }
        if (parsed) f.ignoredWrite = static_cast<uint8_t>(*parsed);
    } else if (name == "vanish") {
        parsed = number(0, 86400000, 2000);
        if (parsed) options.vanishAfterMs = *parsed;
    } else {
        return "unknown fault '" + name + "'";
    }
    return parsed ? std::string() : "bad value in fault '" + text + "'";
}

}  // namespace

std::string SimToolUsage() {
    return R"(Usage: tvrsim [OPTION]...
A simulated radio behind a pseudo-terminal. Open the printed device (or the link) as a
serial port; tvrsim runs until it gets SIGINT or SIGTERM and then removes its links.

  --link PATH       make PATH a symbolic link to the pseudo-terminal
  --pair PATH2      a second radio on its own pseudo-terminal, linked as PATH2; user data
                    crosses the air between the two
  --baud N          the radio's serial rate: 600 1200 2400 4800 9600 19200 38400 57600
                    115200 (default 9600)
  --parity N|O|E    the radio's serial parity (default N)
  --channel N       channel, 0..255 (default 1)
  --air CODE        air-rate code, 0..255 (default 4)
  --id DDDD         identity code, four decimal digits (default 1234)
  --model N         model code, 0..255 (default 3)
  --firmware X.Y    the radio's firmware version, X and Y 0..15 (default 1.2)
  --echo            the far end is an echo station: it returns what it received after
                    350 ms of quiet (not with --pair)
  --loss P          probability 0..1 that the air loses a byte
  --corrupt P       probability 0..1 that the air damages a byte
  --seed N          seed of the air's random numbers (default 1)
  --fault NAME      switch a fault on (repeatable): silent, badsum, split[=PIECES],
                    delay=MS, chatter, flood[=BYTES], model17, vanish[=MS],
                    ignore-write=air|id|channel|serial (that write is acknowledged but
                    not applied)
  --log FILE        write every command frame in and reply out, in hexadecimal, with the
                    time in seconds since the start
  --help            show this text
  --version         show tvrsim's own version

The radio answers only when the program's port runs at the radio's own rate and parity;
tvrsim reads the program's settings from the pseudo-terminal whenever it changes them.
A pseudo-terminal carries no parity. tvrsim sees odd parity (the kernel keeps PARODD) but
cannot tell none from even, so a radio set to N or E answers a program at either of them.
A program that goes from odd back to none without clearing PARODD (QSerialPort does so)
still looks odd until it chooses even.
)";
}

std::string SimToolVersion() {
    return std::string("tvrsim ") + TVR_VERSION + '\n';
}

SimToolArgs ParseSimToolArgs(const std::vector<std::string>& args) {
    SimToolArgs result;
    SimToolOptions options;
    const auto fail = [&](const std::string& message) {
        result.error = message;
        return result;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> inlineValue;
        if (const size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name.resize(eq);
        }
        if (name == "--help" || name == "-h") {
            result.help = true;
            return result;
        }
        if (name == "--version") {
            if (inlineValue)
                return fail("option '--version' takes no value; --firmware X.Y sets the radio's");
            result.version = true;
            return result;
        }
        if (name == "--echo") {
            if (inlineValue) return fail("option '--echo' takes no value");
            options.air.echoStation = true;
            continue;
        }
        static const char* const valued[] = {
            "--link",  "--pair",     "--baud", "--parity",  "--channel", "--air",   "--id",
            "--model", "--firmware", "--loss", "--corrupt", "--seed",    "--fault", "--log"};
        if (std::find(std::begin(valued), std::end(valued), name) == std::end(valued)) {
            return fail("unknown option '" + args[i] + "'");
        }
        std::string value;
        if (inlineValue) {
            value = *inlineValue;
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return fail("option '" + name + "' needs a value");
        }
        const std::string bad = "bad value '" + value + "' for " + name;
        if (name == "--link" || name == "--pair" || name == "--log") {
            if (value.empty()) return fail(bad);
            (name == "--link"   ? options.link
             : name == "--pair" ? options.pairLink
                                : options.logPath) = value;
        } else if (name == "--baud") {
            const auto rate = ParseInt(value, 0, 115200);
            if (!rate ||
                std::find(SerialRates.begin(), SerialRates.end(), *rate) == SerialRates.end()) {
                return fail(bad);
            }
            options.radio.line.baudRate = static_cast<int32_t>(*rate);
        } else if (name == "--parity") {
            if (value == "N" || value == "n")
                options.radio.line.parity = ParityMode::None;
            else if (value == "O" || value == "o")
                options.radio.line.parity = ParityMode::Odd;
            else if (value == "E" || value == "e")
                options.radio.line.parity = ParityMode::Even;
            else
                return fail(bad);
        } else if (name == "--channel" || name == "--air" || name == "--model") {
            const auto parsed = ParseInt(value, 0, 255);
            if (!parsed) return fail(bad);
            (name == "--channel" ? options.radio.channel
             : name == "--air"   ? options.radio.airRateCode
                                 : options.radio.modelCode) = static_cast<uint8_t>(*parsed);
        } else if (name == "--id") {
            const auto identity = ParseIdentity(value);
            if (!identity) return fail(bad);
            options.radio.identity = *identity;
        } else if (name == "--firmware") {
            const auto version = ParseVersion(value);
            if (!version) return fail(bad);
            options.radio.version = *version;
        } else if (name == "--loss" || name == "--corrupt") {
            const auto p = ParseProbability(value);
            if (!p) return fail(bad);
            (name == "--loss" ? options.air.lossProbability : options.air.corruptProbability) = *p;
        } else if (name == "--seed") {
            const auto seed = ParseInt(value, 0, 4294967295L);
            if (!seed) return fail(bad);
            options.air.seed = static_cast<uint32_t>(*seed);
        } else if (name == "--fault") {
            if (const std::string error = ApplyFault(value, options); !error.empty()) {
                return fail(error);
            }
        }
    }
    if (options.air.echoStation && !options.pairLink.empty()) {
        return fail(
            "--echo and --pair exclude each other: with a pair the far end is the "
            "second radio");
    }
    if (!options.link.empty() && options.link == options.pairLink) {
        return fail("--link and --pair must name different paths");
    }
    // A pseudo-terminal cannot show the radio whether the program chose none or even.
    options.air.hostTellsNoneFromEven = false;
    result.options = options;
    return result;
}
