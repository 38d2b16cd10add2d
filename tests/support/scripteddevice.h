#pragma once

#include <QByteArray>
#include <deque>
#include <functional>
#include <vector>

#include "serial/serialdevice.h"

// A port whose far end answers each write from a script, for replies the simulated radio
// would never give (a valid reply that arrives with a line error, a wrong reply at one step).
class ScriptedDevice : public SerialDevice {
public:
    // Gets what was written; returns the bytes to make waiting and the line error flags.
    using Script = std::function<std::pair<QByteArray, uint32_t>(const QByteArray& written)>;

    explicit ScriptedDevice(Script script) : script_(std::move(script)) {}

    QList<QByteArray> written;
    QList<LineSettings> settingsApplied;

    LineSettings lineSettings() const override { return settings_; }
    bool setLineSettings(const LineSettings& settings) override {
        settings_ = settings;
        settingsApplied << settings;
        return true;
    }
    void purge(bool, bool input) override {
        if (input) waiting_.clear();
    }
    uint32_t bytesWaiting(uint32_t* errorFlags) override {
        if (errorFlags) *errorFlags = std::exchange(errors_, 0);
        return static_cast<uint32_t>(waiting_.size());
    }
    int64_t read(uint8_t* buffer, int64_t n) override {
        const int64_t count = std::min<int64_t>(n, waiting_.size());
        std::copy_n(waiting_.constData(), count, buffer);
        waiting_.remove(0, count);
        return count;
    }
    int64_t write(const uint8_t* data, int64_t n) override {
        const QByteArray bytes(reinterpret_cast<const char*>(data), n);
        written << bytes;
        auto [reply, errors] = script_(bytes);
        pendingReply_ = reply;
        pendingErrors_ = errors;
        return n;
    }
    // The reply arrives after the caller's purge of the input that follows a write.
    void deliver() {
        waiting_ += std::exchange(pendingReply_, {});
        errors_ |= std::exchange(pendingErrors_, 0);
    }
    void close() override {}

private:
    Script script_;
    LineSettings settings_;
    QByteArray waiting_;
    QByteArray pendingReply_;
    uint32_t errors_ = 0;
    uint32_t pendingErrors_ = 0;
};
