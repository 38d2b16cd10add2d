#include <QtTest>
#include <optional>

#include "datatest/trttperiod.h"

using OptionalInt = std::optional<int32_t>;
Q_DECLARE_METATYPE(OptionalInt)

class TestTrttPeriod : public QObject {
    Q_OBJECT
  private slots:
    void convertsText_data();
    void convertsText();
    void namesTheWrongText();
    void sendsOnScheduledTicks_data();
    void sendsOnScheduledTicks();
    void reportsEachWrongTextOnce();
};

void TestTrttPeriod::convertsText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<OptionalInt>("value");
    const OptionalInt invalid;
    QTest::newRow("decimal") << "1000" << OptionalInt(1000);
    QTest::newRow("zero") << "0" << OptionalInt(0);
    QTest::newRow("leading zeros") << "0015" << OptionalInt(15);
    QTest::newRow("plus") << "+2000" << OptionalInt(2000);
    QTest::newRow("minus") << "-5" << OptionalInt(-5);
    QTest::newRow("dollar") << "$10" << OptionalInt(16);
    QTest::newRow("x") << "x1f" << OptionalInt(31);
    QTest::newRow("X") << "XFF" << OptionalInt(255);
    QTest::newRow("0x") << "0x3E8" << OptionalInt(1000);
    QTest::newRow("signed hex") << "-$10" << OptionalInt(-16);
    QTest::newRow("leading spaces") << "   750" << OptionalInt(750);
    QTest::newRow("spaces before hex") << "  0x10" << OptionalInt(16);
    QTest::newRow("largest") << "2147483647" << OptionalInt(2147483647);
    QTest::newRow("smallest") << "-2147483648" << OptionalInt(-2147483647 - 1);
    QTest::newRow("largest hex") << "$7FFFFFFF" << OptionalInt(2147483647);
    QTest::newRow("smallest hex") << "-$80000000" << OptionalInt(-2147483647 - 1);
    QTest::newRow("one past largest") << "2147483648" << invalid;
    QTest::newRow("one past smallest") << "-2147483649" << invalid;
    QTest::newRow("hex past largest") << "$80000000" << invalid;
    QTest::newRow("far too long") << "99999999999999999999999" << invalid;
    QTest::newRow("empty") << "" << invalid;
    QTest::newRow("only spaces") << "   " << invalid;
    QTest::newRow("trailing space") << "1000 " << invalid;
    QTest::newRow("letters") << "abc" << invalid;
    QTest::newRow("unit after digits") << "100ms" << invalid;
    QTest::newRow("sign alone") << "-" << invalid;
    QTest::newRow("prefix alone") << "$" << invalid;
    QTest::newRow("0x alone") << "0x" << invalid;
    QTest::newRow("space after sign") << "- 5" << invalid;
    QTest::newRow("two signs") << "+-5" << invalid;
    QTest::newRow("sign after prefix") << "$-10" << invalid;
    QTest::newRow("hex digit in decimal") << "1A" << invalid;
    QTest::newRow("leading tab") << "\t10" << invalid;
    QTest::newRow("decimal point") << "10.5" << invalid;
    QTest::newRow("fullwidth digits") << "１０" << invalid;
}

void TestTrttPeriod::convertsText() {
    QFETCH(QString, text);
    QFETCH(OptionalInt, value);
    QCOMPARE(StrToInt32(text), value);
}

void TestTrttPeriod::namesTheWrongText() {
    QCOMPARE(InvalidIntegerText("abc"), QString("'abc' is not a valid integer value"));
    QCOMPARE(InvalidIntegerText(""), QString("'' is not a valid integer value"));
}

void TestTrttPeriod::sendsOnScheduledTicks_data() {
    QTest::addColumn<int>("period");
    QTest::addColumn<QList<int>>("sendingTicks");  // within the first 210 ticks
    QList<int> everyTick;
    QList<int> everySecond;
    for (int tick = 1; tick <= 210; ++tick) {
        everyTick << tick;
        if (tick % 2 == 0) everySecond << tick;
    }
    QTest::newRow("1000") << 1000 << QList<int>{67, 134, 201};
    QTest::newRow("2000") << 2000 << QList<int>{134};
    QTest::newRow("15") << 15 << everySecond;
    QTest::newRow("29") << 29 << everySecond;
    QTest::newRow("14") << 14 << everyTick;
    QTest::newRow("0") << 0 << everyTick;
    QTest::newRow("-5") << -5 << everyTick;
    QTest::newRow("-30") << -30 << everyTick;
}

void TestTrttPeriod::sendsOnScheduledTicks() {
    QFETCH(int, period);
    QFETCH(QList<int>, sendingTicks);
    // The tick handler's bookkeeping: count, ask, restart the count on a send.
    int32_t trttTickCount = 0;
    QList<int> sent;
    for (int tick = 1; tick <= 210; ++tick) {
        ++trttTickCount;
        if (TrttSendDue(trttTickCount, period)) {
            sent << tick;
            trttTickCount = 0;
        }
    }
    QCOMPARE(sent, sendingTicks);
}

void TestTrttPeriod::reportsEachWrongTextOnce() {
    struct Step {
        QString text;
        OptionalInt period;
        QString error;
    };
    const Step steps[] = {
        {"1000", 1000, ""},
        {"abc", {}, "'abc' is not a valid integer value"},
        {"abc", {}, ""},
        {"abc", {}, ""},
        {"ab", {}, "'ab' is not a valid integer value"},
        {"abc", {}, "'abc' is not a valid integer value"},
        {"2000", 2000, ""},
        {"abc", {}, "'abc' is not a valid integer value"},
        {"", {}, "'' is not a valid integer value"},
        {"", {}, ""},
    };
    PeriodTextReader reader;
    for (const Step& step : steps) {
        const PeriodReading reading = reader.Read(step.text);
        QCOMPARE(reading.periodMs, step.period);
        QCOMPARE(reading.errorToShow, step.error);
    }
}

QTEST_APPLESS_MAIN(TestTrttPeriod)
#include "test_trttperiod.moc"
