#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <functional>
#include <memory>
#include <optional>

#include "serial/serialdevice.h"

// What the fake devices of a test did, in order: "open dev1", "set 9600 N 1", "purge out in",
// "read 3", "write 2", "close dev1"; and every byte written.
struct DeviceJournal {
    QStringList events;
    QByteArray written;
    // Devices the opener refuses, and why.
    QMap<QString, OpenFailure> refused;
    // Settings the devices refuse, and why they say they did.
    bool refuseSettings = false;
    SettingsRefusal refusal = SettingsRefusal::Driver;
    // The round trip the devices report: none for a local port.
    std::optional<int> roundTripMs;
    // The stop bits a freshly opened device reports.
    int driverStopBits = 1;
    // The modem lines a freshly opened device reports; none, as on a pseudo-terminal, unless
    // the test gives some.
    std::optional<uint8_t> modemLines;
    // Switching a modem line is refused.
    bool refuseModemLines = false;
    // The serial number of the adapter a freshly opened device sits behind.
    QString serialNumber;
};

inline QString ParityText(ParityMode parity) {
    switch (parity) {
        case ParityMode::Odd:
            return "O";
        case ParityMode::Even:
            return "E";
        case ParityMode::None:
            break;
    }
    return "N";
}

// The one fake port of the tests. Received bytes are fed by the test or answer each write from
// a script; the driver takes written bytes at once unless the test holds it back.
class FakeSerialDevice : public SerialDevice {
  public:
    // The far end's answer to a write: the bytes and the line error flags they arrive with.
    struct Answer {
        QByteArray bytes;
        uint32_t errors = 0;
    };
    using Script = std::function<Answer(const QByteArray& written)>;

    explicit FakeSerialDevice(QString name = "fake", std::shared_ptr<DeviceJournal> journal =
                                                         std::make_shared<DeviceJournal>())
        : name_(std::move(name)), journal_(std::move(journal)) {
        settings_.stopBits = journal_->driverStopBits;
        modemLines_ = journal_->modemLines;
        serialNumber_ = journal_->serialNumber;
    }

    // ---- The test's side ----

    // Bytes that arrive now, with the line error flags the next query reports.
    void feed(const QByteArray& bytes, uint32_t errors = 0) {
        waiting += bytes;
        errors_ |= errors;
    }
    // Each write is answered by the script; the answer arrives at deliver(), so that the purge
    // that follows a write cannot throw it away.
    void answerWith(Script script) { script_ = std::move(script); }
    void deliver() {
        feed(pending_.bytes, pending_.errors);
        pending_ = {};
    }
    // While held, the driver takes nothing; release() lets it take up to n queued bytes.
    void holdSending(bool hold) { holding_ = hold; }
    void release(int64_t n) {
        const int64_t taken = std::min(n, queued_);
        queued_ -= taken;
        sent_ += static_cast<uint64_t>(taken);
        if (taken > 0) emit sent();
    }
    // The receive buffer overflowed and dropped n bytes.
    void drop(uint64_t n) { lost_ += n; }
    // The device goes away, as an adapter pulled out.
    void vanish() { emit lost(); }
    // The far end moves a modem line; the device reports it.
    void moveModemLine(uint8_t line, bool on) {
        modemLines_ = on ? (*modemLines_ | line) : (*modemLines_ & ~line);
        emit modemLinesChanged();
    }
    // Reports a change although none happened, as a driver may.
    void reportModemLines() { emit modemLinesChanged(); }

    QByteArray waiting;
    QList<QByteArray> writes;
    QList<int64_t> reads;
    QList<LineSettings> settingsApplied;
    int64_t sendCapacity = 1 << 20;
    bool closed = false;

    // ---- SerialDevice ----

    LineSettings lineSettings() const override { return settings_; }
    bool setLineSettings(const LineSettings& s) override {
        journal_->events
            << QString("set %1 %2 %3").arg(s.baudRate).arg(ParityText(s.parity)).arg(s.stopBits);
        if (journal_->refuseSettings) return false;
        settings_ = s;
        settingsApplied << s;
        return true;
    }
    QByteArray purge(bool output, bool input) override {
        journal_->events << QString("purge%1%2").arg(output ? " out" : "").arg(input ? " in" : "");
        if (output) queued_ = 0;
        return input ? std::exchange(waiting, {}) : QByteArray();
    }
    uint32_t bytesWaiting(uint32_t* errorFlags) override {
        if (errorFlags) *errorFlags = std::exchange(errors_, 0);
        return static_cast<uint32_t>(waiting.size());
    }
    int64_t read(uint8_t* buffer, int64_t n) override {
        journal_->events << QString("read %1").arg(n);
        reads << n;
        const int64_t count = std::min<int64_t>(n, waiting.size());
        std::copy_n(waiting.constData(), count, buffer);
        waiting.remove(0, count);
        return count;
    }
    int64_t write(const uint8_t* data, int64_t n) override {
        const int64_t accepted = std::clamp<int64_t>(sendCapacity - queued_, 0, n);
        const QByteArray bytes(reinterpret_cast<const char*>(data), accepted);
        journal_->events << QString("write %1").arg(n);
        journal_->written += bytes;
        writes << bytes;
        if (script_) pending_ = script_(bytes);
        queued_ += accepted;
        if (!holding_) release(queued_);
        return accepted;
    }
    int64_t bytesToWrite() const override { return queued_; }
    uint64_t bytesSent() const override { return sent_; }
    uint64_t bytesLost() const override { return lost_; }
    void close() override {
        journal_->events << "close " + name_;
        closed = true;
    }
    std::optional<uint8_t> modemLines() const override { return modemLines_; }
    bool setModemLine(uint8_t line, bool on) override {
        journal_->events << QString("line %1 %2").arg(line).arg(on ? "on" : "off");
        if (!modemLines_ || journal_->refuseModemLines) return false;
        modemLines_ = on ? (*modemLines_ | line) : (*modemLines_ & ~line);
        return true;
    }
    QString adapterSerialNumber() const override { return serialNumber_; }
    SettingsRefusal settingsRefusal() const override { return journal_->refusal; }
    std::optional<int> roundTripMs() const override { return journal_->roundTripMs; }

  private:
    QString name_;
    std::shared_ptr<DeviceJournal> journal_;
    LineSettings settings_;
    std::optional<uint8_t> modemLines_;
    QString serialNumber_;
    Script script_;
    Answer pending_;
    uint32_t errors_ = 0;
    bool holding_ = false;
    int64_t queued_ = 0;
    uint64_t sent_ = 0;
    uint64_t lost_ = 0;
};

// Opens a fake device for every name the journal does not refuse; `lastOpened` follows the
// newest one.
inline SerialDeviceOpener FakeOpener(std::shared_ptr<DeviceJournal> journal,
                                     FakeSerialDevice** lastOpened = nullptr) {
    return [journal, lastOpened](const QString& name) -> OpenResult {
        if (journal->refused.contains(name)) return OpenResult::Failed(journal->refused[name]);
        journal->events << "open " + name;
        auto device = std::make_unique<FakeSerialDevice>(name, journal);
        if (lastOpened) *lastOpened = device.get();
        return OpenResult(std::move(device));
    };
}

// An open in the background that waits for the test: answer() finishes it with what `open`
// gives then.
class HeldOpen : public PendingOpen {
  public:
    explicit HeldOpen(SerialDeviceOpener open, QString name)
        : open_(std::move(open)), name_(std::move(name)) {}
    void answer() { finish(open_(name_)); }

  private:
    SerialDeviceOpener open_;
    QString name_;
};
