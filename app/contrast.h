#pragma once

#include <QColor>

// Colours that read on the desktop's theme, light or dark, by the contrast measure of the Web
// Content Accessibility Guidelines.

// AA's least contrast for normal text.
inline constexpr double ReadableContrast = 4.5;

// WCAG's contrast ratio of two colours, from 1 (the same) to 21 (black on white).
double ContrastRatio(const QColor& a, const QColor& b);

// The preferred colour where it reads on the background; otherwise that colour moved towards
// white on a dark background or black on a light one, just far enough to read.
QColor ReadableOn(const QColor& preferred, const QColor& background);

// The background tinted by `amount` (0 to 1) of the tint, as far as text of the colour given
// still reads on it.
QColor TintBehind(const QColor& background, const QColor& tint, double amount, const QColor& text);
