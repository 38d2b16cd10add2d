#include "app/productionhistory.h"

#include <QBoxLayout>
#include <QFileDialog>
#include <QHeaderView>
#include <QPointer>
#include <QSaveFile>
#include <QTimeZone>

#include "app/named.h"
#include "core/escape.h"
#include "core/language.h"
#include "core/messages.h"
#include "records/historyexport.h"

namespace {

const LocalizedMessage kNotExported{"History not exported:", "历史未导出：", "生产历史"};
const LocalizedMessage kNotShown{"History not shown:", "历史未显示：", "生产历史"};

}  // namespace

TFormProductionHistory::TFormProductionHistory(std::function<RecordStore*()> store, QWidget* parent)
    : QWidget(parent, Qt::Window), store_(std::move(store)) {
    setObjectName(QStringLiteral("FormProductionHistory"));
    setWindowTitle(Tr("Production History", "生产历史"));
    ChooseExportFile = [this] {
        return QFileDialog::getSaveFileName(this, Tr("Export History", "导出历史"), {},
                                            Tr("CSV files (*.csv)", "CSV 文件 (*.csv)"));
    };

    CheckSince = Named(new QCheckBox(Tr("&Since", "起始(&S)"), this), "CheckSince");
    DateSince = Named(new QDateEdit(QDate::currentDate(), this), "DateSince");
    DateSince->setCalendarPopup(true);
    DateSince->setAccessibleName(Tr("Since", "起始"));
    ComboResult = Named(new QComboBox(this), "ComboResult");
    ComboResult->addItems(
        {Tr("Any result", "全部结果"), QStringLiteral("PASS"), QStringLiteral("FAIL")});
    ComboResult->setAccessibleName(Tr("Result", "结果"));
    EditId = Named(new QLineEdit(this), "EditId");
    EditId->setPlaceholderText(QStringLiteral("ID"));
    EditId->setAccessibleName(QStringLiteral("ID"));
    SpinModel = Named(new QSpinBox(this), "SpinModel");
    SpinModel->setRange(-1, 255);
    SpinModel->setValue(-1);
    SpinModel->setSpecialValueText(Tr("Any model", "全部型号"));
    SpinModel->setAccessibleName(Tr("Model code", "型号代码"));
    ButtonShow = Named(new QPushButton(Tr("Sho&w", "显示(&W)"), this), "ButtonShow");
    ButtonExport = Named(new QPushButton(Tr("&Export CSV…", "导出CSV(&E)…"), this), "ButtonExport");

    Table = Named(new QTableWidget(0, ColumnCount, this), "Table");
    Table->setHorizontalHeaderLabels({Tr("Time (UTC)", "时间（UTC）"), Tr("Station", "工位"),
                                      Tr("Port", "串口"), Tr("Model", "型号"),
                                      Tr("Firmware", "固件"), QStringLiteral("ID"),
                                      Tr("Result", "结果"), Tr("Reason", "原因")});
    Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Table->verticalHeader()->hide();
    Table->horizontalHeader()->setSectionResizeMode(ReasonColumn, QHeaderView::Stretch);
    Table->setAccessibleName(Tr("Records", "记录"));
    LabelState = Named(new QLabel(this), "LabelState");

    auto* filters = new QHBoxLayout;
    for (QWidget* control : std::initializer_list<QWidget*>{CheckSince, DateSince, ComboResult,
                                                            EditId, SpinModel, ButtonShow}) {
        filters->addWidget(control);
    }
    filters->addStretch(1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(LabelState, 1);
    bottom->addWidget(ButtonExport);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(Table, 1);
    layout->addLayout(bottom);

    connect(ButtonShow, &QPushButton::clicked, this, &TFormProductionHistory::ButtonShowClick);
    connect(EditId, &QLineEdit::returnPressed, this, &TFormProductionHistory::ButtonShowClick);
    connect(ButtonExport, &QPushButton::clicked, this, &TFormProductionHistory::ButtonExportClick);
}

HistoryFilter TFormProductionHistory::filterFromControls() const {
    HistoryFilter filter;
    if (CheckSince->isChecked()) filter.since = DateSince->date().startOfDay(Qt::UTC);
    filter.result = static_cast<HistoryFilter::Result>(ComboResult->currentIndex());
    filter.idGiven = EditId->text().trimmed();
    if (SpinModel->value() >= 0) filter.modelCode = SpinModel->value();
    return filter;
}

void TFormProductionHistory::ButtonShowClick() {
    RecordStore* store = store_();
    if (!store) {
        ShowLocalized(kNotShown,
                      Tr("no database is open: start a run first", "未打开数据库：请先开始生产"));
        return;
    }
    LabelState->setText(Tr("Searching…", "查询中…"));
    ButtonShow->setEnabled(false);
    const QPointer<TFormProductionHistory> window(this);
    store->history(filterFromControls(), [window](const HistoryAnswer& answer) {
        if (window) window->showAnswer(answer);
    });
}

void TFormProductionHistory::showAnswer(const HistoryAnswer& answer) {
    ButtonShow->setEnabled(true);
    if (answer.failure != HistoryAnswer::Failure::None) {
        LabelState->clear();
        ShowLocalized(kNotShown, answer.failure == HistoryAnswer::Failure::Unreachable
                                     ? Tr("the database cannot be reached", "无法连接数据库")
                                     : answer.detail);
        return;
    }
    records_ = answer.records;
    Table->setRowCount(static_cast<int>(records_.size()));
    for (int row = 0; row < records_.size(); ++row) {
        const RadioRecord& r = records_[row];
        const QStringList cells{
            r.timeUtc.toUTC().toString(Qt::ISODate),
            r.station,
            r.port == r.device ? r.device : QStringLiteral("%1  %2").arg(r.port, r.device),
            r.modelCode < 0 ? QString() : QString::number(r.modelCode),
            r.firmware,
            r.idGiven,
            r.passed ? QStringLiteral("PASS") : QStringLiteral("FAIL"),
            r.reason};
        for (int column = 0; column < ColumnCount; ++column) {
            Table->setItem(row, column,
                           new QTableWidgetItem(EscapeControlCharacters(cells[column])));
        }
    }
    LabelState->setText(
        answer.more ? Tr("The newest %1 records; more match.", "最新的 %1 条记录；还有更多。")
                          .arg(records_.size())
                    : Tr("%1 records.", "%1 条记录。").arg(records_.size()));
    emit shownChanged();
}

void TFormProductionHistory::ButtonExportClick() {
    const QString path = ChooseExportFile();
    if (path.isEmpty()) return;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(HistoryCsv(records_)) < 0 ||
        !file.commit()) {
        ShowLocalized(kNotExported, file.errorString());
    }
}
