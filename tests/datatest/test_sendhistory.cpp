#include <QTest>

#include "datatest/sendhistory.h"

// Recalling sent texts with Up and Down.
class TestSendHistory : public QObject {
    Q_OBJECT

    static SendHistory With(const QStringList& texts) {
        SendHistory history;
        for (const QString& text : texts) history.add(text);
        return history;
    }

  private slots:
    void upAndDownWalkTheEntries() {
        SendHistory history = With({"one", "two", "three"});
        QCOMPARE(history.newer(), std::nullopt);
        QCOMPARE(history.older("typing"), QStringLiteral("three"));
        QCOMPARE(history.older("three"), QStringLiteral("two"));
        QCOMPARE(history.older("two"), QStringLiteral("one"));
        QCOMPARE(history.older("one"), std::nullopt);
        QCOMPARE(history.newer(), QStringLiteral("two"));
        QCOMPARE(history.newer(), QStringLiteral("three"));
        // Past the newest, what was being typed comes back.
        QCOMPARE(history.newer(), QStringLiteral("typing"));
        QCOMPARE(history.newer(), std::nullopt);
    }

    void emptyHistoryRecallsNothing() {
        SendHistory history;
        QCOMPARE(history.older("x"), std::nullopt);
        QCOMPARE(history.newer(), std::nullopt);
    }

    void aSendStartsBrowsingOver() {
        SendHistory history = With({"one", "two"});
        QCOMPARE(history.older(""), QStringLiteral("two"));
        QCOMPARE(history.older("two"), QStringLiteral("one"));
        history.add("one");
        QCOMPARE(history.entries(), (QStringList{"two", "one"}));
        QCOMPARE(history.older("new"), QStringLiteral("one"));
    }

    void repeatsEmptyAndLongTextsAreNotKept() {
        SendHistory history =
            With({"a", "b", "a", "", QString(SendHistory::LongestEntry + 1, 'x')});
        QCOMPARE(history.entries(), (QStringList{"b", "a"}));
    }

    void keepsTheNewestFifty() {
        SendHistory history;
        for (int i = 0; i < 60; ++i) history.add(QString::number(i));
        QCOMPARE(history.entries().size(), SendHistory::MostEntries);
        QCOMPARE(history.entries().first(), QStringLiteral("10"));
        QCOMPARE(history.entries().last(), QStringLiteral("59"));
    }

    // The remembered list is read back the same, and a tampered one is cut down to size.
    void entriesFromThePreferences() {
        SendHistory history;
        QStringList stored;
        for (int i = 0; i < 70; ++i) stored << QString::number(i);
        stored << ""
               << "69";
        history.setEntries(stored);
        QCOMPARE(history.entries().size(), SendHistory::MostEntries);
        QCOMPARE(history.entries().last(), QStringLiteral("69"));
        QCOMPARE(history.older(""), QStringLiteral("69"));
    }
};

QTEST_APPLESS_MAIN(TestSendHistory)
#include "test_sendhistory.moc"
