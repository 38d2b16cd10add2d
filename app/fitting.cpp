#include "app/fitting.h"

#include <algorithm>
#include <numeric>

std::vector<int> FitWidths(const std::vector<int>& preferred, int room, int least) {
    const int total = std::accumulate(preferred.begin(), preferred.end(), 0);
    if (total <= room) return preferred;
    std::vector<int> widths;
    widths.reserve(preferred.size());
    for (const int width : preferred) {
        const auto share = static_cast<int>(static_cast<long long>(width) * std::max(room, 0) /
                                            std::max(total, 1));
        widths.push_back(std::min(width, std::max(least, share)));
    }
    return widths;
}

QRect FitOnScreen(const QRect& frame, const QRect& available) {
    QRect fitted(frame.topLeft(), frame.size().boundedTo(available.size()));
    if (fitted.right() > available.right()) fitted.moveRight(available.right());
    if (fitted.bottom() > available.bottom()) fitted.moveBottom(available.bottom());
    if (fitted.left() < available.left()) fitted.moveLeft(available.left());
    if (fitted.top() < available.top()) fitted.moveTop(available.top());
    return fitted;
}
