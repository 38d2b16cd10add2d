#include "datatest/textcodec.h"

#include <QStringEncoder>
#include <algorithm>

#if defined(Q_OS_WIN)
#include <windows.h>
#endif

namespace {

bool LocaleIsUtf8() {
#if defined(Q_OS_WIN)
    return GetACP() == CP_UTF8;
#else
    // Qt takes the locale encoding of every other system to be UTF-8.
    return true;
#endif
}

// Bytes 1 to 0x7F only: text as it stands.
bool IsPlainAscii(QByteArrayView bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char byte) {
        return byte != 0 && static_cast<unsigned char>(byte) < 0x80;
    });
}

constexpr char kReplacement[] = "\xEF\xBF\xBD";
// Continuation bytes after the first byte of a character: at most three.
constexpr int kLongestRest = 3;

}  // namespace

QByteArray Utf8Decoder::Decode(QByteArrayView bytes) {
    // Most received text is ASCII, which needs no decoding.
    if (needed_ == 0 && skip_ == 0 && IsPlainAscii(bytes)) return bytes.toByteArray();
    QByteArray text;
    text.reserve(bytes.size() + 3);
    for (const char byte : bytes) Take(static_cast<uint8_t>(byte), text);
    return text;
}

void Utf8Decoder::Take(uint8_t byte, QByteArray& text) {
    if (skip_ > 0) {
        if (byte >= 0x80 && byte <= 0xBF) {
            --skip_;
            return;
        }
        skip_ = 0;
    }
    if (needed_ > 0) {
        if (byte >= lower_ && byte <= upper_) {
            partial_[have_++] = char(byte);
            lower_ = 0x80;
            upper_ = 0xBF;
            if (--needed_ == 0) text.append(partial_, have_);
            return;
        }
        // The character cannot be completed: each of its bytes shows as one replacement, and
        // the byte that broke it starts anew.
        for (int i = 0; i < have_; ++i) text.append(kReplacement);
        needed_ = 0;
    }
    have_ = 0;
    if (byte < 0x80) {
        if (byte != 0) text.append(char(byte));
        return;
    }
    // Lead bytes, and the ranges that keep out overlong forms, surrogates and code points
    // past U+10FFFF.
    lower_ = 0x80;
    upper_ = 0xBF;
    if (byte >= 0xC2 && byte <= 0xDF) {
        needed_ = 1;
    } else if (byte >= 0xE0 && byte <= 0xEF) {
        needed_ = 2;
        lower_ = byte == 0xE0 ? 0xA0 : 0x80;
        upper_ = byte == 0xED ? 0x9F : 0xBF;
    } else if (byte >= 0xF0 && byte <= 0xF4) {
        needed_ = 3;
        lower_ = byte == 0xF0 ? 0x90 : 0x80;
        upper_ = byte == 0xF4 ? 0x8F : 0xBF;
    } else {
        text.append(kReplacement);
        return;
    }
    partial_[have_++] = char(byte);
}

void Utf8Decoder::Reset() {
    skip_ = needed_;
    needed_ = 0;
    have_ = 0;
}

void Utf8Decoder::ResetAfterGap() {
    Reset();
    skip_ = kLongestRest;
}

ReceiveTextDecoder::ReceiveTextDecoder() {
    // A byte order mark is data on a serial line, not a header to swallow.
    if (!LocaleIsUtf8())
        local_.emplace(QStringConverter::System, QStringConverter::Flag::ConvertInitialBom);
}

QByteArray ReceiveTextDecoder::Decode(QByteArrayView bytes) {
    if (!local_) return utf8_.Decode(bytes);
    QString text = local_->decode(bytes);
    text.remove(QChar(u'\0'));
    return text.toUtf8();
}

void ReceiveTextDecoder::Reset() {
    utf8_.Reset();
    if (local_) local_->resetState();
}

void ReceiveTextDecoder::ResetAfterGap() {
    utf8_.ResetAfterGap();
    if (local_) local_->resetState();
}

namespace {

struct LineEndingName {
    LineEnding ending;
    const char* key;
    const char* bytes;
};

constexpr LineEndingName LineEndingNames[] = {
    {LineEnding::CrLf, "crlf", "\r\n"},
    {LineEnding::Lf, "lf", "\n"},
    {LineEnding::Cr, "cr", "\r"},
    {LineEnding::None, "none", ""},
};

const LineEndingName& NameOf(LineEnding ending) {
    for (const LineEndingName& name : LineEndingNames) {
        if (name.ending == ending) return name;
    }
    return LineEndingNames[0];
}

}  // namespace

QString LineEndingKey(LineEnding ending) {
    return QString::fromLatin1(NameOf(ending).key);
}

std::optional<LineEnding> LineEndingFromKey(const QString& key) {
    for (const LineEndingName& name : LineEndingNames) {
        if (key == QLatin1String(name.key)) return name.ending;
    }
    return std::nullopt;
}

QByteArray TransmitTextBytes(const QString& text, LineEnding ending) {
    const QString lineBreak = QString::fromLatin1(NameOf(ending).bytes);
    QString sent;
    sent.reserve(text.size() + text.count(u'\n'));
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') continue;
        if (text[i] == u'\n') {
            sent += lineBreak;
        } else {
            sent += text[i];
        }
    }
    QStringEncoder encoder(QStringConverter::System);
    return encoder.encode(sent);
}
