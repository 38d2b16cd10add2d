#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>
#include <memory>

#include "core/messages.h"
#include "serial/seriallink.h"

// What the fake devices did, in order: "open dev1", "set 9600 N 1", "purge out in",
// "read 3", "write 2", "close dev1".
struct DeviceJournal {
    QStringList events;
    QByteArray written;
    // Devices the opener refuses (missing or in use).
    QSet<QString> unavailable;
    // Settings the devices refuse.
    bool refuseSettings = false;
    // The stop bits a freshly opened device reports.
    int driverStopBits = 2;
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

class FakeDevice : public SerialDevice {
  public:
    FakeDevice(QString name, std::shared_ptr<DeviceJournal> journal)
        : name_(std::move(name)), journal_(std::move(journal)) {
        settings_.stopBits = journal_->driverStopBits;
    }

    LineSettings lineSettings() const override { return settings_; }
    bool setLineSettings(const LineSettings& s) override {
        journal_->events
            << QString("set %1 %2 %3").arg(s.baudRate).arg(ParityText(s.parity)).arg(s.stopBits);
        if (journal_->refuseSettings) return false;
        settings_ = s;
        return true;
    }
    void purge(bool output, bool input) override {
        journal_->events << QString("purge%1%2").arg(output ? " out" : "").arg(input ? " in" : "");
        if (input) incoming.clear();
    }
    uint32_t bytesWaiting(uint32_t* errorFlags) override {
        *errorFlags = pendingErrors;
        pendingErrors = 0;
        return static_cast<uint32_t>(incoming.size());
    }
    int64_t read(uint8_t* buffer, int64_t n) override {
        journal_->events << QString("read %1").arg(n);
        const int64_t count = std::min<int64_t>(n, incoming.size());
        std::copy_n(incoming.constData(), count, buffer);
        incoming.remove(0, count);
        return count;
    }
    int64_t write(const uint8_t* data, int64_t n) override {
        journal_->events << QString("write %1").arg(n);
        journal_->written.append(reinterpret_cast<const char*>(data), n);
        return n;
    }
    void close() override { journal_->events << "close " + name_; }

    QByteArray incoming;
    uint32_t pendingErrors = 0;

  private:
    QString name_;
    std::shared_ptr<DeviceJournal> journal_;
    LineSettings settings_;
};

inline SerialDeviceOpener FakeOpener(std::shared_ptr<DeviceJournal> journal,
                                     FakeDevice** lastOpened = nullptr) {
    return [journal, lastOpened](const QString& name) -> std::unique_ptr<SerialDevice> {
        if (journal->unavailable.contains(name)) return nullptr;
        journal->events << "open " + name;
        auto device = std::make_unique<FakeDevice>(name, journal);
        if (lastOpened) *lastOpened = device.get();
        return device;
    };
}

struct HostRecorder : SerialLinkHost {
    QMap<int, QString> panels;
    bool polling = true;
    int pollStarts = 0;
    int portsLost = 0;
    void setStatusText(int panel, const QString& text) override { panels[panel] = text; }
    void startReceivePoll() override {
        polling = true;
        ++pollStarts;
    }
    void stopReceivePoll() override { polling = false; }
    void portLost() override { ++portsLost; }
};

// Records every message box and answers OK; restores the previous presenter when done.
struct MessageRecorder {
    QList<Message> shown;
    MessagePresenter previous;
    MessageRecorder() {
        previous = SetMessagePresenter([this](const Message& m) {
            shown.append(m);
            return MessageAnswer::Ok;
        });
    }
    ~MessageRecorder() { SetMessagePresenter(std::move(previous)); }
};
