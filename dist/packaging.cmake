# `make package` (cpack -G DEB): two Debian packages from one build.
#   panorello      the program without Qt (batch road, cron, timers), data, manual, examples
#   panorello-gui  panorello-gui with the Qt window, desktop entry and icon; depends on panorello
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME panorello)
set(CPACK_PACKAGE_VENDOR "Panorello Dashboard")
set(CPACK_PACKAGE_CONTACT "Panorello Dashboard <panorello@example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# No CPACK_PACKAGE_DESCRIPTION_SUMMARY: each package's description starts with its own synopsis.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL batch)
if(PANORELLO_WITH_UI)
  list(APPEND CPACK_COMPONENTS_ALL gui)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)

set(CPACK_DEBIAN_BATCH_PACKAGE_NAME panorello)
set(CPACK_DEBIAN_BATCH_PACKAGE_SECTION misc)
# libpq is opened at the first PostgreSQL connection, and libcurl, librsvg, cairo and GLib at the
# first /MAIL, so the shared-library scan cannot see them (the versions: CURLOPT_PROTOCOLS_STR,
# rsvg_handle_render_document); the MariaDB client library is named too, so that both database
# roads work after --no-install-recommends.
set(CPACK_DEBIAN_BATCH_PACKAGE_DEPENDS
  "libpq5, libmariadb3, libcurl4 (>= 7.85.0), librsvg2-2 (>= 2.46.0), libcairo2, libglib2.0-0")
set(CPACK_DEBIAN_BATCH_PACKAGE_RECOMMENDS
  "odbc-postgresql, odbc-mariadb, odbc-mdbtools, tdsodbc, libsqliteodbc, xdg-utils, fonts-liberation")
# /MAIL without SMTP in mail.ini hands the message to the local sendmail.
set(CPACK_DEBIAN_BATCH_PACKAGE_SUGGESTS "default-mta | mail-transport-agent")
set(CPACK_DEBIAN_BATCH_DESCRIPTION "dashboard HTML da query SQL per piccole aziende
Panorello esegue le query SQL dei blocchi di una dashboard sul database
dell'azienda (PostgreSQL, MySQL/MariaDB, SQL Server, Access, ODBC) e scrive
una sola pagina HTML autonoma con indicatori, tabelle e grafici.
Questo pacchetto contiene il programma senza finestra, per cron e per i
timer di systemd; la finestra e' nel pacchetto panorello-gui.")

set(CPACK_DEBIAN_GUI_PACKAGE_NAME panorello-gui)
set(CPACK_DEBIAN_GUI_PACKAGE_SECTION misc)
# Qt's own Italian texts (standard buttons "Sì", "No", "Annulla") come from qt6-translations-l10n.
set(CPACK_DEBIAN_GUI_PACKAGE_DEPENDS "panorello (= ${PROJECT_VERSION}-1), qt6-translations-l10n")
set(CPACK_DEBIAN_GUI_DESCRIPTION "dashboard HTML da query SQL - finestra principale
La finestra di Panorello (Qt): impostazioni, editor dei blocchi, prova della
connessione, generazione della pagina e demo. Comprende la voce di menu.")
include(CPack)
