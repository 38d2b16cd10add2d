#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "core/language.h"
#include "serial/portnames.h"
#include "serial/serialform.h"
#include "tests/support/fakeserialdevice.h"
#include "tests/support/recorders.h"

namespace {

QStringList Items(const QComboBox* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
    return items;
}

// What the main window does to the dialog when it is activated in English.
void ApplyEnglishParityList(TSerial_Form& form) {
    form.ComboParity->clear();
    form.ComboParity->addItems({"N", "O", "E"});
    form.ComboParity->setCurrentIndex(0);
}

void TypeInto(QComboBox* list, const QString& text) {
    list->lineEdit()->selectAll();
    QTest::keyClicks(list->lineEdit(), text);
}

struct Fixture {
    std::shared_ptr<DeviceJournal> journal = std::make_shared<DeviceJournal>();
    SerialLink link{FakeOpener(journal)};
    HostRecorder host;
    MessageRecorder messages;
    TSerial_Form form{link};
    Fixture() {
        link.setHost(&host);
        link.setDisplay(&form);
        host.polling = false;
        form.show();
    }
};

// A link whose every choice opens and then refuses the settings, for the reason given.
struct RefusingLink : PortSettingsLink {
    SettingsRefusal refusal = SettingsRefusal::Driver;
    PortChoiceResult ChoosePort(const PortChoice&) override {
        return {PortChoiceOutcome::SettingsRefused, {}, refusal};
    }
    bool PortHandle() const override { return false; }
};

}  // namespace

class SerialFormTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() {
        SetPinnedPorts({"dev1", "dev2", "dev3", "dev4", "dev5", "dev6", "dev7", "dev8", "dev9"});
    }
    void init() { LanguageFlag = 1; }

    void chosenEntryFollowsTheShownText_data() {
        QTest::addColumn<int>("currentIndex");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("typed");
        QTest::addColumn<int>("chosen");
        QTest::newRow("selected") << 1 << "B" << false << 1;
        QTest::newRow("typed another entry") << 0 << "C" << true << 2;
        QTest::newRow("typed no entry") << 0 << "X" << true << -1;
        QTest::newRow("nothing selected, text shown") << -1 << "A" << false << -1;
        QTest::newRow("typed empty matches the empty entry") << 0 << "" << true << 3;
    }
    void chosenEntryFollowsTheShownText() {
        QFETCH(int, currentIndex);
        QFETCH(QString, shown);
        QFETCH(bool, typed);
        QFETCH(int, chosen);
        QCOMPARE(ChosenEntry({"A", "B", "C", ""}, currentIndex, shown, typed), chosen);
    }

    void controlsAsDesigned() {
        TSerial_Form form(Link());
        QCOMPARE(form.objectName(), QString("Serial_Form"));
        QCOMPARE(form.windowTitle(), QString("串口配置"));
        QVERIFY(!form.isModal());
        const QList<std::pair<QWidget*, QString>> named = {{form.GroupBox1, "GroupBox1"},
                                                           {form.Label1, "Label1"},
                                                           {form.Label2, "Label2"},
                                                           {form.Label3, "Label3"},
                                                           {form.Label4, "Label4"},
                                                           {form.Label5, "Label5"},
                                                           {form.Comb_ComNo, "Comb_ComNo"},
                                                           {form.ComboBaudRate, "ComboBaudRate"},
                                                           {form.ComboParity, "ComboParity"},
                                                           {form.Comb_DataBit, "Comb_DataBit"},
                                                           {form.Button1, "Button1"},
                                                           {form.Button2, "Button2"},
                                                           {form.Comb_StopBit, "Comb_StopBit"}};
        for (const auto& [widget, name] : named) {
            QCOMPARE(widget->objectName(), name);
            QCOMPARE(form.findChild<QWidget*>(name), widget);
            if (widget != form.GroupBox1) QVERIFY(form.GroupBox1->isAncestorOf(widget));
        }
        QCOMPARE(form.GroupBox1->title(), QString("端口属性"));
        QCOMPARE(form.Label1->text(), QString("波特率"));
        QCOMPARE(form.Label2->text(), QString("端口号"));
        QCOMPARE(form.Label3->text(), QString("检验位"));
        QCOMPARE(form.Label4->text(), QString("数据位"));
        QCOMPARE(form.Label5->text(), QString("停止位"));
        QCOMPARE(form.Button1->text(), QString("确定"));
        QCOMPARE(form.Button2->text(), QString("取消"));

        struct ListCase {
            QComboBox* list;
            QStringList items;
            int selected;
            QString text;
        };
        const QList<ListCase> lists = {
            {form.Comb_ComNo,
             {"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8", ""},
             0,
             "COM1"},
            {form.ComboBaudRate,
             {"600", "1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"},
             4,
             "9600"},
            {form.ComboParity, {"无", "奇", "偶"}, -1, "无"},
            {form.Comb_DataBit, {"8"}, 0, "8"},
            {form.Comb_StopBit, {"1", "2"}, 0, "1"}};
        for (const ListCase& c : lists) {
            QVERIFY(c.list->isEditable());
            QCOMPARE(Items(c.list), c.items);
            QCOMPARE(c.list->currentIndex(), c.selected);
            QCOMPARE(c.list->currentText(), c.text);
        }
    }

    void layoutTopToBottomWithOkLeftOfCancel() {
        Fixture f;
        const QList<QWidget*> rows = {f.form.Comb_ComNo,   f.form.ComboBaudRate, f.form.ComboParity,
                                      f.form.Comb_DataBit, f.form.Comb_StopBit,  f.form.Button1};
        for (int i = 1; i < rows.size(); ++i) QVERIFY(rows[i - 1]->y() < rows[i]->y());
        QCOMPARE(f.form.Button1->y(), f.form.Button2->y());
        QVERIFY(f.form.Button1->x() < f.form.Button2->x());
        QVERIFY(f.form.Label2->x() < f.form.Comb_ComNo->x());
        QCOMPARE(f.form.Label2->y() / 10, f.form.Comb_ComNo->y() / 10);
    }

    void okOpensTheChosenPortWithItsSettings_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<int>("parityIndex");
        QTest::addColumn<QString>("connecting");
        QTest::newRow("English, parity N") << 1 << 0 << "Connect...";
        QTest::newRow("Chinese, nothing selected") << 0 << 255 << "连接中...";
    }
    void okOpensTheChosenPortWithItsSettings() {
        QFETCH(int, language);
        QFETCH(int, parityIndex);
        QFETCH(QString, connecting);
        LanguageFlag = language;
        Fixture f;
        if (language == 1) ApplyEnglishParityList(f.form);
        QTest::mouseClick(f.form.Button1, Qt::LeftButton);
        QCOMPARE(f.journal->events, QStringList({"open dev1", "set 9600 N 1", "purge out in"}));
        QCOMPARE(f.link.PortNo(), 1);
        QCOMPARE(f.link.BaudIndex(), 4);
        QCOMPARE(f.link.ParityIndex(), parityIndex);
        QCOMPARE(f.host.panels[1], QString("COM1"));
        QCOMPARE(f.host.panels[2], QString("9600-N-1"));
        QCOMPARE(f.host.panels[3], connecting);
        QVERIFY(f.host.polling);
        QCOMPARE(f.host.pollStarts, 2);
        QVERIFY(f.form.isHidden());
        QVERIFY(f.messages.texts().isEmpty());
    }

    // The box says why, on a line after its own text.
    void okWithAPortThatCannotOpenKeepsTheWindow_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<int>("failure");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("closed");
        QTest::newRow("in use") << 1 << int(OpenFailure::InUse)
                                << "Port open error!\nCOM2 (dev2) is in use by another program."
                                << "Disconnect";
        QTest::newRow("no such device, Chinese")
            << 0 << int(OpenFailure::NoSuchDevice) << "打开通讯端口错误!\nCOM2 (dev2)：设备不存在。"
            << "已断开";
    }
    // The port open until then is closed, and the status bar says so instead of "Connect...".
    void okWithAPortThatCannotOpenKeepsTheWindow() {
        QFETCH(int, language);
        QFETCH(int, failure);
        QFETCH(QString, text);
        QFETCH(QString, closed);
        LanguageFlag = language;
        Fixture f;
        f.form.Button1Click();
        QCOMPARE(f.host.panels[3], language == 1 ? "Connect..." : "连接中...");
        f.form.show();
        f.journal->refused["dev2"] = OpenFailure(failure);
        f.form.Comb_ComNo->setCurrentIndex(1);
        f.form.Button1Click();
        QCOMPARE(f.messages.texts(), QStringList{text});
        QCOMPARE(f.messages.shown[0].caption, QString("CommError"));
        QVERIFY(f.form.isVisible());
        QVERIFY(!f.link.PortHandle());
        QCOMPARE(f.link.PortNo(), 2);
        QCOMPARE(f.host.panels[3], closed);
        QVERIFY(!f.host.polling);
    }

    // The dialog tells the user itself when the port refuses the settings chosen: the port is
    // closed and nothing reports it opened.
    void okWithSettingsThePortRefuses_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("shown");
        QTest::newRow("English") << 1 << "CommError: Port open error!";
        QTest::newRow("Chinese") << 0 << "Set_Error: 通讯端口设置错误!";
    }
    void okWithSettingsThePortRefuses() {
        QFETCH(int, language);
        QFETCH(QString, shown);
        LanguageFlag = language;
        Fixture f;
        f.journal->refuseSettings = true;
        QSignalSpy opened(&f.form, &TSerial_Form::portOpened);
        f.form.Button1Click();
        QCOMPARE(f.messages.texts().size(), 1);
        QCOMPARE(f.messages.shown[0].caption + ": " + f.messages.shown[0].text, shown);
        QVERIFY(!f.link.PortHandle());
        QCOMPARE(opened.count(), 0);
    }

    // A network serial server's refusal says why; a local driver's stays as it was.
    void refusedSettingsSayWhy_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<int>("refusal");
        QTest::addColumn<QString>("shown");
        QTest::newRow("server") << 1 << int(SettingsRefusal::Server)
                                << "Port open error!\nThe network serial server refused these "
                                   "settings.";
        QTest::newRow("no answer") << 1 << int(SettingsRefusal::NoAnswer)
                                   << "Port open error!\nThe network serial server did not "
                                      "confirm these settings within 2 s.";
        QTest::newRow("no answer, Chinese")
            << 0 << int(SettingsRefusal::NoAnswer)
            << "通讯端口设置错误!\n网络串口服务器未在 2 秒内确认这些设置。";
        QTest::newRow("server, Chinese") << 0 << int(SettingsRefusal::Server)
                                         << "通讯端口设置错误!\n网络串口服务器拒绝了这些设置。";
        QTest::newRow("connection ended")
            << 1 << int(SettingsRefusal::ConnectionEnded)
            << "Port open error!\nThe network serial server ended the connection before it set "
               "these settings.";
        QTest::newRow("driver") << 1 << int(SettingsRefusal::Driver) << "Port open error!";
    }
    void refusedSettingsSayWhy() {
        QFETCH(int, language);
        QFETCH(int, refusal);
        QFETCH(QString, shown);
        LanguageFlag = language;
        RefusingLink link;
        link.refusal = SettingsRefusal(refusal);
        MessageRecorder messages;
        TSerial_Form form(link);
        form.show();
        form.Button1Click();
        QCOMPARE(messages.texts(), QStringList{shown});
        QVERIFY(form.isHidden());
    }

    void cancelChangesNothing() {
        Fixture f;
        QVERIFY(f.link.OpenPortByName(3));
        f.host.panels[2] = "19200-O-1";
        f.journal->events.clear();
        f.form.ComboBaudRate->setCurrentIndex(8);
        QTest::mouseClick(f.form.Button2, Qt::LeftButton);
        QVERIFY(f.form.isHidden());
        QVERIFY(f.journal->events.isEmpty());
        QCOMPARE(f.link.PortNo(), 3);
        QCOMPARE(f.host.panels.keys(), QList<int>({2}));
        // Closing only hides; the selections are kept for the next showing.
        f.form.show();
        QCOMPARE(f.form.ComboBaudRate->currentIndex(), 8);
    }

    void okEdgeCases_data() {
        QTest::addColumn<int>("portEntry");
        QTest::addColumn<QString>("typedPort");
        QTest::addColumn<QString>("typedRate");
        QTest::addColumn<int>("parityEntry");
        QTest::addColumn<QString>("opened");
        QTest::addColumn<int>("portNo");
        QTest::addColumn<QString>("settings");
        QTest::newRow("ninth entry") << 8 << ""
                                     << "" << 2 << "dev9" << 9 << "9600-E-1";
        QTest::newRow("typed device") << 0 << "/dev/ttyUSB3"
                                      << "" << 1 << "/dev/ttyUSB3" << 0 << "9600-O-1";
        QTest::newRow("typed entry name") << 0 << "COM3"
                                          << "" << 0 << "dev3" << 3 << "9600-N-1";
        QTest::newRow("typed rate not listed") << 1 << ""
                                               << "14400" << 0 << "dev2" << 2 << "9600-N-1";
        QTest::newRow("typed rate listed") << 1 << ""
                                           << "57600" << 0 << "dev2" << 2 << "57600-N-1";
    }
    void okEdgeCases() {
        QFETCH(int, portEntry);
        QFETCH(QString, typedPort);
        QFETCH(QString, typedRate);
        QFETCH(int, parityEntry);
        QFETCH(QString, opened);
        QFETCH(int, portNo);
        QFETCH(QString, settings);
        Fixture f;
        ApplyEnglishParityList(f.form);
        f.form.Comb_ComNo->setCurrentIndex(portEntry);
        if (!typedPort.isEmpty()) TypeInto(f.form.Comb_ComNo, typedPort);
        if (!typedRate.isEmpty()) TypeInto(f.form.ComboBaudRate, typedRate);
        f.form.ComboParity->setCurrentIndex(parityEntry);
        f.form.Button1Click();
        QCOMPARE(f.journal->events.first(), "open " + opened);
        QCOMPARE(f.link.PortNo(), portNo);
        QCOMPARE(f.host.panels[2], settings);
        QCOMPARE(f.host.panels[1],
                 typedPort.isEmpty() ? Items(f.form.Comb_ComNo)[portEntry] : typedPort);
        QVERIFY(f.form.isHidden());
        // Whatever was opened is closed by the next open.
        f.journal->events.clear();
        QVERIFY(f.link.OpenPortByName(4));
        QCOMPARE(f.journal->events, QStringList({"purge out in", "close " + opened, "open dev4"}));
    }

    void unselectedParityAppliesNoneAndEndsTheRateInTheSearch() {
        Fixture f;
        ApplyEnglishParityList(f.form);
        f.form.ComboParity->setCurrentIndex(-1);
        f.form.Button1Click();
        QCOMPARE(f.link.ParityIndex(), 255);
        QCOMPARE(f.host.panels[2], QString("9600-N-1"));
        // A read request keeps the port and its search starts at the next rate.
        QVERIFY(f.link.OpenPortScan());
        QVERIFY(f.link.SearchStep(f.link.Settings()));
        QCOMPARE(f.host.panels[2], QString("19200-N-1"));
        QCOMPARE(f.form.ComboBaudRate->currentText(), QString("19200"));
        QCOMPARE(f.form.ComboParity->currentText(), QString("N"));
    }

    void okWhileAScannedPortIsOpenClosesItFirst() {
        Fixture f;
        QVERIFY(f.link.OpenPortScan());
        QVERIFY(f.link.SearchStep(f.link.Settings()));
        f.journal->events.clear();
        f.form.Button1Click();
        QCOMPARE(f.journal->events.mid(0, 3),
                 QStringList({"purge out in", "close dev1", "open dev1"}));
        QVERIFY(f.link.PortHandle());
    }

    void searchShowsItsSettingsInTheLists() {
        Fixture f;
        ApplyEnglishParityList(f.form);
        f.link.setSearchStart({"dev2", {4, 0}});
        // The scan lands on the entry the list stood on, whose text had been typed over.
        f.form.Comb_ComNo->setCurrentIndex(1);
        TypeInto(f.form.Comb_ComNo, "/dev/nothing");
        QVERIFY(f.link.OpenPortScan());
        QVERIFY(f.link.SearchStep({6, 2}));
        QCOMPARE(f.form.Comb_ComNo->currentText(), QString("COM2"));
        QCOMPARE(f.form.ComboBaudRate->currentText(), QString("38400"));
        QCOMPARE(f.form.ComboParity->currentText(), QString("E"));
        QCOMPARE(f.host.panels[1], QString("COM2"));
        // An unknown rate leaves the rate list without a selection.
        f.form.selectRateAndParity(255, 0);
        QCOMPARE(f.form.ComboBaudRate->currentIndex(), -1);
        QCOMPARE(ChosenEntry(*f.form.ComboBaudRate), -1);
    }

    void showsWhichDeviceEachEntryStandsFor() {
        Fixture f;
        for (int i = 0; i < 9; ++i) {
            QCOMPARE(f.form.Comb_ComNo->itemData(i, Qt::ToolTipRole).toString(),
                     QString("dev%1").arg(i + 1));
        }
        QCOMPARE(f.form.PortDevice->text(), QString("dev1"));
        f.form.Comb_ComNo->setCurrentIndex(6);
        QCOMPARE(f.form.PortDevice->text(), QString("dev7"));
        TypeInto(f.form.Comb_ComNo, "/dev/ttyACM2");
        QCOMPARE(f.form.PortDevice->text(), QString("/dev/ttyACM2"));
    }

#ifndef Q_OS_WIN
    // Adapters plugged in and out while the dialog is open: COMn stands for the n-th port of
    // the moment, and the dialog follows within one watch period.
    void portListFollowsPortsThatComeAndGo() {
        const QStringList pinned = PinnedPorts();
        SetPinnedPorts({});
        QStringList present{"/dev/ttyS0"};
        SetPortEnumerator([&present] {
            QList<SerialPortCandidate> ports;
            for (const QString& port : present) ports.append({port, port.contains("USB")});
            return ports;
        });
        Fixture f;
        const auto tip = [&f](int entry) {
            return f.form.Comb_ComNo->itemData(entry, Qt::ToolTipRole).toString();
        };
        QVERIFY(f.form.PortWatch->isActive());
        QVERIFY(f.form.PortWatch->interval() <= 2000);
        QCOMPARE(tip(0), QString("/dev/ttyS0"));
        QCOMPARE(tip(1), QString("(no such port)"));

        present << "/dev/ttyUSB0";
        f.form.PortWatchTimer();
        QCOMPARE(tip(0), QString("/dev/ttyUSB0"));
        QCOMPARE(tip(1), QString("/dev/ttyS0"));
        QCOMPARE(f.form.PortDevice->text(), QString("/dev/ttyUSB0"));

        // A device typed into the list stays there while COM1 changes under it.
        TypeInto(f.form.Comb_ComNo, "/dev/pts/4");
        present.removeAll("/dev/ttyUSB0");
        f.form.PortWatchTimer();
        QCOMPARE(tip(0), QString("/dev/ttyS0"));
        QCOMPARE(tip(1), QString("(no such port)"));
        QCOMPARE(f.form.Comb_ComNo->currentText(), QString("/dev/pts/4"));
        QCOMPARE(ChosenEntry(*f.form.Comb_ComNo), -1);
        QCOMPARE(f.form.PortDevice->text(), QString("/dev/pts/4"));

        f.form.hide();
        QVERIFY(!f.form.PortWatch->isActive());
        SetPortEnumerator({});
        SetPinnedPorts(pinned);
    }
#endif
};

QTEST_MAIN(SerialFormTest)
#include "tst_serialform.moc"
