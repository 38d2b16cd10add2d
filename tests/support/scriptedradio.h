#pragma once

// A radio's replies for a fake port's script: its model, each parameter it is asked for, and an
// acknowledgement of every write step.

#include <QByteArray>

#include "tests/support/fakeserialdevice.h"

inline const QByteArray ModelReply = QByteArray::fromHex("55AA041003120029");
inline const QByteArray AirReply = QByteArray::fromHex("55AA030404000B");
inline const QByteArray WriteAckReply = QByteArray::fromHex("55AA02200022");

// A radio that answers every frame as it should.
inline FakeSerialDevice::Answer RadioAnswer(const QByteArray& written) {
    if (written.size() < 4) return {};
    switch (written.at(3)) {
        case 0x10:
            return {ModelReply};
        case 0x04:
            return {AirReply};
        case 0x08:
            return {QByteArray::fromHex("55AA030803000E")};
        case 0x0A:
            return {QByteArray::fromHex("55AA040A12340054")};
        default:
            return {WriteAckReply};
    }
}
