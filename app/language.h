#pragma once

// Puts the main window's texts, and the names a screen reader gives its toolbar buttons, into
// the language of LanguageFlag; run once by FormCreate.
void ApplyMainTexts();

// Puts the port settings dialog's texts into the language of LanguageFlag; run once, when the
// dialog has been created.
void ApplyPortDialogTexts();

// Puts the About box's texts into the language of LanguageFlag; run on every activation of the
// main window.
void ApplyDialogTexts();

// Qt's own texts, such as the standard buttons of message boxes, in the language of
// LanguageFlag: Chinese comes from Qt's translations (Debian's qt6-translations-l10n).
void LoadQtTranslations();
