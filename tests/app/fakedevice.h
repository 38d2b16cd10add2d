#pragma once

#include "serial/serialdevice.h"

// A port that is always there and records nothing: enough for the shell to have a port open.
class IdleDevice : public SerialDevice {
public:
    bool* closed;
    explicit IdleDevice(bool* closedFlag) : closed(closedFlag) {}
    LineSettings lineSettings() const override { return settings_; }
    bool setLineSettings(const LineSettings& s) override {
        settings_ = s;
        return true;
    }
    void purge(bool, bool) override {}
    uint32_t bytesWaiting(uint32_t* errors) override {
        if (errors) *errors = 0;
        return 0;
    }
    int64_t read(uint8_t*, int64_t) override { return 0; }
    int64_t write(const uint8_t*, int64_t n) override { return n; }
    void close() override { *closed = true; }

private:
    LineSettings settings_;
};
