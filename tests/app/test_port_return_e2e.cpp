#include <QFileInfo>
#include <QTest>

#include "app/portreturnview.h"
#include "radio/frame.h"
#include "serial/qtserialdevice.h"
#include "tests/support/processes.h"
#include "tests/support/windowfixture.h"

// Reconnect with a real port: tvrsim's pseudo-terminal ends and a new one appears behind the
// same link, as an adapter pulled out and plugged in again.
class PortReturnE2eTest : public QObject {
    Q_OBJECT

    WindowFixture f_;

  private slots:
    void initTestCase() {
        f_.createWindows();
        Link().setOpener(OpenQtSerialDevice);
    }

    void radioBehindTheSameLinkIsOpenedAgainAndAnswers() {
        RadioFolder folder;
        QVERIFY(folder.begin());
        const QStringList radioAt19200{QStringLiteral("--baud"), QStringLiteral("19200")};
        const QString link = folder.radio(QStringLiteral("radio"), radioAt19200);
        QVERIFY(QFileInfo(link).isSymLink());
        Reconnection->Seri_Reconnect->setChecked(true);
        QCOMPARE(Link().ChoosePort({0, link, 5, 0}).outcome, PortChoiceOutcome::Applied);

        folder.radios().stopAll();
        QTRY_VERIFY_WITH_TIMEOUT(Reconnection->Return.waiting(), 5000);
        QVERIFY(!Link().PortHandle());
        QCOMPARE(Reconnection->StatusWaiting->toolTip(),
                 QStringLiteral("Waiting for %1…").arg(link));
        QVERIFY(f_.messages.texts().isEmpty());

        QCOMPARE(folder.radio(QStringLiteral("radio"), radioAt19200), link);
        QTRY_VERIFY_WITH_TIMEOUT(Link().PortHandle(), 5000);
        QVERIFY(!Reconnection->Return.waiting());
        QCOMPARE(Link().device()->lineSettings().baudRate, 19200);

        // The radio answers only at its own rate, and the receive poll shows its reply.
        Form1->Check_RecHex->setChecked(true);
        QCOMPARE(Link().WritePort(ReadCmdTable[0], ReadRequestSize), uint32_t(ReadRequestSize));
        QTRY_VERIFY_WITH_TIMEOUT(RecText().startsWith(QStringLiteral("55 AA")), 5000);
        Link().ClosePort();
        folder.end();
    }
};

QTEST_MAIN(PortReturnE2eTest)
#include "test_port_return_e2e.moc"
