#pragma once

#include <QPainter>
#include <QRect>
#include <algorithm>

namespace velmoria {

// Qt's raster engine hands every fill of 96 rows or more to its thread pool. For the small repaints an
// animation makes several times a second that costs far more in waking threads than it saves, so such
// repaints are painted band by band: each band clipped to fewer rows, and so filled on this thread.
inline constexpr int kPaintBandRows = 64;

// Runs `paint` once per band of `area`, with the painter clipped to the band (within any clip it had).
template <typename Paint>
void paintInBands(QPainter& p, const QRect& area, Paint&& paint) {
  for (int top = area.top(); top <= area.bottom(); top += kPaintBandRows) {
    const QRect band(area.left(), top, area.width(), std::min(kPaintBandRows, area.bottom() + 1 - top));
    p.save();
    p.setClipRect(band, p.hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
    paint(band);
    p.restore();
  }
}

}  // namespace velmoria
