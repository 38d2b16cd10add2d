#include "app/productionwindow.h"

#include <QBoxLayout>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QHostInfo>
#include <QJsonDocument>
#include <QPointer>
#include <QShortcut>

#include "app/contrast.h"
#include "app/mainwindow.h"
#include "app/named.h"
#include "app/productionhistory.h"
#include "app/productiontexts.h"
#include "core/escape.h"
#include "core/language.h"
#include "core/messages.h"
#include "radio/profile.h"
#include "records/recordlocation.h"
#include "serial/portopener.h"
#include "serial/porturl.h"

namespace {

const LocalizedMessage kNotStarted{"Production not started:", "生产未开始：", "生产"};
const LocalizedMessage kProfileNotLoaded{"Profile not loaded:", "配置未载入：", "生产"};
const LocalizedMessage kPortNotAdded{"Port not added:", "串口未添加：", "生产"};

// The rows and the summary are read from a step or two back.
constexpr double RowScale = 1.4;
constexpr double SummaryScale = 2.0;

QFont Scaled(QFont font, double scale, bool bold = false) {
    font.setPointSizeF(font.pointSizeF() * scale);
    font.setBold(bold);
    return font;
}

// What the profile sets, in one line: "channel 3, air 9600, ID kept".
QString ProfileSummary(const RadioProfile& profile) {
    const QJsonObject json = QJsonDocument::fromJson(ProfileJson(profile)).object();
    QStringList parts;
    for (auto it = json.begin(); it != json.end(); ++it) {
        if (it.key() == QLatin1String("format") || it.key() == QLatin1String("id")) continue;
        parts << QStringLiteral("%1 %2").arg(it.key(), it.value().toVariant().toString());
    }
    return parts.isEmpty() ? Tr("(no values)", "（无参数）") : parts.join(QStringLiteral(", "));
}

}  // namespace

bool IsUsbAdapter(const ListedDevice& device) {
    // Linux names USB-serial adapters ttyUSBn and ttyACMn; elsewhere only USB ones have a
    // serial number.
    return !device.serialNumber.isEmpty() || device.location.contains(QLatin1String("ttyUSB")) ||
           device.location.contains(QLatin1String("ttyACM"));
}

TFormProduction::TFormProduction(ValuesSource mainWindowValues, SerialDeviceOpener opener,
                                 DeviceLister listDevices, QWidget* parent)
    : QWidget(parent, Qt::Window),
      mainWindowValues_(std::move(mainWindowValues)),
      opener_(std::move(opener)),
      listDevices_(std::move(listDevices)) {
    setObjectName(QStringLiteral("FormProduction"));
    setWindowTitle(Tr("Production", "生产"));
    ChooseProfile = [this] {
        return QFileDialog::getOpenFileName(this, Tr("Load Profile", "载入配置"), {},
                                            Tr("Profiles (*.json)", "配置 (*.json)"));
    };

    auto* layout = new QHBoxLayout(this);
    setup_ = buildSetup();
    layout->addWidget(setup_);
    layout->addWidget(buildRunArea(), 1);

    WaitingTimer = Named(new QTimer(this), "WaitingTimer");
    WaitingTimer->setInterval(WaitingPollMs);
    connect(WaitingTimer, &QTimer::timeout, this, &TFormProduction::WaitingTimerTimer);
    AdapterTimer = Named(new QTimer(this), "AdapterTimer");
    AdapterTimer->setInterval(AdapterPollMs);
    connect(AdapterTimer, &QTimer::timeout, this, &TFormProduction::AdapterTimerTimer);

    // A line edit keeps its Space; elsewhere in the window Space starts.
    auto* start = new QShortcut(Qt::Key_Space, this);
    connect(start, &QShortcut::activated, this, [this] {
        if (ButtonStart->isEnabled()) ButtonStartClick();
    });
    auto* stop = new QShortcut(Qt::Key_Escape, this);
    connect(stop, &QShortcut::activated, this, &TFormProduction::ButtonStopClick);

    ButtonMainValuesClick();
    ButtonRefreshPortsClick();
    showRunning(false);
}

TFormProduction::~TFormProduction() {
    // The run's sessions use the store: they go first.
    run_.reset();
}

QWidget* TFormProduction::buildSetup() {
    auto* column = new QWidget(this);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);

    auto* profileBox = new QGroupBox(Tr("Profile", "配置"), column);
    auto* profileLayout = new QVBoxLayout(profileBox);
    LabelProfile = Named(new QLabel(profileBox), "LabelProfile");
    LabelProfile->setWordWrap(true);
    ButtonLoadProfile =
        Named(new QPushButton(Tr("&Load…", "载入(&L)…"), profileBox), "ButtonLoadProfile");
    ButtonMainValues =
        Named(new QPushButton(Tr("&Main Window's Values", "主窗口参数(&M)"), profileBox),
              "ButtonMainValues");
    auto* profileButtons = new QHBoxLayout;
    profileButtons->addWidget(ButtonLoadProfile);
    profileButtons->addWidget(ButtonMainValues);
    profileLayout->addWidget(LabelProfile);
    profileLayout->addLayout(profileButtons);
    layout->addWidget(profileBox);

    auto* portsBox = new QGroupBox(Tr("Ports", "串口"), column);
    auto* portsLayout = new QVBoxLayout(portsBox);
    CheckEveryAdapter =
        Named(new QCheckBox(Tr("Every &USB adapter", "所有USB适配器(&U)"), portsBox),
              "CheckEveryAdapter");
    CheckEveryAdapter->setChecked(true);
    ListPorts = Named(new QListWidget(portsBox), "ListPorts");
    ListPorts->setAccessibleName(Tr("Ports to use", "使用的串口"));
    EditAddPort = Named(new QLineEdit(portsBox), "EditAddPort");
    EditAddPort->setPlaceholderText(QStringLiteral("rfc2217://host:4001"));
    EditAddPort->setAccessibleName(Tr("Port to add", "添加的串口"));
    ButtonAddPort = Named(new QPushButton(Tr("&Add", "添加(&A)"), portsBox), "ButtonAddPort");
    ButtonRefreshPorts =
        Named(new QPushButton(Tr("Re&fresh", "刷新(&F)"), portsBox), "ButtonRefreshPorts");
    auto* addRow = new QHBoxLayout;
    addRow->addWidget(EditAddPort, 1);
    addRow->addWidget(ButtonAddPort);
    addRow->addWidget(ButtonRefreshPorts);
    portsLayout->addWidget(CheckEveryAdapter);
    portsLayout->addWidget(ListPorts);
    portsLayout->addLayout(addRow);
    layout->addWidget(portsBox, 1);

    auto* checksBox = new QGroupBox(Tr("Checks", "检查"), column);
    auto* checks = new QFormLayout(checksBox);
    SpinModel = Named(new QSpinBox(checksBox), "SpinModel");
    SpinModel->setRange(-1, 255);
    SpinModel->setValue(-1);
    SpinModel->setSpecialValueText(Tr("Any", "任意"));
    EditFirmware = Named(new QLineEdit(checksBox), "EditFirmware");
    EditFirmware->setPlaceholderText(Tr("any, or 2.3", "任意，或 2.3"));
    CheckVerify = Named(new QCheckBox(Tr("&Read back after writing", "写后回读(&R)"), checksBox),
                        "CheckVerify");
    CheckVerify->setChecked(true);
    CheckLinkTest =
        Named(new QCheckBox(Tr("Link &test against", "链路测试，参考电台(&T)"), checksBox),
              "CheckLinkTest");
    EditReference = Named(new QLineEdit(checksBox), "EditReference");
    EditReference->setAccessibleName(Tr("Reference station's port", "参考电台串口"));
    SpinFrames = Named(new QSpinBox(checksBox), "SpinFrames");
    SpinFrames->setRange(1, 1000);
    SpinFrames->setValue(20);
    SpinPassPercent = Named(new QSpinBox(checksBox), "SpinPassPercent");
    SpinPassPercent->setRange(1, 100);
    SpinPassPercent->setValue(95);
    SpinPassPercent->setSuffix(QStringLiteral(" %"));
    checks->addRow(Tr("Model code:", "型号代码："), SpinModel);
    checks->addRow(Tr("Lowest firmware:", "最低固件："), EditFirmware);
    checks->addRow(CheckVerify);
    checks->addRow(CheckLinkTest, EditReference);
    checks->addRow(Tr("Frames:", "帧数："), SpinFrames);
    checks->addRow(Tr("Pass at:", "合格率："), SpinPassPercent);
    layout->addWidget(checksBox);

    auto* idBox = new QGroupBox(Tr("IDs", "ID"), column);
    auto* ids = new QFormLayout(idBox);
    RadioKeepId =
        Named(new QRadioButton(Tr("&Keep the radio's", "保留原ID(&K)"), idBox), "RadioKeepId");
    RadioKeepId->setChecked(true);
    RadioSameId =
        Named(new QRadioButton(Tr("&Same for all", "全部相同(&S)"), idBox), "RadioSameId");
    RadioNextId =
        Named(new QRadioButton(Tr("&Next free from", "范围内下一个(&N)"), idBox), "RadioNextId");
    EditSameId = Named(new QLineEdit(idBox), "EditSameId");
    EditSameId->setPlaceholderText(QStringLiteral("0001"));
    EditSameId->setAccessibleName(Tr("ID for all", "统一ID"));
    EditIdRange = Named(new QLineEdit(idBox), "EditIdRange");
    EditIdRange->setPlaceholderText(QStringLiteral("0100-0199"));
    EditIdRange->setAccessibleName(Tr("ID range", "ID范围"));
    ids->addRow(RadioKeepId);
    ids->addRow(RadioSameId, EditSameId);
    ids->addRow(RadioNextId, EditIdRange);
    layout->addWidget(idBox);

    auto* recordBox = new QGroupBox(Tr("Record", "记录"), column);
    auto* record = new QFormLayout(recordBox);
    EditStation = Named(new QLineEdit(QHostInfo::localHostName(), recordBox), "EditStation");
    EditOperator = Named(new QLineEdit(recordBox), "EditOperator");
    EditDatabase = Named(new QLineEdit(recordBox), "EditDatabase");
    EditDatabase->setPlaceholderText(Tr("this computer's file", "本机文件"));
    CheckContinuous = Named(new QCheckBox(Tr("&Continuous: start again on the next radio",
                                             "连续：换电台后自动开始(&C)"),
                                          recordBox),
                            "CheckContinuous");
    record->addRow(Tr("Station:", "工位："), EditStation);
    record->addRow(Tr("Operator:", "操作员："), EditOperator);
    record->addRow(Tr("Database:", "数据库："), EditDatabase);
    record->addRow(CheckContinuous);
    layout->addWidget(recordBox);

    connect(ButtonLoadProfile, &QPushButton::clicked, this,
            &TFormProduction::ButtonLoadProfileClick);
    connect(ButtonMainValues, &QPushButton::clicked, this, &TFormProduction::ButtonMainValuesClick);
    connect(ButtonAddPort, &QPushButton::clicked, this, &TFormProduction::ButtonAddPortClick);
    connect(EditAddPort, &QLineEdit::returnPressed, this, &TFormProduction::ButtonAddPortClick);
    connect(ButtonRefreshPorts, &QPushButton::clicked, this,
            &TFormProduction::ButtonRefreshPortsClick);
    connect(CheckEveryAdapter, &QCheckBox::toggled, ListPorts, &QWidget::setDisabled);
    return column;
}

QWidget* TFormProduction::buildRunArea() {
    auto* area = new QWidget(this);
    auto* layout = new QVBoxLayout(area);
    layout->setContentsMargins(0, 0, 0, 0);
    LabelSummary = Named(new QLabel(area), "LabelSummary");
    LabelSummary->setFont(Scaled(font(), SummaryScale, true));
    Rows = Named(new QTableWidget(0, ColumnCount, area), "Rows");
    Rows->setHorizontalHeaderLabels({Tr("Port", "串口"), Tr("Radio", "电台"), Tr("Phase", "阶段"),
                                     Tr("Result", "结果"), Tr("Reason", "原因"),
                                     Tr("Time (s)", "用时（秒）"), QStringLiteral("ID")});
    Rows->setFont(Scaled(font(), RowScale));
    Rows->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Rows->setSelectionMode(QAbstractItemView::NoSelection);
    Rows->verticalHeader()->hide();
    // The columns are fitted to their texts now and then, not at every change of every row: a
    // tray of 32 would spend the window's time measuring them.
    fitColumns_.setSingleShot(true);
    fitColumns_.setInterval(FitColumnsMs);
    connect(&fitColumns_, &QTimer::timeout, this, [this] {
        // The reason takes what the others leave.
        for (int column = 0; column < ColumnCount; ++column)
            if (column != ReasonColumn) Rows->resizeColumnToContents(column);
    });
    Rows->horizontalHeader()->setMaximumSectionSize(
        QFontMetrics(Rows->font()).horizontalAdvance(QLatin1Char('x')) * 30);
    Rows->horizontalHeader()->setSectionResizeMode(ReasonColumn, QHeaderView::Stretch);
    Rows->setAccessibleName(Tr("Radios", "电台"));
    LabelWaiting = Named(new QLabel(area), "LabelWaiting");
    ButtonStart = Named(new QPushButton(Tr("Start (Space)", "开始（空格）"), area), "ButtonStart");
    ButtonStop = Named(new QPushButton(Tr("Stop (Esc)", "停止（Esc）"), area), "ButtonStop");
    for (QPushButton* button : {ButtonStart, ButtonStop}) {
        button->setFont(Scaled(font(), RowScale, true));
        // Space and Escape belong to the window, not to the button that has the focus.
        button->setFocusPolicy(Qt::NoFocus);
    }
    auto* buttons = new QHBoxLayout;
    ButtonHistory = Named(new QPushButton(Tr("&History…", "历史(&H)…"), area), "ButtonHistory");
    buttons->addWidget(LabelWaiting, 1);
    buttons->addWidget(ButtonHistory);
    buttons->addWidget(ButtonStart);
    buttons->addWidget(ButtonStop);
    layout->addWidget(LabelSummary);
    layout->addWidget(Rows, 1);
    layout->addLayout(buttons);
    connect(ButtonStart, &QPushButton::clicked, this, &TFormProduction::ButtonStartClick);
    connect(ButtonStop, &QPushButton::clicked, this, &TFormProduction::ButtonStopClick);
    connect(ButtonHistory, &QPushButton::clicked, this, &TFormProduction::ButtonHistoryClick);
    return area;
}

void TFormProduction::ButtonLoadProfileClick() {
    const QString path = ChooseProfile();
    if (path.isEmpty()) return;
    const ProfileResult loaded = LoadProfileFile(path);
    if (!loaded.profile) {
        ShowLocalized(kProfileNotLoaded, loaded.error);
        return;
    }
    profile_ = *loaded.profile;
    LabelProfile->setText(
        QStringLiteral("%1\n%2").arg(EscapeControlCharacters(path), ProfileSummary(profile_)));
}

void TFormProduction::ButtonMainValuesClick() {
    profile_ = ProfileOf(mainWindowValues_());
    LabelProfile->setText(
        Tr("The main window's values:\n%1", "主窗口的参数：\n%1").arg(ProfileSummary(profile_)));
}

void TFormProduction::ButtonAddPortClick() {
    const QString port = EditAddPort->text().trimmed();
    if (port.isEmpty()) return;
    if (IsNetworkPortName(port) && !ParsePortUrl(port)) {
        ShowLocalized(kPortNotAdded, Tr("'%1' is not rfc2217://HOST:PORT or socket://HOST:PORT",
                                        "“%1”不是 rfc2217://主机:端口 或 socket://主机:端口")
                                         .arg(EscapeControlCharacters(port)));
        return;
    }
    auto* item = new QListWidgetItem(EscapeControlCharacters(port), ListPorts);
    item->setData(Qt::UserRole, port);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Checked);
    CheckEveryAdapter->setChecked(false);
    EditAddPort->clear();
}

void TFormProduction::ButtonRefreshPortsClick() {
    QStringList checked;
    for (int i = 0; i < ListPorts->count(); ++i) {
        const QListWidgetItem* item = ListPorts->item(i);
        if (item->checkState() == Qt::Checked) checked << item->data(Qt::UserRole).toString();
    }
    QStringList ports;
    for (const ListedDevice& device : listDevices_()) ports << device.location;
    for (const QString& port : std::as_const(checked))
        if (!ports.contains(port)) ports << port;
    ListPorts->clear();
    for (const QString& port : std::as_const(ports)) {
        auto* item = new QListWidgetItem(EscapeControlCharacters(port), ListPorts);
        item->setData(Qt::UserRole, port);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(checked.contains(port) ? Qt::Checked : Qt::Unchecked);
    }
}

QStringList TFormProduction::chosenDevices() const {
    if (CheckEveryAdapter->isChecked()) {
        QStringList adapters;
        for (const ListedDevice& device : listDevices_())
            if (IsUsbAdapter(device)) adapters << device.location;
        return adapters;
    }
    QStringList devices;
    for (int i = 0; i < ListPorts->count(); ++i) {
        const QListWidgetItem* item = ListPorts->item(i);
        if (item->checkState() == Qt::Checked) devices << item->data(Qt::UserRole).toString();
    }
    return devices;
}

TFormProduction::PlanFromControls TFormProduction::planFromControls() const {
    ProductionPlan plan;
    plan.profile = profile_;
    if (SpinModel->value() >= 0) plan.modelCode = SpinModel->value();
    if (!EditFirmware->text().trimmed().isEmpty()) {
        plan.lowestFirmware = FirmwareCode(EditFirmware->text());
        if (!plan.lowestFirmware)
            return {{}, Tr("the lowest firmware is written as 2.3", "最低固件应写作 2.3")};
    }
    plan.verify = CheckVerify->isChecked();
    if (RadioSameId->isChecked()) {
        plan.idPolicy = IdPolicy::Same;
        plan.sameId = EditSameId->text().trimmed();
        const std::optional<IdRange> one = ParseIdRange(plan.sameId + u'-' + plan.sameId);
        if (!one) return {{}, Tr("the ID is four digits: 0001", "ID为四位数字：0001")};
    } else if (RadioNextId->isChecked()) {
        plan.idPolicy = IdPolicy::NextFree;
        const std::optional<IdRange> range = ParseIdRange(EditIdRange->text().trimmed());
        if (!range) {
            return {{},
                    Tr("the ID range is written as 0100-0199, the first not above the last",
                       "ID范围应写作 0100-0199，起始不大于结束")};
        }
        plan.idRange = *range;
    }
    if (CheckLinkTest->isChecked()) {
        const QString reference = EditReference->text().trimmed();
        if (reference.isEmpty())
            return {{},
                    Tr("the link test needs the reference station's port",
                       "链路测试需要参考电台的串口")};
        if (chosenDevices().contains(reference))
            return {{},
                    Tr("the reference station's port is also a port to configure",
                       "参考电台的串口也在待配置串口中")};
        plan.linkReference = reference;
        plan.linkFrames = SpinFrames->value();
        plan.linkPassPercent = SpinPassPercent->value();
    }
    plan.station = EditStation->text().trimmed();
    plan.operatorName = EditOperator->text().trimmed();
    if (plan.station.isEmpty()) return {{}, Tr("the station needs a name", "工位需要名称")};
    if (chosenDevices().isEmpty()) return {{}, Tr("no port is chosen", "未选择串口")};
    return {plan, {}};
}

void TFormProduction::withStore(std::function<void()> then) {
    const QString location = EditDatabase->text().trimmed();
    if (store_ && location == storeLocation_) {
        then();
        return;
    }
    const LocationParse parsed = ParseRecordsLocation(location);
    if (!parsed.location) {
        ShowLocalized(kNotStarted,
                      Tr("the database location is not valid: %1", "数据库位置无效：%1")
                          .arg(LocationErrorText(parsed.error, parsed.detail)));
        return;
    }
    run_.reset();
    store_ = std::make_unique<RecordStore>();
    storeLocation_ = location;
    storeOpening_ = true;
    showRunning(false);
    WaitingTimer->start();
    RecordStoreSettings settings;
    settings.location = location;
    const QPointer<TFormProduction> window(this);
    store_->open(settings, [window, then = std::move(then)](const StoreOpening& opening) {
        if (!window) return;
        window->storeOpening_ = false;
        window->showRunning(false);
        if (opening.failure == StoreOpening::Failure::None ||
            opening.failure == StoreOpening::Failure::Unreachable) {
            then();
            return;
        }
        window->store_.reset();
        window->storeLocation_.clear();
        ShowLocalized(kNotStarted, StoreOpeningText(opening));
    });
}

void TFormProduction::ButtonStartClick() {
    if ((run_ && run_->isRunning()) || storeOpening_) return;
    const PlanFromControls made = planFromControls();
    if (!made.plan) {
        ShowLocalized(kNotStarted, made.error);
        return;
    }
    const ProductionPlan plan = *made.plan;
    const QStringList devices = chosenDevices();
    withStore([this, plan, devices] { startRun(plan, devices); });
}

void TFormProduction::startRun(const ProductionPlan& plan, const QStringList& devices) {
    run_ = std::make_unique<ProductionRun>(plan, opener_, store_.get());
    connect(run_.get(), &ProductionRun::rowChanged, this, &TFormProduction::showRow);
    connect(run_.get(), &ProductionRun::rowAdded, this,
            [this](int row) { Rows->setRowCount(row + 1); });
    connect(run_.get(), &ProductionRun::finished, this, [this] {
        showRunning(false);
        showSummary();
        emit runFinished();
    });
    Rows->setRowCount(0);
    Rows->setRowCount(static_cast<int>(devices.size()));
    run_->setContinuous(CheckContinuous->isChecked());
    run_->start(devices);
    if (CheckContinuous->isChecked() && CheckEveryAdapter->isChecked()) AdapterTimer->start();
    showRunning(true);
    for (int row = 0; row < run_->rows().size(); ++row) showRow(row);
}

void TFormProduction::ButtonStopClick() {
    if (run_ && run_->isRunning()) run_->stop();
}

void TFormProduction::ButtonHistoryClick() {
    if (storeOpening_) return;
    withStore([this] {
        if (!history_) history_ = new TFormProductionHistory([this] { return store_.get(); }, this);
        history_->show();
        history_->raise();
        history_->activateWindow();
        history_->ButtonShowClick();
    });
}

void TFormProduction::AdapterTimerTimer() {
    if (!run_ || !run_->isRunning()) {
        AdapterTimer->stop();
        return;
    }
    // addDevice leaves the ports the run has already.
    for (const QString& device : chosenDevices()) run_->addDevice(device);
}

void TFormProduction::WaitingTimerTimer() {
    const int waiting = store_ ? store_->waitingCount() : 0;
    LabelWaiting->setText(
        waiting == 0
            ? QString()
            : Tr("%1 record(s) wait for the database", "%1 条记录等待数据库").arg(waiting));
}

void TFormProduction::showRow(int row) {
    const ProductionRow& shown = run_->rows().at(row);
    const auto cell = [&](int column, const QString& text) {
        QTableWidgetItem* item = Rows->item(row, column);
        if (!item) {
            item = new QTableWidgetItem;
            Rows->setItem(row, column, item);
        }
        if (item->text() != text) item->setText(text);
        return item;
    };
    // A device by its name alone ("ttyUSB3"), the whole path a hover away; a network port whole.
    const QString device =
        IsNetworkPortName(shown.device) ? shown.device : QFileInfo(shown.device).fileName();
    cell(PortColumn, EscapeControlCharacters(QStringLiteral("%1  %2").arg(shown.port, device)))
        ->setToolTip(EscapeControlCharacters(shown.device));
    cell(ModelColumn, shown.record.modelCode < 0
                          ? EscapeControlCharacters(shown.modelVersion)
                          : Tr("%1, model %2", "%1，型号 %2")
                                .arg(EscapeControlCharacters(shown.modelVersion))
                                .arg(shown.record.modelCode));
    cell(PhaseColumn, PhaseText(shown.phase));
    QTableWidgetItem* verdict = cell(ResultColumn, VerdictText(shown));
    const QColor base = palette().color(QPalette::Base);
    QColor ground = base;
    if (shown.passed) {
        const QColor tint = *shown.passed ? QColor(0x2e, 0x7d, 0x32) : QColor(0xc6, 0x28, 0x28);
        ground = TintBehind(base, tint, 0.35, palette().color(QPalette::Text));
    }
    if (verdict->background().color() != ground) {
        verdict->setBackground(ground);
        verdict->setForeground(palette().color(QPalette::Text));
        verdict->setFont(Scaled(Rows->font(), 1.0, shown.passed.has_value()));
    }
    const QString reason = EscapeControlCharacters(FailureText(shown.failure, shown.detail));
    // The column may be too narrow for a long reason: the whole of it is a hover away.
    cell(ReasonColumn, reason)->setToolTip(reason);
    cell(TimeColumn, shown.seconds > 0 ? QString::number(shown.seconds, 'f', 1) : QString());
    cell(IdColumn, EscapeControlCharacters(shown.idGiven));
    if (!fitColumns_.isActive()) fitColumns_.start();
    showSummary();
}

void TFormProduction::showSummary() {
    int passed = 0;
    int failed = 0;
    int running = 0;
    for (const ProductionRow& row : run_ ? run_->rows() : QList<ProductionRow>{}) {
        if (!row.passed) {
            ++running;
        } else if (*row.passed) {
            ++passed;
        } else {
            ++failed;
        }
    }
    LabelSummary->setText(Tr("PASS %1   FAIL %2   running %3", "合格 %1   不合格 %2   进行中 %3")
                              .arg(passed)
                              .arg(failed)
                              .arg(run_ && run_->isRunning() ? running : 0));
}

void TFormProduction::showRunning(bool running) {
    ButtonStart->setEnabled(!running && !storeOpening_);
    ButtonStop->setEnabled(running);
    setup_->setEnabled(!running);
}

void AddProductionMenu(TForm1& form) {
    auto* action = new QAction(Tr("&Production…", "生产(&P)…"), &form);
    action->setObjectName(QStringLiteral("FileProduction"));
    // Beside the profiles it uses.
    const QList<QAction*> items = form.FIle_M->actions();
    form.FIle_M->insertAction(items.value(items.indexOf(form.FileLoadProfile) + 1), action);
    QObject::connect(action, &QAction::triggered, &form, [&form] {
        auto* window = form.findChild<TFormProduction*>(QStringLiteral("FormProduction"));
        if (!window) {
            window = new TFormProduction([&form] { return form.valuesToWrite(); }, OpenNamedPort,
                                         ListedDevices, &form);
        }
        window->show();
        window->raise();
        window->activateWindow();
    });
}
