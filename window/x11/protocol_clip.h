#pragma once

#include <optional>

#include "window/scene_pixels.h"

namespace slash {

// The part of a line that the X protocol can address. Drawing coordinates
// are 16-bit signed, so on a window wider or taller than 32767 pixels an end
// beyond that would wrap round to the other side of the window. The line is
// cut where it leaves the addressable square instead; the cut end is the
// pixel nearest the true line there, so what is drawn follows the whole
// line to within one pixel. No part is addressable: nothing.
std::optional<PixelLine> ClipToProtocol(const PixelLine& line);

}  // namespace slash
