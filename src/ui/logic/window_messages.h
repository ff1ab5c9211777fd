#pragma once
// What the window road says when it cannot show the window. No toolkit needed.
#include <string>

namespace panorello {

// True when a window can be attempted: QT_QPA_PLATFORM names a platform, or DISPLAY or
// WAYLAND_DISPLAY is set (null or empty values count as unset).
bool DisplayConfigured(const char* qt_qpa_platform, const char* display,
                       const char* wayland_display);

// Printed on stderr when no display is available (or the window system cannot be reached).
std::string NoDisplayMessage();

}  // namespace panorello
