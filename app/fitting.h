#pragma once

#include <QRect>
#include <QSize>
#include <vector>

// Widths for a row of cells that prefer `preferred` and share `room`: as preferred when they
// fit, otherwise each shrunk in proportion, none below `least`.
std::vector<int> FitWidths(const std::vector<int>& preferred, int room, int least);

// Where a window of this frame goes so that all of it is on the screen's available area: as
// large as it is, at most that area, moved in as far as it stuck out.
QRect FitOnScreen(const QRect& frame, const QRect& available);
