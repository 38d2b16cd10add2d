#include "app/languagewindow.h"

#include <QVBoxLayout>

TForm2::TForm2(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("WELCOM"));

    Radio_Chinese = new QRadioButton(QStringLiteral("中 文"), this);
    Radio_Chinese->setObjectName(QStringLiteral("Radio_Chinese"));
    QFont chinese = Radio_Chinese->font();
    chinese.setPointSize(14);
    Radio_Chinese->setFont(chinese);
    Radio_Chinese->setChecked(true);

    Radio_English = new QRadioButton(QStringLiteral("English"), this);
    Radio_English->setObjectName(QStringLiteral("Radio_English"));
    QFont english = Radio_English->font();
    english.setPointSize(12);
    Radio_English->setFont(english);

    BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    connect(BitBtn1, &QPushButton::clicked, this, &TForm2::BitBtn1Click);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Radio_Chinese);
    layout->addWidget(Radio_English);
    layout->addWidget(BitBtn1, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}
