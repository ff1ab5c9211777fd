#pragma once
// A chart's SVG as a PNG picture, for mail clients that show no SVG.
#include <string>
#include <string_view>

namespace panorello {

// The PNG of svg drawn pixel_width pixels wide, its height as the viewBox asks (librsvg through
// cairo). Throws Error when the SVG cannot be read or drawn.
std::string SvgToPng(std::string_view svg, int pixel_width);

}  // namespace panorello
