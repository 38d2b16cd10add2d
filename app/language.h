#pragma once

// Puts the main window's texts into the language of LanguageFlag; run once by FormCreate.
void ApplyMainTexts();

// Puts the About box's and the port settings dialog's texts into the language of
// LanguageFlag; run on every activation of the main window.
void ApplyDialogTexts();
