#include "ui/logic/window_messages.h"

namespace panorello {

namespace {

bool HasValue(const char* value) { return value != nullptr && value[0] != '\0'; }

constexpr const char* kBatchSwitches =
    "Per generare la dashboard senza finestra usare le opzioni batch:\n"
    "  /RUN oppure /AUTORUN   genera la dashboard (tutti i blocchi attivi)\n"
    "  /DASH=nome             solo la dashboard indicata (con /RUN o /AUTORUN)\n"
    "  /OPEN                  apre la pagina nel browser dopo la generazione\n"
    "  /DEMO                  crea il database demo e genera la dashboard demo\n";

}  // namespace

bool DisplayConfigured(const char* qt_qpa_platform, const char* display,
                       const char* wayland_display) {
  return HasValue(qt_qpa_platform) || HasValue(display) || HasValue(wayland_display);
}

std::string NoDisplayMessage() {
  return std::string(
             "Panorello: impossibile aprire la finestra, nessun display disponibile "
             "(DISPLAY e WAYLAND_DISPLAY non impostati o non raggiungibili).\n") +
         kBatchSwitches;
}

}  // namespace panorello
