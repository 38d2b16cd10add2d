#include <QTest>

#include "factory/testframes.h"

class TestFramesTest : public QObject {
    Q_OBJECT
  private slots:
    void dumpWaitCoversTheWire_data() {
        QTest::addColumn<int>("waitFactor");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("parity");
        QTest::addColumn<int>("stopBits");
        QTest::addColumn<int>("ms");
        // 14 bytes (request and reply of 7) of 10 bits, or 11 with parity or a second stop bit.
        QTest::newRow("9600 N") << 10 << 9600 << int(ParityMode::None) << 1 << 25;
        QTest::newRow("9600 E") << 10 << 9600 << int(ParityMode::Even) << 1 << 27;
        QTest::newRow("9600 N 2 stop") << 10 << 9600 << int(ParityMode::None) << 2 << 27;
        QTest::newRow("115200 O") << 10 << 115200 << int(ParityMode::Odd) << 1 << 12;
        QTest::newRow("600 N") << 12 << 600 << int(ParityMode::None) << 1 << 246;
        QTest::newRow("factor 3 at 9600") << 3 << 9600 << int(ParityMode::None) << 1 << 18;
        QTest::newRow("rate unknown") << 10 << -1 << int(ParityMode::None) << 1 << 10;
    }
    void dumpWaitCoversTheWire() {
        QFETCH(int, waitFactor);
        QFETCH(int, rate);
        QFETCH(int, parity);
        QFETCH(int, stopBits);
        QFETCH(int, ms);
        const LineSettings line{rate, ParityMode(parity), stopBits};
        QCOMPARE(DumpWaitMs(uint8_t(waitFactor), line, 7), ms);
    }

    void dumpTextKeepsThreeCharactersPerRegister() {
        std::array<std::optional<uint8_t>, DumpRegisterCount> values;
        QCOMPARE(DumpText(values), QStringLiteral("-- ").repeated(33));
        values[0] = 0x00;
        values[1] = 0xAF;
        values[32] = 0x7E;
        const QString text = DumpText(values);
        QCOMPARE(text.size(), 99);
        QVERIFY(text.startsWith(QStringLiteral("00 AF -- ")));
        QVERIFY(text.endsWith(QStringLiteral("-- 7E ")));
    }

    void powerLevelTextIsOneCharacter_data() {
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("text");
        QTest::newRow("5") << 5 << "5";
        QTest::newRow("10") << 10 << ":";
        QTest::newRow("207") << 207 << QString(QChar(0xFF));
        QTest::newRow("208") << 208 << "";
        QTest::newRow("209") << 209 << QString(QChar(0x01));
    }
    void powerLevelTextIsOneCharacter() {
        QFETCH(int, result);
        QFETCH(QString, text);
        QCOMPARE(PowerLevelText(uint8_t(result)), text);
    }
};

QTEST_MAIN(TestFramesTest)
#include "testframes_test.moc"
