#include <QtTest>

#include "datatest/textcodec.h"

// Expectations are written for a UTF-8 locale encoding, the one Linux systems use.
Q_DECLARE_METATYPE(LineEnding)

class TestTextCodec : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void decodesReads_data();
    void decodesReads();
    void resetLeavesOutACutCharacter_data();
    void resetLeavesOutACutCharacter();
    void encodesTransmitText_data();
    void encodesTransmitText();
    void breaksAsTheLineEnding_data();
    void breaksAsTheLineEnding();
    void lineEndingKeys();
};

void TestTextCodec::initTestCase() {
    if (QByteArray(QStringEncoder(QStringConverter::System).encode(u"中")) != "\xE4\xB8\xAD")
        QSKIP("the system's locale encoding is not UTF-8");
}

void TestTextCodec::decodesReads_data() {
    QTest::addColumn<QList<QByteArray>>("reads");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("ascii") << QList<QByteArray>{"AB", "CD"} << QStringList{"AB", "CD"};
    QTest::newRow("character split after first byte")
        << QList<QByteArray>{"x\xE4", "\xB8\xADy"} << QStringList{"x", "中y"};
    QTest::newRow("character split over three reads")
        << QList<QByteArray>{"\xE4", "\xB8", "\xAD"} << QStringList{"", "", "中"};
    QTest::newRow("four-byte character split")
        << QList<QByteArray>{"\xF0\x9F", "\x98\x80"} << QStringList{"", "\U0001F600"};
    QTest::newRow("zero byte left out")
        << QList<QByteArray>{QByteArray("A\0B", 3)} << QStringList{"AB"};
    QTest::newRow("only zero bytes")
        << QList<QByteArray>{QByteArray(4, '\0'), "C"} << QStringList{"", "C"};
    QTest::newRow("line breaks kept") << QList<QByteArray>{"a\r\nb\n"} << QStringList{"a\r\nb\n"};
    QTest::newRow("invalid byte replaced")
        << QList<QByteArray>{"A\xFF" "B"} << QStringList{QString("A") + QChar(0xFFFD) + "B"};
    QTest::newRow("ascii after a split character completes it") << QList<QByteArray>{"\xE4\xB8",
                                                                                     "\xAD"
                                                                                     "AB",
                                                                                     "CD"}
                                                                << QStringList{"", "中AB", "CD"};
    QTest::newRow("ascii after a broken character")
        << QList<QByteArray>{"\xE4", "AB"} << QStringList{"", QString(QChar(0xFFFD)) + "AB"};
    QTest::newRow("each byte of a broken character replaced")
        << QList<QByteArray>{"\xE4\xB8", "AB"} << QStringList{"", QString(2, QChar(0xFFFD)) + "AB"};
    QTest::newRow("invalid byte after a broken character")
        << QList<QByteArray>{"\xE4",
                             "\xFF"
                             "A"}
        << QStringList{"", QString(2, QChar(0xFFFD)) + "A"};
    QTest::newRow("after a broken character, ranges start afresh")
        << QList<QByteArray>{"\xE0\x80", "\xC3\x85"}
        << QStringList{QString(2, QChar(0xFFFD)), QChar(0xC5)};
    QTest::newRow("surrogate and overlong forms replaced")
        << QList<QByteArray>{"\xED\xA0\x80" "\xC0\xAF"}
        << QStringList{QString(5, QChar(0xFFFD))};
    QTest::newRow("byte order mark shown")
        << QList<QByteArray>{"\xEF\xBB\xBF" "A"} << QStringList{QString(QChar(0xFEFF)) + "A"};
}

void TestTextCodec::decodesReads() {
    QFETCH(QList<QByteArray>, reads);
    QFETCH(QStringList, texts);
    ReceiveTextDecoder decoder;
    QList<QByteArray> decoded;
    QList<QByteArray> expected;
    for (const QByteArray& read : reads) decoded << decoder.Decode(read);
    for (const QString& text : texts) expected << text.toUtf8();
    QCOMPARE(decoded, expected);
}

// No part of a character cut by a reset is shown; bytes that cannot be its rest still are.
void TestTextCodec::resetLeavesOutACutCharacter_data() {
    QTest::addColumn<bool>("gap");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QString>("text");
    const QString replacement(QChar(0xFFFD));
    QTest::newRow("begun, the rest never comes")
        << false << QByteArray("\xE4\xB8") << QByteArray("AB") << "AB";
    QTest::newRow("begun, the rest comes") << false << QByteArray("\xE4\xB8")
                                           << QByteArray(
                                                  "\xAD"
                                                  "AB")
                                           << "AB";
    QTest::newRow("more than the rest") << false << QByteArray("\xE4\xB8")
                                        << QByteArray(
                                               "\xAD\xAD"
                                               "AB")
                                        << replacement + "AB";
    QTest::newRow("none begun") << false << QByteArray("x")
                                << QByteArray(
                                       "\xAD"
                                       "AB")
                                << replacement + "AB";
    QTest::newRow("after a gap, up to three") << true << QByteArray("x")
                                              << QByteArray(
                                                     "\x98\x80\xAD"
                                                     "AB")
                                              << "AB";
    QTest::newRow("after a gap, a fourth") << true << QByteArray("x")
                                           << QByteArray(
                                                  "\x98\x80\xAD\xAD"
                                                  "AB")
                                           << replacement + "AB";
    QTest::newRow("after a gap, plain text")
        << true << QByteArray("x") << QByteArray("AB\xAD") << "AB" + replacement;
}

void TestTextCodec::resetLeavesOutACutCharacter() {
    QFETCH(bool, gap);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QFETCH(QString, text);
    ReceiveTextDecoder decoder;
    decoder.Decode(before);
    if (gap) {
        decoder.ResetAfterGap();
    } else {
        decoder.Reset();
    }
    QByteArray decoded;
    // Byte by byte, the way the slowest reads bring them.
    for (const char byte : after) decoded += decoder.Decode(QByteArrayView(&byte, 1));
    QCOMPARE(QString::fromUtf8(decoded), text);
}

void TestTextCodec::encodesTransmitText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("plain") << "41 42" << QByteArray("41 42");
    QTest::newRow("two lines") << "ab\ncd" << QByteArray("ab\r\ncd");
    QTest::newRow("trailing break") << "ab\n" << QByteArray("ab\r\n");
    QTest::newRow("leading break") << "\nab" << QByteArray("\r\nab");
    QTest::newRow("empty lines") << "a\n\nb" << QByteArray("a\r\n\r\nb");
    QTest::newRow("crlf kept") << "a\r\nb" << QByteArray("a\r\nb");
    QTest::newRow("lone cr kept") << "a\rb" << QByteArray("a\rb");
    QTest::newRow("chinese") << "中文" << QByteArray("\xE4\xB8\xAD\xE6\x96\x87");
    QTest::newRow("empty") << "" << QByteArray();
}

void TestTextCodec::encodesTransmitText() {
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(TransmitTextBytes(text), bytes);
}

void TestTextCodec::breaksAsTheLineEnding_data() {
    QTest::addColumn<LineEnding>("ending");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("crlf") << LineEnding::CrLf << "a\nb\r\nc\n" << QByteArray("a\r\nb\r\nc\r\n");
    QTest::newRow("lf") << LineEnding::Lf << "a\nb\r\nc\n" << QByteArray("a\nb\nc\n");
    QTest::newRow("cr") << LineEnding::Cr << "a\nb\r\nc\n" << QByteArray("a\rb\rc\r");
    QTest::newRow("none joins the lines") << LineEnding::None << "a\nb\r\nc\n" << QByteArray("abc");
    QTest::newRow("a lone cr is a character") << LineEnding::Lf << "a\rb" << QByteArray("a\rb");
    QTest::newRow("cr before crlf") << LineEnding::Lf << "a\r\r\nb" << QByteArray("a\r\nb");
}

void TestTextCodec::breaksAsTheLineEnding() {
    QFETCH(LineEnding, ending);
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(TransmitTextBytes(text, ending), bytes);
}

void TestTextCodec::lineEndingKeys() {
    for (const LineEnding ending : AllLineEndings) {
        QCOMPARE(LineEndingFromKey(LineEndingKey(ending)), ending);
    }
    QCOMPARE(LineEndingKey(LineEnding::CrLf), QStringLiteral("crlf"));
    QCOMPARE(LineEndingFromKey(QStringLiteral("CRLF")), std::nullopt);
    QCOMPARE(LineEndingFromKey(QString()), std::nullopt);
}

QTEST_APPLESS_MAIN(TestTextCodec)
#include "test_textcodec.moc"
