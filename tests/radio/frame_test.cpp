#include <QByteArray>
#include <QTest>
#include <array>
#include <vector>

#include "radio/frame.h"

namespace {
const uint8_t* Bytes(const QByteArray& a) {
    return reinterpret_cast<const uint8_t*>(a.data());
}

QByteArray Hex(const QByteArray& text) {
    return QByteArray::fromHex(text);
}

// A frame with length byte `length`, code 0x42 and data bytes that differ from each other,
// completed with its checksum.
std::vector<uint8_t> BuildFrame(uint8_t length, uint8_t dataSeed) {
    std::vector<uint8_t> frame(length + 4);
    frame[0] = 0x55;
    frame[1] = 0xAA;
    frame[2] = length;
    frame[3] = 0x42;
    for (int i = 4; i < length + 2; ++i) frame[i] = static_cast<uint8_t>(dataSeed + 37 * i);
    SetChecksum(frame.data());
    return frame;
}
}  // namespace

class FrameTest : public QObject {
    Q_OBJECT
  private slots:
    void commandTablesHoldTheProtocolBytes() {
        const char* reads[] = {"55AA031000001300", "55AA030400000700", "55AA030800000B00",
                               "55AA030A00000D00"};
        const char* writes[] = {"55AA030300", "55AA040900", "55AA030700", "55AA030F00"};
        QCOMPARE(ReadStepCount, 4);
        QCOMPARE(WriteStepCount, 4);
        for (int step = 0; step < 4; ++step) {
            QCOMPARE(QByteArray(reinterpret_cast<const char*>(ReadCmdTable[step]), 8),
                     Hex(reads[step]));
            QCOMPARE(QByteArray(reinterpret_cast<const char*>(WriteCmdTable[step]), 5),
                     Hex(writes[step]));
            QVERIFY(CheckFrame(ReadCmdTable[step], ReadRequestSize));
        }
        const uint32_t replyLengths[] = {8, 7, 7, 8};
        for (int step = 0; step < 4; ++step) QCOMPARE(ReadReplyLen[step], replyLengths[step]);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(WriteAck), 6), Hex("55AA02200022"));
    }

    void setChecksumCompletesFrames_data() {
        QTest::addColumn<QByteArray>("unfinished");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("ReadAirBaud") << Hex("55 AA 03 04 00 FF FF") << Hex("55 AA 03 04 00 00 07");
        QTest::newRow("WriteID 99 99 carries into the high byte")
            << Hex("55 AA 04 09 99 99 00 00") << Hex("55 AA 04 09 99 99 01 3F");
        QTest::newRow("headers are not summed")
            << Hex("00 00 03 04 00 00 00") << Hex("00 00 03 04 00 00 07");
        QTest::newRow("L 2 sums length and code")
            << Hex("55 AA 02 20 00 00") << Hex("55AA02200022");
    }
    void setChecksumCompletesFrames() {
        QFETCH(QByteArray, unfinished);
        QFETCH(QByteArray, expected);
        SetChecksum(reinterpret_cast<uint8_t*>(unfinished.data()));
        QCOMPARE(unfinished, expected);
    }

    void checkFrameJudgesReplies_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("valid");
        QTest::newRow("ReadAirBaud request") << Hex("55 AA 03 04 00 00 07") << true;
        QTest::newRow("high checksum byte") << Hex("55 AA 04 09 99 99 01 3F") << true;
        QTest::newRow("high checksum byte missing") << Hex("55 AA 04 09 99 99 00 3F") << false;
        QTest::newRow("further bytes after the frame") << Hex("55 AA 03 04 00 00 07 55 AA") << true;
        QTest::newRow("stray byte ahead") << Hex("00 55 AA 03 04 00 00 07") << false;
        QTest::newRow("headers swapped") << Hex("AA 55 03 04 00 00 07") << false;
        QTest::newRow("write ack has L 2") << Hex("55 AA 02 20 00 22") << false;
        QTest::newRow("L 1") << Hex("55 AA 01 00 01 00 00") << false;
        QTest::newRow("L 0") << Hex("55 AA 00 00 00 00 00") << false;
        QTest::newRow("L 30 with its checksum")
            << Hex("55 AA 1E 00" + QByteArray(28 * 2, '0') + "00 1E") << false;
        QTest::newRow("L 29 with its checksum")
            << Hex("55 AA 1D 00" + QByteArray(27 * 2, '0') + "00 1D") << true;
        QTest::newRow("L 255 announcing far more") << Hex("55 AA FF 00 00 00 FF") << false;
        QTest::newRow("nothing received") << QByteArray() << false;
        QTest::newRow("header only") << Hex("55 AA") << false;
        QTest::newRow("one byte short") << Hex("55 AA 03 04 00 00") << false;
    }
    void checkFrameJudgesReplies() {
        QFETCH(QByteArray, reply);
        QFETCH(bool, valid);
        // The reply sits in a larger receive buffer that holds zeros behind it.
        std::array<uint8_t, 100> buffer{};
        std::copy(reply.begin(), reply.end(), buffer.begin());
        QCOMPARE(CheckFrame(buffer.data(), reply.size(), 0x55, 0xAA), valid);
    }

    void checkFrameUsesTheGivenHeader() {
        const QByteArray frame = Hex("12 34 03 04 00 00 07");
        QVERIFY(CheckFrame(Bytes(frame), frame.size(), 0x12, 0x34));
        QVERIFY(!CheckFrame(Bytes(frame), frame.size(), 0x55, 0xAA));
    }

    void everyLengthCompletedBySetChecksumPasses() {
        for (int length = 3; length <= 29; ++length) {
            for (uint8_t seed : {0x00, 0x5A, 0xFF}) {
                const auto frame = BuildFrame(length, seed);
                QVERIFY2(CheckFrame(frame.data(), frame.size()),
                         qPrintable(QString::number(length)));
            }
        }
    }

    void anySingleByteChangeFails() {
        for (int length = 3; length <= 29; ++length) {
            const auto good = BuildFrame(length, 0x5A);
            for (size_t offset = 0; offset < good.size(); ++offset) {
                for (int delta = 1; delta < 256; ++delta) {
                    auto bad = good;
                    bad[offset] = static_cast<uint8_t>(bad[offset] + delta);
                    if (CheckFrame(bad.data(), bad.size())) {
                        QFAIL(qPrintable(QString("L %1 offset %2 delta %3 passed")
                                             .arg(length)
                                             .arg(offset)
                                             .arg(delta)));
                    }
                }
            }
        }
    }

    void anyCodeByteWithRecomputedChecksumPasses() {
        for (int length = 3; length <= 29; length += 13) {
            for (int code = 0; code < 256; ++code) {
                auto frame = BuildFrame(length, 0x11);
                frame[3] = static_cast<uint8_t>(code);
                SetChecksum(frame.data());
                QVERIFY(CheckFrame(frame.data(), frame.size()));
            }
        }
    }

    // The receive buffer may still hold the rest of an earlier identical reply: only what has
    // arrived counts, and the reply is judged like the whole once its second piece is in.
    void replyInTwoPiecesIsJudgedLikeTheWhole_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("model reply") << Hex("55 AA 04 10 05 12 00 2B");
        QTest::newRow("air rate reply") << Hex("55 AA 03 04 05 00 0C");
        QTest::newRow("bad checksum") << Hex("55 AA 03 04 05 00 0D");
        QTest::newRow("longest") << Hex("55 AA 1D 00" + QByteArray(27 * 2, '1') + "01 E8");
    }
    void replyInTwoPiecesIsJudgedLikeTheWhole() {
        QFETCH(QByteArray, reply);
        const bool whole = CheckFrame(Bytes(reply), reply.size());
        std::array<uint8_t, 100> buffer{};
        std::copy(reply.begin(), reply.end(), buffer.begin());
        for (int firstPiece = 0; firstPiece < reply.size(); ++firstPiece) {
            QVERIFY2(!CheckFrame(buffer.data(), firstPiece),
                     qPrintable(QString::number(firstPiece)));
        }
        QCOMPARE(CheckFrame(buffer.data(), reply.size()), whole);
        QCOMPARE(CheckFrame(buffer.data(), buffer.size()), whole);
    }

    void isWriteAckComparesSixBytes_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("ack");
        QTest::newRow("ack") << Hex("55 AA 02 20 00 22") << true;
        QTest::newRow("ack and more bytes") << Hex("55 AA 02 20 00 22 55 AA") << true;
        QTest::newRow("wrong checksum") << Hex("55 AA 02 20 00 23") << false;
        QTest::newRow("valid frame, other code") << Hex("55 AA 03 04 00 00 07") << false;
        QTest::newRow("five bytes") << Hex("55 AA 02 20 00") << false;
        QTest::newRow("stray byte ahead") << Hex("00 55 AA 02 20 00 22") << false;
        QTest::newRow("nothing") << QByteArray() << false;
    }
    void isWriteAckComparesSixBytes() {
        QFETCH(QByteArray, reply);
        QFETCH(bool, ack);
        std::array<uint8_t, 100> buffer{};
        std::copy(std::begin(WriteAck), std::end(WriteAck), buffer.begin());
        std::copy(reply.begin(), reply.end(), buffer.begin());
        QCOMPARE(IsWriteAck(buffer.data(), reply.size()), ack);
    }

    void hexDigitsAreUpperCase() {
        const char digits[] = "0123456789ABCDEF";
        for (uint8_t v = 0; v < 16; ++v) QCOMPARE(HexDigit(v), digits[v]);
    }

    void bytesToHex_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("none") << QByteArray() << QByteArray("");
        QTest::newRow("0A FF") << Hex("0A FF") << QByteArray("0A FF ");
        QTest::newRow("55 AA 03") << Hex("55 AA 03") << QByteArray("55 AA 03 ");
        QTest::newRow("00 09 10") << Hex("00 09 10") << QByteArray("00 09 10 ");
    }
    void bytesToHex() {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, text);
        std::array<char, 32> out;
        out.fill('x');
        QCOMPARE(BytesToHex(Bytes(bytes), int(bytes.size()), out.data()), 3 * int(bytes.size()));
        QCOMPARE(QByteArray(out.data(), text.size()), text);
        QCOMPARE(out[text.size()], '\0');
        QCOMPARE(out[text.size() + 1], 'x');
    }

    void hexToByte_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("empty") << QByteArray("") << 0x00;
        QTest::newRow("7f") << QByteArray("7f") << 0x7F;
        QTest::newRow("123") << QByteArray("123") << 0x23;
        QTest::newRow("1A2") << QByteArray("1A2") << 0xA2;
        QTest::newRow("G") << QByteArray("G") << 0x47;
        QTest::newRow("A and a blank") << QByteArray("A ") << 0xC0;
        QTest::newRow("fF") << QByteArray("fF") << 0xFF;
        QTest::newRow("9") << QByteArray("9") << 0x09;
        QTest::newRow("high byte character") << QByteArray("\xE4") << 0xE4;
    }
    void hexToByte() {
        QFETCH(QByteArray, text);
        QFETCH(int, value);
        QCOMPARE(int{HexToByte(std::string_view(text.data(), text.size()))}, value);
    }

    void hexTextOfEveryByteReadsBack() {
        for (int v = 0; v < 256; ++v) {
            const uint8_t byte = static_cast<uint8_t>(v);
            char text[4];
            BytesToHex(&byte, 1, text);
            QCOMPARE(int{HexToByte(std::string_view(text, 2))}, v);
        }
    }
};

QTEST_APPLESS_MAIN(FrameTest)
#include "frame_test.moc"
