#include <QTest>

#include "core/escape.h"

// Text from files and devices goes into messages with its control characters made visible.
class EscapeTest : public QObject {
    Q_OBJECT

  private slots:
    void controlCharactersBecomeVisible_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("clear screen, cursor home")
            << QStringLiteral("a\x1b[2J\x1b[Hb") << QStringLiteral(R"(a\x1b[2J\x1b[Hb)");
        QTest::newRow("window title (OSC ended by BEL)")
            << QStringLiteral("\x1b]0;owned\x07") << QStringLiteral(R"(\x1b]0;owned\x07)");
        QTest::newRow("C1 control sequence introducer")
            << QStringLiteral("\u009b2J") << QStringLiteral(R"(\x9b2J)");
        QTest::newRow("line breaks, tab, NUL")
            << QStringLiteral("1\n2\r3\t") + QChar(0) << QStringLiteral(R"(1\x0a2\x0d3\x09\x00)");
        QTest::newRow("either side of each range")
            << QStringLiteral("\u001f \u007e\u007f\u0080\u009f\u00a0")
            << QStringLiteral(R"(\x1f ~\x7f\x80\x9f)") + QChar(0xa0);
        QTest::newRow("backslash, Chinese and emoji kept")
            << QStringLiteral("C:\\profiles\\站点 \U0001F4E1")
            << QStringLiteral("C:\\profiles\\站点 \U0001F4E1");
    }
    void controlCharactersBecomeVisible() {
        QFETCH(QString, text);
        QTEST(EscapeControlCharacters(text), "shown");
    }

    void shortenedKeepsTheStart() {
        QCOMPARE(Shortened(u"channel", 7), QStringLiteral("channel"));
        QCOMPARE(Shortened(u"channels", 7), QStringLiteral("channel..."));
        QCOMPARE(Shortened(u"", 0), QString());
    }
};

QTEST_GUILESS_MAIN(EscapeTest)
#include "test_escape.moc"
