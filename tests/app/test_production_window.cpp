// The production window: what it refuses to start with, a run of simulated radios on
// pseudo-terminals shown row by row and recorded into a SQLite file, the history of those
// records, and the words it finds for each failure in both languages.

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "app/productionhistory.h"
#include "app/productiontexts.h"
#include "app/productionwindow.h"
#include "core/language.h"
#include "serial/portopener.h"
#include "tests/support/processes.h"
#include "tests/support/recorders.h"

namespace {

constexpr int RunMs = 30000;

}  // namespace

class ProductionWindowTest : public QObject {
    Q_OBJECT

    MessageRecorder messages_;
    QTemporaryDir data_;
    RadioFolder folder_;
    QList<ListedDevice> listed_;
    std::unique_ptr<TFormProduction> window_;

    void makeWindow() {
        window_ = std::make_unique<TFormProduction>([] { return WriteSelection{}; }, OpenNamedPort,
                                                    [this] { return listed_; }, nullptr);
        window_->EditDatabase->setText(data_.filePath(QStringLiteral("records.sqlite")));
    }

    void choosePorts(const QStringList& devices) {
        window_->CheckEveryAdapter->setChecked(false);
        for (const QString& device : devices) {
            window_->EditAddPort->setText(device);
            window_->ButtonAddPortClick();
        }
    }

  private slots:
    void initTestCase() {
        LanguageFlag = 1;
        QVERIFY(data_.isValid());
    }
    void init() {
        QVERIFY(folder_.begin());
        messages_.shown.clear();
        makeWindow();
    }
    void cleanup() {
        window_.reset();
        folder_.end();
    }

    void badSetupIsRefusedByName_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("said");
        QTest::newRow("firmware") << "EditFirmware"
                                  << "2.x"
                                  << "2.3";
        QTest::newRow("firmware nibble") << "EditFirmware"
                                         << "16.0"
                                         << "2.3";
        QTest::newRow("same id") << "EditSameId"
                                 << "12a4"
                                 << "four digits";
        QTest::newRow("range backwards") << "EditIdRange"
                                         << "0199-0100"
                                         << "0100-0199";
        QTest::newRow("reference missing") << "EditReference"
                                           << ""
                                           << "reference";
        QTest::newRow("reference is a port") << "EditReference"
                                             << "/dev/null"
                                             << "also a port";
        QTest::newRow("station") << "EditStation"
                                 << ""
                                 << "station";
    }
    void badSetupIsRefusedByName() {
        QFETCH(QString, control);
        QFETCH(QString, value);
        QFETCH(QString, said);
        choosePorts({QStringLiteral("/dev/null")});
        window_->RadioSameId->setChecked(control == QLatin1String("EditSameId"));
        window_->RadioNextId->setChecked(control == QLatin1String("EditIdRange"));
        window_->CheckLinkTest->setChecked(control == QLatin1String("EditReference"));
        window_->findChild<QLineEdit*>(control)->setText(value);
        const auto made = window_->planFromControls();
        QVERIFY(!made.plan);
        QVERIFY2(made.error.contains(said), qPrintable(made.error));

        window_->ButtonStartClick();
        QTRY_COMPARE_WITH_TIMEOUT(messages_.shown.size(), 1, 2000);
        QVERIFY(messages_.shown[0].text.contains(made.error));
        QVERIFY(!window_->run());
    }

    void aSetupIsTakenWhole() {
        choosePorts({QStringLiteral("/dev/a"), QStringLiteral("rfc2217://rack:4001")});
        window_->SpinModel->setValue(3);
        window_->EditFirmware->setText(QStringLiteral("1.2"));
        window_->RadioNextId->setChecked(true);
        window_->EditIdRange->setText(QStringLiteral("0100-0199"));
        window_->CheckLinkTest->setChecked(true);
        window_->EditReference->setText(QStringLiteral("/dev/ref"));
        window_->SpinFrames->setValue(30);
        const auto made = window_->planFromControls();
        QVERIFY2(made.plan, qPrintable(made.error));
        QCOMPARE(made.plan->modelCode, 3);
        QCOMPARE(made.plan->lowestFirmware, 0x12);
        QCOMPARE(made.plan->idPolicy, IdPolicy::NextFree);
        QCOMPARE(made.plan->idRange, (IdRange{100, 199}));
        QCOMPARE(made.plan->linkReference, QStringLiteral("/dev/ref"));
        QCOMPARE(made.plan->linkFrames, 30);
        QCOMPARE(window_->chosenDevices(),
                 (QStringList{QStringLiteral("/dev/a"), QStringLiteral("rfc2217://rack:4001")}));
        // A malformed network port is not added.
        window_->EditAddPort->setText(QStringLiteral("rfc2217://rack"));
        window_->ButtonAddPortClick();
        QCOMPARE(window_->ListPorts->count(), 2);

        // "Every USB adapter" takes adapters only, whatever the list shows.
        listed_ = {{QStringLiteral("/dev/ttyS0"), {}},
                   {QStringLiteral("/dev/ttyUSB0"), {}},
                   {QStringLiteral("/dev/ttyX"), QStringLiteral("FT1234")}};
        window_->CheckEveryAdapter->setChecked(true);
        QCOMPARE(window_->chosenDevices(),
                 (QStringList{QStringLiteral("/dev/ttyUSB0"), QStringLiteral("/dev/ttyX")}));
    }

    // Two radios pass with IDs from the range and one of the wrong model fails unwritten; the
    // rows say so, the records are in the file and the history shows and exports them.
    void aRunIsShownRecordedAndFoundInTheHistory() {
        const QStringList devices{folder_.radio("a"), folder_.radio("b", {"--model", "2"}),
                                  folder_.radio("c")};
        choosePorts(devices);
        window_->SpinModel->setValue(3);
        window_->RadioNextId->setChecked(true);
        window_->EditIdRange->setText(QStringLiteral("0100-0199"));
        QSignalSpy finished(window_.get(), &TFormProduction::runFinished);
        // Space starts from anywhere but a line edit.
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        window_->Rows->setFocus();
        QTest::keyClick(window_->Rows, Qt::Key_Space);
        QVERIFY2(finished.wait(RunMs), qPrintable(messages_.texts().join('\n')));

        const auto text = [&](int row, int column) {
            return window_->Rows->item(row, column)->text();
        };
        QCOMPARE(text(0, TFormProduction::ResultColumn), QStringLiteral("PASS"));
        QCOMPARE(text(1, TFormProduction::ResultColumn), QStringLiteral("FAIL"));
        QCOMPARE(text(2, TFormProduction::ResultColumn), QStringLiteral("PASS"));
        QCOMPARE(text(1, TFormProduction::ReasonColumn),
                 QStringLiteral("Wrong model: model 2, expected 3"));
        QCOMPARE(text(1, TFormProduction::ModelColumn), QStringLiteral("TVR-M401.2, model 2"));
        // Each radio's ID as its turn came: the two from the range, never one twice.
        QStringList ids{text(0, TFormProduction::IdColumn), text(2, TFormProduction::IdColumn)};
        ids.sort();
        QCOMPARE(ids.join(','), QStringLiteral("0100,0101"));
        QCOMPARE(window_->LabelSummary->text(), QStringLiteral("PASS 2   FAIL 1   running 0"));
        // The verdicts stand out from the rows' ground.
        QVERIFY(window_->Rows->item(0, TFormProduction::ResultColumn)->background().color() !=
                window_->Rows->item(1, TFormProduction::ResultColumn)->background().color());

        window_->ButtonHistoryClick();
        auto* history = window_->findChild<TFormProductionHistory*>();
        QVERIFY(history);
        QTRY_COMPARE_WITH_TIMEOUT(history->shown().size(), 3, 5000);
        QSignalSpy shown(history, &TFormProductionHistory::shownChanged);
        history->ComboResult->setCurrentIndex(2);
        history->ButtonShowClick();
        QVERIFY(shown.wait(5000));
        QCOMPARE(history->shown().size(), 1);
        QCOMPARE(history->shown()[0].device, devices[1]);
        QCOMPARE(history->shown()[0].reason, QStringLiteral("wrong_model"));

        const QString csv = data_.filePath(QStringLiteral("history.csv"));
        history->ChooseExportFile = [&] { return csv; };
        history->ButtonExportClick();
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll().count("\r\n"), 2);  // the header and the one failure
    }

    // Escape stops a run whose radio never answers, and the row says it was stopped.
    void escapeStops() {
        window_->CheckContinuous->setChecked(true);
        choosePorts({folder_.radio("a", {"--fault", "silent"})});
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        window_->ButtonStartClick();
        QTRY_VERIFY_WITH_TIMEOUT(window_->run() && window_->run()->isRunning(), 5000);
        QSignalSpy finished(window_.get(), &TFormProduction::runFinished);
        QTest::keyClick(window_->Rows, Qt::Key_Escape);
        QVERIFY(finished.wait(5000));
        QCOMPARE(window_->Rows->item(0, TFormProduction::ReasonColumn)->text(),
                 QStringLiteral("Stopped"));
        QVERIFY(window_->ButtonStart->isEnabled());
    }

    // In a continuous run over every adapter, an adapter plugged in gets a row that runs.
    void anAdapterPluggedInGetsARow() {
        listed_ = {{folder_.radio("a"), QStringLiteral("FT0001")}};
        window_->CheckContinuous->setChecked(true);
        window_->ButtonStartClick();
        QTRY_VERIFY_WITH_TIMEOUT(window_->run() && window_->run()->rows().size() == 1, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(window_->run()->rows()[0].passed.value_or(false), RunMs);
        listed_ << ListedDevice{folder_.radio("b"), QStringLiteral("FT0002")};
        window_->AdapterTimerTimer();
        QCOMPARE(window_->Rows->rowCount(), 2);
        QTRY_VERIFY_WITH_TIMEOUT(window_->run()->rows()[1].passed.value_or(false), RunMs);
        QCOMPARE(window_->Rows->item(1, TFormProduction::ResultColumn)->text(),
                 QStringLiteral("PASS"));
        // A port the run has already gets no second row.
        window_->AdapterTimerTimer();
        QCOMPARE(window_->Rows->rowCount(), 2);
        window_->ButtonStopClick();
    }

    void everyFailureIsSaidInBothLanguages() {
        for (const uint8_t language : {1, 0}) {
            LanguageFlag = language;
            QSet<QString> said;
            for (int f = static_cast<int>(ProductionFailure::PortFailed);
                 f <= static_cast<int>(ProductionFailure::RecordLost); ++f) {
                const QString text = FailureText(static_cast<ProductionFailure>(f), {});
                QVERIFY2(!text.isEmpty() && !said.contains(text), qPrintable(text));
                said.insert(text);
            }
        }
        LanguageFlag = 1;
        QCOMPARE(
            FailureText(ProductionFailure::VerifyMismatch, R"({"channel":{"written":5,"read":1}})"),
            QStringLiteral("Read-back differs: channel written 5, read 1"));
        QCOMPARE(FailureText(ProductionFailure::IdUnavailable,
                             R"({"range":"0100-0101","why":"range_used_up"})"),
                 QStringLiteral("No ID to give: every ID of 0100-0101 is given"));
        QCOMPARE(FailureText(ProductionFailure::LinkDamaged,
                             R"({"sent":20,"matched":19,"damaged":1,"no_reply":0,)"
                             R"("pass_percent":95})"),
                 QStringLiteral("Damaged frames in link test: 19 of 20 whole, 1 damaged, 0 "
                                "missing, 95% needed"));
        QCOMPARE(FirmwareCode(u"2.3"), 0x23);
        QCOMPARE(FirmwareCode(u"2.16"), std::nullopt);
    }
};

QTEST_MAIN(ProductionWindowTest)
#include "test_production_window.moc"
