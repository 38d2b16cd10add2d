#include <QtTest>
#include <limits>

#include "datatest/recdisplay.h"

class TestRecDisplay : public QObject {
    Q_OBJECT
  private slots:
    void addsToByteCounts_data();
    void addsToByteCounts();
};

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

QTEST_APPLESS_MAIN(TestRecDisplay)
#include "test_recdisplay.moc"
