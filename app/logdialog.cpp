#include "app/logdialog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>

#include "core/language.h"
#include "core/messages.h"

namespace {

QString ExistingFilesQuestion(const QStringList& files) {
    const QString text = files.size() == 1
                             ? Tr("The file already exists:\n%1\nAppend the log to its end, or "
                                  "replace it?",
                                  "文件已存在：\n%1\n将记录追加到文件末尾，还是替换文件？")
                             : Tr("The files already exist:\n%1\nAppend the log to their ends, "
                                  "or replace them?",
                                  "文件已存在：\n%1\n将记录追加到文件末尾，还是替换文件？");
    return text.arg(files.join(u'\n'));
}

}  // namespace

TFormLogSettings::TFormLogSettings(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FormLogSettings"));
    setWindowTitle(Tr("Log to file", "记录到文件"));
    EditPath = new QLineEdit(this);
    suggestPath(QDateTime::currentDateTime());
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
    OkButton = buttons->button(QDialogButtonBox::Ok);
    form->addRow(buttons);

    connect(BrowseButton, &QPushButton::clicked, this, &TFormLogSettings::BrowseButtonClick);
    connect(buttons, &QDialogButtonBox::accepted, this, &TFormLogSettings::OkButtonClick);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

TrafficLogFormat TFormLogSettings::format() const {
    return ComboFormat->currentIndex() == 1 ? TrafficLogFormat::Raw : TrafficLogFormat::Text;
}

TrafficLogSettings TFormLogSettings::settings() const {
    TrafficLogSettings chosen;
    chosen.path = EditPath->text();
    chosen.format = format();
    chosen.rotateBytes = SpinRotateMb->value() * 1024LL * 1024LL;
    chosen.keptFiles = SpinKeptFiles->value();
    chosen.existing = existing_;
    return chosen;
}

void TFormLogSettings::suggestPath(const QDateTime& localTime) {
    const QString shown = EditPath->text();
    const QDir folder = shown.isEmpty() ? QDir::home() : QFileInfo(shown).absoluteDir();
    EditPath->setText(folder.filePath(DefaultLogFileName(localTime)));
}

// Cancel leaves the dialog open for another name.
void TFormLogSettings::OkButtonClick() {
    existing_ = ExistingLogFile::Refuse;
    const QStringList there = ExistingLogFiles(EditPath->text(), format());
    if (there.isEmpty()) {
        accept();
        return;
    }
    // One question at a time: the answer comes from the event loop.
    OkButton->setEnabled(false);
    const Message question{MessageKind::System, ExistingFilesQuestion(there), windowTitle(),
                           MessageButtons::AppendReplaceCancel};
    ShowMessage(question, [this](MessageAnswer answer) {
        OkButton->setEnabled(true);
        if (answer != MessageAnswer::Append && answer != MessageAnswer::Replace) return;
        existing_ =
            answer == MessageAnswer::Append ? ExistingLogFile::Append : ExistingLogFile::Replace;
        accept();
    });
}

// The question whether to append or replace comes when the settings are accepted, for the
// raw capture's second file as well.
void TFormLogSettings::BrowseButtonClick() {
    const QString path = QFileDialog::getSaveFileName(this, windowTitle(), EditPath->text(), {},
                                                      nullptr, QFileDialog::DontConfirmOverwrite);
    if (!path.isEmpty()) EditPath->setText(path);
}
