#include "app/mainwindow.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

#include "app/aboutbox.h"
#include "app/contrast.h"
#include "app/datatestmessages.h"
#include "app/fitting.h"
#include "app/language.h"
#include "app/lifecycle.h"
#include "app/manual.h"
#include "app/named.h"
#include "app/outcomemessages.h"
#include "app/portreturnview.h"
#include "app/preferences.h"
#include "app/progresswindow.h"
#include "app/windows.h"
#include "core/language.h"
#include "core/messages.h"
#include "factory/formtest.h"
#include "radio/paramtext.h"
#include "radio/profile.h"
#include "serial/porturl.h"
#include "serial/serialform.h"

namespace {

QToolButton* MakeSpeedButton(const char* name, const char* icon, const char* tooltip,
                             QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    QIcon states;
    const QString base = QStringLiteral(":/icons/%1").arg(QString::fromLatin1(icon));
    states.addFile(base + QStringLiteral(".svg"), {}, QIcon::Normal);
    states.addFile(base + QStringLiteral("-disabled.svg"), {}, QIcon::Disabled);
    button->setIcon(states);
    button->setIconSize({28, 28});
    button->setFixedSize(40, 40);
    button->setAutoRaise(true);
    button->setToolTip(QString::fromUtf8(tooltip));
    return button;
}

QAction* MakeAction(QMenu* menu, const char* name, const char* caption) {
    QAction* action = menu->addAction(QString::fromUtf8(caption));
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

QComboBox* MakeParameterList(const char* name, const QStringList& items, QWidget* parent) {
    auto* list = new QComboBox(parent);
    list->setObjectName(QString::fromLatin1(name));
    list->setEditable(true);
    list->setInsertPolicy(QComboBox::NoInsert);
    list->addItems(items);
    list->setCurrentIndex(-1);
    list->setMinimumWidth(90);
    return list;
}

QLineEdit* MakeEdit(const char* name, const char* text, QWidget* parent, int width = 52) {
    auto* edit = new QLineEdit(QString::fromUtf8(text), parent);
    edit->setObjectName(QString::fromLatin1(name));
    // As wide as designed where there is room, a third narrower on a small screen.
    edit->setMaximumWidth(width);
    edit->setMinimumWidth(width * 2 / 3);
    return edit;
}

const LocalizedMessage kProfileNotSaved{"Profile not saved:", "配置未保存：", "保存配置"};
const LocalizedMessage kProfileNotLoaded{"Profile not loaded:", "配置未载入：", "载入配置"};

// A list the last read left without a selection names the radio's own value in its tool tip.
void ShowRawValueTip(QWidget* control, RadioField field, const ShownParameters& shown,
                     bool listed) {
    control->setToolTip(
        listed ? QString()
               : Tr("The radio holds %1.", "电台中为%1。").arg(RawValueText(field, shown.raw)));
}

// The design's colours, each used where it reads on the theme's ground.
const QColor kTitleBlue(0x00, 0x00, 0x80);
const QColor kValueBlue(0x00, 0x00, 0xff);
const QColor kWarningRed(0xff, 0x00, 0x00);
const QColor kDataGreen(0xe6, 0xf5, 0xe1);

// The areas may shrink this far on a small screen; the design sizes are larger.
constexpr QSize kLeastReceiveArea(200, 60);
constexpr int kLeastTransmitHeight = 40;
constexpr int kLeastStatusCell = 40;

QString GroupStyle(QGroupBox* group, const QColor& title, const QString& extra = {}) {
    return QStringLiteral(
               "QGroupBox#%1 { font-weight: bold; %2 }"
               "QGroupBox#%1::title { color: %3; }")
        .arg(group->objectName(), extra, title.name());
}

// A status panel as a screen reader announces it: what the panel shows, then its text. The
// counters' texts say themselves what they count.
QString StatusPanelName(int panel, const QString& text) {
    switch (panel) {
        case 0:
            return Tr("Model: %1", "电台型号：%1").arg(text);
        case 1:
            return Tr("Port: %1", "端口号：%1").arg(text);
        case 2:
            return Tr("Port setting: %1", "串口设置：%1").arg(text);
        case 3:
            return Tr("State: %1", "状态：%1").arg(text);
        default:
            return text;
    }
}

}  // namespace

QString PortCellText(const QString& portText, const QString& openDevice) {
    const std::optional<PortUrl> url = ParsePortUrl(openDevice);
    return url ? url->host : portText;
}

TForm1::TForm1(QWidget* parent) : QWidget(parent), Sequencer(Link(), *this) {
    ChooseProfileFile = [this](bool save) {
        const QString filter = Tr("Profiles (*.json)", "配置文件 (*.json)");
        return save
                   ? QFileDialog::getSaveFileName(this, Tr("Save Profile", "保存配置"), {}, filter)
                   : QFileDialog::getOpenFileName(this, Tr("Load Profile", "载入配置"), {}, filter);
    };
    LocateManual = &InstalledManualUrl;
    OpenUrl = &QDesktopServices::openUrl;
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("TAVREN数传电台演示软件"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/app.svg")));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);

    buildMenus();
    layout->setMenuBar(MainMenu1);
    buildToolbar();
    layout->addWidget(Panel1);

    auto* middle = new QHBoxLayout;
    middle->setContentsMargins(4, 0, 4, 0);
    middle->addWidget(buildParameterColumn());
    middle->addWidget(buildDataGroup(), 1);
    // The data areas take what the window has beyond its design size.
    layout->addLayout(middle, 1);
    layout->addWidget(buildStatusRow());
    layout->addWidget(buildStatisticsRow());

    buildTimers();
    buildDataTest();
    buildReceiveMenus();
    watchActivation();
    View_M->menuAction()->setVisible(!View_M->isEmpty());
    applyColours();
}

void TForm1::settleDesignSize() {
    // Measured afresh: no layout has run yet to see the cells shown and hidden since.
    StatusBar1->layout()->invalidate();
    StatusBar1->layout()->activate();
    layout()->invalidate();
    designSize_ = sizeHint();
    resize(designSize_);
    setMinimumSize(designSize_);
    Memo_Rec->setMinimumSize(kLeastReceiveArea);
    Memo_Trtt->setMinimumHeight(kLeastTransmitHeight);
    Memo_Trtt->setMaximumHeight(QWIDGETSIZE_MAX);
}

void TForm1::applyColours() {
    const QPalette& colours = palette();
    const QColor window = colours.color(QPalette::Window);
    const QColor title = ReadableOn(kTitleBlue, window);
    const QColor value = ReadableOn(kValueBlue, colours.color(QPalette::Base));
    const QColor data = TintBehind(window, kDataGreen, 1.0, colours.color(QPalette::WindowText));
    GroupBox3->setStyleSheet(GroupStyle(GroupBox3, title));
    GroupBox1->setStyleSheet(GroupStyle(GroupBox1, title));
    GroupBox2->setStyleSheet(GroupStyle(GroupBox2, ReadableOn(kTitleBlue, data),
                                        QStringLiteral("background-color: %1;").arg(data.name())));
    const QString valueStyle = QStringLiteral("%1 { color: %2; }");
    for (QComboBox* list : {ComboChnn, ComboAirBaud, ComboRadioSerBaud, ComboRadioParity})
        list->setStyleSheet(valueStyle.arg(QStringLiteral("QComboBox"), value.name()));
    EditModelVer->setStyleSheet(valueStyle.arg(QStringLiteral("QLineEdit"), value.name()));
    const QString warning =
        valueStyle.arg(QStringLiteral("QLabel"), ReadableOn(kWarningRed, window).name());
    StatusLost->setStyleSheet(warning);
    Panel6->setStyleSheet(warning);
}

void TForm1::buildToolbar() {
    Panel1 = Named(new QFrame(this), "Panel1");
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto* row = new QHBoxLayout(Panel1);
    row->setContentsMargins(4, 2, 4, 2);
    row->setSpacing(2);
    Speed_R = MakeSpeedButton("Speed_R", "read", "读参数", Panel1);
    Speed_W = MakeSpeedButton("Speed_W", "write", "写参数", Panel1);
    Speed_O = MakeSpeedButton("Speed_O", "open", "打开串口", Panel1);
    Speed_C = MakeSpeedButton("Speed_C", "close", "关闭串口", Panel1);
    BitBtn1 = MakeSpeedButton("BitBtn1", "about", "About", Panel1);
    Speed_E = MakeSpeedButton("Speed_E", "exit", "退出", Panel1);
    Speed_W->setEnabled(false);
    for (QToolButton* button : {Speed_R, Speed_W, Speed_O, Speed_C, BitBtn1, Speed_E}) {
        row->addWidget(button);
    }
    row->addStretch();

    connect(Speed_R, &QToolButton::clicked, this, &TForm1::Speed_RClick);
    connect(Speed_W, &QToolButton::clicked, this, &TForm1::Speed_WClick);
    connect(Speed_O, &QToolButton::clicked, this, &TForm1::Speed_OClick);
    connect(Speed_C, &QToolButton::clicked, this, &TForm1::Speed_CClick);
    connect(BitBtn1, &QToolButton::clicked, this, &TForm1::Help_A_MClick);
    connect(Speed_E, &QToolButton::clicked, this, &TForm1::Speed_EClick);
}

void TForm1::buildMenus() {
    MainMenu1 = Named(new QMenuBar(this), "MainMenu1");
    FIle_M = Named(MainMenu1->addMenu(QStringLiteral("文件(&F)")), "FIle_M");
    FileRead = MakeAction(FIle_M, "FileRead", "读电台(&R)");
    FileWrite = MakeAction(FIle_M, "FileWrite", "写电台(&W)");
    FileWrite->setEnabled(false);
    N3 = Named(FIle_M->addSeparator(), "N3");
    FileSaveProfile = MakeAction(FIle_M, "FileSaveProfile", "保存配置(&S)…");
    FileLoadProfile = MakeAction(FIle_M, "FileLoadProfile", "载入配置(&L)…");
    N2 = Named(FIle_M->addSeparator(), "N2");
    FileExit = MakeAction(FIle_M, "FileExit", "退出(&X)");

    Seri_M = Named(MainMenu1->addMenu(QStringLiteral("电台(&E)")), "Seri_M");
    Seri_O_M = MakeAction(Seri_M, "Seri_O_M", "打开串口(&O)");
    Seri_C_M = MakeAction(Seri_M, "Seri_C_M", "关闭串口(&C)");

    // What the data area and the link show; its entries are added by the windows they open.
    View_M = Named(MainMenu1->addMenu(QStringLiteral("查看(&V)")), "View_M");

    Help_M = Named(MainMenu1->addMenu(QStringLiteral("帮助(&H)")), "Help_M");
    Help_U_M = MakeAction(Help_M, "Help_U_M", "使用说明(&M)");
    Help_A_M = MakeAction(Help_M, "Help_A_M", "关于(&A)");

    Test_M = Named(MainMenu1->addAction(QStringLiteral("测试")), "Test_M");
    Test_M->setVisible(false);

    connect(FileRead, &QAction::triggered, this, &TForm1::Speed_RClick);
    connect(FileWrite, &QAction::triggered, this, &TForm1::Speed_WClick);
    connect(FileSaveProfile, &QAction::triggered, this, &TForm1::FileSaveProfileClick);
    connect(FileLoadProfile, &QAction::triggered, this, &TForm1::FileLoadProfileClick);
    connect(FileExit, &QAction::triggered, this, &TForm1::FileExitClick);
    connect(Seri_O_M, &QAction::triggered, this, &TForm1::Seri_O_MClick);
    connect(Seri_C_M, &QAction::triggered, this, &TForm1::Speed_CClick);
    connect(Help_U_M, &QAction::triggered, this, &TForm1::Help_U_MClick);
    connect(Help_A_M, &QAction::triggered, this, &TForm1::Help_A_MClick);
    connect(Test_M, &QAction::triggered, this, &TForm1::Test_MClick);
}

QWidget* TForm1::buildParameterColumn() {
    auto* column = new QWidget(this);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);

    GroupBox3 = Named(new QGroupBox(QStringLiteral("电台型号"), column), "GroupBox3");
    auto* model = new QGridLayout(GroupBox3);
    ParaModel = new TPanel(QStringLiteral("ParaModel"), QStringLiteral("电台型号"), GroupBox3);
    EditModelVer = MakeEdit("EditModelVer", "", GroupBox3, 110);
    EditModelVer->setEnabled(false);
    EditModelVer->installEventFilter(this);
    ParaID = new TPanel(QStringLiteral("ParaID"), QStringLiteral("电台ID码"), GroupBox3);
    ParaID->setVisible(false);
    EditID = MakeEdit("EditID", "      ", GroupBox3, 110);
    EditID->setMaxLength(6);
    EditID->setVisible(false);
    model->addWidget(ParaModel, 0, 0);
    model->addWidget(EditModelVer, 0, 1);
    model->addWidget(ParaID, 1, 0);
    model->addWidget(EditID, 1, 1);
    layout->addWidget(GroupBox3);

    GroupBox1 = Named(new QGroupBox(QStringLiteral("电台参数"), column), "GroupBox1");
    auto* para = new QGridLayout(GroupBox1);
    ParaChnn = new TPanel(QStringLiteral("ParaChnn"), QStringLiteral("信道号"), GroupBox1);
    ComboChnn = MakeParameterList("ComboChnn", ChannelTexts(), GroupBox1);
    ParaAriBaud = new TPanel(QStringLiteral("ParaAriBaud"), QStringLiteral("空中速率"), GroupBox1);
    ComboAirBaud = MakeParameterList("ComboAirBaud", AirRateTexts(), GroupBox1);
    ComboAirBaud->setEnabled(false);
    ParaSerialBaud =
        new TPanel(QStringLiteral("ParaSerialBaud"), QStringLiteral("串口模式"), GroupBox1);
    ComboRadioSerBaud = MakeParameterList("ComboRadioSerBaud", SerialRateTexts(), GroupBox1);
    ComboRadioParity = MakeParameterList(
        "ComboRadioParity",
        {QStringLiteral("无检验"), QStringLiteral("奇检验"), QStringLiteral("偶检验")}, GroupBox1);
    para->addWidget(ParaChnn, 0, 0);
    para->addWidget(ComboChnn, 0, 1);
    para->addWidget(ParaAriBaud, 1, 0);
    para->addWidget(ComboAirBaud, 1, 1);
    para->addWidget(ParaSerialBaud, 2, 0);
    para->addWidget(ComboRadioSerBaud, 2, 1);
    para->addWidget(ComboRadioParity, 3, 1);
    // Each field and list is named by its own label, not by the group around it, for a screen
    // reader. The parity list shares the serial rate's panel, so a label of its own is never
    // shown.
    ParaModel->setBuddy(EditModelVer);
    ParaID->setBuddy(EditID);
    ParaChnn->setBuddy(ComboChnn);
    ParaAriBaud->setBuddy(ComboAirBaud);
    ParaSerialBaud->setBuddy(ComboRadioSerBaud);
    auto* parityName = new QLabel(Tr("Parity", "检验位"), GroupBox1);
    parityName->setBuddy(ComboRadioParity);
    parityName->hide();
    layout->addWidget(GroupBox1);
    layout->addStretch();
    return column;
}

QGroupBox* TForm1::buildDataGroup() {
    GroupBox2 = Named(new QGroupBox(QStringLiteral("数据传输"), this), "GroupBox2");
    QFont chinese = font();
    chinese.setPointSize(10);

    auto makeButton = [&](const char* name, const char* caption) {
        auto* button = Named(new QPushButton(QString::fromUtf8(caption), GroupBox2), name);
        button->setFont(chinese);
        return button;
    };
    auto makeCheck = [&](const char* name, const char* caption, bool checked) {
        auto* box = Named(new QCheckBox(QString::fromUtf8(caption), GroupBox2), name);
        box->setFont(chinese);
        box->setChecked(checked);
        return box;
    };
    auto makeHeading = [&](const char* name, const char* caption) {
        auto* panel = new TPanel(QString::fromLatin1(name), QString::fromUtf8(caption), GroupBox2);
        panel->setFrameShadow(QFrame::Sunken);
        return panel;
    };

    auto* grid = new QGridLayout(GroupBox2);

    Panel8 = makeHeading("Panel8", "接收区");
    Check_RecHex = makeCheck("Check_RecHex", "十六进制显示", false);
    Check_AutoClr = makeCheck("Check_AutoClr", "自动清空", true);
    Button1 = makeButton("Button1", "停止显示");
    Button_ClrRecMemo = makeButton("Button_ClrRecMemo", "清空接收区");
    Button3 = makeButton("Button3", "复位计数器");
    auto* receiveColumn = new QVBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{Panel8, Check_RecHex, Check_AutoClr, Button1,
                                                      Button_ClrRecMemo, Button3}) {
        receiveColumn->addWidget(w);
    }
    ModemLines = new ModemLinesView(Link(), GroupBox2);
    receiveColumn->addWidget(ModemLines);
    receiveColumn->addStretch();
    Memo_Rec = Named(new ReceiveView(GroupBox2), "Memo_Rec");
    Memo_Rec->setMinimumSize(420, 230);
    grid->addLayout(receiveColumn, 0, 0);
    grid->addWidget(Memo_Rec, 0, 1);
    grid->setRowStretch(0, 3);
    grid->setColumnStretch(1, 1);

    Panel9 = makeHeading("Panel9", "发送区");
    Button_ManulTrtt = makeButton("Button_ManulTrtt", "手动发送");
    Button_ClrTrttMemo = makeButton("Button_ClrTrttMemo", "清空发送区");
    auto* sendColumn = new QVBoxLayout;
    for (QWidget* w :
         std::initializer_list<QWidget*>{Panel9, Button_ManulTrtt, Button_ClrTrttMemo}) {
        sendColumn->addWidget(w);
    }
    sendColumn->addStretch();
    Memo_Trtt = Named(new QPlainTextEdit(GroupBox2), "Memo_Trtt");
    Memo_Trtt->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo_Trtt->setFixedHeight(80);
    grid->addLayout(sendColumn, 1, 0);
    grid->addWidget(Memo_Trtt, 1, 1);
    grid->setRowStretch(1, 1);

    Check_AutoTrtt = makeCheck("Check_AutoTrtt", "自动发送", false);
    Label9 = Named(new QLabel(QStringLiteral("自动发送周期"), GroupBox2), "Label9");
    Edit_TrttPerio = MakeEdit("Edit_TrttPerio", "1000", GroupBox2, 70);
    Label10 = Named(new QLabel(QStringLiteral("毫秒"), GroupBox2), "Label10");
    Check_TrttHex = makeCheck("Check_TrttHex", "十六进制发送", false);
    Label_LineEnd = Named(new QLabel(QStringLiteral("行尾"), GroupBox2), "Label_LineEnd");
    Combo_LineEnd = Named(new QComboBox(GroupBox2), "Combo_LineEnd");
    Combo_LineEnd->addItems({QStringLiteral("CR LF"), QStringLiteral("LF"), QStringLiteral("CR"),
                             QStringLiteral("无")});
    auto* bottom = new QHBoxLayout;
    for (QWidget* w :
         std::initializer_list<QWidget*>{Check_AutoTrtt, Label9, Edit_TrttPerio, Label10,
                                         Check_TrttHex, Label_LineEnd, Combo_LineEnd}) {
        bottom->addWidget(w);
    }
    bottom->addStretch();
    grid->addLayout(bottom, 2, 0, 1, 2);
    Panel8->setBuddy(Memo_Rec);
    Panel9->setBuddy(Memo_Trtt);
    Label9->setBuddy(Edit_TrttPerio);
    Label_LineEnd->setBuddy(Combo_LineEnd);
    return GroupBox2;
}

QWidget* TForm1::buildStatusRow() {
    auto* row = new QWidget(this);
    statusRow_ = row;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);

    StatusBar1 = Named(new QStatusBar(row), "StatusBar1");
    StatusBar1->setSizeGripEnabled(false);
    const std::array<const char*, StatusPanelCount> initial{"",       "COMX",  "XXXX-X-1",
                                                            "断开的", "TX :0", "RX:0"};
    for (int i = 0; i < StatusPanelCount; ++i) {
        auto* panel = new QLabel(QString::fromUtf8(initial[i]), StatusBar1);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        // Fixed in both directions, so a new text repaints the panel alone instead of laying
        // out the window again (the counters change several times a second).
        panel->setFixedSize(StatusPanelWidths[i], panel->sizeHint().height());
        panel->setAutoFillBackground(true);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        if (i > 0) panel->setAlignment(Qt::AlignCenter);
        panel->setVisible(StatusPanelWidths[i] > 0);
        addStatusCell(panel, StatusPanelWidths[i]);
        statusPanels_[i] = panel;
        setStatusText(i, panel->text());
    }
    StatusLost = Named(new QLabel(StatusBar1), "StatusLost");
    StatusLost->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    StatusLost->setVisible(false);
    StatusBar1->addPermanentWidget(StatusLost);
    layout->addWidget(StatusBar1, 1);

    Panel10 = new TPanel(QStringLiteral("Panel10"), QString(), row);
    Panel10->setFrameShadow(QFrame::Sunken);
    Panel10->setFixedWidth(45);
    Panel11 = new TPanel(QStringLiteral("Panel11"), QString(), row);
    Panel11->setFrameShadow(QFrame::Sunken);
    Panel11->setFixedWidth(40);
    layout->addWidget(Panel10);
    layout->addWidget(Panel11);
    connect(Panel10, &TPanel::clicked, this, &TForm1::Panel10Click);
    connect(Panel11, &TPanel::clicked, this, &TForm1::Panel11Click);
    return row;
}

QFrame* TForm1::buildStatisticsRow() {
    Panel2 = Named(new QFrame(this), "Panel2");
    Panel2->setFrameStyle(QFrame::Panel | QFrame::Raised);
    auto* row = new QHBoxLayout(Panel2);
    row->setContentsMargins(4, 2, 4, 2);

    PanelTrttTest = new TPanel(QStringLiteral("PanelTrttTest"), QStringLiteral("ERR TEST"), Panel2);
    PanelTrttTest->setFixedWidth(80);
    PanelTrttTest->setCursor(Qt::PointingHandCursor);
    CheckTrtt = Named(new QCheckBox(QStringLiteral("RECORD"), Panel2), "CheckTrtt");
    Panel3 = new TPanel(QStringLiteral("Panel3"), QStringLiteral("TX CNT"), Panel2);
    Edit1 = MakeEdit("Edit1", "", Panel2);
    Panel4 = new TPanel(QStringLiteral("Panel4"), QStringLiteral("RX CNT"), Panel2);
    Edit2 = MakeEdit("Edit2", "", Panel2);
    Panel7 = new TPanel(QStringLiteral("Panel7"), QStringLiteral("REC ERR"), Panel2);
    Edit4 = MakeEdit("Edit4", "", Panel2);
    Label1 = Named(new QLabel(QStringLiteral("NoRec"), Panel2), "Label1");
    Edit5 = MakeEdit("Edit5", "Edit5", Panel2);
    Edit6 = MakeEdit("Edit6", "Edit6", Panel2);
    Edit7 = MakeEdit("Edit7", "Edit7", Panel2);
    Panel5 = new TPanel(QStringLiteral("Panel5"), QStringLiteral("SUCESS"), Panel2);
    Edit3 = MakeEdit("Edit3", "", Panel2, 70);
    Panel6 = new TPanel(QStringLiteral("Panel6"), QStringLiteral("%"), Panel2);
    Panel6->setVisible(false);
    for (QWidget* w : std::initializer_list<QWidget*>{PanelTrttTest, CheckTrtt, Panel3, Edit1,
                                                      Panel4, Edit2, Panel7, Edit4, Label1, Edit5,
                                                      Edit6, Edit7, Panel5, Edit3, Panel6}) {
        row->addWidget(w);
    }
    row->addStretch();
    Panel3->setBuddy(Edit1);
    Panel4->setBuddy(Edit2);
    Panel7->setBuddy(Edit4);
    Label1->setBuddy(Edit5);
    Panel5->setBuddy(Edit3);
    // The row's short labels do not say what is counted, and two counts have none; a screen
    // reader announces what each field counts.
    const std::initializer_list<std::tuple<QLineEdit*, const char*, const char*>> counts{
        {Edit1, "Frames sent", "已发送帧数"},           {Edit2, "Replies identical", "正确回复"},
        {Edit4, "Replies damaged", "错误回复"},         {Edit5, "Frames without reply", "无回复"},
        {Edit6, "Longer replies", "回复过长"},          {Edit7, "Shorter replies", "回复过短"},
        {Edit3, "Success rate, percent", "成功率（%）"}};
    for (const auto& [field, english, chinese] : counts)
        field->setAccessibleName(Tr(english, chinese));
    Panel2->setVisible(false);
    return Panel2;
}

void TForm1::buildTimers() {
    auto makeTimer = [this](const char* name, int period, void (TForm1::*handler)()) {
        auto* timer = Named(new QTimer(this), name);
        timer->setInterval(period);
        connect(timer, &QTimer::timeout, this, handler);
        return timer;
    };
    Timer_SdCmd = makeTimer("Timer_SdCmd", 10, &TForm1::Timer_SdCmdTimer);
    Timer_RecCmd = makeTimer("Timer_RecCmd", 10, &TForm1::Timer_RecCmdTimer);
    Timer_TrttData = makeTimer("Timer_TrttData", 10, &TForm1::Timer_TrttDataTimer);
    Timer_RecData = makeTimer("Timer_RecData", 50, &TForm1::Timer_RecDataTimer);
    Timer1 = makeTimer("Timer1", 100, &TForm1::Timer1Timer);
    Timer1->start();
}

// The receive area's own actions, offered in the menus too.
void TForm1::buildReceiveMenus() {
    FIle_M->insertAction(N2, Memo_Rec->SaveAction);
    View_M->addAction(Memo_Rec->FindAction);
    View_M->addSeparator();
    View_M->addActions({Memo_Rec->FitRowsAction, Memo_Rec->Rows16Action, Memo_Rec->Rows32Action});
    View_M->addSeparator();
    View_M->addActions({Memo_Rec->StampsAction, Memo_Rec->QuietTimeAction});
}

void TForm1::buildDataTest() {
    Data = std::make_unique<DataTest>(
        DataTestControls{
            Memo_Rec,
            Check_RecHex,
            Check_AutoClr,
            Button1,
            Memo_Trtt,
            Check_AutoTrtt,
            Edit_TrttPerio,
            Check_TrttHex,
            Timer_TrttData,
            PanelTrttTest,
            CheckTrtt,
            Edit1,
            Edit2,
            Edit3,
            Edit4,
            Edit5,
            Edit6,
            Edit7,
            [this](int panel, const QString& text) { setStatusText(panel, text); },
            [this](int panel, const QString& tip) { statusPanels_.at(panel)->setToolTip(tip); },
            [this](const QString& text) {
                StatusLost->setText(text);
                StatusLost->setVisible(!text.isEmpty());
            },
            Combo_LineEnd},
        Link());
    connect(Button_ManulTrtt, &QPushButton::clicked, this, &TForm1::Button_ManulTrttClick);
    // The box's handler runs on every change of its state, also when the program sets it.
    connect(Check_AutoTrtt, &QCheckBox::toggled, this, &TForm1::Check_AutoTrttClick);
    connect(Button_ClrTrttMemo, &QPushButton::clicked, this, &TForm1::Button_ClrTrttMemoClick);
    connect(Button_ClrRecMemo, &QPushButton::clicked, this, &TForm1::Button_ClrRecMemoClick);
    connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    connect(Button3, &QPushButton::clicked, this, &TForm1::Button3Click);
    connect(PanelTrttTest, &TPanel::clicked, this, &TForm1::PanelTrttTestClick);
}

// FormActivate runs when the window becomes active coming from another window of the program
// (and on its first showing), not when the user returns from another program.
void TForm1::watchActivation() {
    connect(qApp, &QGuiApplication::focusWindowChanged, this,
            [this, previous = static_cast<QWindow*>(nullptr)](QWindow* now) mutable {
                const bool fromOwnWindow = previous != nullptr;
                previous = now;
                if (now == nullptr || now != windowHandle()) return;
                if (fromOwnWindow || !activatedOnce_) FormActivate();
            });
}

void TForm1::addStatusCell(QLabel* cell, int preferredWidth) {
    StatusBar1->addPermanentWidget(cell);
    statusCells_.emplace_back(cell, preferredWidth);
}

// The cells keep fixed widths, so that a new text repaints a cell alone; only a change of the
// window's width or of the cells shown shares the width out again.
void TForm1::fitStatusCells() {
    if (!designSize_.isValid()) return;  // still being built
    std::vector<QLabel*> shown;
    std::vector<int> preferred;
    int current = 0;
    for (const auto& [cell, width] : statusCells_) {
        if (cell->isHidden() || width == 0) continue;
        shown.push_back(cell);
        preferred.push_back(width);
        current += cell->width();
    }
    // What the status bar needs besides the cells, and the two cells beside the bar.
    StatusBar1->layout()->activate();
    const int besides = StatusBar1->layout()->minimumSize().width() - current +
                        Panel10->maximumWidth() + Panel11->maximumWidth() +
                        2 * statusRow_->layout()->spacing();
    const std::vector<int> widths = FitWidths(preferred, width() - besides, kLeastStatusCell);
    for (size_t i = 0; i < shown.size(); ++i) shown[i]->setFixedWidth(widths[i]);
}

void TForm1::fitToScreen() {
    QScreen* screen = windowHandle() ? windowHandle()->screen() : this->screen();
    if (!screen) return;
    const QRect available = screen->availableGeometry();
    const QSize frame = frameGeometry().size() - geometry().size();
    setMinimumSize(designSize_.boundedTo(available.size() - frame));
    const QRect fitted = FitOnScreen(frameGeometry(), available);
    resize(fitted.size() - frame);
    move(fitted.topLeft());
}

QString TForm1::statusText(int panel) const {
    return statusPanels_.at(panel)->text();
}

void TForm1::setStatusText(int panel, const QString& text) {
    QLabel* cell = statusPanels_.at(panel);
    if (panel != PortPanel) {
        cell->setText(text);
        cell->setAccessibleName(StatusPanelName(panel, text));
        return;
    }
    // The whole name of a network port stays at hand in the tool tip.
    const QString device = Link().PortDeviceName();
    const QString shown = PortCellText(text, device);
    const QString whole = text == device ? text : QStringLiteral("%1 (%2)").arg(text, device);
    cell->setText(shown);
    cell->setToolTip(shown == text ? QString() : whole);
    cell->setAccessibleName(StatusPanelName(panel, shown == text ? text : whole));
}

void TForm1::startReceivePoll() {
    Timer_RecData->start();
}

void TForm1::stopReceivePoll() {
    Timer_RecData->stop();
}

void TForm1::portLost() {
    Sequencer.PortClosed();
    FormTest->CancelExchange();
    // Waiting for the device to come back, the status bar says so instead.
    if (Reconnection->portLost()) return;
    ShowMessage(PortLostMessage());
}

void TForm1::dataSent() {
    Data->ShowSentBytes();
}

void TForm1::setCommandTimers(bool running) {
    for (QTimer* timer : {Timer_SdCmd, Timer_RecCmd}) {
        if (running) {
            timer->start();
        } else {
            timer->stop();
        }
    }
}

bool TForm1::commandTimersRunning() const {
    return Timer_SdCmd->isActive();
}

void TForm1::stopDataTest() {
    Timer_RecData->stop();
    Timer_TrttData->stop();
}

void TForm1::resumeDataTest() {
    Timer_RecData->start();
    if (Check_AutoTrtt->isChecked()) {
        Timer_TrttData->start();
    } else {
        Timer_TrttData->stop();
    }
}

void TForm1::showProgress(SequencePhase phase, int maximum) {
    const ProgressTexts texts = ProgressTextsFor(phase);
    ShowProgress(texts.title, texts.message, maximum);
}

void TForm1::setProgress(int position) {
    SetProgress(position);
}

void TForm1::closeProgress() {
    CloseProgress();
}

WriteSelection TForm1::valuesToWrite() const {
    return {ComboAirBaud->currentIndex(), ComboChnn->currentIndex(),
            ComboRadioSerBaud->currentIndex(), ComboRadioParity->currentIndex(),
            EditID->text().toStdU16String()};
}

void TForm1::enableWrite() {
    Speed_W->setEnabled(true);
    FileWrite->setEnabled(true);
}

// A failed read or write starts again when the user answers Retry.
void TForm1::showOutcome(const SequenceResult& result) {
    const bool retryable = result.outcome == SequenceOutcome::ReadFailed ||
                           result.outcome == SequenceOutcome::WriteFailed;
    for (const Message& message : SequenceMessages(result)) {
        if (!retryable) {
            ShowMessage(message);
            continue;
        }
        ShowMessage(message, [this](MessageAnswer answer) {
            if (answer == MessageAnswer::Retry) {
                Sequencer.Retry();
            } else {
                Sequencer.Abandon();
            }
        });
    }
}

// The user learns the outcome from its messages, shown once the tick is over. Where the radio
// answered, the next search begins; a write whose read-back did not confirm it says so in the
// status bar until the link state changes.
void TForm1::sequenceEnded(const SequenceResult& result) {
    showOutcome(result);
    const SequenceOutcome outcome = result.outcome;
    switch (outcome) {
        case SequenceOutcome::VerifyFailed:
        case SequenceOutcome::VerifyReadFailed:
            setStatusText(3, Tr("Write not verified", "写参数未校验"));
            break;
        default:
            break;
    }
    switch (outcome) {
        case SequenceOutcome::ReadDone:
        case SequenceOutcome::WriteDone:
        case SequenceOutcome::WriteVerified:
        case SequenceOutcome::VerifyFailed:
            RememberPort();
            break;
        default:
            break;
    }
}

void TForm1::showModelVersion(const QString& text) {
    setStatusText(0, text);
}

QString TForm1::modelVersionShown() const {
    return statusText(0);
}

void TForm1::showModelField(const QString& text) {
    EditModelVer->setText(text);
}

void TForm1::enableAirRate() {
    ComboAirBaud->setEnabled(true);
}

void TForm1::selectParameters(const ShownParameters& shown) {
    // A position past a list leaves it without a selection.
    const auto select = [](QComboBox* list, int position) {
        list->setCurrentIndex(position < list->count() ? position : -1);
    };
    select(ComboChnn, shown.channelPosition);
    select(ComboAirBaud, shown.airBaudPosition);
    select(ComboRadioSerBaud, shown.serialBaudPosition);
    select(ComboRadioParity, shown.parityPosition);
    EditID->setText(shown.idText);
}

void TForm1::showParameters(const ShownParameters& shown) {
    selectParameters(shown);
    ShowRawValueTip(ComboChnn, RadioField::Channel, shown, ComboChnn->currentIndex() >= 0);
    ShowRawValueTip(ComboAirBaud, RadioField::AirRate, shown, ComboAirBaud->currentIndex() >= 0);
    ShowRawValueTip(EditID, RadioField::Identity, shown, !EditID->text().isEmpty());
}

void TForm1::clearReadResults() {
    EditModelVer->setText(QString());
    EditID->setText(QString());
    ComboAirBaud->setCurrentIndex(-1);
    ComboRadioSerBaud->setCurrentIndex(-1);
    for (QWidget* control : {static_cast<QWidget*>(ComboChnn), static_cast<QWidget*>(ComboAirBaud),
                             static_cast<QWidget*>(EditID)}) {
        control->setToolTip(QString());
    }
}

void TForm1::FormCreate() {
    EditID->setText(QString());
    Timer_RecData->start();
    ApplyMainTexts();
}

void TForm1::FormActivate() {
    activatedOnce_ = true;
    ApplyDialogTexts();
}

void TForm1::Timer_SdCmdTimer() {
    Sequencer.Timer_SdCmdTimer();
}

void TForm1::Timer_RecCmdTimer() {
    Sequencer.Timer_RecCmdTimer();
}

void TForm1::Timer_TrttDataTimer() {
    ShowDataTestOutcome(Data->Timer_TrttDataTimer());
}

void TForm1::Timer_RecDataTimer() {
    Data->Timer_RecDataTimer();
}

void TForm1::Button_ManulTrttClick() {
    ShowDataTestOutcome(Data->Button_ManulTrttClick());
}

void TForm1::Check_AutoTrttClick() {
    ShowDataTestOutcome(Data->Check_AutoTrttClick());
}

void TForm1::Button_ClrTrttMemoClick() {
    Data->Button_ClrTrttMemoClick();
}

void TForm1::Button_ClrRecMemoClick() {
    Data->Button_ClrRecMemoClick();
}

void TForm1::Button1Click() {
    Data->Button1Click();
}

void TForm1::Button3Click() {
    Data->Button3Click();
}

void TForm1::PanelTrttTestClick() {
    ShowDataTestOutcome(Data->PanelTrttTestClick());
}

void TForm1::Timer1Timer() {
    if (Reveal.tick()) Timer1->stop();
}

void TForm1::Panel11Click() {
    Reveal.panel11Click();
}

void TForm1::Panel10Click() {
    if (!Reveal.panel10Click()) return;
    ComboAirBaud->setEnabled(true);
    Test_M->setVisible(true);
    Panel2->setVisible(true);
    // Taller by the row, as far as the screen has room.
    resize(width(), height() + Panel2->sizeHint().height() + layout()->spacing());
    fitToScreen();
}

void TForm1::Speed_RClick() {
    Sequencer.Speed_RClick();
}

void TForm1::Speed_WClick() {
    Sequencer.Speed_WClick();
}

void TForm1::Speed_OClick() {
    Serial_Form->show();
    Serial_Form->raise();
    Serial_Form->activateWindow();
}

void TForm1::Seri_O_MClick() {
    Speed_OClick();
}

void TForm1::Speed_CClick() {
    Reconnection->portClosed();
    if (!Link().PortHandle()) return;
    Link().ClosePort();
    Sequencer.PortClosed();
    FormTest->CancelExchange();
}

void TForm1::Help_A_MClick() {
    AboutBox->show();
    AboutBox->raise();
}

void TForm1::Help_U_MClick() {
    const QUrl manual = LocateManual();
    if (manual.isEmpty()) {
        ShowPlain(Tr("The user manual is not installed.", "未安装使用说明。"));
        return;
    }
    if (!OpenUrl(manual))
        ShowPlain(
            Tr("Cannot open the user manual %1", "无法打开使用说明 %1").arg(manual.toLocalFile()));
}

void TForm1::Test_MClick() {
    FormTest->show();
    FormTest->activateWindow();
    FormTest->setFocus();
    Timer_RecData->stop();
}

void TForm1::FileSaveProfileClick() {
    const QString path = ChooseProfileFile(true);
    if (path.isEmpty()) return;
    const QString error = SaveProfileFile(path, ProfileOf(valuesToWrite()));
    if (!error.isEmpty()) ShowLocalized(kProfileNotSaved, error);
}

void TForm1::FileLoadProfileClick() {
    const QString path = ChooseProfileFile(false);
    if (path.isEmpty()) return;
    const ProfileResult loaded = LoadProfileFile(path);
    if (!loaded.profile) {
        ShowLocalized(kProfileNotLoaded, loaded.error);
        return;
    }
    const WriteSelection values = WithProfile(valuesToWrite(), *loaded.profile);
    QString idText = EditID->text();
    if (const auto id = loaded.profile->id) {
        // Shown the way a read shows it.
        const std::array<uint8_t, 2> bytes = *IdBytesFromText(id->toStdU16String());
        const uint8_t code[2] = {bytes[0], bytes[1]};
        idText = QString::fromStdString(IdText(code));
    }
    selectParameters({values.channelPosition,
                      values.airBaudPosition,
                      values.serialBaudPosition,
                      values.parityPosition,
                      idText,
                      {}});
    // What the profile gave replaces what the radio held.
    if (loaded.profile->channelPosition) ComboChnn->setToolTip(QString());
    if (loaded.profile->airRatePosition) ComboAirBaud->setToolTip(QString());
    if (loaded.profile->id) EditID->setToolTip(QString());
}

void TForm1::FileExitClick() {
    ExitProcedure();
}

void TForm1::Speed_EClick() {
    ExitProcedure();
}

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    fitToScreen();
    connect(windowHandle(), &QWindow::screenChanged, this, &TForm1::fitToScreen,
            Qt::UniqueConnection);
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fitStatusCells();
}

void TForm1::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // The desktop's theme changed; only the children's style sheets change here, not this
    // window's palette, so this runs once per change.
    if (event->type() == QEvent::PaletteChange) applyColours();
}

void TForm1::closeEvent(QCloseEvent* event) {
    // The process ends inside the exit procedure; the window is never closed on its own.
    event->ignore();
    ExitProcedure();
}

bool TForm1::EditModelVerKeyPress(QKeyEvent* key) {
    return !key->text().isEmpty();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == EditModelVer && event->type() == QEvent::KeyPress) {
        return EditModelVerKeyPress(static_cast<QKeyEvent*>(event));
    }
    return QWidget::eventFilter(watched, event);
}
