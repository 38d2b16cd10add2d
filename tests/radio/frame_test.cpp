#include <QByteArray>
#include <QTest>
#include <array>
#include <vector>

#include "radio/frame.h"
#include "tests/support/bytes.h"

namespace {

// The reply at the start of a zeroed 100-byte receive buffer.
std::array<uint8_t, 100> Received(const QByteArray& reply) {
    std::array<uint8_t, 100> buffer{};
    std::copy(reply.begin(), reply.end(), buffer.begin());
    return buffer;
}

// Length byte `length`, code 0x42, data bytes that differ from each other, checksum.
std::vector<uint8_t> BuildFrame(int length) {
    std::vector<uint8_t> frame(length + 4);
    frame[0] = 0x55;
    frame[1] = 0xAA;
    frame[2] = static_cast<uint8_t>(length);
    frame[3] = 0x42;
    for (int i = 4; i < length + 2; ++i) frame[i] = static_cast<uint8_t>(0x5A + 37 * i);
    SetChecksum(frame.data());
    return frame;
}

const QByteArray LongestReply = Hex("55 AA 1D 00" + QByteArray(27 * 2, '1') + "01 E8");
}  // namespace

class FrameTest : public QObject {
    Q_OBJECT
  private slots:
    void commandTablesHoldTheProtocolBytes() {
        const char* reads[] = {"55AA031000001300", "55AA030400000700", "55AA030800000B00",
                               "55AA030A00000D00"};
        const char* writes[] = {"55AA030300", "55AA040900", "55AA030700", "55AA030F00"};
        const uint32_t replyLengths[] = {8, 7, 7, 8};
        QCOMPARE(ReadStepCount, 4);
        QCOMPARE(WriteStepCount, 4);
        for (int step = 0; step < 4; ++step) {
            QCOMPARE(Raw(ReadCmdTable[step], 8), Hex(reads[step]));
            QCOMPARE(Raw(WriteCmdTable[step], 5), Hex(writes[step]));
            QCOMPARE(ReadReplyLen[step], replyLengths[step]);
        }
        QCOMPARE(Raw(WriteAck, 6), Hex("55AA02200022"));
    }

    void setChecksumCompletesFrames_data() {
        QTest::addColumn<QByteArray>("unfinished");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("ReadAirBaud") << Hex("55 AA 03 04 00 FF FF") << Hex("55 AA 03 04 00 00 07");
        QTest::newRow("sum above 255")
            << Hex("55 AA 04 09 99 99 00 00") << Hex("55 AA 04 09 99 99 01 3F");
        QTest::newRow("headers not summed")
            << Hex("00 00 03 04 00 00 00") << Hex("00 00 03 04 00 00 07");
        QTest::newRow("L 2") << Hex("55 AA 02 20 00 00") << Hex("55 AA 02 20 00 22");
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
        QTest::newRow("sum above 255") << Hex("55 AA 04 09 99 99 01 3F") << true;
        QTest::newRow("high checksum byte ignored") << Hex("55 AA 04 09 99 99 00 3F") << false;
        QTest::newRow("further bytes") << Hex("55 AA 03 04 00 00 07 55 AA") << true;
        QTest::newRow("stray byte ahead") << Hex("00 55 AA 03 04 00 00 07") << false;
        QTest::newRow("headers swapped") << Hex("AA 55 03 04 00 00 07") << false;
        QTest::newRow("write ack, L 2") << Hex("55 AA 02 20 00 22") << false;
        QTest::newRow("L 0") << Hex("55 AA 00 00 00 00 00") << false;
        QTest::newRow("L 29") << LongestReply << true;
        QTest::newRow("L 30") << Hex("55 AA 1E 00" + QByteArray(28 * 2, '0') + "00 1E") << false;
        QTest::newRow("L 255") << Hex("55 AA FF 00 00 00 FF") << false;
        QTest::newRow("nothing received") << QByteArray() << false;
        QTest::newRow("header only") << Hex("55 AA") << false;
    }
    void checkFrameJudgesReplies() {
        QFETCH(QByteArray, reply);
        QFETCH(bool, valid);
        QCOMPARE(CheckFrame(Received(reply).data(), reply.size(), 0x55, 0xAA), valid);
    }

    void everyLengthPassesAndEverySingleByteChangeFails() {
        for (int length = 3; length <= 29; ++length) {
            const auto good = BuildFrame(length);
            QVERIFY(CheckFrame(good.data(), good.size()));
            for (size_t offset = 0; offset < good.size(); ++offset) {
                for (int delta = 1; delta < 256; ++delta) {
                    auto bad = good;
                    bad[offset] = static_cast<uint8_t>(bad[offset] + delta);
                    QVERIFY2(!CheckFrame(bad.data(), bad.size()),
                             qPrintable(
                                 QString("L %1 offset %2 +%3").arg(length).arg(offset).arg(delta)));
                }
            }
        }
    }

    void anyCodeByteWithRecomputedChecksumPasses() {
        for (int length : {3, 16, 29}) {
            for (int code = 0; code < 256; ++code) {
                auto frame = BuildFrame(length);
                frame[3] = static_cast<uint8_t>(code);
                SetChecksum(frame.data());
                QVERIFY(CheckFrame(frame.data(), frame.size()));
            }
        }
    }

    // The buffer already holds the whole reply (as after an earlier identical one): only the
    // bytes counted as received may be judged, and once all are in the verdict is the whole's.
    void replyInTwoPiecesIsJudgedLikeTheWhole_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("valid");
        QTest::newRow("model reply") << Hex("55 AA 04 10 05 12 00 2B") << true;
        QTest::newRow("bad checksum") << Hex("55 AA 03 04 05 00 0D") << false;
        QTest::newRow("longest") << LongestReply << true;
    }
    void replyInTwoPiecesIsJudgedLikeTheWhole() {
        QFETCH(QByteArray, reply);
        QFETCH(bool, valid);
        const auto buffer = Received(reply);
        for (int firstPiece = 0; firstPiece < reply.size(); ++firstPiece) {
            QVERIFY2(!CheckFrame(buffer.data(), firstPiece),
                     qPrintable(QString::number(firstPiece)));
        }
        QCOMPARE(CheckFrame(buffer.data(), reply.size()), valid);
    }

    void isWriteAckComparesSixBytes_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("ack");
        QTest::newRow("ack") << Hex("55 AA 02 20 00 22") << true;
        QTest::newRow("ack and more") << Hex("55 AA 02 20 00 22 55 AA") << true;
        QTest::newRow("wrong checksum") << Hex("55 AA 02 20 00 23") << false;
        QTest::newRow("valid frame, other code") << Hex("55 AA 03 04 00 00 07") << false;
        QTest::newRow("stray byte ahead") << Hex("00 55 AA 02 20 00 22") << false;
    }
    void isWriteAckComparesSixBytes() {
        QFETCH(QByteArray, reply);
        QFETCH(bool, ack);
        QCOMPARE(IsWriteAck(Received(reply).data(), reply.size()), ack);
    }

    void isWriteAckNeedsAllSixReceived() {
        std::array<uint8_t, 100> buffer{};
        std::copy(std::begin(WriteAck), std::end(WriteAck), buffer.begin());
        QVERIFY(!IsWriteAck(buffer.data(), 5));
        QVERIFY(IsWriteAck(buffer.data(), 6));
    }

    void bytesToHex_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("none") << QByteArray() << QByteArray("");
        QTest::newRow("0A FF") << Hex("0A FF") << QByteArray("0A FF ");
        QTest::newRow("55 AA 03") << Hex("55 AA 03") << QByteArray("55 AA 03 ");
        QTest::newRow("09 10 BC DE") << Hex("09 10 BC DE") << QByteArray("09 10 BC DE ");
    }
    void bytesToHex() {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, text);
        std::array<char, 32> out;
        out.fill('x');
        const int n = bytes.size();
        QCOMPARE(BytesToHex(reinterpret_cast<const uint8_t*>(bytes.data()), n, out.data()), 3 * n);
        QCOMPARE(QByteArray(out.data(), 3 * n + 2), text + '\0' + 'x');
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
        QTest::newRow("eF") << QByteArray("eF") << 0xEF;
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
