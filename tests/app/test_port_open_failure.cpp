#include <QTest>

#include "app/progresswindow.h"
#include "app/startup.h"
#include "serial/serialform.h"
#include "tests/support/freeports.h"
#include "tests/support/windowfixture.h"

namespace {

const QString kMissing = QStringLiteral("/dev/tvr-no-such-port");
// A device that would open, behind the missing one.
const QString kPresent = QStringLiteral("COM-TEST");

}  // namespace

// What the window does when the port it is to use is not there: the reason at once, no search
// of other ports, and the status bar showing the port closed.
class PortOpenFailureTest : public QObject {
    Q_OBJECT

    WindowFixture f_;
    // Every device the program asked to open.
    QStringList asked_;

    // The program's own opener for every device but the present one, which is a fake.
    void openThroughTheBackend() {
        Link().setOpener([this](const QString& name) -> OpenResult {
            asked_ << name;
            if (name == kPresent) return FakeOpener(f_.journal)(name);
            return OpenPortDevice(name);
        });
    }

    // A Read that stops at the open of `device`: nothing searched, nothing in progress.
    void readFailsAtOnce(const QString& text, const QString& closed,
                         const QString& device = kMissing) {
        asked_.clear();
        f_.messages.clear();
        Form1->Speed_RClick();
        QCOMPARE(asked_, QStringList{device});
        QCOMPARE(f_.messages.texts(), QStringList{text});
        QVERIFY(!Form1->commandTimersRunning());
        QVERIFY(!Form_Progress->isVisible());
        QCOMPARE(Form1->statusText(3), closed);
        QVERIFY(!Link().PortHandle());
    }

  private slots:
    void initTestCase() { f_.createWindows(); }
    void init() {
        LanguageFlag = 1;
        Link().ClosePort();
        openThroughTheBackend();
        f_.messages.clear();
    }
    void cleanup() {
        LanguageFlag = 1;
        SetPinnedPorts({kPresent});
    }

    // tvrsetup --port MISSING --port PRESENT: COM1 is missing, COM2 would open.
    void missingPortFromTheCommandLineIsReportedAtOnce_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("closed");
        QTest::newRow("English") << 1 << "No idle Port!\nCOM1 (" + kMissing + "): no such device."
                                 << "Disconnect";
        QTest::newRow("Chinese") << 0 << "无空闲端口!\nCOM1 (" + kMissing + ")：设备不存在。"
                                 << "已断开";
    }
    void missingPortFromTheCommandLineIsReportedAtOnce() {
        QFETCH(int, language);
        QFETCH(QString, text);
        QFETCH(QString, closed);
        SetPinnedPorts({kMissing, kPresent});
        LanguageFlag = language;
        Form1->setStatusText(3, "Connect...");
        readFailsAtOnce(text, closed);
    }

    // A network port that does not connect says why, and no other port is searched.
    void networkPortFromTheCommandLineSaysWhyItDidNotConnect_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("reason");
        const QString refused =
            QStringLiteral("rfc2217://127.0.0.1:%1").arg(FreeLocalPorts(1).at(0));
        const QString invalid = QStringLiteral("socket://rack:0");
        QTest::newRow("refused, English")
            << 1 << refused
            << "No idle Port!\nCOM1 (" + refused + "): the server refused the connection.";
        QTest::newRow("refused, Chinese")
            << 0 << refused << "无空闲端口!\nCOM1 (" + refused + ")：服务器拒绝连接。";
        QTest::newRow("invalid, English") << 1 << invalid
                                          << "No idle Port!\nCOM1 (" + invalid +
                                                 ") is not a valid network port: write "
                                                 "rfc2217://HOST:PORT or socket://HOST:PORT.";
        QTest::newRow("invalid, Chinese")
            << 0 << invalid
            << "无空闲端口!\nCOM1 (" + invalid +
                   ") 不是有效的网络端口：请写作 rfc2217://主机:端口 或 socket://主机:端口。";
    }
    void networkPortFromTheCommandLineSaysWhyItDidNotConnect() {
        QFETCH(int, language);
        QFETCH(QString, device);
        QFETCH(QString, reason);
        SetPinnedPorts({device, kPresent});
        LanguageFlag = language;
        readFailsAtOnce(reason, language == 1 ? "Disconnect" : "已断开", device);
    }

    // A port chosen in the dialog that is missing closes the port open until then; the next
    // Read tries it alone.
    void missingPortChosenInTheDialogIsReportedAtOnce() {
        SetPinnedPorts({kPresent});
        Serial_Form->show();
        Serial_Form->Comb_ComNo->setCurrentIndex(0);
        Serial_Form->Button1Click();
        QVERIFY(Link().PortHandle());
        QCOMPARE(Form1->statusText(3), QString("Connect..."));

        Serial_Form->show();
        Serial_Form->Comb_ComNo->setEditText(kMissing);
        Serial_Form->Comb_ComNo->lineEdit()->setModified(true);
        Serial_Form->Button1Click();
        QCOMPARE(f_.messages.texts(),
                 QStringList{"Port open error!\n" + kMissing + ": no such device."});
        QVERIFY(!Link().PortHandle());
        QCOMPARE(Form1->statusText(3), QString("Disconnect"));
        Serial_Form->hide();

        readFailsAtOnce("No idle Port!\n" + kMissing + ": no such device.", "Disconnect");
    }
};

QTEST_MAIN(PortOpenFailureTest)
#include "test_port_open_failure.moc"
