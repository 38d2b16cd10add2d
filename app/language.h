#pragma once

// Puts the main window's texts into the language of LanguageFlag; run once by FormCreate.
void ApplyMainTexts();

// Puts the port settings dialog's texts into the language of LanguageFlag; run once, when the
// dialog has been created.
void ApplyPortDialogTexts();

// Puts the About box's texts into the language of LanguageFlag; run on every activation of the
// main window.
void ApplyDialogTexts();
