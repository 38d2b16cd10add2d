#include "app/contrast.h"

#include <algorithm>
#include <cmath>

namespace {

double Linear(double channel) {
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

double Luminance(const QColor& colour) {
    const QColor rgb = colour.toRgb();
    return 0.2126 * Linear(rgb.redF()) + 0.7152 * Linear(rgb.greenF()) +
           0.0722 * Linear(rgb.blueF());
}

QColor Mix(const QColor& from, const QColor& to, double amount) {
    const QColor a = from.toRgb();
    const QColor b = to.toRgb();
    const auto channel = [amount](double x, double y) { return x + (y - x) * amount; };
    return QColor::fromRgbF(float(channel(a.redF(), b.redF())),
                            float(channel(a.greenF(), b.greenF())),
                            float(channel(a.blueF(), b.blueF())));
}

constexpr int Steps = 20;

}  // namespace

double ContrastRatio(const QColor& a, const QColor& b) {
    const double la = Luminance(a);
    const double lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// White or black, whichever contrasts more, always reaches 4.5:1, so the last step reads.
QColor ReadableOn(const QColor& preferred, const QColor& background) {
    const QColor white(Qt::white);
    const QColor black(Qt::black);
    const QColor extreme =
        ContrastRatio(white, background) >= ContrastRatio(black, background) ? white : black;
    for (int step = 0; step < Steps; ++step) {
        const QColor candidate = Mix(preferred, extreme, double(step) / Steps);
        if (ContrastRatio(candidate, background) >= ReadableContrast) return candidate;
    }
    return extreme;
}

QColor TintBehind(const QColor& background, const QColor& tint, double amount, const QColor& text) {
    for (int step = Steps; step > 0; --step) {
        const QColor candidate = Mix(background, tint, amount * step / Steps);
        if (ContrastRatio(text, candidate) >= ReadableContrast) return candidate;
    }
    return background;
}
