#include "app/messageboxes.h"

#include <QMessageBox>
#include <QPushButton>

#include "core/language.h"
#include "core/messages.h"

namespace {

MessageAnswer AskAppendOrReplace(QMessageBox& box) {
    QPushButton* append = box.addButton(Tr("Append", "追加"), QMessageBox::AcceptRole);
    QPushButton* replace = box.addButton(Tr("Replace", "替换"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(append);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == append) return MessageAnswer::Append;
    if (box.clickedButton() == replace) return MessageAnswer::Replace;
    return MessageAnswer::Cancel;
}

MessageAnswer ShowModal(const Message& message) {
    QMessageBox box(
        message.kind == MessageKind::ErrorReport ? QMessageBox::Critical : QMessageBox::NoIcon,
        message.caption, message.text);
    if (message.buttons == MessageButtons::Ok) {
        box.addButton(QMessageBox::Ok);
        box.exec();
        return MessageAnswer::Ok;
    }
    if (message.buttons == MessageButtons::AppendReplaceCancel) return AskAppendOrReplace(box);
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
