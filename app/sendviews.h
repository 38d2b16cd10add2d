#pragma once

#include <QAction>
#include <QList>
#include <QObject>
#include <functional>

#include "app/filesendwindow.h"
#include "app/savedsendswindow.h"
#include "serial/seriallink.h"

class TForm1;

// Sending beyond the transmit area: File > Send File… and its window, View > Saved Sends and
// its window, whose first nine sends the main window's Ctrl+1 to Ctrl+9 send too.
class SendViews : public QObject {
    Q_OBJECT
  public:
    SendViews(TForm1& form, SerialLink& link);

    QAction* FileSendFile;
    QAction* View_SavedSends;
    TFormFileSend* FileSendWindow;
    TFormSavedSends* SavedSendsWindow;

    // Asks for the file to send; empty when the user cancels.
    std::function<QString()> ChooseSendFile;

    void FileSendFileClick();
    void View_SavedSendsClick();

    const QList<SavedSend>& savedSends() const { return SavedSendsWindow->savedSends(); }
    void setSavedSends(const QList<SavedSend>& sends) { SavedSendsWindow->setSavedSends(sends); }

  private:
    TForm1& form_;
};

// The one instance, made by CreateWindows with the other windows.
extern SendViews* Sends;
void CreateSendViews();
