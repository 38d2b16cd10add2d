#include "app/aboutbox.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QSvgRenderer>
#include <QVBoxLayout>

namespace {

QLabel* MakeLabel(const char* name, const QString& text, int points, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    QFont font = label->font();
    font.setPointSize(points);
    label->setFont(font);
    label->setStyleSheet(QStringLiteral("color: blue;"));
    label->setAlignment(Qt::AlignCenter);
    return label;
}

QPixmap BoardPicture(QSize size) {
    QPixmap picture(size);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    QSvgRenderer(QStringLiteral(":/icons/board.svg")).render(&painter);
    return picture;
}

}  // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About TAVREN"));
    setModal(false);
    setFixedSize(326, 303);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(2);
    Label1 = MakeLabel("Label1", QStringLiteral("TAVREN"), 16, Panel1);
    ProductName =
        MakeLabel("ProductName", QStringLiteral("TRANSCEIVER  SETUP SOFTWARE"), 8, Panel1);
    Version = MakeLabel("Version", QStringLiteral("Version 1.02"), 11, Panel1);
    ProgramIcon = new QLabel(Panel1);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setFixedSize(303, 129);
    ProgramIcon->setPixmap(BoardPicture(ProgramIcon->size()));
    Copyright = MakeLabel("Copyright", QStringLiteral("Copyright \u00A9 TAVREN"), 8, Panel1);

    auto* inner = new QVBoxLayout(Panel1);
    inner->setContentsMargins(8, 8, 8, 8);
    for (QWidget* w :
         std::initializer_list<QWidget*>{Label1, ProductName, Version, ProgramIcon, Copyright}) {
        inner->addWidget(w, 0, Qt::AlignHCenter);
    }

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    OKButton->setStyleSheet(QStringLiteral("color: #c8a000; font-weight: bold;"));
    connect(OKButton, &QPushButton::clicked, this, &TAboutBox::OKButtonClick);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(Panel1, 1);
    layout->addWidget(OKButton, 0, Qt::AlignRight);

    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

void TAboutBox::OKButtonClick() {
    hide();
}
