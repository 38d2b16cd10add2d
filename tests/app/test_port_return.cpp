#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "app/linkviews.h"
#include "app/portreturnview.h"
#include "app/preferences.h"
#include "factory/formtest.h"
#include "tests/support/windowfixture.h"

// The Reconnect choice and the modem lines in the program's windows, on fake devices at paths
// in a folder of the test's own, whose files stand for the devices being there.
class PortReturnWindowTest : public QObject {
    Q_OBJECT

    WindowFixture f_;
    QTemporaryDir dir_;

    QString device() const { return dir_.filePath(QStringLiteral("ttyFAKE")); }
    void plugIn() {
        QFile file(device());
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    // Opens the device at 19200 bit/s without parity, then it vanishes.
    void openAndLose() {
        plugIn();
        QCOMPARE(Link().ChoosePort({0, device(), 5, 0}).outcome, PortChoiceOutcome::Applied);
        QVERIFY(QFile::remove(device()));
        f_.fake->vanish();
        QVERIFY(!Link().PortHandle());
    }
    static QString waitingText() { return Reconnection->StatusWaiting->toolTip(); }
    static bool waitingShown() { return !Reconnection->StatusWaiting->isHidden(); }

  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        SetPreferencesFile(dir_.filePath(QStringLiteral("tvrsetup.conf")));
        f_.createWindows();
    }
    void init() {
        f_.useFake();
        f_.messages.clear();
        f_.journal->modemLines.reset();
        Reconnection->Seri_Reconnect->setChecked(false);
    }

    // Off unless chosen: the vanished port is told in a message, as ever, and not waited for.
    void withoutReconnectALostPortIsToldAndLeft() {
        QVERIFY(Reconnection->Seri_Reconnect->isCheckable());
        QCOMPARE(Reconnection->Seri_Reconnect->text(), QStringLiteral("&Reconnect"));
        QVERIFY(Form1->Seri_M->actions().contains(Reconnection->Seri_Reconnect));
        openAndLose();
        QCOMPARE(f_.messages.texts(), QStringList{QStringLiteral("Port disconnected!")});
        QVERIFY(!Reconnection->Return.waiting());
        QVERIFY(!waitingShown());
    }

    // Chosen, the status bar says what is waited for, and the port opens again with its
    // settings once its device is back, receiving again.
    void withReconnectThePortOpensAgainWhenItsDeviceIsBack() {
        Reconnection->Seri_Reconnect->setChecked(true);
        openAndLose();
        QVERIFY(f_.messages.texts().isEmpty());
        QVERIFY(waitingShown());
        QCOMPARE(waitingText(), QStringLiteral("Waiting for %1…").arg(device()));
        QCOMPARE(Reconnection->StatusWaiting->accessibleName(), waitingText());
        QVERIFY(Reconnection->StatusWaiting->width() <= PortReturnView::WaitingCellWidth);
        Reconnection->Return.poll();
        QVERIFY(!Link().PortHandle());

        plugIn();
        Reconnection->Return.poll();
        QVERIFY(Link().PortHandle());
        QCOMPARE(f_.fake->lineSettings(), (LineSettings{19200, ParityMode::None, 1}));
        QVERIFY(Form1->Timer_RecData->isActive());
        QCOMPARE(Form1->statusText(2), QStringLiteral("19200-N-1"));
        QVERIFY(!waitingShown());
        f_.fake->feed("back");
        Form1->Timer_RecDataTimer();
        QVERIFY(RecText().contains(QStringLiteral("back")));
    }

    // While the factory window is open, it reads the replies itself: the port opens again
    // without the receive poll.
    void factoryWindowKeepsThePortToItself() {
        Reconnection->Seri_Reconnect->setChecked(true);
        openAndLose();
        Form1->Test_MClick();
        plugIn();
        Reconnection->Return.poll();
        QVERIFY(Link().PortHandle());
        QVERIFY(!Form1->Timer_RecData->isActive());
        FormTest->hide();
    }

    // Closing the port or taking the choice back ends the wait; the choice is remembered.
    void closingOrUncheckingEndsTheWaitAndTheChoiceIsRemembered() {
        Reconnection->Seri_Reconnect->setChecked(true);
        QCOMPARE(LoadPreferences().reconnect, true);
        openAndLose();
        QVERIFY(Reconnection->Return.waiting());
        Form1->Speed_CClick();
        QVERIFY(!Reconnection->Return.waiting());
        QVERIFY(!waitingShown());

        openAndLose();
        QVERIFY(waitingShown());
        Reconnection->Seri_Reconnect->setChecked(false);
        QVERIFY(!Reconnection->Return.waiting());
        QVERIFY(!waitingShown());
        QCOMPARE(LoadPreferences().reconnect, false);

        QSettings(dir_.filePath(QStringLiteral("tvrsetup.conf")), QSettings::IniFormat)
            .setValue(QStringLiteral("port/reconnect"), true);
        ApplyPreferences(LoadPreferences(), false);
        QVERIFY(Reconnection->Seri_Reconnect->isChecked());
    }

    void waitingIsToldInChinese() {
        const LanguageScope chinese(0);
        Reconnection->Seri_Reconnect->setChecked(true);
        openAndLose();
        QCOMPARE(waitingText(), QStringLiteral("等待 %1…").arg(device()));
        Form1->Speed_CClick();
    }

    // The lines show only where the port has them; a switch reaches the port, and every
    // change is a settings row of the exchange monitor.
    void modemLinesShowWhereThePortHasThem() {
        ModemLinesView* view = Form1->ModemLines;
        QCOMPARE(view->parentWidget(), Form1->GroupBox2);
        f_.openPort();
        view->RefreshTimerTimer();
        QVERIFY(view->isHidden());

        const QSize windowSize = Form1->sizeHint();
        f_.journal->modemLines = ModemLine::Dtr | ModemLine::Cts;
        f_.openPort();
        view->RefreshTimerTimer();
        QVERIFY(!view->isHidden());
        // The receive column has room for them.
        QCOMPARE(Form1->sizeHint(), windowSize);
        QVERIFY(view->Check_Dtr->isChecked());
        QVERIFY(!view->Check_Rts->isChecked());
        QCOMPARE(view->Lamps[0]->text(), QStringLiteral("● CTS"));
        QCOMPARE(view->Lamps[0]->accessibleName(), QStringLiteral("CTS on"));
        QCOMPARE(view->Lamps[3]->text(), QStringLiteral("○ RI"));

        // A switch the port refuses shows the line as it is.
        f_.journal->refuseModemLines = true;
        view->Check_Rts->click();
        QVERIFY(!view->Check_Rts->isChecked());
        f_.journal->refuseModemLines = false;
        view->Check_Rts->click();
        QVERIFY(view->Check_Rts->isChecked());
        QCOMPARE(Link().ModemLines(),
                 std::optional<uint8_t>(ModemLine::Dtr | ModemLine::Rts | ModemLine::Cts));
        f_.fake->moveModemLine(ModemLine::Ri, true);
        view->RefreshTimerTimer();
        QCOMPARE(view->Lamps[3]->text(), QStringLiteral("● RI"));
        QStringList rows;
        for (const ExchangeRow& row : Views->ExchangesWhileClosed.rows()) {
            if (!row.modemLine.isEmpty()) rows << row.modemLine;
        }
        QCOMPARE(rows, QStringList({"RTS=1", "RI=1"}));

        Link().ClosePort();
        view->RefreshTimerTimer();
        QVERIFY(view->isHidden());
    }
};

QTEST_MAIN(PortReturnWindowTest)
#include "test_port_return.moc"
