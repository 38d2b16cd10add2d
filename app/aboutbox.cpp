#include "app/aboutbox.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QSvgRenderer>
#include <QVBoxLayout>

#include "app/contrast.h"

namespace {

QLabel* MakeLabel(const char* name, const QString& text, int points, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    QFont font = label->font();
    font.setPointSize(points);
    label->setFont(font);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

// The design's colours, each used where it reads on the theme's ground.
const QColor kTextBlue(0x00, 0x00, 0xff);

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
    // In the theme's colour for button texts: the design's gold did not read on the face of a
    // default button, which the style draws in a shade of its own.
    OKButton->setStyleSheet(QStringLiteral("font-weight: bold;"));
    connect(OKButton, &QPushButton::clicked, this, &TAboutBox::OKButtonClick);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(Panel1, 1);
    layout->addWidget(OKButton, 0, Qt::AlignRight);

    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    applyColours();
}

void TAboutBox::applyColours() {
    const QString text = QStringLiteral("color: %1;")
                             .arg(ReadableOn(kTextBlue, palette().color(QPalette::Window)).name());
    for (QLabel* label : {Label1, ProductName, Version, Copyright}) label->setStyleSheet(text);
}

// The desktop's theme changed; only the children's style sheets change here.
void TAboutBox::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) applyColours();
}

void TAboutBox::OKButtonClick() {
    hide();
}
