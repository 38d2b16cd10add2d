#include "app/filesendwindow.h"

#include <QCloseEvent>
#include <QVBoxLayout>

#include "app/datatestmessages.h"
#include "app/linkviews.h"
#include "core/escape.h"
#include "core/language.h"
#include "core/messages.h"
#include "serial/seriallink.h"

namespace {

const LocalizedMessage kFileNotSent{"Cannot send the file:", "无法发送文件：", "发送文件"};
const LocalizedMessage kFileSendStopped{"The file send stopped:", "文件发送已停止：", "发送文件"};

QString CountText(const FileSend& send) {
    return Tr("%1 of %2 bytes", "%1 / %2 字节").arg(send.sent()).arg(send.total());
}

}  // namespace

TFormFileSend::TFormFileSend(SerialLink& link, FileSend::PortTakenProbe portTaken, QWidget* parent)
    : QWidget(parent, Qt::Window), Send(link, std::move(portTaken)), link_(link) {
    setObjectName(QStringLiteral("FormFileSend"));
    setWindowTitle(Tr("Send File", "发送文件"));
    auto* layout = new QVBoxLayout(this);
    LabelFile = new QLabel(this);
    LabelFile->setObjectName(QStringLiteral("LabelFile"));
    Progress = new QProgressBar(this);
    Progress->setObjectName(QStringLiteral("Progress"));
    Progress->setRange(0, ProgressSteps);
    Progress->setAccessibleName(Tr("File sent", "文件发送进度"));
    LabelState = new QLabel(this);
    LabelState->setObjectName(QStringLiteral("LabelState"));
    ButtonCancel = new QPushButton(Tr("Cancel", "取消"), this);
    ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));
    layout->addWidget(LabelFile);
    layout->addWidget(Progress);
    layout->addWidget(LabelState);
    layout->addWidget(ButtonCancel, 0, Qt::AlignRight);
    setMinimumWidth(360);

    Timer = new QTimer(this);
    Timer->setObjectName(QStringLiteral("Timer"));
    Timer->setInterval(TickMs);
    connect(Timer, &QTimer::timeout, this, &TFormFileSend::TimerTimer);
    connect(ButtonCancel, &QPushButton::clicked, this, &TFormFileSend::ButtonCancelClick);
}

bool TFormFileSend::startSend(const QString& path) {
    if (!link_.PortHandle()) {
        ShowDataTestOutcome({DataTestOutcome::PortNotOpened, {}});
        return false;
    }
    if (const QString why = Send.start(path); !why.isEmpty()) {
        ShowLocalized(kFileNotSent, EscapeControlCharacters(path) + QStringLiteral(": ") + why);
        return false;
    }
    LabelFile->setText(EscapeControlCharacters(Send.fileName()));
    // It reads Close once a send has ended.
    ButtonCancel->setText(Tr("Cancel", "取消"));
    showProgress();
    Timer->start();
    show();
    raise();
    return true;
}

void TFormFileSend::TimerTimer() {
    const FileSendState state = Send.tick();
    showProgress();
    if (state != FileSendState::Sending) showEnd(state);
}

void TFormFileSend::ButtonCancelClick() {
    if (!Send.sending()) {
        hide();
        return;
    }
    Send.cancel();
    showProgress();
    showEnd(Send.state());
}

void TFormFileSend::closeEvent(QCloseEvent* event) {
    if (Send.sending()) ButtonCancelClick();
    QWidget::closeEvent(event);
}

void TFormFileSend::showProgress() {
    const uint64_t total = Send.total();
    // A file that grew while it was sent fills the bar.
    Progress->setValue(
        total == 0 ? ProgressSteps
                   : int(std::min<uint64_t>(Send.sent() * ProgressSteps / total, ProgressSteps)));
    LabelState->setText(CountText(Send) + QStringLiteral(", ") +
                        RateText("TX", Send.bytesPerSecond()));
}

void TFormFileSend::showEnd(FileSendState state) {
    Timer->stop();
    ButtonCancel->setText(Tr("Close", "关闭"));
    QString ending;
    switch (state) {
        case FileSendState::Done:
            LabelState->setText(Tr("Sent: ", "已发送：") + LabelState->text());
            return;
        case FileSendState::Cancelled:
            LabelState->setText(Tr("Cancelled: ", "已取消：") + LabelState->text());
            return;
        case FileSendState::PortClosed:
            ending = Tr("the port closed", "串口已关闭");
            break;
        case FileSendState::PortTaken:
            ending = Tr("a radio exchange took the port", "电台参数读写占用了串口");
            break;
        case FileSendState::ReadFailed:
            ending = Tr("the file could not be read: ", "文件读取失败：") +
                     EscapeControlCharacters(Send.readError());
            break;
        case FileSendState::Idle:
        case FileSendState::Sending:
            return;
    }
    LabelState->setText(Tr("Stopped: ", "已停止：") + LabelState->text());
    ShowLocalized(kFileSendStopped, ending + QStringLiteral("; ") + CountText(Send));
}
