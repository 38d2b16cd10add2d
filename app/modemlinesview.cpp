#include "app/modemlinesview.h"

#include <QGridLayout>

#include "core/language.h"
#include "core/logging.h"

namespace {

constexpr std::array<uint8_t, 4> kWatchedLines{ModemLine::Cts, ModemLine::Dsr, ModemLine::Cd,
                                               ModemLine::Ri};

const char* LineName(uint8_t line) {
    for (const NamedModemLine& named : ModemLineNames) {
        if (named.line == line) return named.name;
    }
    return "";
}

// What the line is for, as a tool tip.
QString LineMeaning(uint8_t line) {
    switch (line) {
        case ModemLine::Dtr:
            return Tr("Data Terminal Ready", "数据终端就绪");
        case ModemLine::Rts:
            return Tr("Request To Send", "请求发送");
        case ModemLine::Cts:
            return Tr("Clear To Send", "允许发送");
        case ModemLine::Dsr:
            return Tr("Data Set Ready", "数据设备就绪");
        case ModemLine::Cd:
            return Tr("Carrier Detect", "载波检测");
        default:
            return Tr("Ring Indicator", "振铃指示");
    }
}

}  // namespace

ModemLinesView::ModemLinesView(SerialLink& link, QWidget* parent) : QWidget(parent), link_(link) {
    setObjectName(QStringLiteral("ModemLines"));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    // Three short rows, so that the receive column does not grow the window when they appear.
    setAccessibleName(Tr("Line signals", "线路信号"));

    const auto makeSwitch = [this](uint8_t line, const char* name) {
        auto* box = new QCheckBox(QString::fromLatin1(LineName(line)), this);
        box->setObjectName(QString::fromLatin1(name));
        box->setToolTip(LineMeaning(line));
        connect(box, &QCheckBox::clicked, this, [this, line](bool on) { switchLine(line, on); });
        return box;
    };
    Check_Dtr = makeSwitch(ModemLine::Dtr, "Check_Dtr");
    Check_Rts = makeSwitch(ModemLine::Rts, "Check_Rts");
    grid->addWidget(Check_Dtr, 0, 0);
    grid->addWidget(Check_Rts, 0, 1);
    for (size_t i = 0; i < Lamps.size(); ++i) {
        Lamps[i] = new QLabel(this);
        Lamps[i]->setObjectName(QStringLiteral("Lamp_") +
                                QString::fromLatin1(LineName(kWatchedLines[i])));
        Lamps[i]->setToolTip(LineMeaning(kWatchedLines[i]));
        grid->addWidget(Lamps[i], 1 + int(i) / 2, int(i) % 2);
    }

    RefreshTimer = new QTimer(this);
    RefreshTimer->setObjectName(QStringLiteral("ModemLinesTimer"));
    RefreshTimer->setInterval(RefreshMs);
    connect(RefreshTimer, &QTimer::timeout, this, &ModemLinesView::RefreshTimerTimer);
    RefreshTimer->start();
    RefreshTimerTimer();
}

void ModemLinesView::RefreshTimerTimer() {
    const std::optional<uint8_t> lines = link_.ModemLines();
    if (lines) showLines(*lines);
    setVisible(lines.has_value());
}

void ModemLinesView::switchLine(uint8_t line, bool on) {
    if (!link_.SetModemLine(line, on)) qCDebug(lcSerial) << LineName(line) << "refused";
    RefreshTimerTimer();
}

// A lamp reads as a filled or an empty circle in the text's own colour, so it reads in any
// theme; a screen reader names its state.
void ModemLinesView::showLines(uint8_t lines) {
    Check_Dtr->setChecked(lines & ModemLine::Dtr);
    Check_Rts->setChecked(lines & ModemLine::Rts);
    for (size_t i = 0; i < Lamps.size(); ++i) {
        const bool on = lines & kWatchedLines[i];
        const QString name = QString::fromLatin1(LineName(kWatchedLines[i]));
        Lamps[i]->setText((on ? QStringLiteral("● ") : QStringLiteral("○ ")) + name);
        Lamps[i]->setAccessibleName(on ? Tr("%1 on", "%1 有效").arg(name)
                                       : Tr("%1 off", "%1 无效").arg(name));
    }
}
