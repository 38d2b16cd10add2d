// Two stations through tvrsim --pair: the program's own window on one pseudo-terminal, a second
// data test on its own controls and port on the other.

#include <QDeadlineTimer>
#include <QVBoxLayout>
#include <memory>

#include "datatest/datatest.h"
#include "serial/qtserialdevice.h"
#include "tests/support/processes.h"
#include "tests/support/windowfixture.h"

namespace {

// The controls a data test needs, standing alone, with the status panels kept as texts.
struct Station {
    // Tells the station's data test when the driver has taken more bytes, as the window does.
    struct Host : HostRecorder {
        Station* station = nullptr;
        void dataSent() override { station->data->ShowSentBytes(); }
    };

    QWidget window;
    ReceiveView* Memo_Rec = new ReceiveView(&window);
    QPlainTextEdit* Memo_Trtt = new QPlainTextEdit(&window);
    QCheckBox* boxes[5] = {};
    QPushButton* Button1 = new QPushButton(&window);
    QLineEdit* period = new QLineEdit(QStringLiteral("1000"), &window);
    QLineEdit* edits[7] = {};
    QTimer timer;
    QFrame* panel = new QFrame(&window);
    QString status[6];
    QString lostText;
    Host host;
    SerialLink link{OpenQtSerialDevice};
    std::unique_ptr<DataTest> data;

    Station() {
        for (auto*& box : boxes) box = new QCheckBox(&window);
        for (auto*& edit : edits) edit = new QLineEdit(&window);
        boxes[1]->setChecked(true);  // automatic clearing, as at start
        // Shown at a usual size, so that received lines are not wrapped.
        (new QVBoxLayout(&window))->addWidget(Memo_Rec);
        window.resize(500, 300);
        window.show();
        panel->setFrameShadow(QFrame::Raised);
        data = std::make_unique<DataTest>(
            DataTestControls{Memo_Rec,
                             boxes[0],
                             boxes[1],
                             Button1,
                             Memo_Trtt,
                             boxes[2],
                             period,
                             boxes[3],
                             &timer,
                             panel,
                             boxes[4],
                             edits[0],
                             edits[1],
                             edits[2],
                             edits[3],
                             edits[4],
                             edits[5],
                             edits[6],
                             [this](int i, const QString& text) { status[i] = text; },
                             [](int, const QString&) {},
                             [this](const QString& text) { lostText = text; }},
            link);
        host.station = this;
        link.setHost(&host);
    }
};

// Runs `tick` and the event loop's queued work every 20 ms until `done` or two seconds have
// passed; the port's thread tells of bytes sent through the event loop.
bool PollUntil(const std::function<bool()>& done, const std::function<void()>& tick = {}) {
    const QDeadlineTimer deadline(2000);
    while (!done() && !deadline.hasExpired()) {
        if (tick) tick();
        QTest::qWait(20);
    }
    return done();
}

}  // namespace

class DataTestEndToEnd : public QObject {
    Q_OBJECT

    WindowFixture f_;
    RadioFolder folder_;

    QString path(const char* name) const { return folder_.path(QString::fromLatin1(name)); }

  private slots:
    void initTestCase() {
        f_.createWindows(true);
        QVERIFY(folder_.begin());
        QVERIFY(folder_.pair("a", "b"));
    }

    void cleanupTestCase() {
        Link().ClosePort();
        folder_.end();
    }

    void typedTextArrivesCountedOnTheOtherSide() {
        QVERIFY(OpenAt9600(Link(), path("a")));
        Form1->Timer_RecData->stop();
        Station far;
        QVERIFY(QTest::qWaitForWindowExposed(&far.window));
        QVERIFY(OpenAt9600(far.link, path("b")));

        Form1->Memo_Trtt->setPlainText(QString::fromUtf8("hello from A\n你好"));
        QTest::mouseClick(Form1->Button_ManulTrtt, Qt::LeftButton);
        // Counted once the driver has taken the bytes.
        QVERIFY(PollUntil([] { return Form1->statusText(4) == u"TX : 20"; }));
        QVERIFY(PollUntil([&] { return far.data->Engine.RxByteCount >= 20; },
                          [&] { far.data->Timer_RecDataTimer(); }));
        // Sent with CR LF, shown as it arrived.
        QCOMPARE(far.Memo_Rec->allText(), QString::fromUtf8("hello from A\r\n你好"));
        QCOMPARE(far.status[5], QStringLiteral("RX : 20"));

        far.Memo_Trtt->setPlainText(QStringLiteral("reply from B"));
        QCOMPARE(far.data->Button_ManulTrttClick().outcome, DataTestOutcome::Done);
        QVERIFY(PollUntil([&] { return far.status[4] == u"TX : 12"; }));
        QVERIFY(PollUntil([] { return Form1->Data->Engine.RxByteCount >= 12; },
                          [] { Form1->Timer_RecDataTimer(); }));
        QCOMPARE(Form1->Memo_Rec->allText(), QStringLiteral("reply from B"));
        QCOMPARE(Form1->statusText(5), QStringLiteral("RX : 12"));
        QCOMPARE(Form1->statusText(4), QStringLiteral("TX : 20"));
        QVERIFY(f_.messages.texts().isEmpty());
        QVERIFY(Form1->StatusLost->isHidden());
        QVERIFY(far.lostText.isEmpty());
    }
};

QTEST_MAIN(DataTestEndToEnd)
#include "test_datatest_e2e.moc"
