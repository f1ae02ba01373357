#pragma once
// The drag-frame drawing of rubber bands: inverts (pattern exclusive-or with
// the brush) the border band of the previous rectangle and of the new one,
// so that the old frame vanishes and the new one appears. With no previous
// rectangle only the new band is inverted; an empty new rectangle only
// removes the old band.
#include <windows.h>

namespace platform {

void DrawDragRect(HDC dc, const RECT& rect, SIZE size, const RECT* last, SIZE lastSize, HBRUSH brush,
                  HBRUSH lastBrush);

}  // namespace platform
