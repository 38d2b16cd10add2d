#pragma once

#include <QChartView>
#include <QDateTimeAxis>
#include <QLineSeries>
#include <QPushButton>
#include <QSpinBox>
#include <QValueAxis>
#include <QWidget>

#include "monitor/chartmodel.h"

// The charts window: RX and TX bytes per second over the last ten minutes, and the loop-back
// test's success rate and failed replies per interval. Paused, it keeps showing what it showed
// while the data go on being collected.
class TFormCharts : public QWidget {
    Q_OBJECT
  public:
    TFormCharts(ThroughputHistory& rates, LoopbackIntervals& loopback, QWidget* parent = nullptr);

    QWidget* ChartsArea;
    QChartView* RateView;
    QChartView* LoopbackView;
    QLineSeries* RxSeries;
    QLineSeries* TxSeries;
    QLineSeries* SuccessSeries;
    QLineSeries* LostSeries;
    QLineSeries* ShorterSeries;
    QLineSeries* LongerSeries;
    QLineSeries* DamagedSeries;
    QPushButton* PauseButton;
    QPushButton* ClearButton;
    QPushButton* SaveImageButton;
    QPushButton* ExportButton;
    QSpinBox* IntervalBox;

    // Shows what the data hold now, unless paused or hidden.
    void refresh();
    // Both charts as a PNG image, or as SVG when the name ends in ".svg".
    bool saveImage(const QString& path);
    bool exportCsv(const QString& path);

    void ClearButtonClick();
    void SaveImageButtonClick();
    void ExportButtonClick();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QChartView* makeView(QChart* chart);
    void redraw();
    void showRates();
    void showLoopback();

    ThroughputHistory& rates_;
    LoopbackIntervals& loopback_;
    QDateTimeAxis* rateTime_;
    QValueAxis* rateValue_;
    QDateTimeAxis* loopbackTime_;
    QValueAxis* countAxis_;
    QValueAxis* percentAxis_;
};
