#include "serial/serialform.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "core/escape.h"
#include "core/language.h"
#include "serial/networkserialdevice.h"
#include "serial/portnames.h"
#include "serial/porturl.h"

TSerial_Form* Serial_Form = nullptr;

const LocalizedMessage kSettingsRejected{"Port open error!", "通讯端口设置错误!", "Set_Error",
                                         "CommError"};

namespace {

// The dialog's messages and texts.
const LocalizedMessage kOpenFailed{"Port open error!", "打开通讯端口错误!", "CommError",
                                   "CommError"};
const LocalizedMessage kInvalidNetworkPort{"Not a valid network port!", "网络端口格式错误!",
                                           "CommError", "CommError"};
QString NoDeviceText() {
    return Tr("(no such port)", "(无此端口)");
}
QString InvalidNetworkPortText() {
    return Tr("(not a valid network port)", "(无效的网络端口)");
}
QString NetworkPortFormText(const QString& name) {
    return Tr("%1\nWrite rfc2217://HOST:PORT or socket://HOST:PORT; an IPv6 address goes in "
              "brackets, as in rfc2217://[::1]:2000.",
              "%1\n请写作 rfc2217://主机:端口 或 socket://主机:端口；IPv6 地址放在方括号中，"
              "例如 rfc2217://[::1]:2000。")
        .arg(EscapeControlCharacters(Shortened(name, 300)));
}

// Why a network port refused the settings; nothing to add for a local port's driver.
QString RefusalText(SettingsRefusal refusal) {
    switch (refusal) {
        case SettingsRefusal::Server:
            return Tr("The network serial server refused these settings.",
                      "网络串口服务器拒绝了这些设置。");
        case SettingsRefusal::NoAnswer:
            return Tr("The network serial server did not confirm these settings within %1 s.",
                      "网络串口服务器未在 %1 秒内确认这些设置。")
                .arg(ServerAnswerWaitMs / 1000);
        case SettingsRefusal::ConnectionEnded:
            return Tr(
                "The network serial server ended the connection before it set these settings.",
                "网络串口服务器在设置之前断开了连接。");
        case SettingsRefusal::Unchangeable:
            return Tr(
                "A plain network connection (socket://) cannot change its line settings; "
                "use rfc2217:// to set them.",
                "普通网络连接（socket://）不能更改串口设置；要设置请使用 rfc2217://。");
        case SettingsRefusal::Driver:
            break;
    }
    return {};
}

// "Server: rack:4001 (RFC 2217)"; an IPv6 address in brackets, as it is written in the port.
QString ServerText(const PortUrl& url) {
    const QString host = url.host.contains(u':') ? u'[' + url.host + u']' : url.host;
    const QString address = QStringLiteral("%1:%2").arg(host).arg(url.port);
    return url.protocol == PortProtocol::Rfc2217
               ? Tr("Server: %1 (RFC 2217)", "服务器：%1（RFC 2217）").arg(address)
               : Tr("Server: %1 (plain TCP)", "服务器：%1（普通 TCP）").arg(address);
}

// What the label beside the port list says of the device an entry or a typed name stands for.
QString DeviceText(const QString& device) {
    if (device.isEmpty()) return NoDeviceText();
    if (!IsNetworkPortName(device)) return device;
    const std::optional<PortUrl> url = ParsePortUrl(device);
    return url ? ServerText(*url) : InvalidNetworkPortText();
}

const QStringList kPortEntries = {"COM1", "COM2", "COM3", "COM4", "COM5",
                                  "COM6", "COM7", "COM8", ""};
const QStringList kRateEntries = {"600",   "1200",  "2400",  "4800",  "9600",
                                  "19200", "38400", "57600", "115200"};

QStringList Entries(const QComboBox& list) {
    QStringList entries;
    for (int i = 0; i < list.count(); ++i) entries.append(list.itemText(i));
    return entries;
}

QComboBox* EditableList(const QString& name, const QStringList& entries, int selected) {
    auto* list = new QComboBox;
    list->setObjectName(name);
    list->setEditable(true);
    // Typed text stays text; it never becomes a new entry.
    list->setInsertPolicy(QComboBox::NoInsert);
    list->addItems(entries);
    list->setCurrentIndex(selected);
    return list;
}

QLabel* NamedLabel(const QString& name, const char* text) {
    auto* label = new QLabel(QString::fromUtf8(text));
    label->setObjectName(name);
    return label;
}

QPushButton* NamedButton(const QString& name, const char* text) {
    auto* button = new QPushButton(QString::fromUtf8(text));
    button->setObjectName(name);
    return button;
}

}  // namespace

int ChosenEntry(const QStringList& entries, int currentIndex, const QString& shownText,
                bool typedByUser) {
    if (currentIndex >= 0 && currentIndex < entries.size() && entries[currentIndex] == shownText) {
        return currentIndex;
    }
    return typedByUser ? static_cast<int>(entries.indexOf(shownText)) : -1;
}

int ChosenEntry(const QComboBox& list) {
    const bool typed = list.lineEdit() && list.lineEdit()->isModified();
    return ChosenEntry(Entries(list), list.currentIndex(), list.currentText(), typed);
}

TSerial_Form::TSerial_Form(PortSettingsLink& link, QWidget* parent) : QDialog(parent), link_(link) {
    setObjectName("Serial_Form");
    setWindowTitle(QString::fromUtf8("串口配置"));
    setModal(false);

    GroupBox1 = new QGroupBox(QString::fromUtf8("端口属性"));
    GroupBox1->setObjectName("GroupBox1");
    Label1 = NamedLabel("Label1", "波特率");
    Label2 = NamedLabel("Label2", "端口号");
    Label3 = NamedLabel("Label3", "检验位");
    Label4 = NamedLabel("Label4", "数据位");
    Label5 = NamedLabel("Label5", "停止位");
    Comb_ComNo = EditableList("Comb_ComNo", kPortEntries, 0);
    ComboBaudRate = EditableList("ComboBaudRate", kRateEntries, 4);
    // No entry selected, the first entry's text shown.
    ComboParity = EditableList(
        "ComboParity", {QString::fromUtf8("无"), QString::fromUtf8("奇"), QString::fromUtf8("偶")},
        -1);
    ComboParity->setEditText(QString::fromUtf8("无"));
    Comb_DataBit = EditableList("Comb_DataBit", {"8"}, 0);
    Button1 = NamedButton("Button1", "确定");
    Button2 = NamedButton("Button2", "取消");
    Comb_StopBit = EditableList("Comb_StopBit", {"1", "2"}, 0);
    PortDevice = new QLabel;
    PortDevice->setObjectName("PortDevice");
    // A typed name is shown as typed, never as markup.
    PortDevice->setTextFormat(Qt::PlainText);

    // A screen reader names each list by its label.
    Label2->setBuddy(Comb_ComNo);
    Label1->setBuddy(ComboBaudRate);
    Label3->setBuddy(ComboParity);
    Label4->setBuddy(Comb_DataBit);
    Label5->setBuddy(Comb_StopBit);
    auto* grid = new QGridLayout(GroupBox1);
    grid->addWidget(Label2, 0, 0);
    grid->addWidget(Comb_ComNo, 0, 1);
    grid->addWidget(PortDevice, 0, 2);
    grid->addWidget(Label1, 1, 0);
    grid->addWidget(ComboBaudRate, 1, 1);
    grid->addWidget(Label3, 2, 0);
    grid->addWidget(ComboParity, 2, 1);
    grid->addWidget(Label4, 3, 0);
    grid->addWidget(Comb_DataBit, 3, 1);
    grid->addWidget(Label5, 4, 0);
    grid->addWidget(Comb_StopBit, 4, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    grid->addLayout(buttons, 5, 0, 1, 3);
    auto* outer = new QVBoxLayout(this);
    outer->addWidget(GroupBox1);

    PortWatch = new QTimer(this);
    PortWatch->setObjectName("PortWatch");
    PortWatch->setInterval(PortWatchMs);
    connect(PortWatch, &QTimer::timeout, this, &TSerial_Form::PortWatchTimer);

    connect(Button1, &QPushButton::clicked, this, &TSerial_Form::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TSerial_Form::Button2Click);
    connect(Comb_ComNo, &QComboBox::currentTextChanged, this, [this] {
        if (isVisible()) showPortDevices();
    });
}

void TSerial_Form::Button1Click() {
    const int portEntry = ChosenEntry(*Comb_ComNo);
    const QString typedName = Comb_ComNo->currentText().trimmed();
    // Refused before the open, so that the port open until now stays open.
    if (portEntry < 0 && IsNetworkPortName(typedName) && !ParsePortUrl(typedName)) {
        ShowLocalized(kInvalidNetworkPort, NetworkPortFormText(typedName));
        return;
    }
    PortChoice choice;
    if (portEntry < 0 && !typedName.isEmpty()) {
        choice.deviceName = typedName;
    } else {
        choice.portNo = portEntry + 1;
    }
    choice.baudIndex = ChosenEntry(*ComboBaudRate);
    choice.parityIndex = ChosenEntry(*ComboParity);
    const PortChoiceResult result = link_.ChoosePort(choice);
    switch (result.outcome) {
        case PortChoiceOutcome::OpenFailed:
            ShowLocalized(kOpenFailed, result.reason);
            return;
        case PortChoiceOutcome::SettingsRefused:
            ShowLocalized(kSettingsRejected, RefusalText(result.refusal));
            break;
        case PortChoiceOutcome::Applied:
            break;
    }
    if (link_.PortHandle()) emit portOpened();
    close();
}

void TSerial_Form::Button2Click() {
    close();
}

QString TSerial_Form::portListText() const {
    return Comb_ComNo->currentText();
}

void TSerial_Form::selectPort(int entry) {
    if (entry >= 0 && entry < Comb_ComNo->count()) Comb_ComNo->setCurrentIndex(entry);
}

void TSerial_Form::selectRateAndParity(int baudIndex, int parityIndex) {
    // An index past the list leaves it without a selection, as typed text would.
    ComboBaudRate->setCurrentIndex(baudIndex < ComboBaudRate->count() ? baudIndex : -1);
    ComboParity->setCurrentIndex(parityIndex < ComboParity->count() ? parityIndex : -1);
}

void TSerial_Form::showEvent(QShowEvent* event) {
    showPortDevices();
    PortWatch->start();
    QDialog::showEvent(event);
}

void TSerial_Form::hideEvent(QHideEvent* event) {
    PortWatch->stop();
    QDialog::hideEvent(event);
}

void TSerial_Form::PortWatchTimer() {
    showPortDevices();
}

void TSerial_Form::showPortDevices() {
    const QStringList devices = DevicesForPorts(Comb_ComNo->count());
    // A changed tool tip on the current entry puts the entry's text back into the list's line:
    // what the user typed there stays.
    QLineEdit* line = Comb_ComNo->lineEdit();
    const QString shown = line->text();
    const bool typed = line->isModified();
    for (int i = 0; i < Comb_ComNo->count(); ++i) {
        const QString device = devices.value(i);
        Comb_ComNo->setItemData(i, device.isEmpty() ? NoDeviceText() : device, Qt::ToolTipRole);
    }
    if (typed && line->text() != shown) {
        line->setText(shown);
        line->setModified(true);
    }
    const int entry = ChosenEntry(*Comb_ComNo);
    const QString device = entry >= 0 ? devices.value(entry) : Comb_ComNo->currentText().trimmed();
    // A long name is cut in its middle; the tool tip holds it whole.
    const QString text = DeviceText(device);
    const int widest = PortDevice->fontMetrics().averageCharWidth() * PortDeviceChars;
    PortDevice->setText(PortDevice->fontMetrics().elidedText(text, Qt::ElideMiddle, widest));
    PortDevice->setToolTip(text);
}
