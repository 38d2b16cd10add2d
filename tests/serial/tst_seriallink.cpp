#include <QCoreApplication>
#include <QPointer>
#include <QTest>

#include "core/language.h"
#include "fakeserial.h"
#include "serial/portnames.h"

namespace {

// Stands in for the dialog's lists.
struct DisplayRecorder : PortSettingsDisplay {
    QString portText = "COM1";
    int baudIndex = -1;
    int parityIndex = -1;
    QString portListText() const override { return portText; }
    void selectPort(int entry) override {
        portText = entry == 8 ? QString() : QString("COM%1").arg(entry + 1);
    }
    void selectRateAndParity(int baud, int parity) override {
        baudIndex = baud;
        parityIndex = parity;
    }
};

struct Fixture {
    std::shared_ptr<DeviceJournal> journal = std::make_shared<DeviceJournal>();
    FakeDevice* lastOpened = nullptr;
    SerialLink link{FakeOpener(journal, &lastOpened)};
    HostRecorder host;
    DisplayRecorder display;
    MessageRecorder messages;
    Fixture() {
        link.setHost(&host);
        link.setDisplay(&display);
    }
};

struct LanguageScope {
    uint8_t saved = LanguageFlag;
    explicit LanguageScope(uint8_t flag) { LanguageFlag = flag; }
    ~LanguageScope() { LanguageFlag = saved; }
};

}  // namespace

class SerialLinkTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() {
        SetPinnedPorts({"dev1", "dev2", "dev3", "dev4", "dev5", "dev6", "dev7", "dev8", "dev9"});
    }

    void searchWalksTwentySevenSettingsAndWraps() {
        Fixture f;
        QVERIFY(f.link.OpenPortScan());
        QCOMPARE(f.link.PortNo, 1);
        const QStringList expected = {
            "9600-N-1",   "9600-O-1",   "9600-E-1",   "19200-N-1", "19200-O-1", "19200-E-1",
            "38400-N-1",  "38400-O-1",  "38400-E-1",  "57600-N-1", "57600-O-1", "57600-E-1",
            "115200-N-1", "115200-O-1", "115200-E-1", "600-N-1",   "600-O-1",   "600-E-1",
            "1200-N-1",   "1200-O-1",   "1200-E-1",   "2400-N-1",  "2400-O-1",  "2400-E-1",
            "4800-N-1",   "4800-O-1",   "4800-E-1",   "9600-N-1"};
        const QList<int> expectedWait = {3,  3,  3,  10, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10,
                                         10, 12, 12, 12, 11, 11, 11, 10, 10, 10, 9,  9,  9,  10};
        QStringList shown;
        QList<int> waits;
        for (int step = 0; step < expected.size(); ++step) {
            if (step > 0) ++f.link.ParityIndex;
            f.journal->events.clear();
            QVERIFY(f.link.SearchStep());
            shown << f.host.panels[2];
            waits << f.link.WaitFactor;
            // The driver gets the same rate and parity, keeps its stop bits, and is purged.
            const QStringList parts = expected[step].split('-');
            QCOMPARE(f.journal->events,
                     QStringList({QString("set %1 %2 2").arg(parts[0], parts[1]), "purge out in"}));
            QCOMPARE(f.display.baudIndex, f.link.BaudIndex);
            QCOMPARE(f.display.parityIndex, f.link.ParityIndex);
        }
        QCOMPARE(shown, expected);
        QCOMPARE(waits, expectedWait);
        QCOMPARE(f.host.panels[1], QString("COM1"));
        QCOMPARE(f.host.panels[3], QString("Connect..."));
    }

    void applySetsRateParityAndWaitFactor_data() {
        QTest::addColumn<int>("baudIndex");
        QTest::addColumn<int>("parityIndex");
        QTest::addColumn<int>("waitFactor");
        QTest::addColumn<QString>("panel");
        const QList<std::tuple<int, int, int, const char*>> rows = {
            {0, 0, 12, "600-N-1"},   {1, 1, 11, "1200-O-1"},    {2, 2, 10, "2400-E-1"},
            {3, 0, 9, "4800-N-1"},   {4, 0, 10, "9600-N-1"},    {5, 1, 10, "19200-O-1"},
            {6, 2, 10, "38400-E-1"}, {7, 0, 10, "57600-N-1"},   {8, 2, 10, "115200-E-1"},
            {9, 3, 10, "9600-N-1"},  {255, 255, 10, "9600-N-1"}};
        for (const auto& [baud, parity, wait, panel] : rows) {
            QTest::addRow("%d/%d", baud, parity) << baud << parity << wait << QString(panel);
        }
    }
    void applySetsRateParityAndWaitFactor() {
        QFETCH(int, baudIndex);
        QFETCH(int, parityIndex);
        QFETCH(int, waitFactor);
        QFETCH(QString, panel);
        Fixture f;
        QVERIFY(f.link.OpenPortByName(2));
        f.journal->events.clear();
        f.link.BaudIndex = baudIndex;
        f.link.ParityIndex = parityIndex;
        f.link.ApplyPortSettings();
        QCOMPARE(f.link.WaitFactor, waitFactor);
        QCOMPARE(f.host.panels[1], QString("COM1"));
        QCOMPARE(f.host.panels[2], panel);
        // Always one stop bit, whatever the driver had; then both directions purged.
        const QStringList parts = panel.split('-');
        QCOMPARE(f.journal->events,
                 QStringList({QString("set %1 %2 1").arg(parts[0], parts[1]), "purge out in"}));
        QCOMPARE(f.link.BaudIndex, baudIndex);
        QVERIFY(f.messages.shown.isEmpty());
    }

    void searchStepEdgeCases_data() {
        QTest::addColumn<int>("baudIndex");
        QTest::addColumn<int>("parityIndex");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<int>("newBaudIndex");
        QTest::addColumn<int>("newParityIndex");
        QTest::addColumn<int>("waitFactor");
        QTest::addColumn<QString>("panel");
        QTest::addColumn<QString>("driver");
        QTest::newRow("after 115200 E comes 600 N") << 8 << 3 << true << 0 << 0 << 12 << "600-N-1"
                                                    << "set 600 N 2";
        QTest::newRow("unselected parity ends the rate")
            << 4 << 255 << true << 5 << 0 << 10 << "19200-N-1"
            << "set 19200 N 2";
        QTest::newRow("even at 115200 keeps driver stop bits")
            << 8 << 2 << true << 8 << 2 << 3 << "115200-E-1"
            << "set 115200 E 2";
        // A typed rate: the rate and its text stay as the last apply left them.
        QTest::newRow("unknown rate fails") << 255 << 1 << false << 255 << 1 << 3 << "9600-O-1"
                                            << "set 9600 O 2";
        QTest::newRow("unknown rate then parity end wraps to 600")
            << 255 << 255 << true << 0 << 0 << 12 << "600-N-1"
            << "set 600 N 2";
    }
    void searchStepEdgeCases() {
        QFETCH(int, baudIndex);
        QFETCH(int, parityIndex);
        QFETCH(bool, accepted);
        QFETCH(int, newBaudIndex);
        QFETCH(int, newParityIndex);
        QFETCH(int, waitFactor);
        QFETCH(QString, panel);
        QFETCH(QString, driver);
        Fixture f;
        QVERIFY(f.link.OpenPortScan());
        f.link.RateText = "9600";
        f.journal->events.clear();
        f.link.BaudIndex = baudIndex;
        f.link.ParityIndex = parityIndex;
        QCOMPARE(f.link.SearchStep(), accepted);
        QCOMPARE(f.link.BaudIndex, newBaudIndex);
        QCOMPARE(f.link.ParityIndex, newParityIndex);
        QCOMPARE(f.link.WaitFactor, waitFactor);
        QCOMPARE(f.host.panels[2], panel);
        QCOMPARE(f.journal->events, QStringList({driver, "purge out in"}));
    }

    void scanSkipsPortsInUseAndReportsNone_data() {
        QTest::addColumn<QStringList>("unavailable");
        QTest::addColumn<int>("language");
        QTest::addColumn<int>("portNo");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("caption");
        QTest::newRow("COM1 in use") << QStringList{"dev1"} << 1 << 2 << ""
                                     << "";
        const QStringList allEight = {"dev1", "dev2", "dev3", "dev4",
                                      "dev5", "dev6", "dev7", "dev8"};
        QTest::newRow("none free, COM9 free, English") << allEight << 1 << 0 << "No idle Port!"
                                                       << "CommError";
        QTest::newRow("none free, Chinese") << allEight << 0 << 0 << "无空闲端口!"
                                            << "CommError";
    }
    void scanSkipsPortsInUseAndReportsNone() {
        QFETCH(QStringList, unavailable);
        QFETCH(int, language);
        QFETCH(int, portNo);
        QFETCH(QString, text);
        QFETCH(QString, caption);
        LanguageScope scope(language);
        Fixture f;
        for (const QString& name : unavailable) f.journal->unavailable.insert(name);
        QCOMPARE(f.link.OpenPortScan(), portNo != 0);
        QCOMPARE(f.link.PortNo, portNo);
        if (portNo == 0) {
            QCOMPARE(f.messages.shown.size(), 1);
            QCOMPARE(f.messages.shown[0].text, text);
            QCOMPARE(f.messages.shown[0].caption, caption);
            QVERIFY(!f.journal->events.contains("open dev9"));
            return;
        }
        QVERIFY(f.messages.shown.isEmpty());
        QCOMPARE(f.link.BaudIndex, 4);
        QCOMPARE(f.link.ParityIndex, 0);
        QVERIFY(f.link.SearchStep());
        QCOMPARE(f.host.panels[1], QString("COM2"));
        QCOMPARE(f.host.panels[2], QString("9600-N-1"));
    }

    void secondScanKeepsTheOpenPortAndItsSettings() {
        Fixture f;
        QVERIFY(f.link.OpenPortByName(3));
        f.link.BaudIndex = 6;
        f.link.ParityIndex = 2;
        f.journal->events.clear();
        QVERIFY(f.link.OpenPortScan());
        QCOMPARE(f.link.PortNo, 3);
        QCOMPARE(f.link.BaudIndex, 6);
        QCOMPARE(f.link.ParityIndex, 2);
        QVERIFY(f.journal->events.isEmpty());
    }

    void failedOpenByNameLeavesNoPortOpen() {
        Fixture f;
        QVERIFY(f.link.OpenPortByName(3));
        f.journal->unavailable.insert("dev5");
        f.journal->events.clear();
        QVERIFY(!f.link.OpenPortByName(5));
        QCOMPARE(f.journal->events, QStringList({"purge out in", "close dev3"}));
        QVERIFY(!f.link.PortHandle());
        QCOMPARE(f.link.PortNo, 5);

        // Nothing is open, so closing changes nothing and the next read scans.
        f.host.panels[3] = "before";
        f.link.ClosePort();
        QCOMPARE(f.host.panels[3], QString("before"));
        QVERIFY(f.link.OpenPortScan());
        QCOMPARE(f.link.PortNo, 1);
        QVERIFY(f.messages.shown.isEmpty());
    }

    void ninthEntryAndTypedNamesAreRealPorts() {
        Fixture f;
        QVERIFY(f.link.OpenPortByName(9));
        QCOMPARE(f.link.PortNo, 9);
        f.journal->events.clear();
        QVERIFY(f.link.OpenPortByName("/dev/pts/4"));
        QCOMPARE(f.journal->events, QStringList({"purge out in", "close dev9", "open /dev/pts/4"}));
        QCOMPARE(f.link.PortNo, 0);

        // A typed port keeps the list's text: the search selects no entry.
        f.display.portText = "/dev/pts/4";
        QVERIFY(f.link.OpenPortScan());
        QVERIFY(f.link.SearchStep());
        QCOMPARE(f.host.panels[1], QString("/dev/pts/4"));

        f.journal->events.clear();
        f.link.ClosePort();
        QCOMPARE(f.journal->events, QStringList({"close /dev/pts/4"}));
        QVERIFY(!f.link.PortHandle());
    }

    void openingAMissingPortNumberFails() {
        Fixture f;
        QVERIFY(!f.link.OpenPortByName(0));
        QVERIFY(!f.link.OpenPortByName(40));
        QVERIFY(!f.link.OpenPortByName(QString()));
        QVERIFY(f.journal->events.isEmpty());
    }

    void closePortShowsDisconnectAndStopsThePoll_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("text");
        QTest::newRow("English") << 1 << "Disconnect";
        QTest::newRow("Chinese") << 0 << "已断开";
    }
    void closePortShowsDisconnectAndStopsThePoll() {
        QFETCH(int, language);
        QFETCH(QString, text);
        LanguageScope scope(language);
        Fixture f;
        QVERIFY(f.link.OpenPortScan());
        f.link.ClosePort();
        QCOMPARE(f.host.panels[3], text);
        QVERIFY(!f.host.polling);
        QVERIFY(!f.link.PortHandle());
        QCOMPARE(f.link.PortNo, 0);
        QCOMPARE(f.journal->events.last(), QString("close dev1"));
    }

    void rejectedSettingsCloseThePort_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("caption");
        QTest::newRow("English") << 1 << "Port open error!"
                                 << "CommError";
        QTest::newRow("Chinese") << 0 << "通讯端口设置错误!"
                                 << "Set_Error";
    }
    void rejectedSettingsCloseThePort() {
        QFETCH(int, language);
        QFETCH(QString, text);
        QFETCH(QString, caption);
        LanguageScope scope(language);
        Fixture f;
        QVERIFY(f.link.OpenPortByName(2));
        f.journal->refuseSettings = true;
        f.host.panels[3] = "before";
        f.link.BaudIndex = 5;
        f.link.ParityIndex = 1;
        f.link.ApplyPortSettings();
        QCOMPARE(f.messages.shown.size(), 1);
        QCOMPARE(f.messages.shown[0].text, text);
        QCOMPARE(f.messages.shown[0].caption, caption);
        QVERIFY(!f.link.PortHandle());
        QCOMPARE(f.link.PortNo, 0);
        QCOMPARE(f.host.panels[2], QString("19200-O-1"));
        QCOMPARE(f.host.panels[3], QString("before"));
        QVERIFY(!f.journal->events.contains("purge out in"));

        // A refused search step shows nothing and reports false.
        QVERIFY(f.link.OpenPortScan());
        QVERIFY(!f.link.SearchStep());
        QCOMPARE(f.messages.shown.size(), 1);
    }

    void purgeFlagsChooseTheDirections_data() {
        QTest::addColumn<uint>("flags");
        QTest::addColumn<QStringList>("events");
        QTest::newRow("4 output") << 4u << QStringList{"purge out"};
        QTest::newRow("8 input") << 8u << QStringList{"purge in"};
        QTest::newRow("12 both") << 12u << QStringList{"purge out in"};
        QTest::newRow("15 both") << 15u << QStringList{"purge out in"};
        QTest::newRow("aborts only") << 3u << QStringList{};
    }
    void purgeFlagsChooseTheDirections() {
        QFETCH(uint, flags);
        QFETCH(QStringList, events);
        Fixture f;
        QVERIFY(f.link.OpenPortScan());
        f.journal->events.clear();
        f.link.PurgePort(flags);
        QCOMPARE(f.journal->events, events);
    }

    void readsAndWritesReachTheDevice() {
        Fixture f;
        QVERIFY(f.link.OpenPortScan());
        f.lastOpened->incoming = QByteArray("\x55\xAA\x03", 3);
        f.lastOpened->pendingErrors = LineError::RxParity | LineError::Framing;
        f.journal->events.clear();
        QCOMPARE(f.link.BytesWaiting(), 3u);
        QCOMPARE(f.link.CommErrors, LineError::RxParity | LineError::Framing);
        uint8_t buffer[3] = {};
        f.link.ReadPort(buffer, 3);
        QCOMPARE(QByteArray(reinterpret_cast<char*>(buffer), 3), QByteArray("\x55\xAA\x03", 3));
        QCOMPARE(f.link.BytesWaiting(), 0u);
        QCOMPARE(f.link.CommErrors, 0u);
        const uint8_t frame[] = {0x55, 0xAA, 0x02, 0x10, 0x00, 0x12};
        f.link.WritePort(frame, sizeof frame);
        QCOMPARE(f.link.BytesToWrite, 6u);
        QCOMPARE(f.journal->written, QByteArray("\x55\xAA\x02\x10\x00\x12", 6));
        QCOMPARE(f.journal->events, QStringList({"read 3", "write 6"}));
    }

    void operationsWithoutAPortDoNothing() {
        SerialLink link;  // no opener, no host, no display
        MessageRecorder messages;
        QVERIFY(!link.OpenPortByName(1));
        link.CommErrors = 7;
        QCOMPARE(link.BytesWaiting(), 0u);
        QCOMPARE(link.CommErrors, 7u);
        uint8_t buffer[2] = {0xEE, 0xEE};
        link.ReadPort(buffer, 2);
        QCOMPARE(buffer[0], 0xEE);
        const uint8_t bytes[] = {1, 2};
        link.WritePort(bytes, 2);
        QCOMPARE(link.BytesToWrite, 2u);
        link.PurgePort(15);
        QVERIFY(!link.SearchStep());
        link.ClosePort();
        QVERIFY(!link.OpenPortScan());
        QCOMPARE(messages.shown.size(), 1);
        QCOMPARE(messages.shown[0].text, QString("No idle Port!"));
    }

    void vanishedDeviceClosesThePortOnce_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("caption");
        QTest::newRow("English") << 1 << int(MessageKind::Plain) << "Port disconnected!"
                                 << ApplicationTitle();
        QTest::newRow("Chinese") << 0 << int(MessageKind::System) << "串口已断开!"
                                 << "CommError";
    }
    void vanishedDeviceClosesThePortOnce() {
        QFETCH(int, language);
        QFETCH(int, kind);
        QFETCH(QString, text);
        QFETCH(QString, caption);
        LanguageScope scope(language);
        Fixture f;
        QVERIFY(f.link.OpenPortByName(4));
        QPointer<FakeDevice> device = f.lastOpened;
        emit device->lost();
        emit device->lost();
        QVERIFY(!f.link.PortHandle());
        QCOMPARE(f.link.PortNo, 0);
        QCOMPARE(f.host.portsLost, 1);
        QVERIFY(!f.host.polling);
        QCOMPARE(f.host.panels[3], language == 1 ? QString("Disconnect") : QString("已断开"));
        QCOMPARE(f.messages.shown.size(), 1);
        QCOMPARE(int(f.messages.shown[0].kind), kind);
        QCOMPARE(f.messages.shown[0].text, text);
        QCOMPARE(f.messages.shown[0].caption, caption);
        QCOMPARE(f.journal->events.last(), QString("close dev4"));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(device.isNull());
        // The next read finds no port open and scans.
        QVERIFY(f.link.OpenPortScan());
        QCOMPARE(f.link.PortNo, 1);
    }
};

QTEST_GUILESS_MAIN(SerialLinkTest)
#include "tst_seriallink.moc"
