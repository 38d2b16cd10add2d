#pragma once

#include <QAction>
#include <QLabel>
#include <QObject>
#include <QTimer>

#include "app/chartswindow.h"
#include "app/logdialog.h"
#include "app/monitorwindow.h"
#include "monitor/chartmodel.h"
#include "monitor/exchangelog.h"
#include "monitor/trafficlog.h"
#include "serial/seriallink.h"

class TForm1;

// What the main window shows of the link beyond its counters: the charts window and the
// exchange monitor (View menu), the traffic log (File menu), and in the status bar the bytes
// per second of the RX and TX counters and the file being logged to.
class LinkViews : public QObject {
    Q_OBJECT
  public:
    static constexpr int RateTickMs = 1000;
    static constexpr int RateCellWidth = 95;
    static constexpr int LogCellWidth = 150;

    LinkViews(TForm1& form, SerialLink& link);
    ~LinkViews() override;

    ThroughputHistory Rates;
    LoopbackIntervals Loopback;
    // What the monitor shows while open, and the radio's exchanges it keeps while closed.
    ExchangeLog Exchanges;
    ExchangeLog ExchangesWhileClosed{TFormMonitor::KeptRowsWhileClosed};
    TrafficLog Log;

    // Built when first opened, and kept.
    TFormCharts* Charts = nullptr;
    TFormMonitor* Monitor = nullptr;
    TFormLogSettings* LogSettings = nullptr;
    QAction* View_Charts;
    QAction* View_Monitor;
    QAction* FileLog;
    QLabel* StatusRxRate;
    QLabel* StatusTxRate;
    QLabel* StatusLog;
    // Samples the counters for the charts and the status bar.
    QTimer* RateTimer;

    // Milliseconds since the Unix epoch, read by the chart data.
    void setClock(ChartClock clock) { clock_ = std::move(clock); }

    void RateTimerTimer();
    void View_ChartsClick();
    void View_MonitorClick();
    // Opens the log's settings with a new file name, or ends the log that runs.
    void FileLogClick();
    // Begins logging to the file; false, after saying why, when it cannot be written.
    bool startLog(const TrafficLogSettings& settings);
    void stopLog();

    // A Read or Write runs, or the factory window has the port to itself.
    bool exchangeRunning() const;

  private:
    void showLogState();

    TForm1& form_;
    SerialLink& link_;
    ChartClock clock_;
};

// "RX 950 B/s", "RX 12.3 kB/s", "RX 1.05 MB/s": short enough for a narrow cell.
QString RateText(const char* direction, double bytesPerSecond);

// The one instance, made by CreateWindows with the other windows.
extern LinkViews* Views;
void CreateLinkViews();
