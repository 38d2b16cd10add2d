#include <QTest>

#include "datatest/checksum.h"
#include "radio/frame.h"

Q_DECLARE_METATYPE(Checksum)

// The checksums against the published check values of "123456789", and the bytes each puts on
// the wire after a send.
class TestChecksum : public QObject {
    Q_OBJECT

  private slots:
    void checkValues() {
        const QByteArray check("123456789");
        QCOMPARE(Crc16Modbus(check), uint16_t(0x4B37));
        QCOMPARE(Crc16CcittFalse(check), uint16_t(0x29B1));
        QCOMPARE(Crc32(check), uint32_t(0xCBF43926));
        QCOMPARE(Xor8(check), uint8_t(0x31));
        QCOMPARE(RadioSum16(check), uint16_t(0x01DD));
    }

    void wireOrder_data() {
        QTest::addColumn<Checksum>("checksum");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("none") << Checksum::None << QByteArray();
        QTest::newRow("radio sum, high byte first")
            << Checksum::RadioSum16 << QByteArray("\x01\xDD");
        QTest::newRow("modbus, low byte first") << Checksum::Crc16Modbus << QByteArray("\x37\x4B");
        QTest::newRow("ccitt-false, high byte first")
            << Checksum::Crc16CcittFalse << QByteArray("\x29\xB1");
        QTest::newRow("crc-32, low byte first")
            << Checksum::Crc32 << QByteArray("\x26\x39\xF4\xCB");
        QTest::newRow("xor-8, one byte") << Checksum::Xor8 << QByteArray("\x31");
    }
    void wireOrder() {
        QFETCH(Checksum, checksum);
        QFETCH(QByteArray, bytes);
        QCOMPARE(ChecksumBytes(checksum, "123456789"), bytes);
    }

    // A Modbus request as devices expect it: read holding registers 0 and 1 of unit 1.
    void modbusRequest() {
        const QByteArray request = QByteArray::fromHex("010300000002");
        QCOMPARE(ChecksumBytes(Checksum::Crc16Modbus, request), QByteArray::fromHex("C40B"));
    }

    // The radio's sum of a typed frame is the sum its own frames carry: the header is not
    // summed, and a large sum keeps its low 16 bits.
    void radioSumOfFrames() {
        for (const auto& request : ReadCmdTable) {
            const QByteArray frame(reinterpret_cast<const char*>(request), ReadRequestSize);
            QCOMPARE(ChecksumBytes(Checksum::RadioSum16, frame.first(ReadRequestSize - 2)),
                     frame.last(2));
        }
        QCOMPARE(RadioSum16(QByteArray::fromHex("55")), uint16_t(0x55));
        QCOMPARE(RadioSum16(QByteArray::fromHex("AA55")), uint16_t(0xFF));
        QCOMPARE(RadioSum16(QByteArray(300, '\xFF')), uint16_t((300 * 0xFF) & 0xFFFF));
    }

    void keys() {
        for (const Checksum checksum : AllChecksums) {
            QCOMPARE(ChecksumFromKey(ChecksumKey(checksum)), checksum);
        }
        QCOMPARE(ChecksumKey(Checksum::Crc16CcittFalse), QStringLiteral("crc16-ccitt-false"));
        QCOMPARE(ChecksumFromKey(QStringLiteral("crc16")), std::nullopt);
    }
};

QTEST_APPLESS_MAIN(TestChecksum)
#include "test_checksum.moc"
