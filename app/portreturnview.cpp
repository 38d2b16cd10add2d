#include "app/portreturnview.h"

#include <QStatusBar>

#include "app/mainwindow.h"
#include "app/preferences.h"
#include "app/windows.h"
#include "core/language.h"
#include "factory/formtest.h"

PortReturnView* Reconnection = nullptr;

PortReturnView::PortReturnView(TForm1& form, SerialLink& link)
    : QObject(&form), Return(link, ListedDevices, OpenNetworkPortInBackground, this) {
    Seri_Reconnect = form.Seri_M->addAction(Tr("&Reconnect", "自动重连(&R)"));
    Seri_Reconnect->setObjectName(QStringLiteral("Seri_Reconnect"));
    Seri_Reconnect->setCheckable(true);
    Seri_Reconnect->setToolTip(
        Tr("Open the port again when its device comes back", "设备重新出现时自动重新打开串口"));

    StatusWaiting = new QLabel(form.StatusBar1);
    StatusWaiting->setObjectName(QStringLiteral("StatusWaiting"));
    StatusWaiting->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    StatusWaiting->setAlignment(Qt::AlignCenter);
    StatusWaiting->setFixedWidth(WaitingCellWidth);
    StatusWaiting->setVisible(false);
    form.StatusBar1->addPermanentWidget(StatusWaiting);

    connect(Seri_Reconnect, &QAction::toggled, this, &PortReturnView::Seri_ReconnectClick);
    connect(&Return, &PortReturn::waitEnded, this, &PortReturnView::waitEnded);
}

void PortReturnView::waitEnded(bool reopened) {
    StatusWaiting->hide();
    // The factory window reads the replies itself while it is open.
    if (reopened && FormTest->isVisible()) Form1->stopReceivePoll();
}

bool PortReturnView::portLost() {
    if (!Seri_Reconnect->isChecked() || !Return.awaitVanishedPort()) return false;
    showWaiting();
    return true;
}

void PortReturnView::portClosed() {
    Return.stop();
}

void PortReturnView::Seri_ReconnectClick(bool chosen) {
    RememberReconnect(chosen);
    if (!chosen) Return.stop();
}

// A long device name is cut in its middle; the tool tip holds it whole.
void PortReturnView::showWaiting() {
    const QString text = Tr("Waiting for %1…", "等待 %1…").arg(Return.awaitedDevice());
    StatusWaiting->setText(
        StatusWaiting->fontMetrics().elidedText(text, Qt::ElideMiddle, WaitingCellWidth - 8));
    StatusWaiting->setToolTip(text);
    StatusWaiting->setAccessibleName(text);
    StatusWaiting->show();
}
