#pragma once
// The window road of start-up. No Qt types here, so that main.cpp stays free of toolkit headers.
#include "storage/app_context.h"

namespace panorello {

// Shows the main window and returns when it is closed (0). Without a reachable display it prints
// a message naming the batch switches on stderr and returns 2; it never lets the toolkit abort.
// QApplication is created here only. While the window is open, its message boxes take the place
// of ctx.reporter; Settings and blocks changed by the window are handed back into ctx at the end.
int RunWindow(AppContext& ctx, int argc, char** argv);

}  // namespace panorello
