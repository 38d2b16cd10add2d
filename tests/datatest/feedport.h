#pragma once

#include <QByteArray>
#include <QList>
#include <algorithm>

#include "serial/serialdevice.h"

// A port whose received bytes the test puts in by hand; it keeps what was written and the size
// of every read.
class FeedPort : public SerialDevice {
  public:
    QByteArray waiting;
    QList<QByteArray> written;
    QList<int64_t> reads;

    LineSettings lineSettings() const override { return settings_; }
    bool setLineSettings(const LineSettings& settings) override {
        settings_ = settings;
        return true;
    }
    void purge(bool, bool input) override {
        if (input) waiting.clear();
    }
    uint32_t bytesWaiting(uint32_t* errorFlags) override {
        if (errorFlags) *errorFlags = 0;
        return static_cast<uint32_t>(waiting.size());
    }
    int64_t read(uint8_t* buffer, int64_t n) override {
        reads << n;
        const int64_t count = std::min<int64_t>(n, waiting.size());
        std::copy_n(waiting.constData(), count, buffer);
        waiting.remove(0, count);
        return count;
    }
    int64_t write(const uint8_t* data, int64_t n) override {
        written << QByteArray(reinterpret_cast<const char*>(data), n);
        return n;
    }
    void close() override {}

  private:
    LineSettings settings_;
};
