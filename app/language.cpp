#include "app/language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "app/aboutbox.h"
#include "app/mainwindow.h"
#include "app/panel.h"
#include "app/windows.h"
#include "core/language.h"
#include "serial/serialform.h"

namespace {

struct EnglishText {
    const char* control;
    const char* text;
};

// The main window's English captions, replacing the Chinese design texts.
constexpr EnglishText MainCaptions[] = {
    {"FIle_M", "File(&F)"},
    {"FileRead", "Read Paras(&R)"},
    {"FileWrite", "Write Paras(&W)"},
    {"FileSaveProfile", "Save Profile(&S)…"},
    {"FileLoadProfile", "Load Profile(&L)…"},
    {"FileExit", "Exit(&X)"},
    {"Seri_M", "Edit(&E)"},
    {"Seri_C_M", "Close Port(&C)"},
    {"Seri_O_M", "Open Port(&O)"},
    {"View_M", "View(&V)"},
    {"Help_M", "Help(&H)"},
    {"Help_U_M", "User Manual(&M)"},
    {"Help_A_M", "About(&A)"},
    {"Test_M", "Test"},
    {"GroupBox3", "Model"},
    {"GroupBox1", "Para Set"},
    {"GroupBox2", "Comunication"},
    {"ParaModel", "Model"},
    {"ParaID", "SN"},
    {"ParaChnn", "Chno No."},
    {"ParaAriBaud", "Air Rate"},
    {"ParaSerialBaud", "Uart Rate"},
    {"Panel8", "Receive"},
    {"Panel9", "Transmitt"},
    {"Check_RecHex", "Hex Display"},
    {"Check_TrttHex", "Hex Send"},
    {"Check_AutoClr", "Auto Cls"},
    {"Check_AutoTrtt", "Auto Send"},
    {"Button_ClrRecMemo", "Cls RX Datas"},
    {"Button_ManulTrtt", "Manual Send"},
    {"Button1", "Stop Display"},
    {"Button3", "Counter Reset"},
    {"Button_ClrTrttMemo", "Cls TX datas"},
    {"Label9", "TX Timeout"},
    {"Label10", "MSEL"},
    {"Label_LineEnd", "Line End"},
};

constexpr EnglishText MainTooltips[] = {
    {"Speed_R", "Read Para"},  {"Speed_W", "Write Para"}, {"Speed_O", "Open Port"},
    {"Speed_C", "Close Port"}, {"Speed_E", "Exit"},
};

constexpr EnglishText PortDialogCaptions[] = {
    {"GroupBox1", "Port Set"}, {"Label2", "Port No."},  {"Label1", "Port Rate"},
    {"Label3", "Parity"},      {"Label4", "Data bits"}, {"Label5", "Stop bits"},
    {"Button1", "OK"},         {"Button2", "Cancel"},
};

const QStringList EnglishParities{QStringLiteral("N"), QStringLiteral("O"), QStringLiteral("E")};

void ApplyCaptions(QWidget* window, const EnglishText* begin, const EnglishText* end) {
    for (const EnglishText* entry = begin; entry != end; ++entry) {
        SetCaption(window->findChild<QObject*>(QString::fromLatin1(entry->control)),
                   QString::fromUtf8(entry->text));
    }
}

void ApplyEnglishMainTexts() {
    Form1->setWindowTitle(QStringLiteral("TVR900 Transceiver Test Software"));
    ApplyCaptions(Form1, std::begin(MainCaptions), std::end(MainCaptions));
    Form1->ComboRadioParity->clear();
    Form1->ComboRadioParity->addItems(EnglishParities);
    Form1->ComboRadioParity->setCurrentIndex(-1);
    Form1->Combo_LineEnd->setItemText(3, QStringLiteral("None"));
    for (const EnglishText& tip : MainTooltips) {
        Form1->findChild<QWidget*>(QString::fromLatin1(tip.control))
            ->setToolTip(QString::fromUtf8(tip.text));
    }
    Form1->setStatusText(3, QStringLiteral("Disconnect..."));
}

}  // namespace

void ApplyPortDialogTexts() {
    if (!IsEnglish()) return;
    Serial_Form->setWindowTitle(QStringLiteral("Port Property"));
    ApplyCaptions(Serial_Form, std::begin(PortDialogCaptions), std::end(PortDialogCaptions));
    // N selected, where the Chinese design shows the text of its first entry unselected.
    QComboBox* parity = Serial_Form->ComboParity;
    parity->clear();
    parity->addItems(EnglishParities);
    parity->setCurrentIndex(0);
}

void ApplyMainTexts() {
    if (IsEnglish()) {
        ApplyEnglishMainTexts();
    } else {
        Form1->setWindowTitle(QStringLiteral("数传电台演示软件"));
    }
    // A screen reader names the toolbar buttons, which show only an icon, by their tool tips.
    for (QToolButton* button : {Form1->Speed_R, Form1->Speed_W, Form1->Speed_O, Form1->Speed_C,
                                Form1->BitBtn1, Form1->Speed_E}) {
        button->setAccessibleName(button->toolTip());
    }
}

void ApplyDialogTexts() {
    if (!IsEnglish()) {
        AboutBox->Label1->setText(QStringLiteral(" "));
        AboutBox->setWindowTitle(QStringLiteral("About"));
        AboutBox->Copyright->setText(QStringLiteral(" "));
        return;
    }
    AboutBox->Label1->setText(QStringLiteral("NMR"));
    AboutBox->setWindowTitle(QStringLiteral("About NMR"));
    AboutBox->Copyright->setText(QStringLiteral("Copyright \u00A9 NMR. All rights reserved."));
}

void LoadQtTranslations() {
    if (IsEnglish()) return;
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(QStringLiteral("qtbase_zh_CN"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(translator);
    } else {
        delete translator;
    }
}
