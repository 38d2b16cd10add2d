#include "app/logdialog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>

#include "core/language.h"

TFormLogSettings::TFormLogSettings(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FormLogSettings"));
    setWindowTitle(Tr("Log to file", "记录到文件"));
    EditPath = new QLineEdit(QDir::home().filePath(QStringLiteral("tvr-traffic.log")), this);
    EditPath->setObjectName(QStringLiteral("EditPath"));
    EditPath->setMinimumWidth(320);
    BrowseButton = new QPushButton(Tr("Browse…", "浏览…"), this);
    ComboFormat = new QComboBox(this);
    ComboFormat->addItems(
        {Tr("Text with time stamps", "带时间戳的文本"),
         Tr("Raw capture (sent bytes in <file>.tx)", "原始数据（发送的字节在 <文件>.tx 中）")});
    SpinRotateMb = new QSpinBox(this);
    SpinRotateMb->setRange(1, 4096);
    SpinRotateMb->setValue(10);
    SpinRotateMb->setSuffix(QStringLiteral(" MB"));
    SpinKeptFiles = new QSpinBox(this);
    SpinKeptFiles->setRange(0, 99);
    SpinKeptFiles->setValue(5);

    auto* path = new QHBoxLayout;
    path->addWidget(EditPath, 1);
    path->addWidget(BrowseButton);
    auto* form = new QFormLayout(this);
    // A row holding a layout gets no buddy of its own; the path field needs it to be announced.
    auto* pathLabel = new QLabel(Tr("File:", "文件："), this);
    pathLabel->setBuddy(EditPath);
    form->addRow(pathLabel, path);
    form->addRow(Tr("Format:", "格式："), ComboFormat);
    form->addRow(Tr("Rotate at:", "文件达到此大小时轮换："), SpinRotateMb);
    form->addRow(Tr("Old files kept:", "保留旧文件数："), SpinKeptFiles);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    form->addRow(buttons);

    connect(BrowseButton, &QPushButton::clicked, this, &TFormLogSettings::BrowseButtonClick);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

TrafficLogSettings TFormLogSettings::settings() const {
    TrafficLogSettings chosen;
    chosen.path = EditPath->text();
    chosen.format =
        ComboFormat->currentIndex() == 1 ? TrafficLogFormat::Raw : TrafficLogFormat::Text;
    chosen.rotateBytes = SpinRotateMb->value() * 1024LL * 1024LL;
    chosen.keptFiles = SpinKeptFiles->value();
    return chosen;
}

void TFormLogSettings::BrowseButtonClick() {
    const QString path = QFileDialog::getSaveFileName(this, windowTitle(), EditPath->text());
    if (!path.isEmpty()) EditPath->setText(path);
}
