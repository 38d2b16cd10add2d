#include <QApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include "app/linkviews.h"
#include "app/mainwindow.h"
#include "app/windows.h"
#include "core/language.h"
#include "core/messages.h"
#include "tests/support/files.h"
#include "tests/support/onscreen.h"

// The main window at twice the scale on a 1600 x 1000 screen, which leaves 800 x 500 for
// windows: every control stays on the screen, whatever the window shows; in English, and
// built a second time in Chinese.
class WindowFitTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    static QRect available() { return Form1->screen()->availableGeometry(); }

    static void verifyOnScreen() {
        const QStringList faults = ControlsOffScreen(Form1, available());
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("; "))));
    }

  private slots:
    void initTestCase() {
        QCOMPARE(QGuiApplication::primaryScreen()->geometry().size(), QSize(800, 500));
        QCOMPARE(QGuiApplication::primaryScreen()->devicePixelRatio(), 2.0);
#ifdef TVR_TEST_CHINESE
        LanguageFlag = 0;
#else
        LanguageFlag = 1;
#endif
        SetMessagePresenter([](const Message&) { return MessageAnswer::Ok; });
        CreateWindows();
        Form1->Timer1->stop();
        Form1->show();
        QVERIFY(QTest::qWaitForWindowExposed(Form1));
    }

    // The design is wider than the screen: the window takes the screen's width, no more.
    void startsOnScreen() {
        QVERIFY(Form1->designSize().width() > available().width());
        QCOMPARE(Form1->frameGeometry().width(), available().width());
        verifyOnScreen();
    }

    void loggingKeepsTheSizeAndTheControlsOnScreen() {
        const QSize before = Form1->size();
        QVERIFY(Views->startLog({dir_.filePath(QStringLiteral("traffic.log"))}));
        QTest::qWait(0);
        QVERIFY(Views->StatusLog->isVisible());
        QCOMPARE(Form1->size(), before);
        verifyOnScreen();
        Views->stopLog();
        QTest::qWait(0);
        QCOMPARE(Form1->size(), before);
        verifyOnScreen();
    }

    // The statistics row makes the window taller only as far as the screen reaches.
    void revealedRowStaysOnScreen() {
        Form1->Panel11Click();
        Form1->Panel10Click();
        QVERIFY(Form1->Panel2->isVisible());
        QTest::qWait(0);
        verifyOnScreen();
    }

    // Moved off the screen, as a remembered place on a larger screen would put it.
    void comesBackOnScreen() {
        Form1->move(available().right() - 100, available().bottom() - 100);
        Form1->fitToScreen();
        QTest::qWait(0);
        verifyOnScreen();
    }

    void dataAreasTakeTheRoomOfALargerWindow() {
        const QSize receive = Form1->Memo_Rec->size();
        const QSize transmit = Form1->Memo_Trtt->size();
        const int parameters = Form1->GroupBox1->width();
        Form1->resize(Form1->size() + QSize(400, 300));
        QTest::qWait(0);
        QVERIFY(Form1->maximumWidth() >= QWIDGETSIZE_MAX &&
                Form1->maximumHeight() >= QWIDGETSIZE_MAX);
        QCOMPARE(Form1->Memo_Rec->width(), receive.width() + 400);
        QVERIFY(Form1->Memo_Rec->height() > receive.height() + 150);
        QVERIFY(Form1->Memo_Trtt->height() > transmit.height());
        QCOMPARE(Form1->GroupBox1->width(), parameters);
        // The status cells are back at the widths they prefer.
        const auto* port = Form1->StatusBar1->findChild<QLabel*>(QStringLiteral("StatusPanel1"));
        QCOMPARE(port->width(), TForm1::StatusPanelWidths[1]);
    }
};

// The screen is set before the application starts.
int main(int argc, char** argv) {
    QTemporaryDir config;
    const QString path = config.filePath(QStringLiteral("screens.json"));
    if (!WriteFile(path, R"({"screens": [{"name": "wide", "x": 0, "y": 0, "width": 1600,
                            "height": 1000, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})"))
        return 1;
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + path.toLocal8Bit());
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    WindowFitTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_window_fit.moc"
