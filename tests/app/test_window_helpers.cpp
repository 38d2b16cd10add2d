#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <numeric>

#include "app/contrast.h"
#include "app/fitting.h"
#include "app/manual.h"
#include "tests/support/files.h"

// The window's pure helpers: contrast of colours, widths and places that fit, the manual.
class WindowHelpersTest : public QObject {
    Q_OBJECT

  private slots:
    // Ratios as the guidelines' own examples give them.
    void contrastRatioFollowsTheGuidelines() {
        QCOMPARE(qRound(ContrastRatio(Qt::black, Qt::white) * 100), 2100);
        QCOMPARE(ContrastRatio(QColor(0x12, 0x34, 0x56), QColor(0x12, 0x34, 0x56)), 1.0);
        QCOMPARE(ContrastRatio(Qt::white, Qt::black), ContrastRatio(Qt::black, Qt::white));
        // #767676 is the lightest grey that reads on white, #777777 is not.
        QVERIFY(ContrastRatio(QColor(0x76, 0x76, 0x76), Qt::white) >= ReadableContrast);
        QVERIFY(ContrastRatio(QColor(0x77, 0x77, 0x77), Qt::white) < ReadableContrast);
        QCOMPARE(qRound(ContrastRatio(Qt::red, Qt::white) * 100), 400);
    }

    void readableColoursKeepTheDesignWhereItReads_data() {
        QTest::addColumn<QColor>("preferred");
        QTest::addColumn<QColor>("background");
        QTest::addColumn<bool>("kept");
        QTest::newRow("navy on light grey")
            << QColor(0x00, 0x00, 0x80) << QColor(0xef, 0xef, 0xef) << true;
        QTest::newRow("blue on white") << QColor(Qt::blue) << QColor(Qt::white) << true;
        QTest::newRow("blue on dark grey") << QColor(Qt::blue) << QColor(0x2a, 0x2a, 0x2a) << false;
        QTest::newRow("navy on black") << QColor(0x00, 0x00, 0x80) << QColor(Qt::black) << false;
        QTest::newRow("red on light grey") << QColor(Qt::red) << QColor(0xef, 0xef, 0xef) << false;
        QTest::newRow("red on dark grey") << QColor(Qt::red) << QColor(0x35, 0x35, 0x35) << false;
        QTest::newRow("grey on mid grey")
            << QColor(0x80, 0x80, 0x80) << QColor(0x77, 0x77, 0x77) << false;
    }
    void readableColoursKeepTheDesignWhereItReads() {
        QFETCH(QColor, preferred);
        QFETCH(QColor, background);
        QFETCH(bool, kept);
        const QColor shown = ReadableOn(preferred, background);
        QVERIFY2(ContrastRatio(shown, background) >= ReadableContrast, qPrintable(shown.name()));
        QCOMPARE(shown == preferred, kept);
        // Moved no further than needed: a colour half way back would not read.
        if (!kept) {
            const QColor halfway = QColor::fromRgbF((shown.redF() + preferred.redF()) / 2,
                                                    (shown.greenF() + preferred.greenF()) / 2,
                                                    (shown.blueF() + preferred.blueF()) / 2);
            QVERIFY2(ContrastRatio(halfway, background) < ContrastRatio(shown, background),
                     qPrintable(halfway.name()));
        }
    }

    void tintsStayBehindReadableText() {
        const QColor green(0xe6, 0xf5, 0xe1);
        // The light design keeps its pale green under black text.
        QCOMPARE(TintBehind(QColor(0xef, 0xef, 0xef), green, 1.0, Qt::black), green);
        // Under white text on a dark theme the tint is only as strong as white still reads.
        const QColor dark(0x35, 0x35, 0x35);
        const QColor tinted = TintBehind(dark, green, 1.0, Qt::white);
        QVERIFY(ContrastRatio(Qt::white, tinted) >= ReadableContrast);
        QVERIFY(tinted != dark);
        QVERIFY(tinted.green() > dark.green());
        // Text that does not read on the untinted ground gets no tint at all.
        QCOMPARE(TintBehind(QColor(0x80, 0x80, 0x80), green, 1.0, QColor(0x88, 0x88, 0x88)),
                 QColor(0x80, 0x80, 0x80));
    }

    void widthsShrinkInProportionOnlyWhenShort() {
        const std::vector<int> preferred{100, 100, 150, 95};
        QCOMPARE(FitWidths(preferred, 445, 40), preferred);
        QCOMPARE(FitWidths(preferred, 1000, 40), preferred);
        const std::vector<int> narrow = FitWidths(preferred, 356, 40);
        QVERIFY(std::accumulate(narrow.begin(), narrow.end(), 0) <= 356);
        QCOMPARE(narrow, (std::vector<int>{80, 80, 120, 76}));
        // Never below the least width, even where that does not fit.
        QCOMPARE(FitWidths(preferred, 60, 40), (std::vector<int>{40, 40, 40, 40}));
        QCOMPARE(FitWidths(preferred, -5, 40), (std::vector<int>{40, 40, 40, 40}));
        // A cell narrower than the least keeps its own width.
        QCOMPARE(FitWidths({30, 200}, 115, 40), (std::vector<int>{30, 100}));
    }

    void windowsComeOnScreenWhole_data() {
        QTest::addColumn<QRect>("frame");
        QTest::addColumn<QRect>("fitted");
        const QRect screen(0, 0, 800, 500);
        QTest::newRow("inside stays") << QRect(10, 20, 400, 300) << QRect(10, 20, 400, 300);
        QTest::newRow("too wide") << QRect(0, 0, 1830, 300) << QRect(0, 0, 800, 300);
        QTest::newRow("past the right") << QRect(600, 10, 400, 300) << QRect(400, 10, 400, 300);
        QTest::newRow("past the bottom") << QRect(0, 450, 400, 300) << QRect(0, 200, 400, 300);
        QTest::newRow("above and left") << QRect(-50, -20, 400, 300) << QRect(0, 0, 400, 300);
        QTest::newRow("larger everywhere") << QRect(-10, -10, 2000, 2000) << screen;
    }
    void windowsComeOnScreenWhole() {
        QFETCH(QRect, frame);
        QFETCH(QRect, fitted);
        QCOMPARE(FitOnScreen(frame, QRect(0, 0, 800, 500)), fitted);
        // A screen that does not start at the origin, as the second of two.
        QCOMPARE(FitOnScreen(frame.translated(1920, 100), QRect(1920, 100, 800, 500)),
                 fitted.translated(1920, 100));
    }

    // The page made at build time, else the README itself, in the folder beside the program's.
    void manualIsThePageElseTheReadme() {
        QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("bin")));
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("share/doc/tvrsetup")));
        const QString bin = root.filePath(QStringLiteral("bin"));
        const QString docs = root.filePath(QStringLiteral("share/doc/tvrsetup"));
        const QString fromBin = QStringLiteral("../share/doc/tvrsetup");
        QCOMPARE(ManualUrl(bin, fromBin), QUrl());
        // A folder of the page's name is no page.
        QVERIFY(QDir(docs).mkdir(QStringLiteral("README.html")));
        QCOMPARE(ManualUrl(bin, fromBin), QUrl());
        QVERIFY(WriteFile(docs + QStringLiteral("/README.md"), "# TVR Setup\n"));
        QCOMPARE(ManualUrl(bin, fromBin), QUrl::fromLocalFile(docs + QStringLiteral("/README.md")));
        QVERIFY(QDir(docs).rmdir(QStringLiteral("README.html")));
        QVERIFY(WriteFile(docs + QStringLiteral("/README.html"), "<h1>TVR Setup</h1>"));
        const QUrl page = ManualUrl(bin, fromBin);
        QVERIFY(page.isLocalFile());
        QCOMPARE(page, QUrl::fromLocalFile(docs + QStringLiteral("/README.html")));
    }
};

QTEST_GUILESS_MAIN(WindowHelpersTest)
#include "test_window_helpers.moc"
