#include <QFile>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "serial/portnames.h"
#include "serial/portreturn.h"
#include "serial/seriallink.h"
#include "tests/support/fakeserialdevice.h"
#include "tests/support/recorders.h"

namespace {

using Listed = QList<ListedDevice>;

// A link onto fake devices at paths in a folder of the test's own, whose files stand for the
// devices being there; the system's list of ports is the test's too.
struct Fixture {
    QTemporaryDir dir;
    std::shared_ptr<DeviceJournal> journal = std::make_shared<DeviceJournal>();
    FakeSerialDevice* lastOpened = nullptr;
    SerialLink link{FakeOpener(journal, &lastOpened)};
    HostRecorder host;
    Listed listed;
    int listings = 0;
    PortReturn portReturn{link, [this] {
                              ++listings;
                              return listed;
                          }};

    Fixture() { link.setHost(&host); }
    QString device(const QString& name) const { return dir.filePath(name); }
    void plugIn(const QString& name) {
        QFile file(device(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    void pullOut(const QString& name) { QVERIFY(QFile::remove(device(name))); }
    // Opens the device at 38400 bit/s, even parity, and lets it vanish.
    void openAndLose(const QString& name) {
        plugIn(name);
        QCOMPARE(link.ChoosePort({0, device(name), 6, 2}).outcome, PortChoiceOutcome::Applied);
        pullOut(name);
        lastOpened->vanish();
        QVERIFY(!link.PortHandle());
    }
    int opens() const { return int(journal->events.filter("open ").size()); }
};

}  // namespace

class PortReturnTest : public QObject {
    Q_OBJECT
  private slots:
    void init() { SetPinnedPorts({}); }

    void deviceBackIsTheSameDevice_data() {
        QTest::addColumn<QString>("serialNumber");
        QTest::addColumn<QString>("nameLeadsTo");  // empty: nowhere
        QTest::addColumn<Listed>("listed");
        QTest::addColumn<QString>("back");
        const QString name = "/dev/serial/by-id/radio";
        QTest::newRow("no adapter, name leads nowhere") << ""
                                                        << "" << Listed{} << "";
        QTest::newRow("no adapter, name leads to a device")
            << ""
            << "/dev/ttyS1" << Listed{{"/dev/ttyS1", ""}} << name;
        QTest::newRow("adapter back at its name")
            << "A1"
            << "/dev/ttyUSB0" << Listed{{"/dev/ttyUSB0", "A1"}} << name;
        QTest::newRow("name leads to a device the system does not list")
            << "A1"
            << "/dev/pts/4" << Listed{} << name;
        QTest::newRow("name leads to a device without a serial number")
            << "A1"
            << "/dev/ttyUSB0" << Listed{{"/dev/ttyUSB0", ""}} << name;
        QTest::newRow("another adapter took the name")
            << "A1"
            << "/dev/ttyUSB0" << Listed{{"/dev/ttyUSB0", "B2"}} << "";
        QTest::newRow("another adapter took the name, ours is elsewhere")
            << "A1"
            << "/dev/ttyUSB0" << Listed{{"/dev/ttyUSB0", "B2"}, {"/dev/ttyUSB1", "A1"}}
            << "/dev/ttyUSB1";
        QTest::newRow("adapter back under another name")
            << "A1"
            << "" << Listed{{"/dev/ttyUSB3", "B2"}, {"/dev/ttyUSB1", "A1"}} << "/dev/ttyUSB1";
        QTest::newRow("adapter not back") << "A1"
                                          << "" << Listed{{"/dev/ttyUSB3", "B2"}} << "";
    }
    void deviceBackIsTheSameDevice() {
        QFETCH(QString, serialNumber);
        QFETCH(QString, nameLeadsTo);
        QFETCH(Listed, listed);
        QFETCH(QString, back);
        const ReturnWatch watch({{0, "/dev/serial/by-id/radio", 4, 0}, serialNumber, {}});
        const std::optional<QString> leadsTo =
            nameLeadsTo.isEmpty() ? std::nullopt : std::optional<QString>(nameLeadsTo);
        QCOMPARE(watch.deviceBack(leadsTo, listed), back);
    }

    // Every poll looks until an open fails; then the gaps double up to their bound.
    void failedOpensSpaceTheTriesOut() {
        ReturnWatch watch({{0, "/dev/ttyUSB0", 4, 0}, {}, {}});
        QVERIFY(watch.pollLooks());
        QVERIFY(watch.pollLooks());
        QList<int> gaps;
        for (int tries = 0; tries < 7; ++tries) {
            watch.openFailed();
            int skipped = 0;
            while (!watch.pollLooks()) ++skipped;
            gaps << skipped;
        }
        QCOMPARE(gaps, QList<int>({1, 2, 4, 8, 16, 16, 16}));
    }

    // A link's name leads where the link points; a missing device leads nowhere.
    void nameLeadsToTheDeviceALinkPointsAt() {
        QTemporaryDir dir;
        const QString device = dir.filePath("ttyREAL");
        QFile file(device);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(QFile::link(device, dir.filePath("radio")));
        QCOMPARE(WhereNameLeads(dir.filePath("radio"), {}), std::optional<QString>(device));
        QCOMPARE(WhereNameLeads(dir.filePath("none"), {}), std::nullopt);
        QVERIFY(file.remove());
        QCOMPARE(WhereNameLeads(dir.filePath("radio"), {}), std::nullopt);
    }

    // The port opens again with its settings once its device is back, and the receive poll
    // runs again; before that nothing is opened.
    void vanishedPortOpensAgainWithItsSettings() {
        Fixture f;
        QSignalSpy ended(&f.portReturn, &PortReturn::waitEnded);
        f.openAndLose("ttyA");
        QVERIFY(f.portReturn.awaitVanishedPort());
        QCOMPARE(f.portReturn.awaitedDevice(), f.device("ttyA"));
        const int opens = f.opens();
        f.portReturn.poll();
        QCOMPARE(f.opens(), opens);
        QVERIFY(f.portReturn.waiting());

        f.plugIn("ttyA");
        f.portReturn.poll();
        QVERIFY(f.link.PortHandle());
        QCOMPARE(f.link.PortDeviceName(), f.device("ttyA"));
        QCOMPARE(f.lastOpened->lineSettings(), (LineSettings{38400, ParityMode::Even, 1}));
        QVERIFY(f.host.polling);
        QVERIFY(!f.portReturn.waiting());
        QCOMPARE(ended.size(), 1);
        QCOMPARE(ended[0][0].toBool(), true);
        // Without an adapter's serial number the system's list is not needed.
        QCOMPARE(f.listings, 0);
    }

    // DTR and RTS are switched back to how the user left them, whatever the open made them.
    void switchedLinesAreRestored() {
        Fixture f;
        f.journal->modemLines = ModemLine::Dtr | ModemLine::Rts;
        f.plugIn("ttyE");
        QCOMPARE(f.link.ChoosePort({0, f.device("ttyE"), 4, 0}).outcome,
                 PortChoiceOutcome::Applied);
        QVERIFY(f.link.SetModemLine(ModemLine::Dtr, false));
        f.lastOpened->moveModemLine(ModemLine::Cts, true);
        f.lastOpened->vanish();
        QVERIFY(f.portReturn.awaitVanishedPort());
        f.journal->events.clear();
        f.portReturn.poll();
        QVERIFY(f.link.PortHandle());
        QCOMPARE(f.journal->events.filter("line "), QStringList{"line 1 off"});
        QCOMPARE(f.link.ModemLines(), std::optional<uint8_t>(ModemLine::Rts));
    }

    // A device back that will not open yet is tried again, less and less often.
    void refusedOpenIsTriedAgainLater() {
        Fixture f;
        f.openAndLose("ttyB");
        QVERIFY(f.portReturn.awaitVanishedPort());
        f.plugIn("ttyB");
        f.journal->refused[f.device("ttyB")] = OpenFailure::NoPermission;
        f.portReturn.poll();
        QVERIFY(f.portReturn.waiting());
        f.journal->refused.clear();
        f.portReturn.poll();
        QVERIFY(!f.link.PortHandle());
        f.portReturn.poll();
        QVERIFY(f.link.PortHandle());
    }

    // A server gives no sign of being back but the connection: every look tries the same URL in
    // the background, the pauses growing while it refuses, without the system's list of ports.
    // No look is made while a try runs; a port the user opens meanwhile is the one kept.
    void networkPortIsTriedAgainUntilTheServerIsBack() {
        const QString url = "rfc2217://rack:4001";
        auto journal = std::make_shared<DeviceJournal>();
        FakeSerialDevice* opened = nullptr;
        SerialLink link(FakeOpener(journal, &opened));
        QList<int> tries;
        int poll = -1;
        QPointer<HeldOpen> held;
        LineSettings asked;
        int listings = 0;
        PortReturn portReturn(
            link,
            [&listings] {
                ++listings;
                return Listed();
            },
            [&](const QString& name, const LineSettings& settings) {
                tries << poll;
                asked = settings;
                auto open = std::make_unique<HeldOpen>(FakeOpener(journal, &opened), name);
                held = open.get();
                return open;
            });
        const auto lose = [&] {
            QCOMPARE(link.ChoosePort({0, url, 6, 1}).outcome, PortChoiceOutcome::Applied);
            opened->vanish();
            QVERIFY(portReturn.awaitVanishedPort());
            tries.clear();
        };
        lose();
        QCOMPARE(portReturn.awaitedDevice(), url);

        journal->refused[url] = OpenFailure::ConnectionRefused;
        for (poll = 0; poll < 8; ++poll) {
            portReturn.poll();
            if (held) std::exchange(held, nullptr)->answer();
        }
        QCOMPARE(tries, QList<int>({0, 2, 5}));
        QVERIFY(portReturn.waiting());

        journal->refused.clear();
        for (poll = 8; poll < 8 + ReturnWatch::MaxPollsBetweenTries && tries.size() < 4; ++poll)
            portReturn.poll();
        for (int more = 0; more < 3; ++more) portReturn.poll();
        QCOMPARE(tries.size(), 4);
        QVERIFY(!link.PortHandle());
        std::exchange(held, nullptr)->answer();
        QVERIFY(link.PortHandle());
        QCOMPARE(link.PortDeviceName(), url);
        QCOMPARE(opened->lineSettings(), (LineSettings{38400, ParityMode::Odd, 1}));
        QCOMPARE(asked, opened->lineSettings());
        QVERIFY(!portReturn.waiting());
        QCOMPARE(listings, 0);

        lose();
        portReturn.poll();
        QCOMPARE(link.ChoosePort({0, "local", 4, 0}).outcome, PortChoiceOutcome::Applied);
        std::exchange(held, nullptr)->answer();
        QCOMPARE(link.PortDeviceName(), QStringLiteral("local"));
        QVERIFY(!portReturn.waiting());
    }

    // An adapter known by its serial number opens under the name it comes back with.
    void adapterIsFoundUnderItsNewName() {
        Fixture f;
        f.journal->serialNumber = "FT42";
        f.openAndLose("ttyUSB0");
        QVERIFY(f.portReturn.awaitVanishedPort());
        f.plugIn("ttyUSB1");
        f.listed = {{f.device("ttyUSB1"), "FT42"}};
        f.portReturn.poll();
        QVERIFY(f.link.PortHandle());
        QCOMPARE(f.link.PortDeviceName(), f.device("ttyUSB1"));
        QCOMPARE(f.lastOpened->lineSettings().baudRate, 38400);
    }

    // A port opened meanwhile, or the user's stop, ends the wait without opening anything.
    void waitEndsWhenAPortIsOpenedOrOnStop() {
        Fixture f;
        QSignalSpy ended(&f.portReturn, &PortReturn::waitEnded);
        QVERIFY(!f.portReturn.awaitVanishedPort());
        f.openAndLose("ttyC");
        QVERIFY(f.portReturn.awaitVanishedPort());
        f.plugIn("ttyD");
        QCOMPARE(f.link.ChoosePort({0, f.device("ttyD"), 4, 0}).outcome,
                 PortChoiceOutcome::Applied);
        f.plugIn("ttyC");
        f.portReturn.poll();
        QCOMPARE(f.link.PortDeviceName(), f.device("ttyD"));
        QVERIFY(!f.portReturn.waiting());

        f.link.ClosePort();
        QVERIFY(f.portReturn.awaitVanishedPort());
        f.portReturn.stop();
        f.portReturn.poll();
        QVERIFY(!f.link.PortHandle());
        QCOMPARE(ended.size(), 2);
        QCOMPARE(ended[1][0].toBool(), false);
    }
};

QTEST_GUILESS_MAIN(PortReturnTest)
#include "tst_portreturn.moc"
