#include "datatest/textcodec.h"

#include <QStringEncoder>

ReceiveTextDecoder::ReceiveTextDecoder()
    // A byte order mark is data on a serial line, not a header to swallow.
    : decoder_(QStringConverter::System, QStringConverter::Flag::ConvertInitialBom) {}

QString ReceiveTextDecoder::Decode(QByteArrayView bytes) {
    QString text = decoder_.decode(bytes);
    text.remove(QChar(u'\0'));
    return text;
}

void ReceiveTextDecoder::Reset() {
    decoder_.resetState();
}

QByteArray TransmitTextBytes(const QString& text) {
    QString crlf;
    crlf.reserve(text.size() + text.count(u'\n'));
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r')) crlf += u'\r';
        crlf += text[i];
    }
    QStringEncoder encoder(QStringConverter::System);
    return encoder.encode(crlf);
}
