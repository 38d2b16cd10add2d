#include <QTest>

#include "serial/portnames.h"

class PortNamesTest : public QObject {
    Q_OBJECT
  private slots:
    void cleanup() { SetPinnedPorts({}); }

    void adaptersFirstThenOnBoardEachInNaturalOrder_data() {
        QTest::addColumn<QStringList>("locations");
        QTest::addColumn<QList<bool>>("adapters");
        QTest::addColumn<QStringList>("ordered");
        QTest::newRow("linux mix")
            << QStringList{"/dev/ttyS1",   "/dev/ttyUSB10", "/dev/ttyS0", "/dev/ttyACM0",
                           "/dev/ttyUSB2", "/dev/ttyS10",   "/dev/ttyS2"}
            << QList<bool>{false, true, false, true, true, false, false}
            << QStringList{"/dev/ttyACM0", "/dev/ttyUSB2", "/dev/ttyUSB10", "/dev/ttyS0",
                           "/dev/ttyS1",   "/dev/ttyS2",   "/dev/ttyS10"};
        QTest::newRow("macOS adapters")
            << QStringList{"/dev/cu.usbserial-2", "/dev/cu.Bluetooth", "/dev/cu.usbmodem1"}
            << QList<bool>{true, false, true}
            << QStringList{"/dev/cu.usbmodem1", "/dev/cu.usbserial-2", "/dev/cu.Bluetooth"};
        QTest::newRow("leading zeros and prefixes")
            << QStringList{"/dev/ttyS01", "/dev/ttyS1", "/dev/ttyS", "/dev/ttyS9"}
            << QList<bool>{false, false, false, false}
            << QStringList{"/dev/ttyS", "/dev/ttyS1", "/dev/ttyS01", "/dev/ttyS9"};
        QTest::newRow("none") << QStringList{} << QList<bool>{} << QStringList{};
    }
    void adaptersFirstThenOnBoardEachInNaturalOrder() {
        QFETCH(QStringList, locations);
        QFETCH(QList<bool>, adapters);
        QFETCH(QStringList, ordered);
        QList<SerialPortCandidate> ports;
        for (int i = 0; i < locations.size(); ++i) ports.append({locations[i], adapters[i]});
        QCOMPARE(OrderSerialPorts(ports), ordered);
    }

    void pinnedDevicesTakeTheFirstSlots() {
        SetPinnedPorts({"sim", "/tmp/ttyRADIO"});
        QCOMPARE(DeviceForPort(1), QString("sim"));
        QCOMPARE(DeviceForPort(2), QString("/tmp/ttyRADIO"));
        QCOMPARE(DeviceForPort(0), QString());
        QCOMPARE(DeviceForPort(-3), QString());
        QCOMPARE(DeviceForPort(200), QString());
        const QStringList devices = DevicesForPorts(9);
        QCOMPARE(devices.size(), 9);
        QCOMPARE(devices.mid(0, 2), QStringList({"sim", "/tmp/ttyRADIO"}));
        for (int n = 1; n <= 9; ++n) QCOMPARE(DeviceForPort(n), devices[n - 1]);
    }

    void aPinnedSystemPortIsNotCountedTwice() {
        SetPinnedPorts({});
        const QStringList system = SerialPortDevices();
        QStringList reversed(system.rbegin(), system.rend());
        reversed.prepend("sim");
        SetPinnedPorts(reversed);
        QCOMPARE(SerialPortDevices(), reversed);
        QCOMPARE(DeviceForPort(reversed.size() + 1), QString());
    }
};

QTEST_GUILESS_MAIN(PortNamesTest)
#include "tst_portnames.moc"
