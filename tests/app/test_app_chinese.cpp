#include <QApplication>
#include <QGraphicsTextItem>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/aboutbox.h"
#include "app/chartswindow.h"
#include "app/language.h"
#include "app/linkviews.h"
#include "app/mainwindow.h"
#include "app/messageboxes.h"
#include "app/portreturnview.h"
#include "app/startup.h"
#include "app/windows.h"
#include "core/language.h"
#include "core/messages.h"
#include "serial/serialform.h"
#include "tests/support/accessibility.h"
#include "tests/support/menus.h"

// The program started with --lang zh keeps the Chinese design texts.
class AppChineseTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        const StartupOptions options = ParseCommandLine(
            {QStringLiteral("tvrsetup"), QStringLiteral("--lang"), QStringLiteral("zh")});
        LanguageFlag = options.languageFlag.value();
        LoadQtTranslations();
        CreateWindows();
    }

    // The program's own boxes, with their buttons from Qt's Chinese translation.
    void standardButtonsAreChinese_data() {
        QTest::addColumn<int>("buttons");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("retry, cancel")
            << int(MessageButtons::RetryCancel) << QStringList{"重试", "取消"};
        QTest::newRow("ok") << int(MessageButtons::Ok) << QStringList{"确定"};
    }
    void standardButtonsAreChinese() {
        QFETCH(int, buttons);
        QFETCH(QStringList, texts);
        InstallMessageBoxes();
        QStringList shown;
        QDeadlineTimer deadline(5000);
        QTimer answer;
        answer.setInterval(10);
        connect(&answer, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box && !deadline.hasExpired()) return;
            answer.stop();
            if (!box) return;
            for (QAbstractButton* button : box->buttons()) shown << button->text();
            box->buttons().constLast()->click();
        });
        answer.start();
        std::optional<MessageAnswer> answered;
        ShowMessage({MessageKind::System, QStringLiteral("读参数"), QStringLiteral("参数"),
                     MessageButtons(buttons)},
                    [&](MessageAnswer a) { answered = a; });
        QTRY_VERIFY_WITH_TIMEOUT(answered.has_value(), 5000);
        shown.replaceInStrings(QRegularExpression(QStringLiteral("\\(&.\\)|&")), QString());
        shown.sort();
        texts.sort();
        QCOMPARE(shown, texts);
    }

    // Alt and a letter reach one item, in every menu, in Chinese too.
    void everyMenuItemHasALetterOfItsOwn() {
        const QStringList faults = SharedAccelerators(Form1->MainMenu1);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("; "))));
    }

    // Every text of the charts is drawn whole: titles, labels and legends, none cut to "…"
    // (Qt Charts cut a turned Chinese axis title to a lone "⋮").
    void chartTextsAreShownWhole() {
        Views->View_ChartsClick();
        QVERIFY(QTest::qWaitForWindowExposed(Views->Charts));
        int texts = 0;
        for (QChartView* view : {Views->Charts->RateView, Views->Charts->LoopbackView}) {
            for (QGraphicsItem* item : view->scene()->items()) {
                auto* text = dynamic_cast<QGraphicsTextItem*>(item);
                if (!text || !text->isVisible() || text->toPlainText().isEmpty()) continue;
                ++texts;
                const QString shown = text->toPlainText();
                QVERIFY2(!shown.contains(u'…') && !shown.contains(QStringLiteral("...")),
                         qPrintable(shown));
            }
        }
        QVERIFY(texts > 10);
        Views->Charts->hide();
    }

    void mainWindowKeepsDesignTexts() {
        QCOMPARE(Form1->windowTitle(), QStringLiteral("数传电台演示软件"));
        const QList<std::pair<QObject*, const char*>> texts{
            {Form1->FIle_M, "文件(&F)"},
            {Form1->FileRead, "读电台(&R)"},
            {Form1->FileSaveProfile, "保存配置(&S)…"},
            {Form1->FileLoadProfile, "载入配置(&L)…"},
            {Form1->Seri_M, "电台(&E)"},
            {Reconnection->Seri_Reconnect, "自动重连(&R)"},
            {Form1->Help_U_M, "使用说明(&M)"},
            {Form1->Test_M, "测试"},
            {Form1->GroupBox3, "电台型号"},
            {Form1->GroupBox1, "电台参数"},
            {Form1->GroupBox2, "数据传输"},
            {Form1->ParaChnn, "信道号"},
            {Form1->Check_RecHex, "十六进制显示"},
            {Form1->Button1, "停止显示"},
            {Form1->Label9, "自动发送周期"},
            {Form1->Label10, "毫秒"},
            {Form1->PanelTrttTest, "ERR TEST"}};
        for (const auto& [control, text] : texts) {
            QCOMPARE(CaptionOf(control), QString::fromUtf8(text));
        }
        QCOMPARE(Form1->Speed_R->toolTip(), QStringLiteral("读参数"));
        QCOMPARE(Form1->Speed_E->toolTip(), QStringLiteral("退出"));
        QCOMPARE(Form1->BitBtn1->toolTip(), QStringLiteral("About"));
        QCOMPARE(Form1->statusText(3), QStringLiteral("断开的"));
        QCOMPARE(Form1->ComboRadioParity->itemText(0), QStringLiteral("无检验"));
        QCOMPARE(Form1->ComboRadioParity->currentIndex(), -1);
    }

    void firstActivationBlanksTheAboutBoxAndLeavesTheDialog() {
        QCOMPARE(AboutBox->windowTitle(), QStringLiteral("About TAVREN"));
        Form1->show();
        QVERIFY(QTest::qWaitForWindowActive(Form1));
        QCOMPARE(AboutBox->windowTitle(), QStringLiteral("About"));
        QCOMPARE(AboutBox->Label1->text(), QStringLiteral(" "));
        QCOMPARE(AboutBox->Copyright->text(), QStringLiteral(" "));
        QCOMPARE(Serial_Form->windowTitle(), QStringLiteral("串口配置"));
        QCOMPARE(Serial_Form->Button1->text(), QStringLiteral("确定"));
        QCOMPARE(Serial_Form->ComboParity->itemText(0), QStringLiteral("无"));
        QCOMPARE(Serial_Form->ComboParity->currentIndex(), -1);
    }

    void controlsAreNamedInChinese() {
        const QList<std::pair<QWidget*, const char*>> names{
            {Form1->Speed_R, "读参数"},
            {Form1->ComboChnn, "信道号"},
            {Form1->ComboAirBaud, "空中速率"},
            {Form1->ComboRadioSerBaud, "串口模式"},
            {Form1->ComboRadioParity, "检验位"},
            {Form1->Memo_Rec, "接收区"},
            {Form1->Edit1, "已发送帧数"},
            {Form1->Edit5, "无回复"},
            {Form1->Edit3, "成功率（%）"},
            {Serial_Form->Comb_ComNo, "端口号"},
            {Serial_Form->ComboBaudRate, "波特率"},
            {Form1->StatusBar1->findChild<QLabel*>(QStringLiteral("StatusPanel3")),
             "状态：断开的"}};
        for (const auto& [control, name] : names) {
            QCOMPARE(AccessibleName(control), QString::fromUtf8(name));
        }
        for (QWidget* window : std::initializer_list<QWidget*>{Form1, Serial_Form}) {
            const QStringList faults = UnnamedOrSharedNames(window);
            QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral(", "))));
        }
    }
};

QTEST_MAIN(AppChineseTest)
#include "test_app_chinese.moc"
