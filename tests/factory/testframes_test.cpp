#include <QTest>

#include "factory/testframes.h"

class TestFramesTest : public QObject {
    Q_OBJECT
  private slots:
    // The length byte says when a reply is whole; anything else waits for the time-out.
    void replyIsCompleteWhenItsLengthHasArrived_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("complete");
        QTest::newRow("whole") << QByteArray::fromHex("55AA0311550069") << true;
        QTest::newRow("one short") << QByteArray::fromHex("55AA03115500") << false;
        QTest::newRow("whole and more") << QByteArray::fromHex("55AA031155006900") << true;
        QTest::newRow("length byte missing") << QByteArray::fromHex("55AA") << false;
        QTest::newRow("no header") << QByteArray::fromHex("AA55031155006900") << false;
        QTest::newRow("register write") << QByteArray::fromHex("55AA048805800111") << true;
    }
    void replyIsCompleteWhenItsLengthHasArrived() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, complete);
        QCOMPARE(ReplyComplete(reinterpret_cast<const uint8_t*>(bytes.constData()),
                               size_t(bytes.size())),
                 complete);
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
