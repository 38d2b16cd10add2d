// The receive display's UTF-8 decoding against a reference: however the bytes are split into
// reads, the text is what Qt's decoder makes of them all at once (which it does not always
// when they come in pieces), zero bytes left out.

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "datatest/textcodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte chooses the read size; the rest are the bytes received.
    const qsizetype readSize = 1 + data[0] % 8;
    // An ASCII byte at the end finishes any character left part-way.
    const QByteArray bytes =
        QByteArray(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1)) + 'x';
    QStringDecoder reference(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    QString whole = reference.decode(bytes);
    whole.remove(QChar(u'\0'));
    Utf8Decoder decoder;
    QByteArray text;
    for (qsizetype at = 0; at < bytes.size(); at += readSize) {
        text += decoder.Decode(bytes.sliced(at, std::min(readSize, bytes.size() - at)));
    }
    if (text != whole.toUtf8()) abort();
    return 0;
}
