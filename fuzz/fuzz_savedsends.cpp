// Saved sends from a hostile file: reading never crashes and refuses with a reason; what it
// takes has no fault, has bytes to send, and reads back the same once written out again. The
// strict hexadecimal reader gets the raw text too.

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "datatest/savedsends.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    StrictHexBytes(QString::fromUtf8(text));
    const SavedSendsResult read = ParseSavedSends(text);
    if (!read.sends) {
        if (read.error.isEmpty()) abort();
        return 0;
    }
    for (const SavedSend& send : *read.sends) {
        if (!SavedSendFault(send).isEmpty() || !SavedSendBytes(send, LineEnding::CrLf)) abort();
    }
    if (ParseSavedSends(SavedSendsJson(*read.sends)).sends != read.sends) abort();
    return 0;
}
