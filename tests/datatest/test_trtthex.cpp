#include <QtTest>
#include <array>
#include <vector>

#include "datatest/trtthex.h"

class TestTrttHex : public QObject {
    Q_OBJECT
  private slots:
    void parsesLines_data();
    void parsesLines();
    void stopsAtTheBufferSize_data();
    void stopsAtTheBufferSize();
    void neverWritesPastASmallBuffer();
};

void TestTrttHex::parsesLines_data() {
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("spaced pairs") << QStringList{"12 34"} << QByteArray("\x12\x34");
    QTest::newRow("spaced digits") << QStringList{"1 2 3 4"} << QByteArray("\x12\x34");
    QTest::newRow("odd digit dropped") << QStringList{"123"} << QByteArray("\x12");
    QTest::newRow("0x prefixes") << QStringList{"0x12,0x34"} << QByteArray("\x01\x20\x34");
    QTest::newRow("both cases") << QStringList{"ab CD"} << QByteArray("\xAB\xCD");
    QTest::newRow("no digits") << QStringList{"zz, ghij; +-"} << QByteArray();
    // The letters a to f count wherever they stand, even inside words.
    QTest::newRow("digits inside words")
        << QStringList{"no hexadecimal digits"} << QByteArray("\xEA\xDE\xCA");
    QTest::newRow("digit per line") << QStringList{"1", "2"} << QByteArray();
    QTest::newRow("leftover digit per line")
        << QStringList{"4", "1 42", "43 5"} << QByteArray("\x14\x43");
    QTest::newRow("empty lines") << QStringList{"", "FF", ""} << QByteArray("\xFF");
    QTest::newRow("chinese between digits") << QStringList{"4中1"} << QByteArray("\x41");
    QTest::newRow("fullwidth digits skipped") << QStringList{"１２34"} << QByteArray("\x34");
    QTest::newRow("letters past F") << QStringList{"G1H2"} << QByteArray("\x12");
    QTest::newRow("zero byte") << QStringList{"00 41"} << QByteArray("\x00\x41", 2);
}

void TestTrttHex::parsesLines() {
    QFETCH(QStringList, lines);
    QFETCH(QByteArray, bytes);
    std::array<uint8_t, TrttHexBufferSize> out{};
    const int count = TrttHexToBytes(lines, out);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(out.data()), count), bytes);
}

void TestTrttHex::stopsAtTheBufferSize_data() {
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("count");
    QTest::newRow("2000 pairs on one line") << QStringList{QString("5A ").repeated(2000)} << 1024;
    QTest::newRow("2000 pairs on 2000 lines") << QStringList(2000, "5A") << 1024;
    QTest::newRow("exactly 1024") << QStringList{QString("5A").repeated(1024)} << 1024;
    QTest::newRow("1023 and a digit") << QStringList{QString("5A").repeated(1023) + "5"} << 1023;
}

void TestTrttHex::stopsAtTheBufferSize() {
    QFETCH(QStringList, lines);
    QFETCH(int, count);
    std::array<uint8_t, TrttHexBufferSize> out{};
    QCOMPARE(TrttHexToBytes(lines, out), count);
    QCOMPARE(out[count - 1], uint8_t{0x5A});
}

void TestTrttHex::neverWritesPastASmallBuffer() {
    // Guard bytes after a 3-byte span must survive a longer text.
    std::vector<uint8_t> storage(6, 0xEE);
    const int count = TrttHexToBytes({"01 02", "03 04 05"}, std::span(storage).first(3));
    QCOMPARE(count, 3);
    QCOMPARE(storage, (std::vector<uint8_t>{0x01, 0x02, 0x03, 0xEE, 0xEE, 0xEE}));
}

QTEST_APPLESS_MAIN(TestTrttHex)
#include "test_trtthex.moc"
