#include "core/language.h"

uint8_t LanguageFlag = 1;

QString ApplicationTitle() {
    return QStringLiteral("TVR Setup");
}
