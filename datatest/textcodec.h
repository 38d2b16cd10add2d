#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

// Turns received bytes into display text in the system's locale encoding. It keeps the
// state between reads, so a character split across two reads is shown whole once its last
// byte arrives. Zero bytes are left out; what follows them is shown.
class ReceiveTextDecoder {
  public:
    ReceiveTextDecoder();

    QString Decode(QByteArrayView bytes);

    // Forgets a partly received character, for when bytes stop being shown as text.
    void Reset();

  private:
    QStringDecoder decoder_;
};

// The transmit text as bytes in the system's locale encoding, without a terminator. Every
// line break goes out as CR LF, the break text sends have always carried; a CR LF already in
// the text stays one break.
QByteArray TransmitTextBytes(const QString& text);
