#include <QFile>
#include <QLineEdit>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include "app/mainwindow.h"
#include "app/portreturnview.h"
#include "app/preferences.h"
#include "monitor/exchangelog.h"
#include "monitor/trafficlog.h"
#include "serial/networkserialdevice.h"
#include "serial/portnames.h"
#include "serial/portopener.h"
#include "serial/serialform.h"
#include "tests/support/ptypair.h"
#include "tests/support/ser2net.h"
#include "tests/support/windowfixture.h"

namespace {

constexpr int kWaitMs = 10000;

QString PortOf(const QString& url) {
    return url.section(u':', -1);
}

QString PortCellToolTip() {
    return Form1->findChild<QLabel*>(QStringLiteral("StatusPanel1"))->toolTip();
}

}  // namespace

// A port behind ser2net in the windows: chosen in the port settings dialog, named in the status
// bar, its confirmed settings in the monitor's records, remembered, and opened again once the
// server is back.
class NetworkPortWindowTest : public QObject {
    Q_OBJECT

    WindowFixture f_;
    PtyPair radioSide_;
    Ser2Net server_{QStringLiteral(SER2NET_PATH)};
    QTemporaryDir dir_;

    // Pastes the name into the dialog's port list and presses OK with 38400 bit/s, odd parity.
    static void chooseInDialog(const QString& name) {
        Serial_Form->show();
        QLineEdit* line = Serial_Form->Comb_ComNo->lineEdit();
        line->selectAll();
        line->insert(name);
        QVERIFY(line->isModified());
        Serial_Form->ComboBaudRate->setCurrentIndex(6);
        Serial_Form->ComboParity->setCurrentIndex(1);
        Serial_Form->Button1Click();
    }

  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        QVERIFY(!radioSide_.slaveName.isEmpty());
        QVERIFY(server_.start({radioSide_.slaveName}));
        SetPreferencesFile(dir_.filePath(QStringLiteral("tvrsetup.conf")));
        f_.createWindows();
        ApplyPreferences(LoadPreferences(), false);
        Link().setOpener(OpenNamedPort);
    }
    void init() {
        LanguageFlag = 1;
        f_.messages.clear();
        Reconnection->Seri_Reconnect->setChecked(false);
    }
    void cleanup() {
        Link().ClosePort();
        Serial_Form->hide();
    }

    // Opened by its URL: the status bar names the server's host, the dialog its address, and
    // each setting the server confirmed is a settings row with the time it took, in the monitor
    // and in the traffic log; a local port's settings have no such time.
    void chosenByNameShowsTheServerAndItsConfirmations() {
        ExchangeLog exchanges;
        TrafficLog traffic;
        const QString logPath = dir_.filePath(QStringLiteral("traffic.log"));
        QVERIFY(traffic.start({logPath, TrafficLogFormat::Text}));
        Link().addObserver(&exchanges);
        Link().addObserver(&traffic);
        // Let go of even when a check fails half-way.
        const auto detach = qScopeGuard([&] {
            Link().removeObserver(&exchanges);
            Link().removeObserver(&traffic);
        });
        const QString url = server_.rfc2217Url();

        chooseInDialog(url);
        QCOMPARE(f_.messages.texts(), QStringList());
        QVERIFY(Link().PortHandle());
        QCOMPARE(Link().PortDeviceName(), url);
        QCOMPARE(Form1->statusText(TForm1::PortPanel), QStringLiteral("127.0.0.1"));
        QCOMPARE(PortCellToolTip(), url);
        QCOMPARE(Form1->statusText(2), QStringLiteral("38400-O-1"));
        Serial_Form->show();
        QCOMPARE(Serial_Form->PortDevice->text(),
                 QStringLiteral("Server: 127.0.0.1:%1 (RFC 2217)").arg(PortOf(url)));

        const ExchangeRow& confirmed = exchanges.rows().back();
        QCOMPARE(confirmed.kind, ExchangeRowKind::Settings);
        QCOMPARE(confirmed.settings, QStringLiteral("38400-O-1"));
        QVERIFY(confirmed.roundTripUs.has_value());
        QVERIFY(*confirmed.roundTripUs > 0);
        QVERIFY(*confirmed.roundTripUs < ServerAnswerWaitMs * 1000);
        const QString command = ExchangeCellText(confirmed, nullptr, CommandColumn);
        QVERIFY2(QRegularExpression(QStringLiteral("^line settings on %1, confirmed by the server "
                                                   "in \\d+\\.\\d ms$")
                                        .arg(QRegularExpression::escape(url)))
                     .match(command)
                     .hasMatch(),
                 qPrintable(command));
        LanguageFlag = 0;
        QVERIFY(ExchangeCellText(confirmed, nullptr, CommandColumn)
                    .endsWith(QStringLiteral(" 毫秒内确认")));
        LanguageFlag = 1;

        // The same settings on a local port: a plain row.
        PtyPair local;
        QCOMPARE(Link().ChoosePort({0, local.slaveName, 6, 1}).outcome, PortChoiceOutcome::Applied);
        QVERIFY(!exchanges.rows().back().roundTripUs);
        QCOMPARE(Form1->statusText(TForm1::PortPanel), Serial_Form->portListText());
        QVERIFY(PortCellToolTip().isEmpty());
        traffic.stop();

        QFile log(logPath);
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(log.readAll());
        const QRegularExpression confirmedLine(
            QStringLiteral("\\n\\S+Z SETTINGS 38400-O-1 %1 confirmed in \\d+\\.\\d ms\\n")
                .arg(QRegularExpression::escape(url)));
        QVERIFY2(confirmedLine.match(text).hasMatch(), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral(" SETTINGS 38400-O-1 %1\n").arg(local.slaveName)),
                 qPrintable(text));
    }

    // What the dialog says of names it is given, before anything is opened.
    void dialogShowsTheServerOfATypedName_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::newRow("telnet") << 1 << "rfc2217://rack-7.lab:4001"
                                << "Server: rack-7.lab:4001 (RFC 2217)";
        QTest::newRow("plain TCP") << 1 << "socket://10.0.0.2:2000"
                                   << "Server: 10.0.0.2:2000 (plain TCP)";
        QTest::newRow("IPv6 in brackets") << 1 << "rfc2217://[::1]:2000"
                                          << "Server: [::1]:2000 (RFC 2217)";
        QTest::newRow("Chinese") << 0 << "socket://[fe80::1%eth0]:7"
                                 << "服务器：[fe80::1%eth0]:7（普通 TCP）";
        QTest::newRow("port out of range") << 1 << "rfc2217://rack:65536"
                                           << "(not a valid network port)";
        QTest::newRow("no port, Chinese") << 0 << "socket://rack"
                                          << "(无效的网络端口)";
        QTest::newRow("local device") << 1 << "/dev/ttyUSB0"
                                      << "/dev/ttyUSB0";
    }
    void dialogShowsTheServerOfATypedName() {
        QFETCH(int, language);
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        LanguageFlag = language;
        Serial_Form->show();
        Serial_Form->Comb_ComNo->lineEdit()->selectAll();
        QTest::keyClicks(Serial_Form->Comb_ComNo->lineEdit(), typed);
        QCOMPARE(Serial_Form->PortDevice->text(), shown);
        QCOMPARE(Serial_Form->PortDevice->toolTip(), shown);
    }

    // A network name that is not exactly as it must be is refused before the open: the port
    // open until now stays open, and the dialog stays for the name to be corrected.
    void malformedNameIsRefusedAndThePortStaysOpen_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("first");
        QTest::newRow("English") << 1 << "rfc2217://127.0.0.1:99999"
                                 << "Not a valid network port!";
        QTest::newRow("Chinese, a control character") << 0 << "socket://rack\x1b:1"
                                                      << "网络端口格式错误!";
    }
    void malformedNameIsRefusedAndThePortStaysOpen() {
        QFETCH(int, language);
        QFETCH(QString, typed);
        QFETCH(QString, first);
        const QString url = server_.rfc2217Url();
        chooseInDialog(url);
        QVERIFY(Link().PortHandle());
        LanguageFlag = language;
        chooseInDialog(typed);
        const QStringList texts = f_.messages.texts();
        QCOMPARE(texts.size(), 1);
        const QStringList lines = texts[0].split(u'\n');
        QCOMPARE(lines.value(0), first);
        QCOMPARE(lines.value(1), QString(typed).replace(QChar(0x1b), QStringLiteral("\\x1b")));
        QVERIFY(lines.value(2).contains(QStringLiteral("rfc2217://[::1]:2000")));
        QVERIFY(Serial_Form->isVisible());
        QCOMPARE(Link().PortDeviceName(), url);
    }

    // A plain connection cannot change its settings: it opens at its server's, without an error.
    void plainConnectionOpensAtItsServersSettings() {
        chooseInDialog(server_.socketUrl());
        QVERIFY(f_.messages.texts().isEmpty());
        QVERIFY(Link().PortHandle());
        QCOMPARE(Link().PortDeviceName(), server_.socketUrl());
        QVERIFY(!Serial_Form->isVisible());
    }

    // The port is remembered by its URL and offered by the dialog at the next start; given
    // with --port it takes COM1, and the status bar names its host all the same.
    void rememberedAndGivenOnTheCommandLine() {
        const QString url = server_.rfc2217Url();
        chooseInDialog(url);
        QVERIFY(Link().PortHandle());
        const Preferences saved = LoadPreferences();
        QCOMPARE(saved.portDevice, url);
        QCOMPARE(int(saved.baudIndex), 6);
        QCOMPARE(int(saved.parityIndex), 1);
        Link().ClosePort();

        Serial_Form->Comb_ComNo->setCurrentIndex(2);
        Link().setSearchStart({});
        ApplyPreferences(saved, false);
        QCOMPARE(Serial_Form->Comb_ComNo->currentText(), url);
        QCOMPARE(Link().searchStart().firstDevice, url);
        QVERIFY(Link().OpenPortScan());
        QCOMPARE(Link().PortDeviceName(), url);

        Link().ClosePort();
        const QStringList pinned = PinnedPorts();
        SetPinnedPorts({url});
        Link().setSearchStart({});
        Serial_Form->Comb_ComNo->setCurrentIndex(0);
        QVERIFY(Link().OpenPortScan());
        QCOMPARE(Link().PortNo(), 1);
        QVERIFY(Link().SearchStep({6, 0}));
        QCOMPARE(Form1->statusText(TForm1::PortPanel), QStringLiteral("127.0.0.1"));
        QCOMPARE(PortCellToolTip(), QStringLiteral("COM1 (%1)").arg(url));
        Link().ClosePort();
        SetPinnedPorts(pinned);
    }

    // Without Reconnect a lost connection is told once, as a vanished local device is.
    void lostConnectionIsToldOnceWithoutReconnect() {
        chooseInDialog(server_.rfc2217Url());
        QVERIFY(Link().PortHandle());
        server_.kill();
        QTRY_VERIFY_WITH_TIMEOUT(!Link().PortHandle(), kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(f_.messages.texts(), QStringList{"Port disconnected!"}, kWaitMs);
        // A second report of the loss would follow the first within milliseconds.
        QTest::qWait(200);
        QCOMPARE(f_.messages.texts(), QStringList{"Port disconnected!"});
        QVERIFY(!Reconnection->Return.waiting());
        QVERIFY(server_.restart());
    }

    // With Reconnect the program waits for the same URL, trying it again with growing pauses,
    // and the port is open again with its settings once the server is back.
    void lostConnectionIsOpenedAgainWithReconnect() {
        Reconnection->Seri_Reconnect->setChecked(true);
        const QString url = server_.rfc2217Url();
        chooseInDialog(url);
        QVERIFY(Link().PortHandle());
        server_.kill();
        QTRY_VERIFY_WITH_TIMEOUT(Reconnection->Return.waiting(), kWaitMs);
        QCOMPARE(Reconnection->StatusWaiting->toolTip(),
                 QStringLiteral("Waiting for %1…").arg(url));
        // Refused while the server is away (the first look comes a poll after the loss): still
        // waiting, nothing told.
        QTest::qWait(PortReturn::PollMs + 250);
        QVERIFY(Reconnection->Return.waiting());
        QVERIFY(!Link().PortHandle());
        QVERIFY(f_.messages.texts().isEmpty());

        QVERIFY(server_.restart());
        QTRY_VERIFY_WITH_TIMEOUT(Link().PortHandle(), kWaitMs);
        QVERIFY(!Reconnection->Return.waiting());
        QCOMPARE(Link().PortDeviceName(), url);
        QCOMPARE(Link().device()->lineSettings(), (LineSettings{38400, ParityMode::Odd, 1}));
        QVERIFY(f_.messages.texts().isEmpty());
    }
};

QTEST_MAIN(NetworkPortWindowTest)
#include "test_network_port.moc"
