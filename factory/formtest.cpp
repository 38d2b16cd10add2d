#include "factory/formtest.h"

TFormTest::TFormTest(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("FormTest"));
    setWindowTitle(QStringLiteral("测试"));
    resize(420, 300);
}
