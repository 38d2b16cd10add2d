// tvrctl apply as a production station, over tvrsim radios on pseudo-terminals and a SQLite
// file: IDs from a range never given twice, a used-up range fails the radio unwritten, a link
// test against a paired radio passes over clean air and fails over lossy air, and every radio
// is in the history. Every process is waited for with a bound.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include "tests/support/processes.h"

namespace {

constexpr int CommandMs = 60000;

ProcessRun Tvrctl(const QStringList& args) {
    return RunProcess(QStringLiteral(TVRCTL_PATH), args, CommandMs);
}

// The records of the history, newest first.
QList<QJsonObject> History(const QString& database) {
    const ProcessRun run = Tvrctl({"history", "--db", database, "--json"});
    QList<QJsonObject> records;
    for (const QString& line : run.out.split(u'\n', Qt::SkipEmptyParts))
        records << QJsonDocument::fromJson(line.toUtf8()).object();
    return records;
}

}  // namespace

class TvrctlRecordedApplyTest : public QObject {
    Q_OBJECT

    RadioFolder folder_{QStringLiteral(TVRSIM_PATH)};
    QString profile_;
    QString database_;

  private slots:
    void init() {
        QVERIFY(folder_.begin());
        profile_ = folder_.path(QStringLiteral("site.json"));
        database_ = folder_.path(QStringLiteral("records.sqlite"));
        QFile file(profile_);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(R"({"format": 1, "channel": 5})");
    }
    void cleanup() { folder_.end(); }

    void idsFromARangeAndEveryRadioRecorded() {
        const QString a = folder_.radio("a");
        const QString b = folder_.radio("b");
        const QString c = folder_.radio("c");
        const ProcessRun run = Tvrctl({"apply", profile_, "-p", a, "-p", b, "-p", c, "--db",
                                       database_, "--ids", "0100-0101", "--station", "line-2"});
        // Two IDs for three radios: one fails unwritten.
        QCOMPARE(run.status, 10);
        QCOMPARE(run.out.count(QStringLiteral(": PASS, ID 01")), 2);
        QVERIFY2(run.err.contains(QStringLiteral(": FAIL id_unavailable")), qPrintable(run.err));
        QVERIFY(run.out.contains(QStringLiteral("2 of 3 radios passed")));

        const QList<QJsonObject> records = History(database_);
        QCOMPARE(records.size(), 3);
        QStringList ids;
        for (const QJsonObject& record : records) {
            QCOMPARE(record["station"].toString(), QStringLiteral("line-2"));
            if (record["passed"].toBool()) ids << record["id_given"].toString();
        }
        ids.sort();
        QCOMPARE(ids, (QStringList{"0100", "0101"}));

        // A second run gets no ID the first gave.
        const QString d = folder_.radio("d");
        QCOMPARE(
            Tvrctl({"apply", profile_, "-p", d, "--db", database_, "--ids", "0100-0102"}).status,
            0);
        QCOMPARE(History(database_).first()["id_given"].toString(), QStringLiteral("0102"));
    }

    void aLinkTestAgainstAPairedRadio() {
        for (const bool lossy : {false, true}) {
            const QString a = folder_.path(lossy ? "la" : "a");
            const QString b = folder_.path(lossy ? "lb" : "b");
            // The reference is on the channel the profile gives.
            QStringList air{"--channel", "5"};
            if (lossy)
                air << "--loss"
                    << "0.3";
            QVERIFY(folder_.pair(lossy ? "la" : "a", lossy ? "lb" : "b", air));
            const ProcessRun run = Tvrctl(
                {"apply", profile_, "-p", a, "--db", database_, "--link-test", b, "--frames", "3"});
            QCOMPARE(run.status, lossy ? 8 : 0);
            const QJsonObject link = History(database_).first()["link"].toObject();
            QCOMPARE(link["sent"].toInt(), 3);
            QCOMPARE(link["matched"].toInt() == 3, !lossy);
        }
    }
};

QTEST_MAIN(TvrctlRecordedApplyTest)
#include "tvrctl_recorded_apply_test.moc"
