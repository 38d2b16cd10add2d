#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>
#include <cstdint>
#include <optional>

// Turns UTF-8 bytes read piece by piece into valid UTF-8, the same however the reads split
// them. Each byte that is not part of a whole character becomes one U+FFFD, so the text
// shows how many there were; zero bytes are left out.
class Utf8Decoder {
  public:
    QByteArray Decode(QByteArrayView bytes);
    // Forgets a partly received character: the bytes that would complete it are not shown
    // either.
    void Reset();
    // Bytes went by undecoded: what follows is not shown while it can be the rest of a
    // character they began.
    void ResetAfterGap();

  private:
    void Take(uint8_t byte, QByteArray& text);

    char partial_[4] = {};
    int have_ = 0;    // bytes of the character begun
    int needed_ = 0;  // bytes still to come
    int skip_ = 0;    // continuation bytes still to leave out after a reset
    // What the next byte of the character may be.
    uint8_t lower_ = 0x80;
    uint8_t upper_ = 0xBF;
};

// Turns received bytes into display text in the system's locale encoding. It keeps the
// state between reads, so a character split across two reads is shown whole once its last
// byte arrives. Zero bytes are left out; what follows them is shown.
class ReceiveTextDecoder {
  public:
    ReceiveTextDecoder();

    // The text of the next bytes read, as UTF-8.
    QByteArray Decode(QByteArrayView bytes);

    // Forgets a partly received character and leaves out its rest, for when the text is
    // cleared.
    void Reset();
    // For when received bytes went by without being decoded: a character cut by them is not
    // shown in part.
    void ResetAfterGap();

  private:
    Utf8Decoder utf8_;
    // Where the locale encoding is not UTF-8 (an ANSI code page on Windows).
    std::optional<QStringDecoder> local_;
};

// What a line break of a text send goes out as. CR LF is the break text sends have always
// carried; None joins the lines.
enum class LineEnding { CrLf, Lf, Cr, None };

inline constexpr LineEnding AllLineEndings[] = {LineEnding::CrLf, LineEnding::Lf, LineEnding::Cr,
                                                LineEnding::None};

// The name a line ending is remembered by, and back; nullopt for a name none has.
QString LineEndingKey(LineEnding ending);
std::optional<LineEnding> LineEndingFromKey(const QString& key);

// The transmit text as bytes in the system's locale encoding, without a terminator. Every line
// break goes out as `ending`; a CR LF already in the text is one break.
QByteArray TransmitTextBytes(const QString& text, LineEnding ending = LineEnding::CrLf);
