#include "app/savedsendswindow.h"

#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "app/datatestmessages.h"
#include "app/named.h"
#include "core/escape.h"
#include "core/language.h"
#include "core/messages.h"

namespace {

const LocalizedMessage kSendNotKept{"The send cannot be kept:", "无法保存该发送：", "常用发送"};
const LocalizedMessage kSendsNotImported{"Sends not imported:", "发送未导入：", "常用发送"};
const LocalizedMessage kSendsNotExported{"Sends not exported:", "发送未导出：", "常用发送"};

// The most of a send's data the table shows.
constexpr qsizetype ShownData = 40;
// Shortcuts Ctrl+1 to Ctrl+9 send the first nine.
constexpr int ShortcutSends = 9;

QString HexText(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

}  // namespace

QString ChecksumCaption(Checksum checksum) {
    switch (checksum) {
        case Checksum::None:
            return Tr("None", "无");
        case Checksum::RadioSum16:
            return Tr("Radio sum (16-bit)", "电台校验和（16位）");
        case Checksum::Crc16Modbus:
            return QStringLiteral("CRC-16/MODBUS");
        case Checksum::Crc16CcittFalse:
            return QStringLiteral("CRC-16/CCITT-FALSE");
        case Checksum::Crc32:
            return QStringLiteral("CRC-32");
        case Checksum::Xor8:
            return QStringLiteral("XOR-8");
    }
    return {};
}

TFormSavedSends::TFormSavedSends(Sender sender, QWidget* parent)
    : QWidget(parent, Qt::Window), sender_(std::move(sender)) {
    setObjectName(QStringLiteral("FormSavedSends"));
    setWindowTitle(Tr("Saved Sends", "常用发送"));
    ChooseFile = [this](bool exporting) {
        const QString filter = Tr("Saved sends (*.json)", "常用发送 (*.json)");
        return exporting
                   ? QFileDialog::getSaveFileName(this, Tr("Export Sends", "导出发送"), {}, filter)
                   : QFileDialog::getOpenFileName(this, Tr("Import Sends", "导入发送"), {}, filter);
    };

    // A list with columns: a table's corner button would select nothing here.
    Table = Named(new QTreeWidget(this), "Table");
    Table->setColumnCount(ColumnCount);
    Table->setHeaderLabels({Tr("Key", "快捷键"), Tr("Name", "名称"), Tr("Data", "数据"),
                            Tr("Checksum", "校验"), Tr("Every (ms)", "周期（毫秒）"),
                            Tr("Repeat", "重复")});
    Table->setRootIsDecorated(false);
    Table->setSelectionMode(QAbstractItemView::SingleSelection);
    Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Table->header()->setSectionResizeMode(DataColumn, QHeaderView::Stretch);
    Table->setAccessibleName(Tr("Saved sends", "常用发送"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Table, 1);
    layout->addWidget(buildFields());
    layout->addWidget(buildButtons());
    resize(640, 420);

    connect(Table, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { sendRow(Table->indexOfTopLevelItem(item)); });
    connect(Table, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* item) { showFields(Table->indexOfTopLevelItem(item)); });
    connect(Table, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
        if (column == RepeatColumn) {
            setRepeating(Table->indexOfTopLevelItem(item),
                         item->checkState(RepeatColumn) == Qt::Checked);
        }
    });

    for (int n = 1; n <= ShortcutSends; ++n) {
        auto* action = new QAction(this);
        action->setObjectName(QStringLiteral("SendShortcut%1").arg(n));
        action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_0 + n)));
        connect(action, &QAction::triggered, this, [this, n] { sendRow(n - 1); });
        ShortcutActions << action;
    }
    addActions(ShortcutActions);
    showFieldBytes();
}

QWidget* TFormSavedSends::buildFields() {
    auto* fields = new QWidget(this);
    auto* form = new QFormLayout(fields);
    form->setContentsMargins(0, 0, 0, 0);
    EditName = Named(new QLineEdit(fields), "EditName");
    EditName->setMaxLength(int(LongestSavedSendName));
    EditData = Named(new QPlainTextEdit(fields), "EditData");
    EditData->setFixedHeight(60);
    EditData->setTabChangesFocus(true);
    CheckHex = Named(new QCheckBox(Tr("Hex", "十六进制"), fields), "CheckHex");
    ComboChecksum = Named(new QComboBox(fields), "ComboChecksum");
    for (const Checksum checksum : AllChecksums) ComboChecksum->addItem(ChecksumCaption(checksum));
    ComboChecksum->setToolTip(
        Tr("Appended after the data. Radio sum: high byte first, a leading 55 AA not summed; "
           "CRC-16/MODBUS and CRC-32: low byte first; CRC-16/CCITT-FALSE: high byte first.",
           "附加在数据之后。电台校验和：高字节在前，开头的 55 AA 不计入；CRC-16/MODBUS 和 "
           "CRC-32：低字节在前；CRC-16/CCITT-FALSE：高字节在前。"));
    SpinPeriod = Named(new QSpinBox(fields), "SpinPeriod");
    SpinPeriod->setRange(ShortestSendPeriodMs, LongestSendPeriodMs);
    SpinPeriod->setValue(1000);
    SpinPeriod->setSuffix(Tr(" ms", " 毫秒"));
    LabelBytes = Named(new QLabel(fields), "LabelBytes");
    LabelBytes->setWordWrap(true);
    LabelBytes->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* dataRow = new QHBoxLayout;
    dataRow->addWidget(EditData, 1);
    dataRow->addWidget(CheckHex, 0, Qt::AlignTop);
    form->addRow(Tr("Name", "名称"), EditName);
    form->addRow(Tr("Data", "数据"), dataRow);
    form->addRow(Tr("Checksum", "校验"), ComboChecksum);
    form->addRow(Tr("Every", "周期"), SpinPeriod);
    form->addRow(Tr("Bytes sent", "发送字节"), LabelBytes);
    // The data's label names the text area for a screen reader; the row layout hides it.
    EditData->setAccessibleName(Tr("Data", "数据"));

    connect(EditData, &QPlainTextEdit::textChanged, this, &TFormSavedSends::showFieldBytes);
    connect(CheckHex, &QCheckBox::toggled, this, &TFormSavedSends::showFieldBytes);
    connect(ComboChecksum, &QComboBox::currentIndexChanged, this, &TFormSavedSends::showFieldBytes);
    connect(EditName, &QLineEdit::textChanged, this, &TFormSavedSends::showFieldBytes);
    return fields;
}

QWidget* TFormSavedSends::buildButtons() {
    auto* buttons = new QWidget(this);
    auto* row = new QHBoxLayout(buttons);
    row->setContentsMargins(0, 0, 0, 0);
    const auto button = [&](const char* name, const char* english, const char* chinese,
                            void (TFormSavedSends::*handler)()) {
        auto* b = Named(new QPushButton(Tr(english, chinese), buttons), name);
        connect(b, &QPushButton::clicked, this, handler);
        row->addWidget(b);
        return b;
    };
    ButtonSend = Named(new QPushButton(Tr("Send", "发送"), buttons), "ButtonSend");
    connect(ButtonSend, &QPushButton::clicked, this, [this] { sendRow(currentRow()); });
    row->addWidget(ButtonSend);
    ButtonAdd = button("ButtonAdd", "Add", "添加", &TFormSavedSends::ButtonAddClick);
    ButtonReplace =
        button("ButtonReplace", "Replace", "修改", &TFormSavedSends::ButtonReplaceClick);
    ButtonRemove = button("ButtonRemove", "Remove", "删除", &TFormSavedSends::ButtonRemoveClick);
    row->addStretch();
    ButtonImport = button("ButtonImport", "Import…", "导入…", &TFormSavedSends::ButtonImportClick);
    ButtonExport = button("ButtonExport", "Export…", "导出…", &TFormSavedSends::ButtonExportClick);
    return buttons;
}

SavedSend TFormSavedSends::fieldSend() const {
    return {EditName->text(), EditData->toPlainText(), CheckHex->isChecked(),
            AllChecksums[std::max(0, ComboChecksum->currentIndex())], SpinPeriod->value()};
}

void TFormSavedSends::showFields(int row) {
    if (row < 0 || row >= sends_.size()) return;
    const SavedSend& send = sends_[row];
    EditName->setText(send.name);
    EditData->setPlainText(send.data);
    CheckHex->setChecked(send.hex);
    ComboChecksum->setCurrentIndex(
        int(std::find(std::begin(AllChecksums), std::end(AllChecksums), send.checksum) -
            std::begin(AllChecksums)));
    SpinPeriod->setValue(send.periodMs);
}

void TFormSavedSends::showFieldBytes() {
    const SavedSend send = fieldSend();
    const std::optional<QByteArray> bytes = SavedSendBytes(send, sender_.lineEnding());
    LabelBytes->setText(bytes ? HexText(*bytes) : SavedSendFault(send));
}

bool TFormSavedSends::keepFieldSend(int row) {
    const SavedSend send = fieldSend();
    QString fault = SavedSendFault(send);
    if (fault.isEmpty() && row >= sends_.size() && sends_.size() >= MostSavedSends) {
        fault = QStringLiteral("more than %1 sends").arg(MostSavedSends);
    }
    if (!fault.isEmpty()) {
        ShowLocalized(kSendNotKept, fault);
        return false;
    }
    if (row >= sends_.size()) {
        appendSend(send);
        return true;
    }
    sends_[row] = send;
    repeats_[row]->setInterval(send.periodMs);
    showRow(row);
    return true;
}

void TFormSavedSends::appendSend(const SavedSend& send) {
    sends_.append(send);
    auto* timer = new QTimer(this);
    timer->setInterval(send.periodMs);
    connect(timer, &QTimer::timeout, this,
            [this, timer] { repeatTimer(int(repeats_.indexOf(timer))); });
    repeats_.append(timer);
    Table->addTopLevelItem(new QTreeWidgetItem);
    showRow(int(sends_.size()) - 1);
}

void TFormSavedSends::showRow(int row) {
    const QSignalBlocker quiet(Table);
    const SavedSend& send = sends_[row];
    QTreeWidgetItem* item = Table->topLevelItem(row);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    item->setText(KeyColumn,
                  row < ShortcutSends ? QStringLiteral("Ctrl+%1").arg(row + 1) : QString());
    item->setText(NameColumn, EscapeControlCharacters(send.name));
    item->setText(DataColumn, EscapeControlCharacters(Shortened(send.data, ShownData)));
    item->setText(ChecksumColumn, ChecksumCaption(send.checksum));
    item->setText(PeriodColumn, QString::number(send.periodMs));
    item->setCheckState(RepeatColumn, repeating(row) ? Qt::Checked : Qt::Unchecked);
}

void TFormSavedSends::setSavedSends(const QList<SavedSend>& sends) {
    qDeleteAll(repeats_);
    repeats_.clear();
    sends_.clear();
    Table->clear();
    for (const SavedSend& send : sends) appendSend(send);
}

bool TFormSavedSends::repeating(int row) const {
    return row >= 0 && row < repeats_.size() && repeats_[row]->isActive();
}

void TFormSavedSends::setRepeating(int row, bool on) {
    if (row < 0 || row >= repeats_.size()) return;
    if (on) {
        repeats_[row]->start();
    } else {
        repeats_[row]->stop();
    }
    const QSignalBlocker quiet(Table);
    Table->topLevelItem(row)->setCheckState(RepeatColumn, on ? Qt::Checked : Qt::Unchecked);
}

int TFormSavedSends::currentRow() const {
    return Table->indexOfTopLevelItem(Table->currentItem());
}

void TFormSavedSends::sendRow(int row) {
    if (row < 0 || row >= sends_.size()) return;
    // Kept sends have no fault, so they always have bytes.
    const QByteArray bytes =
        SavedSendBytes(sends_[row], sender_.lineEnding()).value_or(QByteArray());
    ShowDataTestOutcome(sender_.send(bytes));
}

// A repeat waits while an exchange has the port or the previous send has not left yet, so
// that sends do not pile up in the queue; with the port closed it stops and says so once.
void TFormSavedSends::repeatTimer(int row) {
    if (row < 0 || row >= sends_.size()) return;
    if (sender_.portTaken() || sender_.sendPending()) return;
    const QByteArray bytes =
        SavedSendBytes(sends_[row], sender_.lineEnding()).value_or(QByteArray());
    const DataTestResult result = sender_.send(bytes);
    if (result.outcome == DataTestOutcome::Done) return;
    setRepeating(row, false);
    ShowDataTestOutcome(result);
}

void TFormSavedSends::ButtonAddClick() {
    if (keepFieldSend(int(sends_.size())))
        Table->setCurrentItem(Table->topLevelItem(int(sends_.size()) - 1));
}

void TFormSavedSends::ButtonReplaceClick() {
    const int row = currentRow();
    if (row >= 0 && row < sends_.size()) keepFieldSend(row);
}

void TFormSavedSends::ButtonRemoveClick() {
    const int row = currentRow();
    if (row < 0 || row >= sends_.size()) return;
    sends_.removeAt(row);
    delete repeats_.takeAt(row);
    delete Table->takeTopLevelItem(row);
    // The shortcuts follow the rows.
    for (int later = row; later < sends_.size(); ++later) showRow(later);
}

// Imported sends join those kept.
void TFormSavedSends::ButtonImportClick() {
    const QString path = ChooseFile(false);
    if (path.isEmpty()) return;
    const SavedSendsResult read = LoadSavedSendsFile(path);
    if (!read.sends) {
        ShowLocalized(kSendsNotImported, read.error);
        return;
    }
    if (sends_.size() + read.sends->size() > MostSavedSends) {
        ShowLocalized(kSendsNotImported, QStringLiteral("%1: more than %2 sends with those kept")
                                             .arg(EscapeControlCharacters(path))
                                             .arg(MostSavedSends));
        return;
    }
    for (const SavedSend& send : *read.sends) appendSend(send);
}

void TFormSavedSends::ButtonExportClick() {
    const QString path = ChooseFile(true);
    if (path.isEmpty()) return;
    if (const QString error = SaveSavedSendsFile(path, sends_); !error.isEmpty()) {
        ShowLocalized(kSendsNotExported, EscapeControlCharacters(error));
    }
}
