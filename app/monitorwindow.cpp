#include "app/monitorwindow.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHideEvent>
#include <QKeySequence>
#include <QScrollBar>
#include <QShortcut>
#include <QShowEvent>
#include <QVBoxLayout>
#include <chrono>

#include "core/language.h"
#include "core/messages.h"

namespace {

constexpr int MonitorTickMs = 250;

int64_t SystemMicroseconds() {
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

ExchangeTableModel::ExchangeTableModel(const ExchangeLog& log, QObject* parent)
    : QAbstractTableModel(parent), log_(log), firstShown_(log.firstRowNumber()) {}

int ExchangeTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : shown_;
}

int ExchangeTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ExchangeColumnCount;
}

const ExchangeRow* ExchangeTableModel::rowAt(int row) const {
    const uint64_t number = firstShown_ + static_cast<uint64_t>(row);
    if (row < 0 || row >= shown_ || number < log_.firstRowNumber()) return nullptr;
    const uint64_t index = number - log_.firstRowNumber();
    return index < log_.rows().size() ? &log_.rows()[index] : nullptr;
}

const ExchangeRow* ExchangeTableModel::rowBefore(int row) const {
    const uint64_t number = firstShown_ + static_cast<uint64_t>(row);
    if (!rowAt(row) || number == log_.firstRowNumber()) return nullptr;
    return &log_.rows()[number - log_.firstRowNumber() - 1];
}

QVariant ExchangeTableModel::data(const QModelIndex& index, int role) const {
    const ExchangeRow* row = rowAt(index.row());
    if (!row) return {};
    if (role == DirectionRole) return ExchangeCellText(*row, nullptr, DirectionColumn);
    if (role != Qt::DisplayRole) return {};
    return ExchangeCellText(*row, rowBefore(index.row()), index.column());
}

QVariant ExchangeTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return ExchangeColumnTitle(section);
}

void ExchangeTableModel::follow() {
    const uint64_t left = std::min<uint64_t>(log_.firstRowNumber() - firstShown_, shown_);
    if (left > 0) {
        beginRemoveRows({}, 0, static_cast<int>(left) - 1);
        shown_ -= static_cast<int>(left);
        firstShown_ += left;
        endRemoveRows();
    }
    firstShown_ = std::max(firstShown_, log_.firstRowNumber());
    const auto available =
        static_cast<int>(log_.rows().size() - (firstShown_ - log_.firstRowNumber()));
    if (available > shown_) {
        beginInsertRows({}, shown_, available - 1);
        shown_ = available;
        endInsertRows();
    }
}

void ExchangeTableModel::reset() {
    beginResetModel();
    firstShown_ = log_.firstRowNumber();
    shown_ = static_cast<int>(log_.rows().size());
    endResetModel();
}

TFormMonitor::TFormMonitor(ExchangeLog& log, ExchangeLog& whileClosed, SerialLink& link,
                           QWidget* parent)
    : QWidget(parent, Qt::Window),
      log_(log),
      kept_(whileClosed),
      link_(link),
      clock_(SystemMicroseconds) {
    setObjectName(QStringLiteral("FormMonitor"));
    setWindowTitle(Tr("Exchange monitor", "通信监视"));

    DirectionFilter = new QComboBox(this);
    DirectionFilter->addItems({Tr("Both directions", "双向"), Tr("Sent (TX)", "发送 (TX)"),
                               Tr("Received (RX)", "接收 (RX)")});
    CopyButton = new QPushButton(Tr("Copy", "复制"), this);
    SaveButton = new QPushButton(Tr("Save…", "保存…"), this);
    ClearButton = new QPushButton(Tr("Clear", "清除"), this);
    RowsLabel = new QLabel(this);
    auto* buttons = new QHBoxLayout;
    for (QWidget* w :
         std::initializer_list<QWidget*>{DirectionFilter, CopyButton, SaveButton, ClearButton})
        buttons->addWidget(w);
    buttons->addStretch();
    buttons->addWidget(RowsLabel);

    Model = new ExchangeTableModel(log_, this);
    Filtered = new QSortFilterProxyModel(this);
    Filtered->setSourceModel(Model);
    Filtered->setFilterRole(ExchangeTableModel::DirectionRole);
    Rows = new QTableView(this);
    Rows->setModel(Filtered);
    Rows->setSelectionBehavior(QAbstractItemView::SelectRows);
    Rows->setWordWrap(false);
    Rows->verticalHeader()->setVisible(false);
    Rows->verticalHeader()->setDefaultSectionSize(Rows->fontMetrics().height() + 4);
    Rows->horizontalHeader()->setStretchLastSection(true);
    Rows->setFont(QFont(QStringLiteral("monospace")));
    const int widths[ExchangeColumnCount] = {95, 60, 36, 300, 300, 190, 90};
    for (int column = 0; column < ExchangeColumnCount; ++column)
        Rows->setColumnWidth(column, widths[column]);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(Rows, 1);
    resize(1180, 500);

    MonitorTimer = new QTimer(this);
    MonitorTimer->setObjectName(QStringLiteral("MonitorTimer"));
    MonitorTimer->setInterval(MonitorTickMs);
    connect(MonitorTimer, &QTimer::timeout, this, &TFormMonitor::MonitorTimerTimer);
    connect(DirectionFilter, &QComboBox::currentIndexChanged, this, [this](int which) {
        const char* patterns[] = {"", "^(TX)?$", "^(RX)?$"};
        Filtered->setFilterRegularExpression(QString::fromLatin1(patterns[which]));
        showCounts();
    });
    connect(CopyButton, &QPushButton::clicked, this, &TFormMonitor::CopyButtonClick);
    connect(SaveButton, &QPushButton::clicked, this, &TFormMonitor::SaveButtonClick);
    connect(ClearButton, &QPushButton::clicked, this, &TFormMonitor::ClearButtonClick);
    auto* copy = new QShortcut(QKeySequence::Copy, Rows);
    connect(copy, &QShortcut::activated, this, &TFormMonitor::CopyButtonClick);
    showCounts();
}

void TFormMonitor::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous()) return;
    link_.removeObserver(&kept_);
    log_.takeRowsOf(kept_);
    link_.addObserver(&log_);
    MonitorTimer->start();
    MonitorTimerTimer();
}

// A window minimised is still open: it goes on watching.
void TFormMonitor::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (event->spontaneous()) return;
    link_.removeObserver(&log_);
    link_.addObserver(&kept_, ObservedTraffic::Exchanges);
    MonitorTimer->stop();
    MonitorTimerTimer();
}

void TFormMonitor::MonitorTimerTimer() {
    log_.settle(clock_());
    QScrollBar* scroll = Rows->verticalScrollBar();
    const bool atEnd = scroll->value() == scroll->maximum();
    Model->follow();
    if (atEnd) Rows->scrollToBottom();
    showCounts();
}

void TFormMonitor::showCounts() {
    QString text = Tr("%1 rows", "%1 行").arg(Filtered->rowCount());
    if (log_.rowsLeft() > 0)
        text += Tr("; %1 older rows left", "；已移除 %1 行旧记录").arg(log_.rowsLeft());
    RowsLabel->setText(text);
}

QString TFormMonitor::rowText(int filteredRow) const {
    const int row = Filtered->mapToSource(Filtered->index(filteredRow, 0)).row();
    const ExchangeRow* shown = Model->rowAt(row);
    return shown ? ExchangeRowText(*shown, Model->rowBefore(row)) : QString();
}

QString TFormMonitor::selectedText() const {
    QList<int> rows;
    for (const QModelIndex& index : Rows->selectionModel()->selectedRows()) rows << index.row();
    if (rows.isEmpty()) {
        for (int row = 0; row < Filtered->rowCount(); ++row) rows << row;
    }
    std::sort(rows.begin(), rows.end());
    QStringList lines;
    for (const int row : rows) lines << rowText(row);
    return lines.join(u'\n') + u'\n';
}

bool TFormMonitor::saveRows(const QString& path) const {
    QStringList titles;
    for (int column = 0; column < ExchangeColumnCount; ++column)
        titles << ExchangeColumnTitle(column);
    QStringList lines{titles.join(u'\t')};
    for (int row = 0; row < Filtered->rowCount(); ++row) lines << rowText(row);
    const QByteArray text = (lines.join(u'\n') + u'\n').toUtf8();
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size();
}

void TFormMonitor::CopyButtonClick() {
    QApplication::clipboard()->setText(selectedText());
}

void TFormMonitor::SaveButtonClick() {
    const QString path = QFileDialog::getSaveFileName(this, Tr("Save exchanges", "保存通信记录"),
                                                      QStringLiteral("exchanges.txt"),
                                                      Tr("Text (*.txt)", "文本 (*.txt)"));
    if (!path.isEmpty() && !saveRows(path))
        ShowPlain(Tr("Cannot write %1", "无法写入 %1").arg(path));
}

void TFormMonitor::ClearButtonClick() {
    log_.clear();
    Model->reset();
    showCounts();
}
