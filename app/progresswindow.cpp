#include "app/progresswindow.h"

#include <QCloseEvent>
#include <algorithm>

#include "app/mainwindow.h"
#include "app/windows.h"

TForm_Progress::TForm_Progress(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("Form_Progress"));
    setWindowTitle(QStringLiteral("Form_Progress"));
    resize(322, 151);

    Label1 = new QLabel(QStringLiteral("Label1"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(40, 24, 229, 20);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(40, 60, 225, 18);
    ProgressBar1->setRange(0, 72);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
}

void TForm_Progress::closeEvent(QCloseEvent* event) {
    // Only the end of the exchange closes this window.
    event->ignore();
}

void ShowProgress(const QString& title, const QString& message, int maximum) {
    Form_Progress->setWindowTitle(title);
    Form_Progress->Label1->setText(message);
    Form_Progress->ProgressBar1->setMaximum(maximum);
    Form_Progress->ProgressBar1->setValue(0);
    if (!Form_Progress->isVisible() && Form1 != nullptr) {
        Form_Progress->move(Form1->geometry().center() - Form_Progress->rect().center());
    }
    Form_Progress->show();
    Form_Progress->raise();
}

void SetProgress(int position) {
    QProgressBar* bar = Form_Progress->ProgressBar1;
    bar->setValue(std::clamp(position, bar->minimum(), bar->maximum()));
}

void CloseProgress() {
    Form_Progress->hide();
}
