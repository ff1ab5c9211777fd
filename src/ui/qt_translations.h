#pragma once
// Qt's own Italian texts (standard buttons "Sì", "No", "Annulla", the context menus of text
// boxes), whatever the session's language: the whole program speaks Italian.
class QCoreApplication;

namespace panorello {

// Installs Qt's Italian catalogue into app; false when it is not installed (the standard texts
// then stay in English).
bool LoadQtItalian(QCoreApplication& app);

}  // namespace panorello
