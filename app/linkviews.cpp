#include "app/linkviews.h"

#include <QDateTime>
#include <QFileInfo>

#include "app/mainwindow.h"
#include "app/windows.h"
#include "core/language.h"
#include "core/messages.h"
#include "factory/formtest.h"

LinkViews* Views = nullptr;

namespace {

const LocalizedMessage kLogStopped{"The traffic log stopped:", "流量记录已停止：", "记录"};
const LocalizedMessage kLogRefused{"Cannot log to the file:", "无法记录到文件：", "记录"};

QLabel* StatusCell(const char* name, int width, QWidget* parent) {
    auto* cell = new QLabel(parent);
    cell->setObjectName(QString::fromLatin1(name));
    cell->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    cell->setAlignment(Qt::AlignCenter);
    // Fixed in both directions, so that a new text repaints the cell alone instead of laying
    // out the window.
    cell->setFixedSize(width, cell->sizeHint().height());
    cell->setAutoFillBackground(true);
    return cell;
}

}  // namespace

QString RateText(const char* direction, double bytesPerSecond) {
    QString rate;
    if (bytesPerSecond < 10000) {
        rate = QStringLiteral("%1 B/s").arg(qRound64(bytesPerSecond));
    } else if (bytesPerSecond < 1e6) {
        rate = QStringLiteral("%1 kB/s").arg(bytesPerSecond / 1e3, 0, 'f', 1);
    } else {
        rate = QStringLiteral("%1 MB/s").arg(bytesPerSecond / 1e6, 0, 'f', 2);
    }
    return QLatin1String(direction) + u' ' + rate;
}

namespace {

void ShowWindow(QWidget* window) {
    window->show();
    window->raise();
    window->activateWindow();
}

}  // namespace

LinkViews::LinkViews(TForm1& form, SerialLink& link)
    : QObject(&form),
      Rates([this] { return clock_(); }),
      Loopback([this] { return clock_(); }),
      form_(form),
      link_(link),
      clock_(&QDateTime::currentMSecsSinceEpoch) {
    if (!form_.View_M->isEmpty()) form_.View_M->addSeparator();
    View_Charts = form_.View_M->addAction(Tr("&Charts", "图表(&C)"));
    View_Charts->setObjectName(QStringLiteral("View_Charts"));
    View_Monitor = form_.View_M->addAction(Tr("&Exchange monitor", "通信监视(&M)"));
    View_Monitor->setObjectName(QStringLiteral("View_Monitor"));
    form_.View_M->menuAction()->setVisible(true);
    FileLog = new QAction(&form_);
    FileLog->setObjectName(QStringLiteral("FileLog"));
    form_.FIle_M->insertAction(form_.N2, FileLog);

    StatusRxRate = StatusCell("StatusRxRate", RateCellWidth, form_.StatusBar1);
    StatusTxRate = StatusCell("StatusTxRate", RateCellWidth, form_.StatusBar1);
    StatusLog = StatusCell("StatusLog", LogCellWidth, form_.StatusBar1);
    form_.addStatusCell(StatusRxRate, RateCellWidth);
    form_.addStatusCell(StatusTxRate, RateCellWidth);
    form_.addStatusCell(StatusLog, LogCellWidth);

    RateTimer = new QTimer(this);
    RateTimer->setObjectName(QStringLiteral("RateTimer"));
    RateTimer->setInterval(RateTickMs);

    connect(View_Charts, &QAction::triggered, this, &LinkViews::View_ChartsClick);
    connect(View_Monitor, &QAction::triggered, this, &LinkViews::View_MonitorClick);
    connect(FileLog, &QAction::triggered, this, &LinkViews::FileLogClick);
    connect(RateTimer, &QTimer::timeout, this, &LinkViews::RateTimerTimer);
    Log.setFailureHandler([this](const QString& why) {
        stopLog();
        ShowLocalized(kLogStopped, why);
    });
    link_.setExchangeProbe([this] { return exchangeRunning(); });
    link_.addObserver(&ExchangesWhileClosed, ObservedTraffic::Exchanges);
    showLogState();
    RateTimerTimer();
    RateTimer->start();
}

LinkViews::~LinkViews() {
    delete Charts;
    delete Monitor;
    link_.setExchangeProbe({});
    for (LinkObserver* observer :
         std::initializer_list<LinkObserver*>{&Exchanges, &ExchangesWhileClosed, &Log})
        link_.removeObserver(observer);
}

bool LinkViews::exchangeRunning() const {
    return form_.commandTimersRunning() ||
           (FormTest->isVisible() && !form_.Timer_RecData->isActive());
}

void LinkViews::RateTimerTimer() {
    const DataTestEngine& data = form_.Data->Engine;
    Rates.sample(static_cast<uint32_t>(data.RxByteCount), static_cast<uint32_t>(data.TxByteCount));
    if (data.ErrTestActive) {
        Loopback.sample(data.ErrTest);
    } else {
        Loopback.stop();
    }
    const RatePoint now = Rates.current();
    StatusRxRate->setText(RateText("RX", now.rx));
    StatusTxRate->setText(RateText("TX", now.tx));
    if (Charts) Charts->refresh();
}

// The three windows are built when first opened: at start-up they cost time and memory that
// most sessions never use. Their data are gathered from the start all the same.
void LinkViews::View_ChartsClick() {
    if (!Charts) Charts = new TFormCharts(Rates, Loopback);
    ShowWindow(Charts);
}

void LinkViews::View_MonitorClick() {
    if (!Monitor) Monitor = new TFormMonitor(Exchanges, ExchangesWhileClosed, link_);
    ShowWindow(Monitor);
}

void LinkViews::FileLogClick() {
    if (Log.running()) {
        stopLog();
        return;
    }
    if (!LogSettings) {
        LogSettings = new TFormLogSettings(&form_);
        connect(LogSettings, &QDialog::accepted, this,
                [this] { startLog(LogSettings->settings()); });
    }
    LogSettings->suggestPath(QDateTime::currentDateTime());
    LogSettings->open();
}

bool LinkViews::startLog(const TrafficLogSettings& settings) {
    if (!Log.start(settings)) {
        ShowLocalized(kLogRefused, Log.error());
        return false;
    }
    link_.addObserver(&Log);
    showLogState();
    return true;
}

void LinkViews::stopLog() {
    link_.removeObserver(&Log);
    Log.stop();
    showLogState();
}

void LinkViews::showLogState() {
    const bool running = Log.running();
    FileLog->setText(running ? Tr("Stop lo&gging to file", "停止记录到文件(&G)")
                             : Tr("Lo&g to file…", "记录到文件(&G)…"));
    StatusLog->setVisible(running);
    // The cells make room for the log's cell within the window's width.
    form_.fitStatusCells();
    if (!running) return;
    const QString path = Log.settings().path;
    const QString text = Tr("Log: %1", "记录：%1").arg(QFileInfo(path).fileName());
    StatusLog->setText(
        StatusLog->fontMetrics().elidedText(text, Qt::ElideMiddle, LogCellWidth - 8));
    StatusLog->setToolTip(path);
}

void CreateLinkViews() {
    Views = new LinkViews(*Form1, Link());
}
