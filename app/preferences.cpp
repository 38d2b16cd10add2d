#include "app/preferences.h"

#include <QSettings>
#include <QStandardPaths>
#include <algorithm>

#include "app/mainwindow.h"
#include "app/portreturnview.h"
#include "app/sendviews.h"
#include "app/startup.h"
#include "app/windows.h"
#include "core/language.h"
#include "serial/portnames.h"
#include "serial/serialform.h"
#include "serial/seriallink.h"

namespace {

const QString kParityLetters = QStringLiteral("NOE");
constexpr uint8_t kDefaultBaudIndex = 4;
constexpr int kPortEntries = 8;

QString& File() {
    static QString file;
    return file;
}

// False until the program applies the preferences without a port on its command line.
bool& PortRemembered() {
    static bool remembered = false;
    return remembered;
}

bool HasBaudRate(int index) {
    return index >= 0 && index < int(SerialRates.size());
}

}  // namespace

void SetPreferencesFile(const QString& file) {
    File() = file;
}

QString UserPreferencesFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/tvrsetup/tvrsetup.conf");
}

Preferences LoadPreferences() {
    Preferences saved;
    if (File().isEmpty()) return saved;
    const QSettings settings(File(), QSettings::IniFormat);
    const QString language = settings.value(QStringLiteral("language")).toString();
    if (language == QStringLiteral("en")) saved.languageFlag = 1;
    if (language == QStringLiteral("zh")) saved.languageFlag = 0;
    saved.portDevice = settings.value(QStringLiteral("port/device")).toString();
    const auto rate = std::find(SerialRates.begin(), SerialRates.end(),
                                settings.value(QStringLiteral("port/rate")).toInt());
    saved.baudIndex = rate == SerialRates.end() ? kDefaultBaudIndex : rate - SerialRates.begin();
    const QString parity = settings.value(QStringLiteral("port/parity")).toString();
    saved.parityIndex = parity.size() == 1 ? std::max<int>(0, kParityLetters.indexOf(parity)) : 0;
    saved.windowGeometry = settings.value(QStringLiteral("window/geometry")).toByteArray();
    if (settings.contains(QStringLiteral("dataTest/period"))) {
        saved.sendPeriod = settings.value(QStringLiteral("dataTest/period")).toString();
    }
    saved.receiveHex = settings.value(QStringLiteral("dataTest/receiveHex")).toBool();
    saved.sendHex = settings.value(QStringLiteral("dataTest/sendHex")).toBool();
    saved.reconnect = settings.value(QStringLiteral("port/reconnect")).toBool();
    saved.lineEnding =
        LineEndingFromKey(settings.value(QStringLiteral("dataTest/lineEnding")).toString())
            .value_or(LineEnding::CrLf);
    saved.sendHistory = settings.value(QStringLiteral("dataTest/history")).toStringList();
    const QByteArray sends = settings.value(QStringLiteral("sends/saved")).toString().toUtf8();
    if (!sends.isEmpty()) {
        SavedSendsResult read = ParseSavedSends(sends);
        if (!read.sends) qWarning().noquote() << "saved sends not read:" << read.error;
        saved.savedSends = read.sends.value_or(QList<SavedSend>{});
    }
    return saved;
}

void ForgetPreferences() {
    if (File().isEmpty()) return;
    QSettings(File(), QSettings::IniFormat).clear();
}

Preferences StartPreferences(const StartupOptions& options) {
    if (options.resetSettings) ForgetPreferences();
    const Preferences saved = LoadPreferences();
    LanguageFlag = options.languageFlag.value_or(saved.languageFlag.value_or(1));
    if (!File().isEmpty()) {
        QSettings(File(), QSettings::IniFormat)
            .setValue(QStringLiteral("language"),
                      IsEnglish() ? QStringLiteral("en") : QStringLiteral("zh"));
    }
    return saved;
}

void ApplyPreferences(const Preferences& saved, bool portOnCommandLine) {
    if (!saved.windowGeometry.isEmpty()) Form1->restoreGeometry(saved.windowGeometry);
    if (saved.sendPeriod) Form1->Edit_TrttPerio->setText(*saved.sendPeriod);
    Form1->Check_RecHex->setChecked(saved.receiveHex);
    Form1->Check_TrttHex->setChecked(saved.sendHex);
    Reconnection->Seri_Reconnect->setChecked(saved.reconnect);
    Form1->Combo_LineEnd->setCurrentIndex(static_cast<int>(
        std::find(std::begin(AllLineEndings), std::end(AllLineEndings), saved.lineEnding) -
        std::begin(AllLineEndings)));
    Form1->Data->History.setEntries(saved.sendHistory);
    Sends->setSavedSends(saved.savedSends);
    PortRemembered() = !portOnCommandLine;
    if (portOnCommandLine || saved.portDevice.isEmpty()) return;
    Link().setSearchStart({saved.portDevice, {saved.baudIndex, saved.parityIndex}});
    // The dialog shows the port as the entry that stands for it now, or by its name.
    const int entry = static_cast<int>(DevicesForPorts(kPortEntries).indexOf(saved.portDevice));
    if (entry >= 0) {
        Serial_Form->selectPort(entry);
    } else {
        Serial_Form->Comb_ComNo->setEditText(saved.portDevice);
    }
    Serial_Form->selectRateAndParity(saved.baudIndex, saved.parityIndex);
}

void RememberPort() {
    SerialLink& link = Link();
    if (File().isEmpty() || !PortRemembered() || !link.PortHandle()) return;
    // A setting the dialog left unselected is 9600 without parity.
    const uint8_t baud = HasBaudRate(link.BaudIndex()) ? link.BaudIndex() : kDefaultBaudIndex;
    const uint8_t parity = link.ParityIndex() < kParityLetters.size() ? link.ParityIndex() : 0;
    link.setSearchStart({link.PortDeviceName(), {baud, parity}});
    QSettings settings(File(), QSettings::IniFormat);
    settings.setValue(QStringLiteral("port/device"), link.PortDeviceName());
    settings.setValue(QStringLiteral("port/rate"), SerialRates[baud]);
    settings.setValue(QStringLiteral("port/parity"), QString(kParityLetters[parity]));
}

void RememberWindow() {
    if (File().isEmpty()) return;
    QSettings settings(File(), QSettings::IniFormat);
    settings.setValue(QStringLiteral("window/geometry"), Form1->saveGeometry());
    settings.setValue(QStringLiteral("dataTest/period"), Form1->Edit_TrttPerio->text());
    settings.setValue(QStringLiteral("dataTest/receiveHex"), Form1->Check_RecHex->isChecked());
    settings.setValue(QStringLiteral("dataTest/sendHex"), Form1->Check_TrttHex->isChecked());
    settings.setValue(QStringLiteral("dataTest/lineEnding"),
                      LineEndingKey(AllLineEndings[Form1->Combo_LineEnd->currentIndex()]));
    settings.setValue(QStringLiteral("dataTest/history"), Form1->Data->History.entries());
    settings.setValue(QStringLiteral("sends/saved"),
                      QString::fromUtf8(SavedSendsJson(Sends->savedSends())));
}

void RememberReconnect(bool reconnect) {
    if (File().isEmpty()) return;
    QSettings(File(), QSettings::IniFormat).setValue(QStringLiteral("port/reconnect"), reconnect);
}
