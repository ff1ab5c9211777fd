#pragma once
// The folder behind a failed write: when the running user may not create files in the folder
// that holds a path, the sentence that names that folder and its owner.
#include <string>

namespace panorello {

// ". La cartella F appartiene a OWNER (permessi 0755): l'utente U non vi può scrivere; ..." when
// the folder of path exists and is not writable for this process (or lies on a read-only file
// system); "" otherwise (the cause is then the file itself, and the reason already says it).
std::string FolderWriteCause(const std::string& path);

}  // namespace panorello
