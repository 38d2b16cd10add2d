#include <QCoreApplication>
#include <QDateTime>
#include <QPointer>
#include <QTest>

#include "core/language.h"
#include "serial/portnames.h"
#include "tests/support/fakeserialdevice.h"
#include "tests/support/recorders.h"

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

const QStringList kNinePinnedDevices = {"dev1", "dev2", "dev3", "dev4", "dev5",
                                        "dev6", "dev7", "dev8", "dev9"};

struct Fixture {
    std::shared_ptr<DeviceJournal> journal = std::make_shared<DeviceJournal>();
    FakeSerialDevice* lastOpened = nullptr;
    // Every name the link asked to open, opened or refused.
    QStringList asked;
    // What the system says of a refusal of no known kind.
    QString systemText;
    SerialLink link;
    HostRecorder host;
    DisplayRecorder display;
    MessageRecorder messages;
    Fixture() {
        journal->driverStopBits = 2;
        link.setOpener([this, open = FakeOpener(journal, &lastOpened)](const QString& name) {
            asked << name;
            OpenResult result = open(name);
            if (result.failure == OpenFailure::Other) result.systemText = systemText;
            return result;
        });
        link.setHost(&host);
        link.setDisplay(&display);
    }
};

const uint8_t kBytes[16] = {};

// Records what an observer of the link is told, as "sent 70 72", "settings 9600-N-1 search".
struct ObserverRecorder : LinkObserver {
    QStringList seen;
    int64_t earliestUs = INT64_MAX;
    int64_t latestUs = 0;
    void linkTraffic(LinkTraffic what, const uint8_t* bytes, uint32_t count,
                     int64_t timeUs) override {
        const char* names[] = {"sent", "received", "purged"};
        seen << QString("%1 %2")
                    .arg(names[int(what)])
                    .arg(QString(
                        QByteArray(reinterpret_cast<const char*>(bytes), count).toHex(' ')));
        stamp(timeUs);
    }
    void linkSettings(const QString& settings, const QString& port, bool searching,
                      int64_t timeUs) override {
        seen << QString("settings %1 %2%3").arg(settings, port, searching ? " search" : "");
        stamp(timeUs);
    }
    void linkModemLine(const QString& line, bool on, const QString& port, int64_t timeUs) override {
        seen << QString("line %1 %2 %3").arg(line, on ? "on" : "off", port);
        stamp(timeUs);
    }
    void stamp(int64_t timeUs) {
        earliestUs = std::min(earliestUs, timeUs);
        latestUs = std::max(latestUs, timeUs);
    }
};

int64_t NowUs() {
    return QDateTime::currentMSecsSinceEpoch() * 1000;
}

}  // namespace

class SerialLinkTest : public QObject {
    Q_OBJECT
  private slots:
    void init() { SetPinnedPorts(kNinePinnedDevices); }
    void cleanupTestCase() { SetPinnedPorts({}); }

    void searchWalksTwentySevenSettingsAndWraps() {
        Fixture f;
        QVERIFY(f.link.OpenPortScan());
        QCOMPARE(f.link.PortNo(), 1);
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
            // Each attempt after the first is the next parity; past even comes the next rate.
            const RateAndParity attempt =
                step == 0 ? f.link.Settings()
                          : RateAndParity{f.link.BaudIndex(), uint8_t(f.link.ParityIndex() + 1)};
            f.journal->events.clear();
            QVERIFY(f.link.SearchStep(attempt));
            shown << f.host.panels[2];
            waits << f.link.WaitFactor;
            // The driver gets the same rate and parity, keeps its stop bits, and is purged.
            const QStringList parts = expected[step].split('-');
            QCOMPARE(f.journal->events,
                     QStringList({QString("set %1 %2 2").arg(parts[0], parts[1]), "purge out in"}));
            QCOMPARE(f.display.baudIndex, f.link.BaudIndex());
            QCOMPARE(f.display.parityIndex, f.link.ParityIndex());
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
        QVERIFY(f.link.ApplyPortSettings({uint8_t(baudIndex), uint8_t(parityIndex)}));
        QCOMPARE(f.link.WaitFactor, waitFactor);
        QCOMPARE(f.host.panels[1], QString("COM1"));
        QCOMPARE(f.host.panels[2], panel);
        // Always one stop bit, whatever the driver had; then both directions purged.
        const QStringList parts = panel.split('-');
        QCOMPARE(f.journal->events,
                 QStringList({QString("set %1 %2 1").arg(parts[0], parts[1]), "purge out in"}));
        QCOMPARE(f.link.BaudIndex(), baudIndex);
        QVERIFY(f.messages.texts().isEmpty());
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
        QVERIFY(f.link.SearchStep({4, 0}));  // the rate text an unknown rate keeps
        f.journal->events.clear();
        QCOMPARE(f.link.SearchStep({uint8_t(baudIndex), uint8_t(parityIndex)}), accepted);
        QCOMPARE(f.link.BaudIndex(), newBaudIndex);
        QCOMPARE(f.link.ParityIndex(), newParityIndex);
        QCOMPARE(f.link.WaitFactor, waitFactor);
        QCOMPARE(f.host.panels[2], panel);
        QCOMPARE(f.journal->events, QStringList({driver, "purge out in"}));
    }

    // A device pinned with --port is the one the user means: whatever keeps it from opening
    // ends the scan there, with the reason for the host to tell, and the status bar shows the
    // port closed.
    void scanStopsAtAPinnedDeviceThatWillNotOpen_data() {
        QTest::addColumn<int>("failure");
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("closed");
        QTest::newRow("missing") << int(OpenFailure::NoSuchDevice) << 1
                                 << "COM1 (dev1): no such device."
                                 << "Disconnect";
        QTest::newRow("missing, Chinese")
            << int(OpenFailure::NoSuchDevice) << 0 << "COM1 (dev1)：设备不存在。"
            << "已断开";
        QTest::newRow("in use") << int(OpenFailure::InUse) << 1
                                << "COM1 (dev1) is in use by another program."
                                << "Disconnect";
        QTest::newRow("failing otherwise")
            << int(OpenFailure::Other) << 1 << "COM1 (dev1): it cannot be opened"
            << "Disconnect";
    }
    void scanStopsAtAPinnedDeviceThatWillNotOpen() {
        QFETCH(int, failure);
        QFETCH(int, language);
        QFETCH(QString, text);
        QFETCH(QString, closed);
        LanguageScope scope(language);
        Fixture f;
        f.host.panels[3] = "Connect...";
        f.journal->refused["dev1"] = OpenFailure(failure);
        QVERIFY(!f.link.OpenPortScan());
        QCOMPARE(f.asked, QStringList{"dev1"});
        QCOMPARE(f.link.OpenFailureText(), text);
        QVERIFY(f.messages.texts().isEmpty());
        QCOMPARE(f.host.panels[3], closed);
        QVERIFY(!f.host.polling);
    }

#ifndef Q_OS_WIN
    // A port the system listed may be gone by the time of the open: the scan goes on.
    void scanPassesOverASystemPortThatVanished() {
        SetPinnedPorts({});
        SetPortEnumerator([] {
            return QList<SerialPortCandidate>{{"/dev/ttyUSB0", true}, {"/dev/ttyUSB1", true}};
        });
        Fixture f;
        f.journal->refused["/dev/ttyUSB0"] = OpenFailure::NoSuchDevice;
        QVERIFY(f.link.OpenPortScan());
        SetPortEnumerator({});
        QCOMPARE(f.asked, QStringList({"/dev/ttyUSB0", "/dev/ttyUSB1"}));
        QCOMPARE(f.link.PortNo(), 2);
        QVERIFY(f.messages.texts().isEmpty());
    }
#endif

    // Where the radio answered last: that device first, at that setting.
    void scanStartsAtTheFirstDeviceAndSetting_data() {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("missing");
        QTest::addColumn<QStringList>("asked");
        QTest::addColumn<int>("portNo");
        QTest::newRow("COM3's device") << "dev3"
                                       << "" << QStringList{"dev3"} << 3;
        QTest::newRow("a device of no entry") << "/dev/pts/7"
                                              << "" << QStringList{"/dev/pts/7"} << 0;
        QTest::newRow("gone, then COM1") << "dev3"
                                         << "dev3" << QStringList{"dev3", "dev1"} << 1;
        QTest::newRow("gone and not tried twice") << "dev1"
                                                  << "dev1" << QStringList{"dev1", "dev2"} << 2;
    }
    void scanStartsAtTheFirstDeviceAndSetting() {
        QFETCH(QString, first);
        QFETCH(QString, missing);
        QFETCH(QStringList, asked);
        QFETCH(int, portNo);
        Fixture f;
        if (!missing.isEmpty()) f.journal->refused[missing] = OpenFailure::NoSuchDevice;
        f.link.setSearchStart({first, {6, 2}});
        QVERIFY(f.link.OpenPortScan());
        QCOMPARE(f.asked, asked);
        QCOMPARE(f.link.PortNo(), portNo);
        QCOMPARE(f.link.PortDeviceName(), asked.last());
        QVERIFY(f.link.SearchStep(f.link.Settings()));
        QCOMPARE(f.host.panels[2], QString("38400-E-1"));
        QVERIFY(f.journal->events.filter("set ").first().startsWith("set 38400 E"));
    }

    // The port the user chose is the one the next read retries, and the link says why it failed.
    void openFailureSaysWhy_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<int>("failure");
        QTest::addColumn<QString>("systemText");
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("reason");
        QTest::newRow("in use") << "3" << int(OpenFailure::InUse) << "" << 1
                                << "COM3 (dev3) is in use by another program.";
        QTest::newRow("in use, Chinese")
            << "3" << int(OpenFailure::InUse) << "" << 0 << "COM3 (dev3) 正被其他程序使用。";
#if defined(Q_OS_LINUX)
        QTest::newRow("no permission")
            << "3" << int(OpenFailure::NoPermission) << "" << 1
            << "No permission to open COM3 (dev3): add the user to the dialout group "
               "(sudo adduser $USER dialout), then log in again.";
        QTest::newRow("no permission, Chinese")
            << "3" << int(OpenFailure::NoPermission) << "" << 0
            << "没有打开 COM3 (dev3) 的权限：请把用户加入 dialout 组"
               "（sudo adduser $USER dialout），然后重新登录。";
#endif
        QTest::newRow("no such device")
            << "3" << int(OpenFailure::NoSuchDevice) << "" << 1 << "COM3 (dev3): no such device.";
        QTest::newRow("no such typed device, Chinese")
            << "/dev/ttyUSB7" << int(OpenFailure::NoSuchDevice) << "" << 0
            << "/dev/ttyUSB7：设备不存在。";
        QTest::newRow("the system's text") << "3" << int(OpenFailure::Other) << "Input/output error"
                                           << 1 << "COM3 (dev3): Input/output error";
        QTest::newRow("the system's text, Chinese")
            << "3" << int(OpenFailure::Other) << "Input/output error" << 0
            << "COM3 (dev3): Input/output error";
        QTest::newRow("nothing said")
            << "3" << int(OpenFailure::Other) << "" << 1 << "COM3 (dev3): it cannot be opened";
        QTest::newRow("nothing said, Chinese")
            << "3" << int(OpenFailure::Other) << "" << 0 << "COM3 (dev3): 无法打开";
    }
    void openFailureSaysWhy() {
        QFETCH(QString, chosen);
        QFETCH(int, failure);
        QFETCH(QString, systemText);
        QFETCH(int, language);
        QFETCH(QString, reason);
        LanguageScope scope(language);
        Fixture f;
        f.systemText = systemText;
        const QString device = chosen.toInt() ? "dev" + chosen : chosen;
        f.journal->refused[device] = OpenFailure(failure);
        QVERIFY(chosen.toInt() ? !f.link.OpenPortByName(chosen.toInt())
                               : !f.link.OpenPortByName(chosen));
        QCOMPARE(f.link.OpenFailureText(), reason);
        f.asked.clear();
        QVERIFY(!f.link.OpenPortScan());
        QCOMPARE(f.asked, QStringList{device});
        QCOMPARE(f.link.OpenFailureText(), reason);
    }

    void failedOpenByNameIsRetriedAloneUntilItOpens() {
        Fixture f;
        QVERIFY(f.link.OpenPortByName(3));
        f.journal->refused["dev5"] = OpenFailure::InUse;
        f.journal->events.clear();
        QVERIFY(!f.link.OpenPortByName(5));
        QCOMPARE(f.journal->events, QStringList({"purge out in", "close dev3"}));
        QVERIFY(!f.link.PortHandle());
        QCOMPARE(f.link.PortNo(), 5);

        // Nothing is open, so closing changes nothing.
        f.host.panels[3] = "before";
        f.link.ClosePort();
        QCOMPARE(f.host.panels[3], QString("before"));

        f.asked.clear();
        QVERIFY(!f.link.OpenPortScan());
        QVERIFY(!f.link.OpenPortScan());
        QCOMPARE(f.asked, QStringList({"dev5", "dev5"}));
        QCOMPARE(f.link.OpenFailureText(), QString("COM5 (dev5) is in use by another program."));

        // Once it opens it is the port, at the search's first settings; then it is forgotten.
        // COM5 is the device that is fifth by then (an adapter came), not the one that failed.
        SetPinnedPorts(QStringList(kNinePinnedDevices).replaceInStrings("dev5", "usb0"));
        QVERIFY(!f.link.ApplyPortSettings({7, 0}));  // no port: the setting alone is kept
        f.asked.clear();
        QVERIFY(f.link.OpenPortScan());
        QCOMPARE(f.asked, QStringList{"usb0"});
        QCOMPARE(f.link.PortNo(), 5);
        QCOMPARE(f.link.BaudIndex(), 4);
        f.link.ClosePort();
        f.asked.clear();
        QVERIFY(f.link.OpenPortScan());
        QCOMPARE(f.asked, QStringList{"dev1"});
        QVERIFY(f.messages.texts().isEmpty());
    }

    void scanWithNoDeviceAtAllSaysSo_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("text");
        QTest::newRow("English") << 1 << "No serial port was found.";
        QTest::newRow("Chinese") << 0 << "未找到串口。";
    }
    void scanWithNoDeviceAtAllSaysSo() {
        QFETCH(int, language);
        QFETCH(QString, text);
        LanguageScope scope(language);
        // Eight pinned slots with nothing in them: no COMn stands for a device, whatever
        // ports this machine has.
        SetPinnedPorts(QStringList(8, QString()));
        Fixture f;
        QVERIFY(!f.link.OpenPortScan());
        QVERIFY(f.asked.isEmpty());
        QCOMPARE(f.link.OpenFailureText(), text);
    }

    void secondScanKeepsTheOpenPortAndItsSettings() {
        Fixture f;
        QVERIFY(f.link.OpenPortByName(3));
        QVERIFY(f.link.ApplyPortSettings({6, 2}));
        f.journal->events.clear();
        QVERIFY(f.link.OpenPortScan());
        QCOMPARE(f.link.PortNo(), 3);
        QCOMPARE(f.link.BaudIndex(), 6);
        QCOMPARE(f.link.ParityIndex(), 2);
        QVERIFY(f.journal->events.isEmpty());
    }

    void ninthEntryAndTypedNamesAreRealPorts() {
        Fixture f;
        QVERIFY(f.link.OpenPortByName(9));
        QCOMPARE(f.link.PortNo(), 9);
        f.journal->events.clear();
        QVERIFY(f.link.OpenPortByName("/dev/pts/4"));
        QCOMPARE(f.journal->events, QStringList({"purge out in", "close dev9", "open /dev/pts/4"}));
        QCOMPARE(f.link.PortNo(), 0);

        // A typed port keeps the list's text: the search selects no entry.
        f.display.portText = "/dev/pts/4";
        QVERIFY(f.link.OpenPortScan());
        QVERIFY(f.link.SearchStep(f.link.Settings()));
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
        QVERIFY(f.asked.isEmpty());
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
        QCOMPARE(f.link.PortNo(), 0);
        QCOMPARE(f.journal->events.last(), QString("close dev1"));
    }

    void rejectedSettingsCloseThePort() {
        Fixture f;
        QVERIFY(f.link.OpenPortByName(2));
        f.journal->refuseSettings = true;
        f.host.panels[3] = "before";
        QVERIFY(!f.link.ApplyPortSettings({5, 1}));
        QVERIFY(!f.link.PortHandle());
        QCOMPARE(f.link.PortNo(), 0);
        QCOMPARE(f.host.panels[2], QString("19200-O-1"));
        QCOMPARE(f.host.panels[3], QString("before"));
        QVERIFY(!f.journal->events.contains("purge out in"));

        // A refused search step shows nothing and reports false.
        QVERIFY(f.link.OpenPortScan());
        QVERIFY(!f.link.SearchStep(f.link.Settings()));
        QVERIFY(f.messages.texts().isEmpty());
    }

    // A plain network connection cannot change its settings: it is no fault of the port, which
    // stays open at the setting given, until another device is opened.
    void unchangeableSettingsKeepThePortOpenAtTheSettingGiven() {
        Fixture f;
        f.journal->refuseSettings = true;
        f.journal->refusal = SettingsRefusal::Unchangeable;
        QVERIFY(f.link.OpenPortByName(2));
        QVERIFY(!f.link.SettingsFixed());
        QVERIFY(f.link.ApplyPortSettings({6, 2}));
        QVERIFY(f.link.PortHandle());
        QVERIFY(f.link.SettingsFixed());
        QCOMPARE(f.link.Settings(), (RateAndParity{6, 2}));
        QCOMPARE(f.host.panels[2], QString("38400-E-1"));
        QCOMPARE(f.journal->events.last(), QString("purge out in"));

        QVERIFY(!f.link.SearchStep({6, 0}));
        QVERIFY(f.link.SettingsFixed());

        // A device that refuses for its own reasons is closed, and nothing stays fixed.
        f.journal->refusal = SettingsRefusal::Driver;
        QVERIFY(f.link.OpenPortByName(3));
        QVERIFY(!f.link.SettingsFixed());
        QVERIFY(!f.link.ApplyPortSettings({6, 2}));
        QVERIFY(!f.link.PortHandle());
        QVERIFY(!f.link.SettingsFixed());
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
        f.lastOpened->feed(QByteArray("\x55\xAA\x03", 3), LineError::RxParity | LineError::Framing);
        f.journal->events.clear();
        QCOMPARE(f.link.BytesWaiting(), 3u);
        QCOMPARE(f.link.CommErrors, LineError::RxParity | LineError::Framing);
        uint8_t buffer[3] = {};
        f.link.ReadPort(buffer, 3);
        QCOMPARE(QByteArray(reinterpret_cast<char*>(buffer), 3), QByteArray("\x55\xAA\x03", 3));
        QCOMPARE(f.link.BytesWaiting(), 0u);
        QCOMPARE(f.link.CommErrors, 0u);
        const uint8_t frame[] = {0x55, 0xAA, 0x02, 0x10, 0x00, 0x12};
        QCOMPARE(f.link.WritePort(frame, sizeof frame), 6u);
        QCOMPARE(f.link.BytesToWrite, 6u);
        QCOMPARE(f.journal->written, QByteArray("\x55\xAA\x02\x10\x00\x12", 6));
        QCOMPARE(f.journal->events, QStringList({"read 3", "write 6"}));
    }

    // An observer sees what the send queue took, what was read, what a purge threw away and
    // the settings, with the time; once removed, nothing more.
    void observersSeeEveryByteAndSetting() {
        Fixture f;
        ObserverRecorder observer;
        QVERIFY(f.link.OpenPortScan());
        const int64_t before = NowUs();
        // Told at once what the driver holds: its own stop bits before anything was set.
        f.link.addObserver(&observer);
        f.link.addObserver(&observer);
        QVERIFY(f.link.SearchStep(f.link.Settings()));
        f.lastOpened->sendCapacity = 3;
        f.lastOpened->holdSending(true);
        const uint8_t probe[] = {0x70, 0x72, 0x6F, 0x62, 0x65};
        QCOMPARE(f.link.WritePort(probe, 2), 2u);
        QCOMPARE(f.link.WriteData(probe + 2, 3), 1u);
        f.lastOpened->feed("reply");
        uint8_t buffer[8] = {};
        f.link.ReadPort(buffer, 2);
        f.link.PurgePort(PURGE_TXCLEAR);
        f.link.PurgePort(PURGE_RXCLEAR);
        f.link.PurgePort(PURGE_RXCLEAR);
        QVERIFY(f.link.ApplyPortSettings({6, 2}));
        QCOMPARE(observer.seen, QStringList({"settings 9600-N-2 COM1 (dev1)",
                                             "settings 9600-N-1 COM1 (dev1) search", "sent 70 72",
                                             "sent 6f", "received 72 65", "purged 70 6c 79",
                                             "settings 38400-E-1 COM1 (dev1)"}));
        // A device opened by its name is named so.
        QVERIFY(f.link.OpenPortByName(QString("/dev/typed")));
        QVERIFY(f.link.ApplyPortSettings(f.link.Settings()));
        QCOMPARE(observer.seen.last(), QString("settings 38400-E-1 /dev/typed"));
        QVERIFY(observer.earliestUs >= before && observer.latestUs <= NowUs() + 1000);

        f.link.removeObserver(&observer);
        QCOMPARE(f.link.WritePort(probe, 5), 5u);
        f.lastOpened->feed("more");
        f.link.ReadPort(buffer, 4);
        QCOMPARE(observer.seen.size(), 8);
        // Without a port, nothing to tell.
        f.link.ClosePort();
        f.link.addObserver(&observer);
        QCOMPARE(observer.seen.size(), 8);
    }

    // An observer of the exchanges is told of settings and purges always, of what WritePort
    // and ReadPort pass only while the probe says an exchange runs, and never of user data,
    // whoever else watches.
    void exchangeObserversSeeTheExchangesAlone() {
        Fixture f;
        ObserverRecorder exchanges;
        ObserverRecorder everything;
        bool running = false;
        f.link.setExchangeProbe([&running] { return running; });
        QVERIFY(f.link.OpenPortScan());
        f.link.addObserver(&exchanges, ObservedTraffic::Exchanges);
        const uint8_t probe[] = {0x70, 0x72};
        uint8_t buffer[4] = {};
        const auto passEachWay = [&](const char* received) {
            QCOMPARE(f.link.WritePort(probe, 1), 1u);
            QCOMPARE(f.link.WriteData(probe + 1, 1), 1u);
            f.lastOpened->feed(received);
            f.link.ReadPort(buffer, 1);
        };
        passEachWay("a");
        QCOMPARE(exchanges.seen, QStringList({"settings 9600-N-2 COM1 (dev1)"}));
        running = true;
        passEachWay("b");
        f.lastOpened->feed("c");
        f.link.PurgePort(PURGE_RXCLEAR);
        running = false;
        QVERIFY(f.link.SearchStep(f.link.Settings()));
        f.lastOpened->feed("d");
        f.link.PurgePort(PURGE_RXCLEAR);
        f.link.addObserver(&everything);
        running = true;
        passEachWay("e");
        QCOMPARE(exchanges.seen,
                 QStringList({"settings 9600-N-2 COM1 (dev1)", "sent 70", "received 62",
                              "purged 63", "settings 9600-N-1 COM1 (dev1) search", "purged 64",
                              "sent 70", "received 65"}));
        QCOMPARE(everything.seen.mid(1), QStringList({"sent 70", "sent 72", "received 65"}));
        // Without a probe no exchange ever runs.
        f.link.setExchangeProbe({});
        passEachWay("f");
        QCOMPARE(exchanges.seen.size(), 8);
        QCOMPARE(everything.seen.size(), 7);
    }

    void onlyUserDataCountsOnceTheDriverTookIt() {
        Fixture f;
        QVERIFY(f.link.OpenPortScan());
        FakeSerialDevice& device = *f.lastOpened;
        device.holdSending(true);
        QCOMPARE(f.link.WritePort(kBytes, 5), 5u);
        QCOMPARE(f.link.WriteData(kBytes, 4), 4u);
        QCOMPARE(f.link.WritePort(kBytes, 3), 3u);
        QCOMPARE(f.link.WriteData(kBytes, 2), 2u);
        QVERIFY(f.link.SendPending());
        QCOMPARE(f.link.TakeSentData(), 0u);

        device.release(6);
        QCOMPARE(f.host.sentNotices, 1);
        QCOMPARE(f.link.TakeSentData(), 1u);
        device.release(8);
        QVERIFY(!f.link.SendPending());
        QCOMPARE(f.link.TakeSentData(), 5u);
        QCOMPARE(f.link.TakeSentData(), 0u);
    }

    void refusedBytesNeverCount() {
        Fixture f;
        QVERIFY(f.link.OpenPortScan());
        FakeSerialDevice& device = *f.lastOpened;
        device.holdSending(true);
        device.sendCapacity = 6;
        QCOMPARE(f.link.WriteData(kBytes, 4), 4u);
        QCOMPARE(f.link.WriteData(kBytes, 5), 2u);
        QCOMPARE(f.link.BytesToWrite, 5u);
        QCOMPARE(f.link.WritePort(kBytes, 3), 0u);
        device.release(6);
        QCOMPARE(f.link.TakeSentData(), 6u);
        QCOMPARE(f.link.WritePort(kBytes, 3), 3u);
        device.release(3);
        QCOMPARE(f.link.TakeSentData(), 0u);
    }

    void outputPurgeAndCloseEndTheQueuedWrites() {
        Fixture f;
        QVERIFY(f.link.OpenPortScan());
        f.lastOpened->holdSending(true);
        QCOMPARE(f.link.WriteData(kBytes, 5), 5u);
        f.lastOpened->release(2);
        f.link.PurgePort(PURGE_RXCLEAR);
        QVERIFY(f.link.SendPending());
        f.lastOpened->release(1);
        // What the driver took before the purge still counts; the rest is gone.
        f.link.PurgePort(PURGE_TXCLEAR);
        QVERIFY(!f.link.SendPending());
        QCOMPARE(f.link.TakeSentData(), 3u);
        QCOMPARE(f.link.WritePort(kBytes, 4), 4u);
        f.lastOpened->release(4);
        QCOMPARE(f.link.TakeSentData(), 0u);

        // Taken before the close counts; the next device counts from zero.
        QCOMPARE(f.link.WriteData(kBytes, 6), 6u);
        f.lastOpened->release(2);
        f.link.ClosePort();
        QVERIFY(!f.link.SendPending());
        QCOMPARE(f.link.TakeSentData(), 2u);
        QVERIFY(f.link.OpenPortScan());
        QCOMPARE(f.link.WriteData(kBytes, 3), 3u);
        QCOMPARE(f.link.TakeSentData(), 3u);
    }

    void lostBytesAreReportedOnceAndOutliveTheDevice() {
        Fixture f;
        QVERIFY(f.link.OpenPortScan());
        f.lastOpened->drop(5);
        QCOMPARE(f.link.TakeLostBytes(), 5u);
        QCOMPARE(f.link.TakeLostBytes(), 0u);
        f.lastOpened->drop(2);
        f.lastOpened->vanish();
        QVERIFY(!f.link.PortHandle());
        QCOMPARE(f.host.portsLost, 1);
        QCOMPARE(f.link.TakeLostBytes(), 2u);
        QVERIFY(f.link.OpenPortScan());
        f.lastOpened->drop(1);
        QCOMPARE(f.link.TakeLostBytes(), 1u);
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
        QCOMPARE(link.WritePort(kBytes, 2), 0u);
        QCOMPARE(link.BytesToWrite, 2u);
        QCOMPARE(link.WriteData(kBytes, 2), 0u);
        QCOMPARE(link.TakeSentData(), 0u);
        QVERIFY(!link.SendPending());
        QCOMPARE(link.TakeLostBytes(), 0u);
        link.PurgePort(15);
        QVERIFY(!link.SearchStep(link.Settings()));
        link.ClosePort();
        QVERIFY(!link.OpenPortScan());
        QCOMPARE(link.OpenFailureText(), QString("COM1 (dev1): no such device."));
        QVERIFY(messages.texts().isEmpty());
    }

    // The host is told once and says so; the link itself raises no message.
    // Each line that changed is told once, whoever changed it; what the lines are at the open
    // is no change. A port without modem lines has none to show or switch.
    void modemLineChangesReachTheObservers() {
        Fixture f;
        ObserverRecorder observer;
        f.journal->modemLines = ModemLine::Dtr | ModemLine::Rts | ModemLine::Dsr;
        QVERIFY(f.link.OpenPortByName(2));
        f.link.addObserver(&observer);
        QCOMPARE(f.link.ModemLines(), std::optional<uint8_t>(0x0B));
        QVERIFY(f.link.SetModemLine(ModemLine::Dtr, false));
        QVERIFY(f.link.SetModemLine(ModemLine::Dtr, false));
        f.lastOpened->moveModemLine(ModemLine::Cts, true);
        f.lastOpened->reportModemLines();
        f.lastOpened->moveModemLine(ModemLine::Ri, true);
        f.lastOpened->moveModemLine(ModemLine::Dsr, false);
        QCOMPARE(observer.seen,
                 QStringList({"settings 9600-N-2 COM2 (dev2)", "line DTR off COM2 (dev2)",
                              "line CTS on COM2 (dev2)", "line RI on COM2 (dev2)",
                              "line DSR off COM2 (dev2)"}));
        QCOMPARE(f.link.ModemLines(),
                 std::optional<uint8_t>(ModemLine::Rts | ModemLine::Cts | ModemLine::Ri));

        f.journal->modemLines.reset();
        QVERIFY(f.link.OpenPortByName(3));
        QCOMPARE(f.link.ModemLines(), std::nullopt);
        QVERIFY(!f.link.SetModemLine(ModemLine::Rts, true));
        f.link.ClosePort();
        QCOMPARE(f.link.ModemLines(), std::nullopt);
        QVERIFY(!f.link.SetModemLine(ModemLine::Rts, true));
        QCOMPARE(observer.seen.size(), 5);
    }

    // The port that vanished is kept as it was, settings and adapter included, for an open
    // again; a port the user closed did not vanish.
    void vanishedPortIsKeptWithItsSettings() {
        Fixture f;
        QCOMPARE(f.link.LastVanishedPort().has_value(), false);
        f.journal->serialNumber = "A1B2";
        f.journal->modemLines = ModemLine::Rts;
        QVERIFY(f.link.OpenPortByName(4));
        QVERIFY(f.link.ApplyPortSettings({6, 2}));
        f.link.ClosePort();
        QCOMPARE(f.link.LastVanishedPort().has_value(), false);
        QVERIFY(f.link.OpenPortByName(QString("/dev/typed")));
        QVERIFY(f.link.ApplyPortSettings(f.link.Settings()));
        f.lastOpened->vanish();
        const std::optional<VanishedPort> vanished = f.link.LastVanishedPort();
        QVERIFY(vanished);
        QCOMPARE(vanished->choice.portNo, 0);
        QCOMPARE(vanished->choice.deviceName, QString("/dev/typed"));
        QCOMPARE(vanished->choice.baudIndex, 6);
        QCOMPARE(vanished->choice.parityIndex, 2);
        QCOMPARE(vanished->serialNumber, QString("A1B2"));
        QCOMPARE(vanished->modemLines, std::optional<uint8_t>(ModemLine::Rts));
    }

    void vanishedDeviceClosesThePortOnce() {
        Fixture f;
        QVERIFY(f.link.OpenPortByName(4));
        QPointer<FakeSerialDevice> device = f.lastOpened;
        device->vanish();
        device->vanish();
        QVERIFY(!f.link.PortHandle());
        QCOMPARE(f.link.PortNo(), 0);
        QCOMPARE(f.host.portsLost, 1);
        QVERIFY(!f.host.polling);
        QCOMPARE(f.host.panels[3], QString("Disconnect"));
        QVERIFY(f.messages.texts().isEmpty());
        QCOMPARE(f.journal->events.last(), QString("close dev4"));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(device.isNull());
        // The next read finds no port open and scans.
        QVERIFY(f.link.OpenPortScan());
        QCOMPARE(f.link.PortNo(), 1);
    }
};

QTEST_GUILESS_MAIN(SerialLinkTest)
#include "tst_seriallink.moc"
