#include "ui/logic/form_texts.h"

namespace panorello {

std::string RefreshOutOfRangeMessage(std::string_view text) {
  return "Il valore di Refresh (sec) \"" + std::string(text) +
         "\" non è un numero intero a 32 bit (da -2147483648 a 2147483647). "
         "Nessuna modifica effettuata.";
}

std::string OrderOutOfRangeMessage(std::string_view text) {
  return "Il valore di Ordine \"" + std::string(text) +
         "\" non è un numero intero a 32 bit (da -2147483648 a 2147483647). "
         "Il blocco non è stato salvato.";
}

}  // namespace panorello
