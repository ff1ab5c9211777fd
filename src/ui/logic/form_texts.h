#pragma once
// The texts the main window's commands show in message boxes.
#include <string>
#include <string_view>

namespace panorello {

// Title of the demo command's message boxes.
inline constexpr const char* kDemoTitle = "Panorello Demo";

inline constexpr const char* kEnterTitleText = "Inserire il titolo.";
inline constexpr const char* kEnterSqlText = "Inserire la SQL.";
inline constexpr const char* kSelectBlockToDeleteText = "Seleziona un blocco da eliminare.";
inline constexpr const char* kBlocksNotSavedText = "Impossibile salvare i blocchi in blocks.ini: ";
inline constexpr const char* kBlocksKeptText =
    "\r\nLa modifica resta in memoria fino alla chiusura.";
inline constexpr const char* kConfigNotSavedText =
    "Impossibile salvare la configurazione in config.ini: ";
inline constexpr const char* kSettingsKeptText =
    "\r\nLe impostazioni restano in memoria fino alla chiusura.";
inline constexpr const char* kConnectionSucceededText = "Connessione riuscita.";
inline constexpr const char* kConnectionFailedText = "Connessione non riuscita: ";
inline constexpr const char* kGenerationErrorText = "Errore durante la generazione HTML: ";
inline constexpr const char* kDemoDatabaseFailedText =
    "Errore durante la creazione del database demo:\r\n";
inline constexpr const char* kDemoGenerationFailedText =
    "Errore durante la generazione della dashboard demo.";
inline constexpr const char* kDemoSucceededText = "Dashboard demo generata e aperta nel browser.";
inline constexpr const char* kDemoErrorText = "Errore durante la demo: ";
inline constexpr const char* kSqlEndMarkerMessage =
    "La SQL contiene una riga \"SQLEND\": nel file blocks.ini quella riga chiuderebbe la query "
    "e il resto andrebbe perso. Modificare quella riga; il blocco non è stato salvato.";

// Texts of the window's own checks of the fields (beyond what the settings file accepts).
std::string RefreshOutOfRangeMessage(std::string_view text);
std::string OrderOutOfRangeMessage(std::string_view text);

}  // namespace panorello
