#include "demo/demo_db.h"

#include <sys/stat.h>
#include <unistd.h>

#include <exception>
#include <memory>

#include "db/connection.h"
#include "db/target/connection_string.h"
#include "util/clock.h"
#include "util/files.h"
#include "util/text.h"

namespace panorello {

namespace {

constexpr const char* kCreateStatements[] = {
    "CREATE TABLE Clienti (ID INTEGER, RagioneSociale VARCHAR(100), Citta VARCHAR(50), "
    "Settore VARCHAR(50), DataAcquisizione DATETIME, Attivo BOOLEAN)",
    "CREATE TABLE Fatture (ID INTEGER, IDCliente INTEGER, Numero VARCHAR(20), "
    "DataFattura DATETIME, DataScadenza DATETIME, Importo DOUBLE, Pagata BOOLEAN)",
    "CREATE TABLE VenditeMensili (ID INTEGER, Anno INTEGER, Mese INTEGER, Fatturato DOUBLE, "
    "NrFatture INTEGER, NrClienti INTEGER)",
    "CREATE TABLE Prodotti (ID INTEGER, Nome VARCHAR(100), Categoria VARCHAR(50), "
    "PrezzoListino DOUBLE, Attivo BOOLEAN)",
};

struct Customer {
  const char* name;
  const char* city;
  const char* sector;
  const char* acquired;  // yyyy-mm-dd
  bool active;
};

constexpr Customer kCustomers[10] = {
    {"Rossi & Figli Srl", "Prato", "Manifattura", "2021-03-01", true},
    {"Bianchi Impianti Srl", "Pistoia", "Impiantistica", "2020-06-15", true},
    {"Verde Costruzioni Spa", "Firenze", "Edilizia", "2019-01-10", true},
    {"Ferrini Logistica Srl", "Prato", "Logistica", "2022-09-20", true},
    {"Studio Medici Associati", "Firenze", "Servizi", "2021-04-05", true},
    {"Techno Parts Srl", "Pistoia", "Meccanica", "2023-11-12", true},
    {"Alimentari Toscani Srl", "Prato", "Alimentare", "2020-07-08", true},
    {"Mobili Design Srl", "Firenze", "Arredamento", "2018-02-14", true},
    {"Gamma Elettronica Srl", "Prato", "Elettronica", "2023-10-30", true},
    {"Ex Cliente Srl", "Firenze", "Servizi", "2017-01-01", false},
};

constexpr const char* kProducts[5] = {
    "INSERT INTO Prodotti VALUES (1, 'Licenza software base', 'Software', 490, TRUE)",
    "INSERT INTO Prodotti VALUES (2, 'Licenza software Pro', 'Software', 990, TRUE)",
    "INSERT INTO Prodotti VALUES (3, 'Assistenza annuale', 'Servizi', 350, TRUE)",
    "INSERT INTO Prodotti VALUES (4, 'Formazione on-site (giornata)', 'Formazione', 600, TRUE)",
    "INSERT INTO Prodotti VALUES (5, 'Modulo legacy (dismesso)', 'Software', 200, FALSE)",
};

constexpr int kMonthlySales[24] = {12400, 11800, 14200, 13600, 15100, 16800, 14300, 13900,
                                   17200, 18600, 21400, 19800, 16200, 17400, 19800, 18900,
                                   21200, 23400, 20100, 19600, 24100, 25800, 27600, 0};

constexpr const char* kPaidInvoices[10] = {
    "INSERT INTO Fatture VALUES (1,  1, '2024/001', '2024-01-15 00:00:00', '2024-02-14 00:00:00', "
    "1960, TRUE)",
    "INSERT INTO Fatture VALUES (2,  3, '2024/002', '2024-02-01 00:00:00', '2024-03-02 00:00:00', "
    "3200, TRUE)",
    "INSERT INTO Fatture VALUES (3,  5, '2024/003', '2024-02-10 00:00:00', '2024-03-11 00:00:00', "
    "890, TRUE)",
    "INSERT INTO Fatture VALUES (4,  2, '2024/004', '2024-03-05 00:00:00', '2024-04-04 00:00:00', "
    "2400, TRUE)",
    "INSERT INTO Fatture VALUES (5,  7, '2024/005', '2024-03-20 00:00:00', '2024-04-19 00:00:00', "
    "1200, TRUE)",
    "INSERT INTO Fatture VALUES (6,  4, '2024/006', '2024-04-01 00:00:00', '2024-05-01 00:00:00', "
    "4800, TRUE)",
    "INSERT INTO Fatture VALUES (7,  6, '2024/007', '2024-04-15 00:00:00', '2024-05-15 00:00:00', "
    "760, TRUE)",
    "INSERT INTO Fatture VALUES (8,  8, '2024/008', '2024-05-10 00:00:00', '2024-06-09 00:00:00', "
    "2100, TRUE)",
    "INSERT INTO Fatture VALUES (9,  1, '2024/009', '2024-06-01 00:00:00', '2024-07-01 00:00:00', "
    "1960, TRUE)",
    "INSERT INTO Fatture VALUES (10, 9, '2024/010', '2024-06-20 00:00:00', '2024-07-20 00:00:00', "
    "3400, TRUE)",
};

struct OpenInvoice {
  int id;
  int customer;
  const char* number;
  int invoice_offset;  // days from the creation day
  int due_offset;
  int amount;
};

constexpr OpenInvoice kOpenInvoices[10] = {
    {11, 2, "2025/001", -25, 5, 2800},   {12, 5, "2025/002", -18, 12, 1450},
    {13, 3, "2025/003", -12, 18, 5200},  {14, 7, "2025/004", -20, 25, 890},
    {15, 9, "2025/005", -30, 35, 3100},  {16, 1, "2024/011", -61, -45, 1960},
    {17, 6, "2024/012", -52, -38, 760},  {18, 4, "2024/013", -61, -52, 2400},
    {19, 8, "2024/014", -52, -28, 1800}, {20, 2, "2024/015", -38, -45, 3200},
};

// A date at midnight as the ISO text that DATETIME columns of the sample hold.
std::string IsoDate(const DateTime& t) {
  std::string out;
  AppendPadded(out, t.year, 4);
  out += '-';
  AppendPadded(out, t.month, 2);
  out += '-';
  AppendPadded(out, t.day, 2);
  return out + " 00:00:00";
}

// A sample file that could not be completed is removed, so that the next run tries again.
void RemoveSampleFile(const std::string& path) {
  ::unlink(path.c_str());
  ::unlink((path + "-journal").c_str());
}

}  // namespace

std::vector<std::string> DemoInsertStatements(const DateTime& today) {
  std::vector<std::string> out;
  out.reserve(58);
  for (int i = 0; i < 10; ++i) {
    const Customer& c = kCustomers[i];
    out.push_back(
        "INSERT INTO Clienti (ID, RagioneSociale, Citta, Settore, DataAcquisizione, Attivo) "
        "VALUES (" +
        FormatInt(i + 1) + ", '" + c.name + "', '" + c.city + "', '" + c.sector + "', '" +
        c.acquired + " 00:00:00', " + (c.active ? "TRUE" : "FALSE") + ")");
  }
  for (const char* p : kProducts) out.emplace_back(p);
  const int year = today.year;
  for (int n = 1; n <= 24; ++n) {
    const int amount = kMonthlySales[n - 1];
    if (amount <= 0) continue;
    const int invoices = amount / 1800 + 3;
    const int customers = invoices * 7 / 10 + 1;  // integer part of invoices x 0.7, exactly
    out.push_back(
        "INSERT INTO VenditeMensili (ID, Anno, Mese, Fatturato, NrFatture, NrClienti) "
        "VALUES (" +
        FormatInt(n) + ", " + FormatInt(n <= 12 ? year - 1 : year) + ", " +
        FormatInt(n <= 12 ? n : n - 12) + ", " + FormatInt(amount) + ", " + FormatInt(invoices) +
        ", " + FormatInt(customers) + ")");
  }
  for (const char* p : kPaidInvoices) out.emplace_back(p);
  DateTime day = today;
  day.hour = day.minute = day.second = 0;
  for (const OpenInvoice& f : kOpenInvoices) {
    out.push_back("INSERT INTO Fatture VALUES (" + FormatInt(f.id) + ", " + FormatInt(f.customer) +
                  ", '" + f.number + "', '" + IsoDate(AddDays(day, f.invoice_offset)) + "', '" +
                  IsoDate(AddDays(day, f.due_offset)) + "', " + FormatInt(f.amount) + ", FALSE)");
  }
  return out;
}

std::string DemoDbPath(const AppContext& ctx) { return ctx.AppFile("demo_panorello.mdb"); }

bool CreateDemoTables(AppContext& ctx, const std::string& path, std::string& errorText) {
  struct stat before {};
  const bool existed = ::lstat(path.c_str(), &before) == 0;  // never remove what was there
  try {
    auto connection = CreateSqliteDatabase(path, ctx.limits);
    for (const char* statement : kCreateStatements) connection->Execute(statement);
    return true;
  } catch (const std::exception& e) {
    if (!existed) RemoveSampleFile(path);
    errorText = std::string("Errore creazione tabelle: ") + e.what();
    ctx.Log(errorText);
    return false;
  }
}

bool InsertDemoRows(AppContext& ctx, const std::string& path, std::string& errorText) {
  try {
    auto connection = OpenSqliteDatabaseForWriting(path, ctx.limits);
    // One transaction: the rows land together (and quickly) or not at all.
    connection->Execute("BEGIN");
    for (const std::string& statement : DemoInsertStatements(ctx.clock.Now())) {
      connection->Execute(statement);
    }
    connection->Execute("COMMIT");
    return true;
  } catch (const std::exception& e) {
    errorText = std::string("Errore inserimento dati demo: ") + e.what();
    ctx.Log(errorText);
    return false;
  }
}

namespace {

// Builds the sample database whole under a temporary name in the place's folder and moves it into
// place when complete: a run that starts meanwhile finds either no file or a finished one. Both
// names go through the folder reached without untrusted links; in another account's folder root
// works with that account's rights (on this thread, where the sample database is built).
bool BuildInPlace(AppContext& ctx, const WritePlace& place, std::string& errorText) {
  const FileSystemIdentity as_owner = FileSystemIdentity::OwnerOf(place.FolderStat());
  const std::string target = place.PinnedPath(place.Name());
  const std::string building = TemporaryPathBeside(target);
  bool created = false;
  try {
    if (!CreateDemoTables(ctx, building, errorText)) return false;
    created = true;
    if (!InsertDemoRows(ctx, building, errorText)) {
      RemoveSampleFile(building);
      return false;
    }
    if (!MoveIntoPlaceUnlessPresent(building, target)) {
      RemoveSampleFile(building);  // another run finished first: its file is the same
    }
    ctx.Log("Database demo creato con successo");
    return true;
  } catch (...) {
    if (created) RemoveSampleFile(building);
    throw;
  }
}

}  // namespace

bool CreateDemoDatabase(AppContext& ctx, std::string& errorText) {
  const std::string path = DemoDbPath(ctx);
  if (FileExists(path)) return true;
  struct stat there {};
  if (::lstat(path.c_str(), &there) == 0) {  // a folder, a FIFO, a dangling link...
    errorText = "Errore creazione DB demo: " + path +
                " esiste ma non è un file: rinominarlo o eliminarlo, poi riprovare";
    ctx.Log(errorText);
    return false;
  }
  try {
    ctx.Log("Creazione database demo: " + path);
    const WritePlace place(path, false);
    return BuildInPlace(ctx, place, errorText);
  } catch (const std::exception& e) {
    errorText = std::string("Errore creazione DB demo: ") + e.what();
    ctx.Log(errorText);
    return false;
  }
}

}  // namespace panorello
