// panorello-access-copy SOURCE TARGET: copies every user table of an Access file (Jet 3/4, ACE)
// into a new SQLite file, reading the tables row by row with the MDBTools library. The program
// reads data through its own process so that the library's messages on standard error, and a
// crash on a damaged file, never reach the dashboard program: that one reads this program's
// standard error and takes the line "ERRORE: ..." as the reason of a failure: exit status 1 when
// the Access file cannot be read (the reason, without the file's name), 3 when the copy cannot be
// written (the whole message).
#include <fcntl.h>
// mdbtools.h includes glib.h inside extern "C", which C++ templates of glib refuse: glib first.
#include <glib.h>
#include <mdbtools.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "db/access/access_values.h"

namespace {

using panorello::DecodeJetFixed;
using panorello::JetNumber;
using panorello::JetType;

// The Access file cannot be read: the reason.
class Failure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The copy cannot be written.
class WriteFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

constexpr const char* kRepair =
    "provare ad aprirlo e ripararlo con Access (Compatta e ripristina database)";

constexpr size_t kTextBindSize = 16384;             // libmdb's own default
constexpr size_t kLargestMemo = size_t{256} << 20;  // bytes of UTF-8

struct HandleCloser {
  void operator()(MdbHandle* mdb) const { mdb_close(mdb); }
};
struct TableFreer {
  void operator()(MdbTableDef* table) const { mdb_free_tabledef(table); }
};
struct DatabaseCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StatementCloser {
  void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementCloser>;

std::string Quoted(const std::string& name) {
  std::string out = "\"";
  for (const char ch : name) {
    out += ch;
    if (ch == '"') out += '"';
  }
  return out + "\"";
}

// A failed statement on the copy: the disk or the folder refused (WriteFailure), or what the file
// holds cannot be stored (names or values of a damaged file).
[[noreturn]] void FailWriting(sqlite3* db) {
  const std::string message = sqlite3_errmsg(db);
  switch (sqlite3_errcode(db)) {
    case SQLITE_FULL:
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
    case SQLITE_READONLY:
    case SQLITE_PERM:
      throw WriteFailure("Impossibile scrivere la copia del file Access: " + message);
    default:
      throw Failure("il contenuto non può essere copiato (" + message + "); " + kRepair);
  }
}

void Exec(sqlite3* db, const std::string& sql) {
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) FailWriting(db);
}

Statement Prepare(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) FailWriting(db);
  return Statement(raw);
}

// The signature of a Jet or ACE database at offset 4.
void CheckSignature(const std::string& source) {
  std::ifstream in(source, std::ios::binary);
  if (!in) {
    throw Failure(std::string("impossibile aprirlo (") + std::strerror(errno) +
                  "); controllare i permessi del file");
  }
  char header[20] = {};
  in.read(header, sizeof header);
  const std::string signature(header + 4, 15);
  if (!in || (signature != "Standard Jet DB" && signature != "Standard ACE DB")) {
    throw Failure("non è un database Access (Jet o ACE)");
  }
}

// Text and memo values through the library (it handles compressed Unicode and code pages);
// the bind size bounds the converted text, so a memo gets room for all of it.
void BindText(sqlite3_stmt* stmt, int index, MdbHandle* mdb, const MdbColumn* col) {
  size_t room = kTextBindSize;
  if (col->col_type == static_cast<int>(JetType::kMemo) && col->cur_value_len >= 4) {
    const uint32_t stored = static_cast<uint32_t>(mdb_get_int32(mdb->pg_buf, col->cur_value_start));
    room = std::min(kLargestMemo, std::max(room, size_t{stored & 0x3fffffffu} * 3 + 64));
  }
  mdb_set_bind_size(mdb, room);
  char* text =
      mdb_col_to_string(mdb, mdb->pg_buf, col->cur_value_start, col->col_type, col->cur_value_len);
  mdb_set_bind_size(mdb, kTextBindSize);
  if (text == nullptr) {
    sqlite3_bind_null(stmt, index);
    return;
  }
  sqlite3_bind_text(stmt, index, text, -1, SQLITE_TRANSIENT);
  g_free(text);
}

void BindValue(sqlite3_stmt* stmt, int index, MdbHandle* mdb, MdbColumn* col) {
  const int type = col->col_type;
  // A yes/no value lives in the null bitmap: the library reports a set bit as length 0.
  if (type == static_cast<int>(JetType::kBoolean)) {
    sqlite3_bind_int(stmt, index, col->cur_value_len == 0 ? 1 : 0);
    return;
  }
  if (col->cur_value_len <= 0) {
    sqlite3_bind_null(stmt, index);
    return;
  }
  const unsigned char* data = mdb->pg_buf + col->cur_value_start;
  switch (static_cast<JetType>(type)) {
    case JetType::kText:
    case JetType::kMemo:
      BindText(stmt, index, mdb, col);
      return;
    case JetType::kBinary:
      sqlite3_bind_blob(stmt, index, data, col->cur_value_len, SQLITE_TRANSIENT);
      return;
    case JetType::kOle: {
      size_t size = 0;
      void* bytes = mdb_ole_read_full(mdb, col, &size);
      sqlite3_bind_blob64(stmt, index, bytes, size, SQLITE_TRANSIENT);
      free(bytes);
      return;
    }
    default:
      break;
  }
  // Precision is never below the scale; versions of the library disagree on which is which.
  const int scale = std::min(col->col_scale, col->col_prec);
  const JetNumber n = DecodeJetFixed(type, data, static_cast<size_t>(col->cur_value_len), scale);
  switch (n.kind) {
    case JetNumber::Kind::kInteger:
      sqlite3_bind_int64(stmt, index, n.integer);
      break;
    case JetNumber::Kind::kReal:
      sqlite3_bind_double(stmt, index, n.real);
      break;
    case JetNumber::Kind::kText:
      sqlite3_bind_text(stmt, index, n.text.c_str(), -1, SQLITE_TRANSIENT);
      break;
    case JetNumber::Kind::kNull:
      sqlite3_bind_null(stmt, index);
      break;
  }
}

void CopyTable(MdbHandle* mdb, MdbCatalogEntry* entry, sqlite3* db) {
  const std::string name = entry->object_name;
  std::unique_ptr<MdbTableDef, TableFreer> table(mdb_read_table(entry));
  if (!table || mdb_read_columns(table.get()) == nullptr) {
    throw Failure("la tabella " + name + " non può essere letta; " + kRepair);
  }
  const unsigned cols = table->num_cols;
  if (cols == 0) return;
  std::string create = "CREATE TABLE " + Quoted(name) + " (";
  std::string insert = "INSERT INTO " + Quoted(name) + " VALUES (";
  // OLE values are read through a bound buffer that holds one page at a time.
  std::vector<std::vector<char>> ole_buffers(cols);
  for (unsigned c = 0; c < cols; ++c) {
    auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, c));
    create +=
        (c > 0 ? ", " : "") + Quoted(col->name) + " " + panorello::SqliteTypeOfJet(col->col_type);
    insert += c > 0 ? ", ?" : "?";
    if (col->col_type == static_cast<int>(JetType::kOle)) {
      ole_buffers[c].resize(size_t{MDB_BIND_SIZE} * 64);
      mdb_bind_column(table.get(), static_cast<int>(c) + 1, ole_buffers[c].data(), nullptr);
    }
  }
  Exec(db, create + ")");
  Statement stmt = Prepare(db, insert + ")");
  mdb_rewind_table(table.get());
  while (mdb_fetch_row(table.get())) {
    for (unsigned c = 0; c < cols; ++c) {
      BindValue(stmt.get(), static_cast<int>(c) + 1, mdb,
                static_cast<MdbColumn*>(g_ptr_array_index(table->columns, c)));
    }
    if (sqlite3_step(stmt.get()) != SQLITE_DONE) FailWriting(db);
    sqlite3_reset(stmt.get());
  }
}

void CopyAccessFile(const std::string& source, const std::string& target) {
  CheckSignature(source);
  std::unique_ptr<MdbHandle, HandleCloser> mdb(mdb_open(source.c_str(), MDB_NOFLAGS));
  GPtrArray* catalog = mdb ? mdb_read_catalog(mdb.get(), MDB_TABLE) : nullptr;
  if (catalog == nullptr) {
    throw Failure(std::string("il catalogo delle tabelle non può essere letto (file danneggiato, "
                              "protetto o di una versione non riconosciuta); ") +
                  kRepair);
  }
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(target.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
  std::unique_ptr<sqlite3, DatabaseCloser> db(raw);
  if (rc != SQLITE_OK) {
    throw WriteFailure("Impossibile creare la copia del file Access " + target + ": " +
                       sqlite3_errstr(rc));
  }
  Exec(db.get(), "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN");
  for (unsigned i = 0; i < catalog->len; ++i) {
    auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
    if (entry->object_type == MDB_TABLE && mdb_is_user_table(entry))
      CopyTable(mdb.get(), entry, db.get());
  }
  Exec(db.get(), "COMMIT");
  if (sqlite3_close(db.release()) != SQLITE_OK)
    throw WriteFailure("Impossibile chiudere la copia " + target);
  // On disk before the caller renames it into place.
  const int fd = ::open(target.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 || ::fsync(fd) != 0) throw WriteFailure("Impossibile salvare la copia " + target);
  ::close(fd);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "ERRORE: uso: %s FILE_ACCESS COPIA_SQLITE\n", argc > 0 ? argv[0] : "");
    return 2;
  }
  // A new file only: never one that another run is writing.
  const int created = ::open(argv[2], O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (created < 0) {
    std::fprintf(stderr,
                 "ERRORE: Impossibile creare la copia del file Access %s: %s; controllare i "
                 "permessi della cartella\n",
                 argv[2], std::strerror(errno));
    return 3;
  }
  ::close(created);
  int status = 1;
  std::string message;
  try {
    CopyAccessFile(argv[1], argv[2]);
    return 0;
  } catch (const WriteFailure& e) {
    status = 3;
    message = e.what();
  } catch (const std::bad_alloc&) {
    message = std::string("la lettura ha richiesto più memoria di quella concessa; ") + kRepair;
  } catch (const std::exception& e) {
    message = e.what();
  }
  ::unlink(argv[2]);
  std::fprintf(stderr, "\nERRORE: %s\n", message.c_str());
  return status;
}
