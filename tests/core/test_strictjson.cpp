#include <QTest>

#include "core/strictjson.h"

// Only RFC 8259 JSON with no key twice in an object passes; the fault says where and why.
class StrictJsonTest : public QObject {
    Q_OBJECT

  private slots:
    void acceptsStrictJson_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("profile") << QByteArray(R"({"format": 1, "channel": 7, "id": "0042"})");
        QTest::newRow("every kind of value") << QByteArray(
            "{\"a\": [0, -0.5, 1e3, 2E-2, true, false, null, \"\\\"\\\\\\/\\b\\f\\n\\r\\t\"]}");
        QTest::newRow("escaped control character and surrogate pair")
            << QByteArray("{\"\\u001b[2J\": \"\\ud83d\\udce1\"}");
        QTest::newRow("the same key in different objects")
            << QByteArray(R"({"a": {"a": 1}, "b": [{"a": 1}, {"a": 2}]})");
        QTest::newRow("byte order mark, skipped") << QByteArray("\xef\xbb\xbf{}");
        QTest::newRow("a value that is not an object") << QByteArray(" 5\r\n");
    }
    void acceptsStrictJson() {
        QFETCH(QByteArray, text);
        const std::optional<JsonFault> fault = StrictJsonFault(text);
        QVERIFY2(!fault, fault ? qPrintable(fault->reason) : "");
    }

    // Each of these Qt's parser took, or took other than as written.
    void refusesWhatIsNotStrictJson_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<qsizetype>("offset");
        QTest::addColumn<QString>("reason");
        QTest::newRow("leading dot")
            << QByteArray(R"({"channel": .7e1})") << qsizetype(12) << "invalid literal";
        QTest::newRow("trailing dot")
            << QByteArray(R"({"channel": 7.})") << qsizetype(14) << "expected digit after '.'";
        QTest::newRow("leading zero")
            << QByteArray(R"({"channel": 007})") << qsizetype(13) << "unexpected number literal";
        QTest::newRow("plus sign")
            << QByteArray(R"({"channel": +7})") << qsizetype(12) << "invalid literal";
        QTest::newRow("unknown escape, a whole document")
            << QByteArray("\"\\4321\"") << qsizetype(2) << "forbidden character after backslash";
        QTest::newRow("unknown escape in a value")
            << QByteArray("{\"id\": \"\\4321\"}") << qsizetype(9)
            << "forbidden character after backslash";
        QTest::newRow("lone surrogate")
            << QByteArray("{\"id\": \"\\ud800\"}") << qsizetype(14) << "surrogate U+D800..U+DBFF";
        QTest::newRow("NaN") << QByteArray(R"({"channel": NaN})") << qsizetype(12)
                             << "invalid literal";
        QTest::newRow("Infinity") << QByteArray(R"({"channel": Infinity})") << qsizetype(12)
                                  << "invalid literal";
        QTest::newRow("minus Infinity")
            << QByteArray(R"({"channel": -Infinity})") << qsizetype(13) << "expected digit";
        QTest::newRow("number too large")
            << QByteArray(R"({"channel": 1e400})") << qsizetype(16) << "number overflow";
        QTest::newRow("trailing comma in an object")
            << QByteArray("{\"format\": 1,\n}") << qsizetype(14) << "unexpected '}'";
        QTest::newRow("trailing comma in an array")
            << QByteArray(R"([1, 2,])") << qsizetype(6) << "unexpected ']'";
        QTest::newRow("line comment")
            << QByteArray("{\"format\": 1} // site A") << qsizetype(14) << "invalid literal";
        QTest::newRow("block comment")
            << QByteArray("/* site A */ {}") << qsizetype(0) << "invalid literal";
        QTest::newRow("single quotes")
            << QByteArray("{'a': 1}") << qsizetype(1) << "invalid literal";
        QTest::newRow("a second value")
            << QByteArray("{}\n{}") << qsizetype(3) << "unexpected '{'; expected end of input";
        QTest::newRow("raw control character")
            << QByteArray("{\"a\": \"\x1b[2J\"}") << qsizetype(7) << "must be escaped to \\u001B";
        QTest::newRow("invalid UTF-8 in a string")
            << QByteArray("{\"a\": \"\xff\"}") << qsizetype(7) << "ill-formed UTF-8";
        QTest::newRow("invalid UTF-8 outside a string")
            << QByteArray("\xff{}") << qsizetype(0) << "invalid literal";
        QTest::newRow("broken byte order mark")
            << QByteArray("\xef\xbb{}") << qsizetype(2) << "invalid BOM";
        QTest::newRow("byte order mark after the start")
            << QByteArray(" \xef\xbb\xbf{}") << qsizetype(1) << "invalid literal";
        QTest::newRow("zero byte after the value")
            << QByteArray("{}\0{", 4) << qsizetype(2) << "unexpected zero byte";
        QTest::newRow("zero byte in a string")
            << QByteArray("[\"a\0\"]", 6) << qsizetype(3) << "unexpected zero byte";
        QTest::newRow("empty") << QByteArray() << qsizetype(0) << "unexpected end of input";
        QTest::newRow("missing brace")
            << QByteArray("{\"format\": 1\n") << qsizetype(13) << "unexpected end of input";
        QTest::newRow("duplicate key") << QByteArray(R"({"channel": 1, "channel": 2})")
                                       << qsizetype(23) << R"(duplicate key "channel")";
        QTest::newRow("duplicate key, nested")
            << QByteArray("{\"a\": [{\"b\": {}, \"c\": 1,\n \"b\": 2}]}") << qsizetype(28)
            << R"(duplicate key "b")";
        QTest::newRow("duplicate key, one of them escaped")
            << QByteArray("{\"id\": 1, \"\\u0069d\": 2}") << qsizetype(18)
            << R"(duplicate key "id")";
    }
    void refusesWhatIsNotStrictJson() {
        QFETCH(QByteArray, text);
        const std::optional<JsonFault> fault = StrictJsonFault(text);
        QVERIFY(fault);
        QFETCH(QString, reason);
        QVERIFY2(fault->reason.contains(reason), qPrintable(fault->reason));
        QTEST(fault->offset, "offset");
    }

    // A reason quotes at most the last 40 characters of what was read, where the fault is, and
    // at most 40 of a duplicate key.
    void longTextIsQuotedShort() {
        const QByteArray longText(5000, 'x');
        const std::optional<JsonFault> unescaped = StrictJsonFault("[\"" + longText + "\x01\"]");
        QVERIFY(unescaped);
        QVERIFY2(unescaped->reason.endsWith("'..." + QString(32, u'x') + "<U+0001>'"),
                 qPrintable(unescaped->reason));
        const std::optional<JsonFault> duplicate =
            StrictJsonFault("{\"" + longText + "\": 1, \"" + longText + "\": 2}");
        QVERIFY(duplicate);
        QCOMPARE(duplicate->reason, "duplicate key \"" + QString(40, u'x') + "...\"");
    }
};

QTEST_GUILESS_MAIN(StrictJsonTest)
#include "test_strictjson.moc"
