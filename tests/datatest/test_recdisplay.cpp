#include <QtTest>
#include <limits>
#include <vector>

#include "datatest/recdisplay.h"

using Sizes = std::vector<uint32_t>;
Q_DECLARE_METATYPE(Sizes)

class TestRecDisplay : public QObject {
    Q_OBJECT
  private slots:
    void splitsWaitingBytes_data();
    void splitsWaitingBytes();
    void writesHexText_data();
    void writesHexText();
    void addsToByteCounts_data();
    void addsToByteCounts();
    void clearsAboveTheLineLimit_data();
    void clearsAboveTheLineLimit();
};

void TestRecDisplay::splitsWaitingBytes_data() {
    QTest::addColumn<uint32_t>("waiting");
    QTest::addColumn<Sizes>("reads");
    QTest::newRow("none") << 0u << Sizes{};
    QTest::newRow("one") << 1u << Sizes{1};
    QTest::newRow("1024 in one read") << 1024u << Sizes{1024};
    QTest::newRow("1025") << 1025u << Sizes{1024, 1};
    QTest::newRow("3000") << 3000u << Sizes{1024, 1024, 952};
    QTest::newRow("4096") << 4096u << Sizes{1024, 1024, 1024, 1024};
}

void TestRecDisplay::splitsWaitingBytes() {
    QFETCH(uint32_t, waiting);
    QFETCH(Sizes, reads);
    QCOMPARE(RecReadSizes(waiting), reads);
}

void TestRecDisplay::writesHexText_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QByteArray() << "";
    QTest::newRow("zero byte and CR") << QByteArray("\x41\x00\x0D", 3) << "41 00 0D ";
    QTest::newRow("high bytes") << QByteArray("\xAB\xFF\x10") << "AB FF 10 ";
    QTest::newRow("longer than one read")
        << QByteArray(1500, '\x7E') << QString("7E ").repeated(1500);
}

void TestRecDisplay::writesHexText() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(RecHexText(bytes), text);
}

void TestRecDisplay::addsToByteCounts_data() {
    QTest::addColumn<int32_t>("count");
    QTest::addColumn<uint32_t>("added");
    QTest::addColumn<int32_t>("result");
    constexpr int32_t max = std::numeric_limits<int32_t>::max();
    constexpr int32_t min = std::numeric_limits<int32_t>::min();
    QTest::newRow("from zero") << 0 << 1024u << 1024;
    QTest::newRow("nothing") << 77 << 0u << 77;
    QTest::newRow("up to the largest") << max - 10 << 10u << max;
    QTest::newRow("past the largest wraps") << max << 1u << min;
    QTest::newRow("a full read past the largest") << max - 23 << 1024u << min + 1000;
}

void TestRecDisplay::addsToByteCounts() {
    QFETCH(int32_t, count);
    QFETCH(uint32_t, added);
    QFETCH(int32_t, result);
    QCOMPARE(AddByteCount(count, added), result);
}

void TestRecDisplay::clearsAboveTheLineLimit_data() {
    QTest::addColumn<bool>("autoClear");
    QTest::addColumn<int>("lines");
    QTest::addColumn<bool>("clears");
    QTest::newRow("auto, 100 lines stay") << true << 100 << false;
    QTest::newRow("auto, 101 lines clear") << true << 101 << true;
    QTest::newRow("manual, 101 lines stay") << false << 101 << false;
    QTest::newRow("manual, 1000 lines stay") << false << 1000 << false;
    QTest::newRow("manual, 1001 lines clear") << false << 1001 << true;
}

void TestRecDisplay::clearsAboveTheLineLimit() {
    QFETCH(bool, autoClear);
    QFETCH(int, lines);
    QFETCH(bool, clears);
    QCOMPARE(lines > RecAutoClearLines(autoClear), clears);
}

QTEST_APPLESS_MAIN(TestRecDisplay)
#include "test_recdisplay.moc"
