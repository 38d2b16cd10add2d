#pragma once

#include <QString>
#include <cstdint>

// 1 selects the English text of every pair, any other value the Chinese one. Set once at
// start-up, before the main window applies its captions.
extern uint8_t LanguageFlag;

inline bool IsEnglish() {
    return LanguageFlag == 1;
}

// Picks one text of a pair at the moment it is shown.
inline QString Tr(const char* english, const char* chinese) {
    return QString::fromUtf8(IsEnglish() ? english : chinese);
}

// Caption of the toolkit's simple message box and of its error report.
QString ApplicationTitle();
