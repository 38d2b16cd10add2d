#include "tools/tvrctl/didyoumean.h"

#include <algorithm>
#include <vector>

namespace {

// Further than this, a suggestion is a guess rather than a correction.
constexpr int MostEditsSuggested = 2;

}  // namespace

int EditDistance(QStringView from, QStringView to) {
    const qsizetype rows = from.size() + 1;
    const qsizetype columns = to.size() + 1;
    std::vector<int> d(size_t(rows * columns));
    const auto at = [&](qsizetype i, qsizetype j) -> int& { return d[size_t(i * columns + j)]; };
    for (qsizetype i = 0; i < rows; ++i) at(i, 0) = int(i);
    for (qsizetype j = 0; j < columns; ++j) at(0, j) = int(j);
    for (qsizetype i = 1; i < rows; ++i) {
        for (qsizetype j = 1; j < columns; ++j) {
            const int changed = from[i - 1] == to[j - 1] ? 0 : 1;
            at(i, j) = std::min({at(i - 1, j) + 1, at(i, j - 1) + 1, at(i - 1, j - 1) + changed});
            if (i > 1 && j > 1 && from[i - 1] == to[j - 2] && from[i - 2] == to[j - 1]) {
                at(i, j) = std::min(at(i, j), at(i - 2, j - 2) + 1);
            }
        }
    }
    return at(rows - 1, columns - 1);
}

QString DidYouMean(const QString& typed, const QStringList& names) {
    QString best;
    int bestDistance = MostEditsSuggested + 1;
    bool tied = false;
    for (const QString& name : names) {
        const int distance = EditDistance(typed, name);
        if (distance < bestDistance) {
            best = name;
            bestDistance = distance;
            tied = false;
        } else if (distance == bestDistance) {
            tied = true;
        }
    }
    return tied ? QString() : best;
}
