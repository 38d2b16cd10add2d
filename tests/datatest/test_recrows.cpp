#include <QtTest>

#include "datatest/recrows.h"

namespace {

// Every character one unit wide, a CJK ideograph two, so rows are easy to count by hand.
double UnitAdvance(char32_t c) {
    return c >= 0x4E00 && c <= 0x9FFF ? 2.0 : 1.0;
}

QStringList Wrapped(const QString& lastRow, const QString& text, double width,
                    qsizetype maxRows = 1000) {
    QStringList rows{lastRow};
    RecRowWrapper(UnitAdvance, width).Wrap(rows, text, maxRows);
    return rows;
}

}  // namespace

class TestRecRows : public QObject {
    Q_OBJECT
  private slots:
    void normalizesLineBreaks_data();
    void normalizesLineBreaks();
    void wrapsLikeTheArea_data();
    void wrapsLikeTheArea();
    void stopsPastMaxRows();
    void countsLinesAndClears_data();
    void countsLinesAndClears();
    void clearingDropsTheWholeRead();
};

void TestRecRows::normalizesLineBreaks_data() {
    QTest::addColumn<QStringList>("reads");
    QTest::addColumn<QString>("text");
    QTest::newRow("CR LF") << QStringList{"a\r\nb"} << "a\nb";
    QTest::newRow("LF alone") << QStringList{"a\nb\n"} << "a\nb\n";
    QTest::newRow("CR alone") << QStringList{"a\rb"} << "a\nb";
    QTest::newRow("CR LF split over two reads") << QStringList{"a\r", "\nb"} << "a\nb";
    QTest::newRow("two CR then LF") << QStringList{"a\r\r", "\n"} << "a\n\n";
    QTest::newRow("LF LF is two lines") << QStringList{"\n", "\n"} << "\n\n";
    QTest::newRow("LF CR is two lines") << QStringList{"a\n\rb"} << "a\n\nb";
}

void TestRecRows::normalizesLineBreaks() {
    QFETCH(QStringList, reads);
    QFETCH(QString, text);
    RecLineBreaks breaks;
    QString out;
    for (const QString& read : reads) out += breaks.Normalize(read);
    QCOMPARE(out, text);
}

void TestRecRows::wrapsLikeTheArea_data() {
    QTest::addColumn<QString>("lastRow");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("width");
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("fits") << ""
                          << "abc def" << 10.0 << QStringList{"abc def"};
    QTest::newRow("breaks after the last space that fits")
        << ""
        << "abc def ghi" << 9.0 << QStringList{"abc def ", "ghi"};
    QTest::newRow("a space may hang past the edge")
        << ""
        << "abcd efgh" << 4.0 << QStringList{"abcd ", "efgh"};
    QTest::newRow("word wider than a row breaks anywhere")
        << ""
        << "abcdefghij" << 4.0 << QStringList{"abcd", "efgh", "ij"};
    QTest::newRow("hex pairs stay whole, three to a row of 9")
        << ""
        << "41 42 43 44 45 46 47 " << 9.0 << QStringList{"41 42 43 ", "44 45 46 ", "47 "};
    QTest::newRow("hex pairs, width 10 still three")
        << ""
        << "41 42 43 44 " << 10.0 << QStringList{"41 42 43 ", "44 "};
    QTest::newRow("continues the last row") << "41 42 "
                                            << "43 44 " << 9.0 << QStringList{"41 42 43 ", "44 "};
    QTest::newRow("word in progress moves when it grows too long")
        << "ab cd"
        << "ef" << 5.0 << QStringList{"ab ", "cdef"};
    QTest::newRow("wide characters count twice")
        << "" << QString::fromUtf8("中文中文") << 5.0
        << QStringList{QString::fromUtf8("中文"), QString::fromUtf8("中文")};
    QTest::newRow("surrogate pair is never split")
        << "a" << QString::fromUtf8("\U0001F600b") << 1.0
        << QStringList{"a", QString::fromUtf8("\U0001F600"), "b"};
    QTest::newRow("one character wider than the row still goes in")
        << "" << QString::fromUtf8("中a") << 1.0 << QStringList{QString::fromUtf8("中"), "a"};
    QTest::newRow("nothing appended") << "abc"
                                      << "" << 2.0 << QStringList{"abc"};
}

void TestRecRows::wrapsLikeTheArea() {
    QFETCH(QString, lastRow);
    QFETCH(QString, text);
    QFETCH(double, width);
    QFETCH(QStringList, rows);
    QCOMPARE(Wrapped(lastRow, text, width), rows);
}

void TestRecRows::stopsPastMaxRows() {
    QStringList rows{QString()};
    const RecRowWrapper wrapper(UnitAdvance, 3.0);
    QVERIFY(!wrapper.Wrap(rows, QString(3000, u'x'), 4));
    QCOMPARE(rows.size(), 5);  // stopped once a fifth row was full
    QStringList fits{QString()};
    QVERIFY(wrapper.Wrap(fits, QString(12, u'x'), 4));
    QCOMPARE(fits.size(), 4);
}

void TestRecRows::countsLinesAndClears_data() {
    QTest::addColumn<int>("rowsBefore");
    QTest::addColumn<QString>("lastRow");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("limit");
    QTest::addColumn<bool>("cleared");
    QTest::addColumn<int>("lines");
    QTest::newRow("empty area, one line") << 0 << ""
                                          << "abc" << 100 << false << 1;
    QTest::newRow("final break is no line") << 0 << ""
                                            << "abc\n"
                                            << 100 << false << 1;
    QTest::newRow("blank line in between counts") << 0 << ""
                                                  << "a\n\nb" << 100 << false << 3;
    QTest::newRow("exactly 100 stays") << 98 << "x"
                                       << "\ny\n"
                                       << 100 << false << 100;
    QTest::newRow("101 clears") << 99 << "x"
                                << "\ny" << 100 << true << 0;
    QTest::newRow("wrapping counts") << 97 << "" << QString(40, u'w') << 100 << true << 0;
    QTest::newRow("wrapped to exactly the limit")
        << 97 << "" << QString(30, u'w') << 100 << false << 100;
    QTest::newRow("1000 stays without auto clear") << 999 << ""
                                                   << "last" << 1000 << false << 1000;
    QTest::newRow("1001 clears without auto clear") << 999 << ""
                                                    << "a\nb" << 1000 << true << 0;
}

void TestRecRows::countsLinesAndClears() {
    QFETCH(int, rowsBefore);
    QFETCH(QString, lastRow);
    QFETCH(QString, text);
    QFETCH(int, limit);
    QFETCH(bool, cleared);
    QFETCH(int, lines);
    const RecRowWrapper wrapper(UnitAdvance, 10.0);
    RecAreaUpdate update(rowsBefore, lastRow, wrapper, limit);
    update.Append(text);
    QCOMPARE(update.Cleared(), cleared);
    QCOMPARE(update.LineCount(), lines);
    if (cleared) QCOMPARE(update.Rows(), QStringList{QString()});
}

void TestRecRows::clearingDropsTheWholeRead() {
    // Three reads: the second brings the area above its limit and goes with it; the third
    // starts the emptied area afresh.
    const RecRowWrapper wrapper(UnitAdvance, 10.0);
    RecAreaUpdate update(0, QString(), wrapper, 3);
    update.Append(u"one\ntwo\n");
    QVERIFY(!update.Cleared());
    update.Append(u"three\nfour\nfive\n");
    QVERIFY(update.Cleared());
    QCOMPARE(update.Rows(), QStringList{QString()});
    update.Append(u"six\nseven");
    QCOMPARE(update.Rows(), (QStringList{"six", "seven"}));
    QCOMPARE(update.LineCount(), 2);
}

QTEST_APPLESS_MAIN(TestRecRows)
#include "test_recrows.moc"
