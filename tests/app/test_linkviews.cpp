#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>

#include "app/linkviews.h"
#include "factory/formtest.h"
#include "tests/support/files.h"
#include "tests/support/windowfixture.h"

using namespace std::chrono_literals;

// The charts window, the exchange monitor, the traffic log and the rates in the status bar,
// on the program's windows with the chart data's clock in the test's hands.
class LinkViewsTest : public QObject {
    Q_OBJECT

    WindowFixture f_;
    int64_t nowMs_ = 0;

    static DataTestEngine& data() { return Form1->Data->Engine; }

    // One second of the chart data.
    void rateTick() {
        nowMs_ += 1000;
        Views->RateTimerTimer();
    }

    // Every row the monitor has taken in, once all of them have waited long enough.
    static QStringList MonitorRows(int column) {
        Views->Monitor->setClock(
            [] { return QDateTime::currentMSecsSinceEpoch() * 1000 + 10'000'000; });
        Views->Monitor->MonitorTimerTimer();
        QStringList texts;
        QAbstractItemModel* shown = Views->Monitor->Filtered;
        for (int row = 0; row < shown->rowCount(); ++row)
            texts << shown->index(row, column).data().toString();
        return texts;
    }

    // The monitor closed, with no rows shown or kept.
    static void emptyClosedMonitor() {
        Views->View_MonitorClick();
        Views->Monitor->ClearButtonClick();
        Views->Monitor->close();
    }

  private slots:
    void initTestCase() {
        f_.createWindows(true);
        Views->RateTimer->stop();
        // On from where the data's own clock left them, and at the end of one of their seconds,
        // so that each tick below ends one.
        Views->setClock([this] { return nowMs_; });
        nowMs_ = QDateTime::currentMSecsSinceEpoch() + 2000;
        Views->RateTimerTimer();
        nowMs_ = Views->Rates.points().back().endMs;
        rateTick();
    }
    void cleanupTestCase() { Link().ClosePort(); }
    void init() { f_.resetDataTest(); }

    // The charts, the monitor and the log's settings are built when first opened, not at
    // start-up, and then kept; what went on before is there when they first open.
    void windowsAreBuiltWhenFirstOpened() {
        const auto built = [] {
            QStringList names;
            for (QWidget* widget : QApplication::allWidgets()) {
                if (qobject_cast<TFormCharts*>(widget) || qobject_cast<TFormMonitor*>(widget) ||
                    qobject_cast<TFormLogSettings*>(widget))
                    names << widget->objectName();
            }
            names.sort();
            return names;
        };
        QCOMPARE(built(), QStringList());
        const uint8_t probe[] = {0x55, 0xAA, 0x03, 0x10, 0x00, 0x00, 0x13};
        f_.useFake();
        f_.openPort();
        Form1->setCommandTimers(true);
        QCOMPARE(Link().WritePort(probe, sizeof probe), sizeof probe);
        Form1->setCommandTimers(false);
        f_.fake->feed(QByteArray(300, 'r'));
        Form1->Timer_RecDataTimer();
        rateTick();

        // The port's settings as it opened, the probe, the settings as the monitor opened.
        Views->View_MonitorClick();
        QCOMPARE(MonitorRows(CommandColumn),
                 QStringList({"line settings on COM1 (COM-TEST)", "read model",
                              "line settings on COM1 (COM-TEST)"}));
        Views->View_ChartsClick();
        const QList<QPointF> rx = Views->Charts->RxSeries->points();
        QCOMPARE(rx.size(), qsizetype(Views->Rates.points().size()));
        QVERIFY(!rx.isEmpty());
        QCOMPARE(rx.last().y(), 300.0);
        Views->FileLog->trigger();
        const QStringList all{"FormCharts", "FormLogSettings", "FormMonitor"};
        QCOMPARE(built(), all);

        Views->LogSettings->reject();
        Views->Monitor->close();
        Views->Charts->close();
        Views->View_ChartsClick();
        Views->View_MonitorClick();
        Views->FileLog->trigger();
        QCOMPARE(built(), all);
        Views->LogSettings->reject();
        emptyClosedMonitor();
        Views->Charts->close();
    }

    void entriesSitInTheirMenusAndTheStatusBar() {
        QVERIFY(Form1->View_M->menuAction()->isVisible());
        QCOMPARE(Form1->View_M->actions().last(2),
                 (QList<QAction*>{Views->View_Charts, Views->View_Monitor}));
        QCOMPARE(Views->View_Charts->text(), QStringLiteral("&Charts"));
        QCOMPARE(Views->View_Monitor->text(), QStringLiteral("&Exchange monitor"));
        QCOMPARE(Form1->FIle_M->actions().last(3),
                 (QList<QAction*>{Views->FileLog, Form1->N2, Form1->FileExit}));
        QCOMPARE(Views->FileLog->text(), QStringLiteral("Lo&g to file…"));
        const auto left = [](QWidget* w) { return w->mapTo(Form1, QPoint(0, 0)).x(); };
        QWidget* rxCounter = Form1->StatusBar1->findChild<QLabel*>("StatusPanel5");
        QVERIFY(left(rxCounter) < left(Views->StatusRxRate));
        QVERIFY(left(Views->StatusRxRate) < left(Views->StatusTxRate));
        QVERIFY(!Views->StatusLog->isVisible());
    }

    void statusBarShowsTheCountersRates() {
        f_.useFake();
        f_.openPort();
        rateTick();
        f_.fake->feed(QByteArray(500, 'r'));
        Form1->Timer_RecDataTimer();
        Form1->Memo_Trtt->setPlainText(QString(20, u't'));
        Form1->Button_ManulTrtt->click();
        rateTick();
        QCOMPARE(Views->StatusRxRate->text(), QStringLiteral("RX 500 B/s"));
        QCOMPARE(Views->StatusTxRate->text(), QStringLiteral("TX 20 B/s"));
        f_.fake->feed(QByteArray(24680, 'r'));
        Form1->Timer_RecDataTimer();
        rateTick();
        QCOMPARE(Views->StatusRxRate->text(), QStringLiteral("RX 24.7 kB/s"));
        QCOMPARE(Views->StatusTxRate->text(), QStringLiteral("TX 0 B/s"));
    }

    // A read of a radio at 38400 bit/s with even parity: the monitor shows every setting the
    // search tried with the probe sent under it, and the replies at the one that answered.
    void monitorShowsTheSearchAndTheRead() {
        RadioParameters radio;
        radio.line = {38400, ParityMode::Even};
        f_.useRadio(radio);
        Views->View_MonitorClick();
        Views->Monitor->ClearButtonClick();
        f_.readRadio();
        const QStringList commands = MonitorRows(CommandColumn);
        const QStringList settings = MonitorRows(SettingsColumn);
        QStringList attempts;
        for (int row = 0; row < commands.size(); ++row) {
            if (commands[row] == "search attempt on COM1 (COM-TEST)") attempts << settings[row];
        }
        QCOMPARE(attempts,
                 QStringList({"9600-N-1", "9600-O-1", "9600-E-1", "19200-N-1", "19200-O-1",
                              "19200-E-1", "38400-N-1", "38400-O-1", "38400-E-1"}));
        const qsizetype firstReply = commands.indexOf("read model reply");
        QVERIFY(firstReply > 0);
        QCOMPARE(settings[firstReply], QStringLiteral("38400-E-1"));
        QCOMPARE(commands.mid(firstReply - 1),
                 QStringList({"read model", "read model reply", "read model", "read model reply",
                              "read air rate", "read air rate reply", "read channel",
                              "read channel reply", "read ID", "read ID reply"}));
        const QStringList checksums = MonitorRows(ChecksumColumn);
        QCOMPARE(checksums.mid(firstReply - 1), QStringList(10, "ok"));

        // The filter keeps one direction and the settings between.
        Views->Monitor->DirectionFilter->setCurrentIndex(1);
        const QStringList sentOnly = MonitorRows(DirectionColumn);
        QCOMPARE(sentOnly.count("TX") + sentOnly.count(""), sentOnly.size());
        QCOMPARE(sentOnly.count("TX"), 9 + 4);
        Views->Monitor->DirectionFilter->setCurrentIndex(2);
        QCOMPARE(MonitorRows(DirectionColumn).count("TX"), 0);

        // Copied and saved as the table shows them.
        Views->Monitor->CopyButtonClick();
        const QStringList copied =
            QGuiApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts);
        QCOMPARE(copied.size(), Views->Monitor->Filtered->rowCount());
        QVERIFY(
            copied.last().contains("\tRX\tread ID reply\t55 AA 04 0A 12 34 00 54\tok\t38400-E-1"));
        QTemporaryDir dir;
        QVERIFY(Views->Monitor->saveRows(dir.filePath("rows.txt")));
        QFile saved(dir.filePath("rows.txt"));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QStringList lines =
            QString::fromUtf8(saved.readAll()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.first(),
                 QStringLiteral("Time\t+ms\tDir\tCommand\tBytes\tChecksum\tSerial setting"));
        QCOMPARE(lines.mid(1), copied);
        Views->Monitor->DirectionFilter->setCurrentIndex(0);

        // Closed, it shows nothing new; opened again, the exchanges of the read done meanwhile
        // follow what it showed.
        const int rows = Views->Monitor->Model->rowCount();
        Views->Monitor->close();
        f_.readRadio();
        QCOMPARE(MonitorRows(CommandColumn).size(), rows);
        Views->View_MonitorClick();
        const QStringList reopened = MonitorRows(CommandColumn);
        QCOMPARE(reopened.mid(0, rows), commands);
        QCOMPARE(reopened.mid(rows).count("read ID reply"), 1);
        Views->Monitor->ClearButtonClick();
        QCOMPARE(Views->Monitor->Model->rowCount(), 0);
        Views->Monitor->close();
    }

    // A Read that failed before the monitor was opened, as users open it: every attempt of
    // the search is there, with the probe sent under it, before the open port's settings.
    void monitorShowsAFailedReadFromBeforeItOpened() {
        RadioFaults silent;
        silent.silent = true;
        f_.useRadio({}, silent);
        emptyClosedMonitor();
        Form1->Speed_RClick();
        QVERIFY(f_.runExchange());
        QCOMPARE(f_.messages.last(), QStringLiteral("Connect error!"));
        Views->View_MonitorClick();
        const QStringList commands = MonitorRows(CommandColumn);
        const QStringList settings = MonitorRows(SettingsColumn);
        QStringList attempts;
        for (int i = 0; i < CommandSequencer::ConnectAttempts; ++i)
            attempts << "search attempt on COM1 (COM-TEST)"
                     << "read model";
        QCOMPARE(commands, attempts << "line settings on COM1 (COM-TEST)");
        QCOMPARE(settings.first(6), QStringList({"9600-N-1", "9600-N-1", "9600-O-1", "9600-O-1",
                                                 "9600-E-1", "9600-E-1"}));
        Views->Monitor->close();
    }

    // While closed, at most its last 1000 rows of exchanges are kept, and the data test's
    // traffic is left out; open, it shows that traffic too.
    void closedMonitorKeepsTheExchangesAlone() {
        const uint8_t probe[] = {0x55, 0xAA, 0x03, 0x10, 0x00, 0x00, 0x13};
        f_.useFake();
        f_.openPort();
        emptyClosedMonitor();
        Form1->setCommandTimers(true);
        const int extra = 7;
        for (size_t i = 0; i < TFormMonitor::KeptRowsWhileClosed + extra; ++i)
            QCOMPARE(Link().WritePort(probe, sizeof probe), sizeof probe);
        Form1->setCommandTimers(false);
        Views->View_MonitorClick();
        QCOMPARE(MonitorRows(CommandColumn),
                 QStringList(int(TFormMonitor::KeptRowsWhileClosed), "read model")
                     << "line settings on COM1 (COM-TEST)");
        // The open port's settings, noted when the monitor closed, left first.
        QCOMPARE(Views->Monitor->RowsLabel->text(),
                 QStringLiteral("1001 rows; %1 older rows left").arg(extra + 1));
        emptyClosedMonitor();

        // The data test sends, receives and, as an echo station, returns what came once the
        // line is quiet.
        const auto runDataTest = [this] {
            Form1->Memo_Trtt->setPlainText(QStringLiteral("data"));
            Form1->Button_ManulTrtt->click();
            f_.fake->feed("from the far end");
            for (int tick = 0; tick < 8; ++tick) Form1->Timer_RecDataTimer();
        };
        data().ErrTestActive = 1;
        runDataTest();
        Views->View_MonitorClick();
        // The port's settings as the monitor closed and as it opened; nothing between.
        QCOMPARE(MonitorRows(CommandColumn), QStringList(2, "line settings on COM1 (COM-TEST)"));
        runDataTest();
        QCOMPARE(MonitorRows(DirectionColumn).mid(2), QStringList({"TX", "RX", "TX"}));
        data().ErrTestActive = 0;
        emptyClosedMonitor();
    }

    // The factory window's exchanges are kept as well, while the window has the port.
    void closedMonitorKeepsTheFactoryExchanges() {
        f_.useRadio();
        f_.openPort();
        emptyClosedMonitor();
        Form1->Test_MClick();
        FormTest->Button1->click();
        for (int poll = 0; poll < 100 && FormTest->ExchangeTimer->isActive(); ++poll) {
            f_.radio->advance(10ms);
            FormTest->ExchangeTimerTimer();
        }
        QVERIFY(!FormTest->ExchangeTimer->isActive());
        FormTest->close();
        Views->View_MonitorClick();
        const QStringList commands = MonitorRows(CommandColumn);
        QCOMPARE(commands.mid(1, 2), QStringList({"transmit test", "transmit test reply"}));
        emptyClosedMonitor();
    }

    // The table follows the log as its oldest rows leave, and says how many left.
    void monitorKeepsItsNewestRows() {
        const uint8_t probe[] = {0x55, 0xAA, 0x03, 0x10, 0x00, 0x00, 0x13};
        Views->Monitor->ClearButtonClick();
        // Fails the test when what the table tells its views disagrees with what it holds.
        QAbstractItemModelTester tester(Views->Monitor->Model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        for (int i = 0; i < 1000; ++i) Views->Exchanges.linkTraffic(LinkTraffic::Sent, probe, 7, i);
        Views->Monitor->MonitorTimerTimer();
        QCOMPARE(Views->Monitor->Model->rowCount(), 1000);
        for (size_t i = 0; i < ExchangeLog::MaxRows; ++i)
            Views->Exchanges.linkTraffic(LinkTraffic::Sent, probe, 7, int64_t(1000 + i));
        Views->Monitor->MonitorTimerTimer();
        QCOMPARE(Views->Monitor->Model->rowCount(), int(ExchangeLog::MaxRows));
        QCOMPARE(Views->Monitor->Model->rowAt(0)->timeUs, 1000);
        QCOMPARE(Views->Monitor->RowsLabel->text(),
                 QStringLiteral("100000 rows; 1000 older rows left"));
        Views->Monitor->ClearButtonClick();
        QCOMPARE(Views->Monitor->RowsLabel->text(), QStringLiteral("0 rows"));
    }

    // A loop-back test against an echo station that damages some bytes on the air: the
    // charts show one point per interval, at the success rate of its sends.
    void chartsFollowTheLoopBackTest() {
        LinkOptions air;
        air.echoStation = true;
        air.corruptProbability = 0.02;
        f_.useRadio({}, {}, air);
        f_.openPort();
        Views->View_ChartsClick();
        Views->Charts->IntervalBox->setValue(6);
        QCOMPARE(Views->Loopback.intervalMs(), 6000);
        Views->Charts->ClearButtonClick();
        Form1->Memo_Trtt->setPlainText(QStringLiteral("loop-back test line"));
        Form1->CheckTrtt->setChecked(true);
        Form1->PanelTrttTestClick();
        const auto runSeconds = [this](int seconds) {
            for (int step = 0; step < seconds * 100; ++step) {
                if (Form1->Timer_TrttData->isActive()) Form1->Timer_TrttDataTimer();
                if (step % 5 == 4) Form1->Timer_RecDataTimer();
                f_.farEndTick();
                if (step % 100 == 99) rateTick();
            }
        };
        runSeconds(61);
        const auto& intervals = Views->Loopback.intervals();
        QCOMPARE(intervals.size(), size_t(10));
        QCOMPARE(Views->Charts->SuccessSeries->count(), 10);
        int evaluated = 0;
        int failed = 0;
        for (int i = 0; i < 10; ++i) {
            const LoopbackInterval& interval = intervals[size_t(i)];
            QCOMPARE(Views->Charts->SuccessSeries->at(i),
                     QPointF(double(interval.endMs), interval.successRate()));
            QCOMPARE(Views->Charts->DamagedSeries->at(i).y(), double(interval.damaged));
            evaluated += interval.evaluated;
            failed += interval.lost + interval.shorter + interval.longer + interval.damaged;
        }
        // The first periodic send is due after the first sample: every send was judged in one
        // interval or another.
        QCOMPARE(evaluated, data().ErrTest.ErrTestSent);
        QVERIFY(failed > 0);
        QCOMPARE(Views->Charts->RxSeries->count(), 61);
        QVERIFY(Views->Charts->TxSeries->at(30).y() > 0);

        // Paused, the charts stay as they were while the data go on.
        Views->Charts->PauseButton->setChecked(true);
        runSeconds(6);
        QCOMPARE(Views->Charts->SuccessSeries->count(), 10);
        QCOMPARE(Views->Loopback.intervals().size(), size_t(11));
        Views->Charts->PauseButton->setChecked(false);
        QCOMPARE(Views->Charts->SuccessSeries->count(), 11);

        QTemporaryDir dir;
        QVERIFY(Views->Charts->exportCsv(dir.filePath("c.csv")));
        QFile csv(dir.filePath("c.csv"));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QCOMPARE(csv.readAll(), ChartSeriesCsv(Views->Rates.points(), Views->Loopback.intervals()));
        QVERIFY(Views->Charts->saveImage(dir.filePath("c.png")));
        const QImage image(dir.filePath("c.png"));
        QCOMPARE(image.size(), Views->Charts->ChartsArea->grab().size());
        QVERIFY(Views->Charts->saveImage(dir.filePath("c.svg")));
        QFile svg(dir.filePath("c.svg"));
        QVERIFY(svg.open(QIODevice::ReadOnly));
        QVERIFY(svg.readAll().contains("<svg"));

        Views->Charts->ClearButtonClick();
        QCOMPARE(Views->Charts->RxSeries->count(), 0);
        QCOMPARE(Views->Charts->SuccessSeries->count(), 0);
        Views->Charts->close();
        Form1->PanelTrttTestClick();
    }

    void logToFileFromTheMenu() {
        QTemporaryDir dir;
        f_.useFake();
        Views->FileLog->trigger();
        QVERIFY(Views->LogSettings->isVisible());
        Views->LogSettings->EditPath->setText(dir.filePath("traffic.log"));
        Views->LogSettings->accept();
        QVERIFY(Views->StatusLog->isVisible());
        QCOMPARE(Views->StatusLog->text(), QStringLiteral("Log: traffic.log"));
        QCOMPARE(Views->FileLog->text(), QStringLiteral("Stop lo&gging to file"));
        f_.openPort();
        Form1->Memo_Trtt->setPlainText(QStringLiteral("hello"));
        Form1->Button_ManulTrtt->click();
        Views->FileLog->trigger();
        QVERIFY(!Views->StatusLog->isVisible());
        QCOMPARE(Views->FileLog->text(), QStringLiteral("Lo&g to file…"));
        Form1->Button_ManulTrtt->click();
        QFile log(dir.filePath("traffic.log"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray text = log.readAll();
        QVERIFY(text.contains("Z SETTINGS 9600-N-1 COM1 (COM-TEST)\n"));
        QCOMPARE(text.count(" TX 68 65 6C 6C 6F\n"), 1);

        QVERIFY(!Views->startLog({dir.filePath("missing/x.log")}));
        QVERIFY(f_.messages.last().startsWith("Cannot log to the file:\n"));
        QVERIFY(!Views->StatusLog->isVisible());
    }

    // Every log is offered a file named after the time it begins; a file that is there is
    // appended to or replaced only as the user answers, and Cancel goes back to the dialog.
    void logAsksBeforeTouchingAFileThatIsThere() {
        QTemporaryDir dir;
        f_.useFake();
        TFormLogSettings& dialog = *Views->LogSettings;
        dialog.EditPath->setText(dir.filePath("older.log"));
        dialog.suggestPath(QDateTime(QDate(2024, 5, 1), QTime(14, 0, 5)));
        QCOMPARE(dialog.EditPath->text(), dir.filePath("tvr-traffic-20240501-140005.log"));
        Views->FileLog->trigger();
        QVERIFY(dialog.isVisible());
        const QFileInfo offered(dialog.EditPath->text());
        QCOMPARE(offered.dir(), QDir(dir.path()));
        const QDateTime named =
            QDateTime::fromString(offered.fileName(), "'tvr-traffic-'yyyyMMdd-HHmmss'.log'");
        QVERIFY2(named.isValid(), qPrintable(offered.fileName()));
        QVERIFY(qAbs(named.secsTo(QDateTime::currentDateTime())) < 60);

        const QString path = dir.filePath("bench.log");
        QVERIFY(WriteFile(path, "earlier session\n"));
        dialog.EditPath->setText(path);
        f_.messages.answers << MessageAnswer::Cancel;
        dialog.OkButton->click();
        QCOMPARE(f_.messages.texts(), QStringList({"The file already exists:\n" + path +
                                                   "\nAppend the log to its end, or replace it?"}));
        QCOMPARE(f_.messages.shown.last().buttons, MessageButtons::AppendReplaceCancel);
        QVERIFY(dialog.isVisible());
        QVERIFY(!Views->Log.running());
        QCOMPARE(Contents(path), QByteArray("earlier session\n"));

        f_.messages.answers << MessageAnswer::Append;
        dialog.OkButton->click();
        Settle();
        QVERIFY(!dialog.isVisible());
        QVERIFY(Views->Log.running());
        f_.openPort();
        Form1->Memo_Trtt->setPlainText(QStringLiteral("hello"));
        Form1->Button_ManulTrtt->click();
        Views->FileLog->trigger();
        const QByteArray appended = Contents(path);
        QVERIFY(appended.startsWith("earlier session\n"));
        QVERIFY(appended.contains(" TX 68 65 6C 6C 6F\n"));
        QVERIFY(!appended.contains("# tvrsetup"));

        Views->FileLog->trigger();
        dialog.EditPath->setText(path);
        f_.messages.answers << MessageAnswer::Replace;
        dialog.OkButton->click();
        Settle();
        QVERIFY(Views->Log.running());
        Views->FileLog->trigger();
        QVERIFY(Contents(path).startsWith("# tvrsetup traffic log 1\n#"));
        QVERIFY(!Contents(path).contains("earlier session"));

        // A raw capture whose second file alone is there: one question, naming that file; in
        // Chinese as well.
        const QString raw = dir.filePath("capture.bin");
        QVERIFY(WriteFile(RawSentPath(raw), "tx"));
        Views->FileLog->trigger();
        dialog.EditPath->setText(raw);
        dialog.ComboFormat->setCurrentIndex(1);
        f_.messages.clear();
        {
            LanguageScope chinese(0);
            dialog.OkButton->click();
            QCOMPARE(f_.messages.texts(), QStringList({"文件已存在：\n" + RawSentPath(raw) +
                                                       "\n将记录追加到文件末尾，还是替换文件？"}));
        }
        QVERIFY(dialog.isVisible());
        QVERIFY(!QFile::exists(raw));
        dialog.ComboFormat->setCurrentIndex(0);
        dialog.reject();
    }
};

QTEST_MAIN(LinkViewsTest)
#include "test_linkviews.moc"
