#include "app/chartswindow.h"

#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QSvgGenerator>
#include <QVBoxLayout>
#include <algorithm>

#include "core/language.h"
#include "core/messages.h"

namespace {

QLineSeries* AddSeries(QChart* chart, const QString& name) {
    auto* series = new QLineSeries(chart);
    series->setName(name);
    chart->addSeries(series);
    return series;
}

QDateTimeAxis* TimeAxis(QChart* chart) {
    auto* axis = new QDateTimeAxis(chart);
    axis->setFormat(QStringLiteral("HH:mm:ss"));
    axis->setTickCount(6);
    chart->addAxis(axis, Qt::AlignBottom);
    return axis;
}

// Without a title: Qt Charts turns a vertical title, cutting it to fit a space it measured in
// the Latin font, and Chinese glyphs, drawn from a taller font, were cut to a lone "⋮". The
// chart's title and the labels say what an axis counts.
QValueAxis* ValueAxis(QChart* chart, const QString& labelFormat, Qt::Alignment side) {
    auto* axis = new QValueAxis(chart);
    axis->setLabelFormat(labelFormat);
    chart->addAxis(axis, side);
    return axis;
}

void Attach(QLineSeries* series, QAbstractAxis* x, QAbstractAxis* y) {
    series->attachAxis(x);
    series->attachAxis(y);
}

// Room above the largest value, never an empty range.
double AxisTop(double largest) {
    return std::max(5.0, largest * 1.1);
}

}  // namespace

TFormCharts::TFormCharts(ThroughputHistory& rates, LoopbackIntervals& loopback, QWidget* parent)
    : QWidget(parent, Qt::Window), rates_(rates), loopback_(loopback) {
    setObjectName(QStringLiteral("FormCharts"));
    setWindowTitle(Tr("Charts", "图表"));

    auto* rateChart = new QChart;
    rateChart->setTitle(Tr("Bytes per second (B/s)", "每秒字节数（字节/秒）"));
    RxSeries = AddSeries(rateChart, QStringLiteral("RX"));
    TxSeries = AddSeries(rateChart, QStringLiteral("TX"));
    rateTime_ = TimeAxis(rateChart);
    rateValue_ = ValueAxis(rateChart, QStringLiteral("%.0f"), Qt::AlignLeft);
    Attach(RxSeries, rateTime_, rateValue_);
    Attach(TxSeries, rateTime_, rateValue_);

    auto* loopbackChart = new QChart;
    loopbackChart->setTitle(Tr("Loop-back test per interval: replies (left), success in % (right)",
                               "环回测试（每个区间）：应答数（左），成功率 %（右）"));
    SuccessSeries = AddSeries(loopbackChart, Tr("success %", "成功率 %"));
    LostSeries = AddSeries(loopbackChart, Tr("lost", "无应答"));
    ShorterSeries = AddSeries(loopbackChart, Tr("shorter", "偏短"));
    LongerSeries = AddSeries(loopbackChart, Tr("longer", "偏长"));
    DamagedSeries = AddSeries(loopbackChart, Tr("damaged", "错误"));
    loopbackTime_ = TimeAxis(loopbackChart);
    countAxis_ = ValueAxis(loopbackChart, QStringLiteral("%.0f"), Qt::AlignLeft);
    percentAxis_ = ValueAxis(loopbackChart, QStringLiteral("%.0f %%"), Qt::AlignRight);
    percentAxis_->setRange(0, 100);
    percentAxis_->setTickCount(6);
    Attach(SuccessSeries, loopbackTime_, percentAxis_);
    for (QLineSeries* series : {LostSeries, ShorterSeries, LongerSeries, DamagedSeries})
        Attach(series, loopbackTime_, countAxis_);

    ChartsArea = new QWidget(this);
    auto* charts = new QVBoxLayout(ChartsArea);
    charts->setContentsMargins(0, 0, 0, 0);
    RateView = makeView(rateChart);
    LoopbackView = makeView(loopbackChart);
    charts->addWidget(RateView);
    charts->addWidget(LoopbackView);

    PauseButton = new QPushButton(Tr("Pause", "暂停"), this);
    PauseButton->setCheckable(true);
    ClearButton = new QPushButton(Tr("Clear", "清除"), this);
    SaveImageButton = new QPushButton(Tr("Save image…", "保存图像…"), this);
    ExportButton = new QPushButton(Tr("Export CSV…", "导出 CSV…"), this);
    IntervalBox = new QSpinBox(this);
    IntervalBox->setRange(1, 3600);
    IntervalBox->setValue(static_cast<int>(loopback_.intervalMs() / 1000));
    IntervalBox->setSuffix(Tr(" s", " 秒"));
    auto* buttons = new QHBoxLayout;
    for (QWidget* w :
         std::initializer_list<QWidget*>{PauseButton, ClearButton, SaveImageButton, ExportButton})
        buttons->addWidget(w);
    buttons->addStretch();
    buttons->addWidget(new QLabel(Tr("Loop-back interval:", "环回统计区间："), this));
    buttons->addWidget(IntervalBox);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(ChartsArea, 1);
    resize(900, 640);

    connect(PauseButton, &QPushButton::toggled, this, [this](bool paused) {
        if (!paused) refresh();
    });
    connect(ClearButton, &QPushButton::clicked, this, &TFormCharts::ClearButtonClick);
    connect(SaveImageButton, &QPushButton::clicked, this, &TFormCharts::SaveImageButtonClick);
    connect(ExportButton, &QPushButton::clicked, this, &TFormCharts::ExportButtonClick);
    connect(IntervalBox, &QSpinBox::valueChanged, this,
            [this](int seconds) { loopback_.setIntervalMs(seconds * 1000LL); });
}

QChartView* TFormCharts::makeView(QChart* chart) {
    chart->legend()->setAlignment(Qt::AlignBottom);
    auto* view = new QChartView(chart, ChartsArea);
    view->setMinimumHeight(260);
    return view;
}

void TFormCharts::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    refresh();
}

void TFormCharts::refresh() {
    if (isVisible() && !PauseButton->isChecked()) redraw();
}

// Both charts show the same time: what the data span, up to the last ten minutes.
void TFormCharts::redraw() {
    const ChartSpan span =
        ChartTimeSpan(rates_.points(), loopback_.intervals(), QDateTime::currentMSecsSinceEpoch());
    const QDateTime from = QDateTime::fromMSecsSinceEpoch(span.fromMs);
    const QDateTime to = QDateTime::fromMSecsSinceEpoch(span.toMs);
    rateTime_->setRange(from, to);
    loopbackTime_->setRange(from, to);
    showRates();
    showLoopback();
}

void TFormCharts::showRates() {
    QList<QPointF> rx;
    QList<QPointF> tx;
    double largest = 0;
    for (const RatePoint& point : rates_.points()) {
        rx.append(QPointF(static_cast<double>(point.endMs), point.rx));
        tx.append(QPointF(static_cast<double>(point.endMs), point.tx));
        largest = std::max({largest, point.rx, point.tx});
    }
    RxSeries->replace(rx);
    TxSeries->replace(tx);
    rateValue_->setRange(0, AxisTop(largest));
    rateValue_->applyNiceNumbers();
}

void TFormCharts::showLoopback() {
    QList<QPointF> success;
    QList<QPointF> counts[4];
    double largest = 0;
    for (const LoopbackInterval& interval : loopback_.intervals()) {
        const auto at = static_cast<double>(interval.endMs);
        success.append(QPointF(at, interval.successRate()));
        const int32_t values[4] = {interval.lost, interval.shorter, interval.longer,
                                   interval.damaged};
        for (int i = 0; i < 4; ++i) {
            counts[i].append(QPointF(at, values[i]));
            largest = std::max(largest, static_cast<double>(values[i]));
        }
    }
    SuccessSeries->replace(success);
    LostSeries->replace(counts[0]);
    ShorterSeries->replace(counts[1]);
    LongerSeries->replace(counts[2]);
    DamagedSeries->replace(counts[3]);
    countAxis_->setRange(0, AxisTop(largest));
    countAxis_->applyNiceNumbers();
}

bool TFormCharts::saveImage(const QString& path) {
    if (path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive)) {
        QSvgGenerator svg;
        svg.setFileName(path);
        svg.setSize(ChartsArea->size());
        svg.setViewBox(ChartsArea->rect());
        svg.setTitle(windowTitle());
        QPainter painter;
        if (!painter.begin(&svg)) return false;
        ChartsArea->render(&painter);
        return painter.end();
    }
    return ChartsArea->grab().save(path, "PNG");
}

bool TFormCharts::exportCsv(const QString& path) {
    QFile file(path);
    const QByteArray csv = ChartSeriesCsv(rates_.points(), loopback_.intervals());
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(csv) == csv.size();
}

void TFormCharts::ClearButtonClick() {
    rates_.clear();
    loopback_.clear();
    redraw();
}

void TFormCharts::SaveImageButtonClick() {
    const QString path = QFileDialog::getSaveFileName(
        this, Tr("Save charts", "保存图表"), QStringLiteral("charts.png"),
        Tr("PNG image (*.png);;SVG image (*.svg)", "PNG 图像 (*.png);;SVG 图像 (*.svg)"));
    if (!path.isEmpty() && !saveImage(path))
        ShowPlain(Tr("Cannot write %1", "无法写入 %1").arg(path));
}

void TFormCharts::ExportButtonClick() {
    const QString path =
        QFileDialog::getSaveFileName(this, Tr("Export series", "导出数据"),
                                     QStringLiteral("charts.csv"), QStringLiteral("CSV (*.csv)"));
    if (!path.isEmpty() && !exportCsv(path))
        ShowPlain(Tr("Cannot write %1", "无法写入 %1").arg(path));
}
