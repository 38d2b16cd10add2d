#include "core/logging.h"

Q_LOGGING_CATEGORY(lcSerial, "tvr.serial", QtInfoMsg)
Q_LOGGING_CATEGORY(lcProto, "tvr.proto", QtInfoMsg)
Q_LOGGING_CATEGORY(lcFactory, "tvr.factory", QtInfoMsg)

QByteArray HexDump(const uint8_t* bytes, qsizetype n) {
    return QByteArray::fromRawData(reinterpret_cast<const char*>(bytes), n).toHex(' ').toUpper();
}
