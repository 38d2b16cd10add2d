#include "app/messageboxes.h"

#include <QMessageBox>
#include <QPushButton>

#include "core/messages.h"

namespace {

MessageAnswer ShowModal(const Message& message) {
    QMessageBox box(
        message.kind == MessageKind::ErrorReport ? QMessageBox::Critical : QMessageBox::NoIcon,
        message.caption, message.text);
    if (message.buttons == MessageButtons::Ok) {
        box.addButton(QMessageBox::Ok);
        box.exec();
        return MessageAnswer::Ok;
    }
    QPushButton* retry = box.addButton(QMessageBox::Retry);
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == retry ? MessageAnswer::Retry : MessageAnswer::Cancel;
}

}  // namespace

void InstallMessageBoxes() {
    SetMessagePresenter(ShowModal);
}
