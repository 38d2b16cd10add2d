#include "app/sendviews.h"

#include <QFileDialog>

#include "app/linkviews.h"
#include "app/mainwindow.h"
#include "app/windows.h"
#include "core/language.h"

SendViews* Sends = nullptr;

namespace {

// A radio exchange or the factory window has the port to itself.
bool PortTaken() {
    return Views && Views->exchangeRunning();
}

}  // namespace

SendViews::SendViews(TForm1& form, SerialLink& link) : QObject(&form), form_(form) {
    ChooseSendFile = [this] {
        return QFileDialog::getOpenFileName(&form_, Tr("Send File", "发送文件"));
    };
    FileSendFile = new QAction(Tr("Send &File…", "发送文件(&F)…"), &form_);
    FileSendFile->setObjectName(QStringLiteral("FileSendFile"));
    // Before the receive area's Save Received Data and the traffic log.
    form_.FIle_M->insertAction(form_.Memo_Rec->SaveAction, FileSendFile);
    // First, above what the receive area shows.
    View_SavedSends = new QAction(Tr("Sa&ved Sends", "常用发送(&V)"), &form_);
    View_SavedSends->setObjectName(QStringLiteral("View_SavedSends"));
    QAction* first = form_.View_M->actions().value(0);
    form_.View_M->insertAction(first, View_SavedSends);
    if (first) form_.View_M->insertSeparator(first);
    form_.View_M->menuAction()->setVisible(true);

    FileSendWindow = new TFormFileSend(link, PortTaken, &form_);
    DataTestEngine& engine = form_.Data->Engine;
    SavedSendsWindow =
        new TFormSavedSends({[&engine] { return engine.lineEnding(); },
                             [&engine](const QByteArray& bytes) { return engine.SendBytes(bytes); },
                             [&link] { return link.SendPending(); }, PortTaken},
                            &form_);
    form_.addActions(SavedSendsWindow->ShortcutActions);
    connect(form_.Combo_LineEnd, &QComboBox::currentIndexChanged, SavedSendsWindow,
            &TFormSavedSends::showFieldBytes);

    connect(FileSendFile, &QAction::triggered, this, &SendViews::FileSendFileClick);
    connect(View_SavedSends, &QAction::triggered, this, &SendViews::View_SavedSendsClick);
}

void SendViews::FileSendFileClick() {
    // One file at a time: the window of the one on its way comes forward.
    if (FileSendWindow->Send.sending()) {
        FileSendWindow->show();
        FileSendWindow->raise();
        return;
    }
    const QString path = ChooseSendFile();
    if (!path.isEmpty()) FileSendWindow->startSend(path);
}

void SendViews::View_SavedSendsClick() {
    SavedSendsWindow->show();
    SavedSendsWindow->raise();
    SavedSendsWindow->activateWindow();
}

void CreateSendViews() {
    Sends = new SendViews(*Form1, Link());
}
