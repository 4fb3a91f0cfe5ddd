#include "platform/registry/registry.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QChar>

#include <cstring>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/base/handle_table.h"
#include "platform/codepage/codepage.h"
#include "platform/folders/folders.h"

namespace ss {
namespace {

constexpr int kBusyTimeoutMs = 10000;
// Marks a database as ours ("SSRG"); a SQLite file with another id is refused.
constexpr int kApplicationId = 0x53535247;
constexpr int kSchemaVersion = 1;
constexpr std::size_t kMaxKeyNameLength = 255;
constexpr std::size_t kMaxValueNameLength = 16383;

thread_local std::string t_lastError;

LONG Fail(LONG code, std::string text) {
  t_lastError = std::move(text);
  return code;
}

// ---------------------------------------------------------------------------
// Names: stored as UTF-8 whatever the process code page, compared through an
// upper-cased form (simple Unicode case mapping; bytes that are not valid
// UTF-8 are kept as they are, so two different invalid names never meet).

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string FoldName(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    unsigned char b = static_cast<unsigned char>(utf8[i]);
    if (b < 0x80) {
      out += static_cast<char>(b >= 'a' && b <= 'z' ? b - 32 : b);
      ++i;
      continue;
    }
    std::size_t n = b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 0;
    bool valid = n > 0 && i + n <= utf8.size();
    char32_t cp = n == 2 ? b & 0x1F : n == 3 ? b & 0x0F : b & 0x07;
    for (std::size_t k = 1; valid && k < n; ++k) {
      unsigned char c = static_cast<unsigned char>(utf8[i + k]);
      if ((c & 0xC0) != 0x80) valid = false;
      cp = (cp << 6) | (c & 0x3F);
    }
    if (valid && ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
                  (cp >= 0xD800 && cp <= 0xDFFF)))
      valid = false;
    if (!valid) {
      out += static_cast<char>(b);
      ++i;
      continue;
    }
    AppendUtf8(out, QChar::toUpper(cp));
    i += n;
  }
  return out;
}

// Splits a key path ("A\B\C", already UTF-8) into its names. Empty names
// (doubled or trailing backslashes) are skipped.
LONG SplitKeyPath(std::string_view utf8, std::vector<std::string>& names) {
  std::size_t start = 0;
  while (start <= utf8.size()) {
    std::size_t end = utf8.find('\\', start);
    if (end == std::string_view::npos) end = utf8.size();
    if (end > start) {
      if (end - start > kMaxKeyNameLength)
        return Fail(ERROR_INVALID_PARAMETER, "registry key name longer than 255 characters");
      names.emplace_back(utf8.substr(start, end - start));
    }
    start = end + 1;
  }
  return ERROR_SUCCESS;
}

// ---------------------------------------------------------------------------
// Connections: one per database file and thread, so that a thread's
// transaction never takes in another thread's calls.

class Connection {
 public:
  Connection(std::string path) : path_(std::move(path)) {}
  ~Connection() {
    for (auto& [sql, st] : statements_) sqlite3_finalize(st);
    if (db_) sqlite3_close_v2(db_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Leaves the SQLite connection unclosed: used in a forked child, where the
  // parent's connection must not be touched.
  void Abandon() {
    statements_.clear();
    db_ = nullptr;
  }

  LONG Open();
  const std::string& path() const { return path_; }
  sqlite3* db() const { return db_; }
  int depth = 0;  // open RegistryTransaction nesting on this connection

  // True when the file at the path is no longer the one this connection has
  // open (removed or replaced since).
  bool Stale() const {
    struct stat st {};
    return stat(path_.c_str(), &st) != 0 || st.st_ino != ino_ || st.st_dev != dev_;
  }

  // A cached prepared statement; reset by the Statement that uses it.
  sqlite3_stmt* Prepare(const char* sql, LONG& err);

  LONG Error(int rc, const char* what) const {
    int primary = rc & 0xFF;
    LONG code;
    switch (primary) {
      case SQLITE_NOTADB:
      case SQLITE_CORRUPT:
      case SQLITE_FORMAT:
      case SQLITE_SCHEMA:
        code = ERROR_BADDB;
        break;
      case SQLITE_CANTOPEN:
        code = ERROR_CANTOPEN;
        break;
      case SQLITE_PERM:
      case SQLITE_AUTH:
        code = ERROR_ACCESS_DENIED;
        break;
      case SQLITE_READONLY:
      case SQLITE_FULL:
        code = ERROR_CANTWRITE;
        break;
      case SQLITE_IOERR:
        code = rc == SQLITE_IOERR_READ || rc == SQLITE_IOERR_SHORT_READ ? ERROR_CANTREAD : ERROR_CANTWRITE;
        break;
      case SQLITE_BUSY:
      case SQLITE_LOCKED:
        code = ERROR_TIMEOUT;
        break;
      case SQLITE_NOMEM:
        code = ERROR_NOT_ENOUGH_MEMORY;
        break;
      case SQLITE_CONSTRAINT:
        code = rc == SQLITE_CONSTRAINT_FOREIGNKEY ? ERROR_KEY_DELETED : ERROR_INVALID_PARAMETER;
        break;
      default:
        code = ERROR_CANTREAD;
        break;
    }
    std::string msg = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    return Fail(code, std::string(what) + " registry database " + path_ + ": " + msg);
  }

  LONG Exec(const char* sql, const char* what) {
    int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    return rc == SQLITE_OK ? ERROR_SUCCESS : Error(rc, what);
  }

 private:
  LONG Initialise();

  std::string path_;
  sqlite3* db_ = nullptr;
  dev_t dev_ = 0;
  ino_t ino_ = 0;
  std::unordered_map<const char*, sqlite3_stmt*> statements_;
};

// A cached statement in use: bound, stepped, reset on every path.
class Statement {
 public:
  Statement(Connection& c, const char* sql) : c_(c) { st_ = c.Prepare(sql, err_); }
  ~Statement() {
    if (st_) {
      sqlite3_reset(st_);
      sqlite3_clear_bindings(st_);
    }
  }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  LONG error() const { return err_; }
  Statement& Bind(int i, std::int64_t v) {
    if (st_) sqlite3_bind_int64(st_, i, v);
    return *this;
  }
  Statement& Bind(int i, std::string_view text) {
    if (st_) sqlite3_bind_text(st_, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Statement& BindBlob(int i, const void* data, std::size_t size) {
    // A non-null pointer keeps an empty value a zero-length blob, not NULL.
    if (st_) sqlite3_bind_blob(st_, i, size ? data : "", static_cast<int>(size), SQLITE_TRANSIENT);
    return *this;
  }
  // ERROR_SUCCESS with *row true for a row, false when done.
  LONG Step(bool* row, const char* what) {
    if (!st_) return err_;
    int rc = sqlite3_step(st_);
    if (rc == SQLITE_ROW) {
      if (row) *row = true;
      return ERROR_SUCCESS;
    }
    if (rc == SQLITE_DONE) {
      if (row) *row = false;
      return ERROR_SUCCESS;
    }
    return c_.Error(sqlite3_extended_errcode(c_.db()), what);
  }
  std::int64_t Int(int col) const { return sqlite3_column_int64(st_, col); }
  std::string Text(int col) const {
    const unsigned char* t = sqlite3_column_text(st_, col);
    return t ? std::string(reinterpret_cast<const char*>(t), sqlite3_column_bytes(st_, col)) : std::string();
  }
  std::string_view Blob(int col) const {
    const void* b = sqlite3_column_blob(st_, col);
    int n = sqlite3_column_bytes(st_, col);
    return b ? std::string_view(static_cast<const char*>(b), n) : std::string_view();
  }

 private:
  Connection& c_;
  sqlite3_stmt* st_ = nullptr;
  LONG err_ = ERROR_SUCCESS;
};

sqlite3_stmt* Connection::Prepare(const char* sql, LONG& err) {
  auto it = statements_.find(sql);
  if (it != statements_.end()) return it->second;
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr);
  if (rc != SQLITE_OK) {
    err = Error(sqlite3_extended_errcode(db_), "cannot read the");
    return nullptr;
  }
  statements_.emplace(sql, st);
  return st;
}

LONG Connection::Open() {
  std::string folder = path_.substr(0, path_.rfind('/'));
  if (!folder.empty() && !EnsureFolder(folder))
    return Fail(ERROR_CANTOPEN, "cannot create the folder of the registry database " + path_);
  int rc = sqlite3_open_v2(path_.c_str(), &db_,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) return Error(rc, "cannot open the");
  sqlite3_extended_result_codes(db_, 1);
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  LONG err = Initialise();
  if (err != ERROR_SUCCESS) return err;
  struct stat st {};
  if (stat(path_.c_str(), &st) != 0) return Fail(ERROR_CANTOPEN, "cannot open the registry database " + path_);
  dev_ = st.st_dev;
  ino_ = st.st_ino;
  return ERROR_SUCCESS;
}

int QueryInt(sqlite3* db, const char* sql, int* rc) {
  sqlite3_stmt* st = nullptr;
  *rc = sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
  int v = 0;
  if (*rc == SQLITE_OK) {
    *rc = sqlite3_step(st);
    if (*rc == SQLITE_ROW) {
      v = sqlite3_column_int(st, 0);
      *rc = SQLITE_OK;
    } else if (*rc == SQLITE_DONE) {
      *rc = SQLITE_OK;
    } else {
      *rc = sqlite3_extended_errcode(db);
    }
  }
  sqlite3_finalize(st);
  return v;
}

// Checks that the file is a registry database, making it one when it is a new
// (empty) file. A SQLite file of another application is refused, never reset.
LONG Connection::Initialise() {
  int rc = SQLITE_OK;
  int appId = QueryInt(db_, "PRAGMA application_id", &rc);
  if (rc != SQLITE_OK) return Error(rc, "cannot read the");
  int tables = QueryInt(db_, "SELECT count(*) FROM sqlite_master", &rc);
  if (rc != SQLITE_OK) return Error(rc, "cannot read the");
  if (appId != 0 && appId != kApplicationId)
    return Fail(ERROR_BADDB, "not a registry database: " + path_);
  if (appId == 0 && tables != 0)
    return Fail(ERROR_BADDB, "not a registry database: " + path_);
  if (appId == kApplicationId) {
    int version = QueryInt(db_, "PRAGMA user_version", &rc);
    if (rc != SQLITE_OK) return Error(rc, "cannot read the");
    if (version > kSchemaVersion)
      return Fail(ERROR_BADDB, "registry database of a newer version: " + path_);
  }
  if (LONG e = Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON",
                    "cannot open the");
      e != ERROR_SUCCESS)
    return e;
  if (appId == kApplicationId) return ERROR_SUCCESS;

  // New file: two processes may get here at once; the write lock decides.
  if (LONG e = Exec("BEGIN IMMEDIATE", "cannot write the"); e != ERROR_SUCCESS) return e;
  static const char* const kSchema =
      "CREATE TABLE IF NOT EXISTS keys("
      "  id INTEGER PRIMARY KEY AUTOINCREMENT,"
      "  parent INTEGER REFERENCES keys(id) ON DELETE CASCADE,"
      "  name TEXT NOT NULL,"
      "  fold TEXT NOT NULL,"
      "  UNIQUE(parent, fold));"
      "CREATE TABLE IF NOT EXISTS vals("
      "  seq INTEGER PRIMARY KEY AUTOINCREMENT,"
      "  key INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,"
      "  name TEXT NOT NULL,"
      "  fold TEXT NOT NULL,"
      "  type INTEGER NOT NULL,"
      "  data BLOB NOT NULL,"
      "  UNIQUE(key, fold));"
      "INSERT INTO keys(parent, name, fold) SELECT NULL, r, r FROM"
      "  (SELECT 'HKEY_CURRENT_USER' AS r UNION ALL SELECT 'HKEY_LOCAL_MACHINE'"
      "   UNION ALL SELECT 'HKEY_CLASSES_ROOT')"
      "  WHERE NOT EXISTS (SELECT 1 FROM keys WHERE parent IS NULL);"
      "PRAGMA application_id=1397969479;"
      "PRAGMA user_version=1;"
      "COMMIT";
  static_assert(kApplicationId == 1397969479 && kSchemaVersion == 1);
  int erc = sqlite3_exec(db_, kSchema, nullptr, nullptr, nullptr);
  if (erc != SQLITE_OK) {
    LONG e = Error(sqlite3_extended_errcode(db_), "cannot write the");
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    return e;
  }
  return ERROR_SUCCESS;
}

// The calling thread's connections, by database path.
struct ThreadConnections {
  pid_t pid = getpid();
  std::unordered_map<std::string, std::unique_ptr<Connection>> byPath;
  ~ThreadConnections() {
    if (pid != getpid())
      for (auto& [p, c] : byPath) c->Abandon();
  }
};

thread_local ThreadConnections t_connections;

LONG GetConnection(const std::string& path, Connection** out) {
  auto& cache = t_connections;
  if (cache.pid != getpid()) {
    // A forked child: the parent's connections are not ours to use or close.
    for (auto& [p, c] : cache.byPath) c->Abandon();
    cache.byPath.clear();
    cache.pid = getpid();
  }
  auto it = cache.byPath.find(path);
  if (it != cache.byPath.end()) {
    if (it->second->depth > 0 || !it->second->Stale()) {
      *out = it->second.get();
      return ERROR_SUCCESS;
    }
    cache.byPath.erase(it);  // the file was removed or replaced: start afresh
  }
  auto c = std::make_unique<Connection>(path);
  if (LONG e = c->Open(); e != ERROR_SUCCESS) return e;
  *out = c.get();
  cache.byPath.emplace(path, std::move(c));
  return ERROR_SUCCESS;
}

// A change of several rows: its own write transaction, or a savepoint inside
// the thread's open RegistryTransaction. Rolled back unless committed.
class WriteScope {
 public:
  explicit WriteScope(Connection& c) : c_(c) {}
  ~WriteScope() {
    if (!active_) return;
    if (nested_) {
      sqlite3_exec(c_.db(), "ROLLBACK TO regop; RELEASE regop", nullptr, nullptr, nullptr);
    } else {
      sqlite3_exec(c_.db(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
  }
  LONG Begin() {
    nested_ = c_.depth > 0;
    if (nested_ && sqlite3_get_autocommit(c_.db()))
      return Fail(ERROR_CANTWRITE, "the registry transaction on " + c_.path() + " was aborted");
    LONG e = c_.Exec(nested_ ? "SAVEPOINT regop" : "BEGIN IMMEDIATE", "cannot write the");
    active_ = e == ERROR_SUCCESS;
    return e;
  }
  LONG Commit() {
    LONG e = c_.Exec(nested_ ? "RELEASE regop" : "COMMIT", "cannot write the");
    if (e == ERROR_SUCCESS) active_ = false;
    return e;
  }

 private:
  Connection& c_;
  bool active_ = false;
  bool nested_ = false;
};

// ---------------------------------------------------------------------------
// Keys and handles.

bool IsRoot(HKEY h) { return h == HKEY_CLASSES_ROOT || h == HKEY_CURRENT_USER || h == HKEY_LOCAL_MACHINE; }

const char* RootName(HKEY h) {
  switch (h) {
    case HKEY_CLASSES_ROOT: return "HKEY_CLASSES_ROOT";
    case HKEY_CURRENT_USER: return "HKEY_CURRENT_USER";
    default: return "HKEY_LOCAL_MACHINE";
  }
}

std::string UserDbPath() { return ScrollsnapHome() + "/registry/user.db"; }
std::string MachineDbPath() { return ScrollsnapHome() + "/registry/machine.db"; }

struct KeyObject {
  std::string path;  // database file, fixed when the key was opened
  std::int64_t id;
  DWORD access;
};

HandleTable<KeyObject>& Keys() {
  static HandleTable<KeyObject> table(0x10000000u);  // room below the roots (0x80000000)
  return table;
}

// A key resolved for one call: the thread's connection and the key's row.
struct Target {
  Connection* c = nullptr;
  std::int64_t id = 0;
  DWORD access = 0;
  std::string path;
};

LONG RootId(Connection& c, HKEY root, std::int64_t* id) {
  Statement st(c, "SELECT id FROM keys WHERE parent IS NULL AND fold = ?1");
  st.Bind(1, std::string_view(RootName(root)));
  bool row = false;
  if (LONG e = st.Step(&row, "cannot read the"); e != ERROR_SUCCESS) return e;
  if (!row) return Fail(ERROR_BADDB, std::string("root key missing in registry database ") + c.path());
  *id = st.Int(0);
  return ERROR_SUCCESS;
}

LONG KeyExists(Connection& c, std::int64_t id) {
  Statement st(c, "SELECT 1 FROM keys WHERE id = ?1");
  st.Bind(1, id);
  bool row = false;
  if (LONG e = st.Step(&row, "cannot read the"); e != ERROR_SUCCESS) return e;
  return row ? ERROR_SUCCESS : Fail(ERROR_KEY_DELETED, "the registry key has been deleted");
}

LONG Resolve(HKEY h, Target& t) {
  if (IsRoot(h)) {
    t.path = h == HKEY_CURRENT_USER ? UserDbPath() : MachineDbPath();
    t.access = KEY_ALL_ACCESS;
    if (LONG e = GetConnection(t.path, &t.c); e != ERROR_SUCCESS) return e;
    return RootId(*t.c, h, &t.id);
  }
  auto key = Keys().Get(h);
  if (!key) return Fail(ERROR_INVALID_HANDLE, "invalid registry key handle");
  t.path = key->path;
  t.id = key->id;
  t.access = key->access;
  if (LONG e = GetConnection(t.path, &t.c); e != ERROR_SUCCESS) return e;
  return KeyExists(*t.c, t.id);
}

LONG NeedAccess(const Target& t, DWORD right) {
  return (t.access & right) == right ? ERROR_SUCCESS
                                     : Fail(ERROR_ACCESS_DENIED, "the registry key was not opened for this access");
}

// The child `name` (UTF-8) of `parent`; *id 0 when there is none.
LONG FindChild(Connection& c, std::int64_t parent, const std::string& name, std::int64_t* id) {
  Statement st(c, "SELECT id FROM keys WHERE parent = ?1 AND fold = ?2");
  st.Bind(1, parent).Bind(2, FoldName(name));
  bool row = false;
  if (LONG e = st.Step(&row, "cannot read the"); e != ERROR_SUCCESS) return e;
  *id = row ? st.Int(0) : 0;
  return ERROR_SUCCESS;
}

// Walks `subKey` (process code page) below `from`; *id 0 when a key is missing.
LONG Walk(Connection& c, std::int64_t from, const char* subKey, std::int64_t* id) {
  std::vector<std::string> names;
  if (subKey && *subKey)
    if (LONG e = SplitKeyPath(AnsiToUtf8(subKey), names); e != ERROR_SUCCESS) return e;
  std::int64_t cur = from;
  for (const auto& n : names) {
    if (LONG e = FindChild(c, cur, n, &cur); e != ERROR_SUCCESS) return e;
    if (cur == 0) break;
  }
  *id = cur;
  return ERROR_SUCCESS;
}

HKEY NewHandle(const Target& t, std::int64_t id, DWORD access) {
  return Keys().Add(std::make_shared<KeyObject>(KeyObject{t.path, id, access}));
}

std::string ValueName(const char* name) { return name ? AnsiToUtf8(name) : std::string(); }

LONG CheckValueName(const std::string& name) {
  return name.size() > kMaxValueNameLength ? Fail(ERROR_INVALID_PARAMETER, "registry value name too long")
                                           : ERROR_SUCCESS;
}

// Copies `data` to the caller's buffer with the registry's size rules.
LONG CopyData(std::string_view stored, DWORD storedType, DWORD* type, BYTE* data, DWORD* dataSize) {
  if (type) *type = storedType;
  if (!dataSize) return data ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
  DWORD need = static_cast<DWORD>(stored.size());
  if (!data) {
    *dataSize = need;
    return ERROR_SUCCESS;
  }
  DWORD have = *dataSize;
  *dataSize = need;
  if (have < need) return ERROR_MORE_DATA;
  if (need) std::memcpy(data, stored.data(), need);
  // Texts stored without a terminator come back terminated when there is
  // room; the reported size stays that of the stored bytes.
  bool text = storedType == REG_SZ || storedType == REG_EXPAND_SZ || storedType == REG_MULTI_SZ;
  if (text && have > need && (need == 0 || stored.back() != '\0')) data[need] = 0;
  return ERROR_SUCCESS;
}

// Copies a name (process code page) into a buffer of *size characters.
LONG CopyName(const std::string& utf8, char* buf, DWORD* size) {
  std::string ansi = Utf8ToAnsi(utf8);
  if (!size) return ERROR_INVALID_PARAMETER;
  DWORD have = *size;
  *size = static_cast<DWORD>(ansi.size());
  if (!buf || have <= ansi.size()) return ERROR_MORE_DATA;
  std::memcpy(buf, ansi.data(), ansi.size());
  buf[ansi.size()] = 0;
  return ERROR_SUCCESS;
}

LONG DeleteKeyImpl(HKEY parent, const char* subKey, bool tree) {
  Target t;
  if (LONG e = Resolve(parent, t); e != ERROR_SUCCESS) return e;
  std::int64_t id = 0;
  if (LONG e = Walk(*t.c, t.id, subKey, &id); e != ERROR_SUCCESS) return e;
  if (id == 0) return Fail(ERROR_FILE_NOT_FOUND, "registry key not found");
  bool isRoot = false;
  {
    Statement st(*t.c, "SELECT parent IS NULL FROM keys WHERE id = ?1");
    st.Bind(1, id);
    bool row = false;
    if (LONG e = st.Step(&row, "cannot read the"); e != ERROR_SUCCESS) return e;
    isRoot = row && st.Int(0);
  }
  if (isRoot) return Fail(ERROR_ACCESS_DENIED, "a root key cannot be deleted");
  WriteScope w(*t.c);
  if (LONG e = w.Begin(); e != ERROR_SUCCESS) return e;
  if (!tree) {
    Statement st(*t.c, "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1");
    st.Bind(1, id);
    bool row = false;
    if (LONG e = st.Step(&row, "cannot read the"); e != ERROR_SUCCESS) return e;
    if (row) return Fail(ERROR_ACCESS_DENIED, "the registry key has subkeys");
  }
  {
    // Subkeys and values go with the key (foreign-key cascade), in this one
    // transaction.
    Statement st(*t.c,
                 "DELETE FROM keys WHERE id IN (WITH RECURSIVE t(id) AS (SELECT ?1 UNION ALL "
                 "SELECT k.id FROM keys k JOIN t ON k.parent = t.id) SELECT id FROM t)");
    st.Bind(1, id);
    if (LONG e = st.Step(nullptr, "cannot write the"); e != ERROR_SUCCESS) return e;
  }
  return w.Commit();
}

}  // namespace

// ---------------------------------------------------------------------------

std::string RegUserDatabasePath() { return UserDbPath(); }
std::string RegMachineDatabasePath() { return MachineDbPath(); }
std::string RegLastErrorText() { return t_lastError; }

LONG RegOpenKeyExA(HKEY parent, const char* subKey, DWORD options, DWORD access, HKEY* result) {
  if (!result) return Fail(ERROR_INVALID_PARAMETER, "no result handle");
  *result = 0;
  Target t;
  if (LONG e = Resolve(parent, t); e != ERROR_SUCCESS) return e;
  std::int64_t id = 0;
  if (LONG e = Walk(*t.c, t.id, subKey, &id); e != ERROR_SUCCESS) return e;
  if (id == 0) return Fail(ERROR_FILE_NOT_FOUND, std::string("registry key not found: ") + (subKey ? subKey : ""));
  *result = NewHandle(t, id, access);
  return ERROR_SUCCESS;
}

LONG RegCreateKeyExA(HKEY parent, const char* subKey, DWORD access, HKEY* result, DWORD* disposition) {
  if (!result) return Fail(ERROR_INVALID_PARAMETER, "no result handle");
  *result = 0;
  Target t;
  if (LONG e = Resolve(parent, t); e != ERROR_SUCCESS) return e;
  std::vector<std::string> names;
  if (subKey && *subKey)
    if (LONG e = SplitKeyPath(AnsiToUtf8(subKey), names); e != ERROR_SUCCESS) return e;
  // An existing key opens without taking the write lock.
  std::int64_t existing = t.id;
  for (const auto& n : names) {
    if (LONG e = FindChild(*t.c, existing, n, &existing); e != ERROR_SUCCESS) return e;
    if (existing == 0) break;
  }
  if (existing != 0) {
    if (disposition) *disposition = REG_OPENED_EXISTING_KEY;
    *result = NewHandle(t, existing, access);
    return ERROR_SUCCESS;
  }
  WriteScope w(*t.c);
  if (LONG e = w.Begin(); e != ERROR_SUCCESS) return e;
  // The parent may have gone while we waited for the write lock.
  if (LONG e = KeyExists(*t.c, t.id); e != ERROR_SUCCESS) return e;
  std::int64_t cur = t.id;
  bool created = false;
  for (const auto& n : names) {
    std::int64_t child = 0;
    if (LONG e = FindChild(*t.c, cur, n, &child); e != ERROR_SUCCESS) return e;
    if (child == 0) {
      if (!created)
        if (LONG e = NeedAccess(t, KEY_CREATE_SUB_KEY); e != ERROR_SUCCESS) return e;
      Statement st(*t.c, "INSERT INTO keys(parent, name, fold) VALUES(?1, ?2, ?3)");
      st.Bind(1, cur).Bind(2, n).Bind(3, FoldName(n));
      if (LONG e = st.Step(nullptr, "cannot write the"); e != ERROR_SUCCESS) return e;
      child = sqlite3_last_insert_rowid(t.c->db());
      created = true;
    } else {
      created = false;
    }
    cur = child;
  }
  if (LONG e = w.Commit(); e != ERROR_SUCCESS) return e;
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  *result = NewHandle(t, cur, access);
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
  if (IsRoot(key)) return ERROR_SUCCESS;
  return Keys().Remove(key) ? ERROR_SUCCESS : Fail(ERROR_INVALID_HANDLE, "invalid registry key handle");
}

LONG RegQueryValueExA(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* dataSize) {
  if (data && !dataSize) return Fail(ERROR_INVALID_PARAMETER, "buffer without size");
  Target t;
  if (LONG e = Resolve(key, t); e != ERROR_SUCCESS) return e;
  if (LONG e = NeedAccess(t, KEY_QUERY_VALUE); e != ERROR_SUCCESS) return e;
  Statement st(*t.c, "SELECT type, data FROM vals WHERE key = ?1 AND fold = ?2");
  st.Bind(1, t.id).Bind(2, FoldName(ValueName(name)));
  bool row = false;
  if (LONG e = st.Step(&row, "cannot read the"); e != ERROR_SUCCESS) return e;
  if (!row) return Fail(ERROR_FILE_NOT_FOUND, std::string("registry value not found: ") + (name ? name : ""));
  return CopyData(st.Blob(1), static_cast<DWORD>(st.Int(0)), type, data, dataSize);
}

LONG RegSetValueExA(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD dataSize) {
  if (!data && dataSize) return Fail(ERROR_INVALID_PARAMETER, "value data missing");
  std::string n = ValueName(name);
  if (LONG e = CheckValueName(n); e != ERROR_SUCCESS) return e;
  Target t;
  if (LONG e = Resolve(key, t); e != ERROR_SUCCESS) return e;
  if (LONG e = NeedAccess(t, KEY_SET_VALUE); e != ERROR_SUCCESS) return e;
  // One statement: an existing value keeps its name and its place in the
  // enumeration; a key deleted meanwhile fails on its foreign key.
  Statement st(*t.c,
               "INSERT INTO vals(key, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
               "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data");
  st.Bind(1, t.id).Bind(2, n).Bind(3, FoldName(n)).Bind(4, static_cast<std::int64_t>(type));
  st.BindBlob(5, data, dataSize);
  return st.Step(nullptr, "cannot write the");
}

LONG RegDeleteValueA(HKEY key, const char* name) {
  Target t;
  if (LONG e = Resolve(key, t); e != ERROR_SUCCESS) return e;
  if (LONG e = NeedAccess(t, KEY_SET_VALUE); e != ERROR_SUCCESS) return e;
  Statement st(*t.c, "DELETE FROM vals WHERE key = ?1 AND fold = ?2");
  st.Bind(1, t.id).Bind(2, FoldName(ValueName(name)));
  if (LONG e = st.Step(nullptr, "cannot write the"); e != ERROR_SUCCESS) return e;
  return sqlite3_changes(t.c->db()) > 0
             ? ERROR_SUCCESS
             : Fail(ERROR_FILE_NOT_FOUND, std::string("registry value not found: ") + (name ? name : ""));
}

LONG RegQueryValueA(HKEY key, const char* subKey, char* data, LONG* dataSize) {
  if (data && !dataSize) return Fail(ERROR_INVALID_PARAMETER, "buffer without size");
  Target t;
  if (LONG e = Resolve(key, t); e != ERROR_SUCCESS) return e;
  std::int64_t id = t.id;
  if (subKey && *subKey) {
    if (LONG e = Walk(*t.c, t.id, subKey, &id); e != ERROR_SUCCESS) return e;
    if (id == 0) return Fail(ERROR_FILE_NOT_FOUND, std::string("registry key not found: ") + subKey);
  } else if (LONG e = NeedAccess(t, KEY_QUERY_VALUE); e != ERROR_SUCCESS) {
    return e;
  }
  Statement st(*t.c, "SELECT type, data FROM vals WHERE key = ?1 AND fold = ''");
  st.Bind(1, id);
  bool row = false;
  if (LONG e = st.Step(&row, "cannot read the"); e != ERROR_SUCCESS) return e;
  // A key without an unnamed value reads as the empty text.
  std::string_view text;
  if (row) {
    DWORD type = static_cast<DWORD>(st.Int(0));
    if (type != REG_SZ && type != REG_EXPAND_SZ) return Fail(ERROR_INVALID_DATA, "the unnamed value is not a text");
    text = st.Blob(1);
    if (auto nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);
  }
  LONG need = static_cast<LONG>(text.size() + 1);
  if (!dataSize) return ERROR_SUCCESS;
  LONG have = *dataSize;
  *dataSize = need;
  if (!data) return ERROR_SUCCESS;
  if (have < need) return ERROR_MORE_DATA;
  if (!text.empty()) std::memcpy(data, text.data(), text.size());
  data[text.size()] = 0;
  return ERROR_SUCCESS;
}

LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameSize) {
  if (!nameSize) return Fail(ERROR_INVALID_PARAMETER, "no name size");
  Target t;
  if (LONG e = Resolve(key, t); e != ERROR_SUCCESS) return e;
  if (LONG e = NeedAccess(t, KEY_ENUMERATE_SUB_KEYS); e != ERROR_SUCCESS) return e;
  Statement st(*t.c, "SELECT name FROM keys WHERE parent = ?1 ORDER BY fold, name LIMIT 1 OFFSET ?2");
  st.Bind(1, t.id).Bind(2, static_cast<std::int64_t>(index));
  bool row = false;
  if (LONG e = st.Step(&row, "cannot read the"); e != ERROR_SUCCESS) return e;
  if (!row) return ERROR_NO_MORE_ITEMS;
  return CopyName(st.Text(0), name, nameSize);
}

LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* type, BYTE* data,
                   DWORD* dataSize) {
  if (!nameSize) return Fail(ERROR_INVALID_PARAMETER, "no name size");
  if (data && !dataSize) return Fail(ERROR_INVALID_PARAMETER, "buffer without size");
  Target t;
  if (LONG e = Resolve(key, t); e != ERROR_SUCCESS) return e;
  if (LONG e = NeedAccess(t, KEY_QUERY_VALUE); e != ERROR_SUCCESS) return e;
  Statement st(*t.c, "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY seq LIMIT 1 OFFSET ?2");
  st.Bind(1, t.id).Bind(2, static_cast<std::int64_t>(index));
  bool row = false;
  if (LONG e = st.Step(&row, "cannot read the"); e != ERROR_SUCCESS) return e;
  if (!row) return ERROR_NO_MORE_ITEMS;
  LONG nameResult = CopyName(st.Text(0), name, nameSize);
  LONG dataResult = CopyData(st.Blob(2), static_cast<DWORD>(st.Int(1)), type, data, dataSize);
  return nameResult != ERROR_SUCCESS ? nameResult : dataResult;
}

LONG RegDeleteKeyA(HKEY parent, const char* subKey) { return DeleteKeyImpl(parent, subKey, false); }

LONG SHDeleteKeyA(HKEY parent, const char* subKey) { return DeleteKeyImpl(parent, subKey, true); }

// ---------------------------------------------------------------------------

RegistryTransaction::RegistryTransaction(HKEY root) : root_(root), status_(ERROR_SUCCESS), open_(false) {
  if (IsRoot(root)) {
    path_ = root == HKEY_CURRENT_USER ? UserDbPath() : MachineDbPath();
  } else if (auto key = Keys().Get(root)) {
    path_ = key->path;
  } else {
    status_ = Fail(ERROR_INVALID_HANDLE, "invalid registry key handle");
    return;
  }
  Connection* c = nullptr;
  if ((status_ = GetConnection(path_, &c)) != ERROR_SUCCESS) return;
  if (c->depth > 0 && sqlite3_get_autocommit(c->db())) {
    status_ = Fail(ERROR_CANTWRITE, "the registry transaction on " + path_ + " was aborted");
    return;
  }
  status_ = c->Exec(c->depth > 0 ? "SAVEPOINT regtxn" : "BEGIN IMMEDIATE", "cannot write the");
  if (status_ != ERROR_SUCCESS) return;
  depth_ = ++c->depth;
  open_ = true;
}

RegistryTransaction::~RegistryTransaction() {
  if (!open_) return;
  Connection* c = nullptr;
  if (GetConnection(path_, &c) != ERROR_SUCCESS) return;
  if (depth_ == 1) {
    sqlite3_exec(c->db(), "ROLLBACK", nullptr, nullptr, nullptr);
  } else {
    sqlite3_exec(c->db(), "ROLLBACK TO regtxn; RELEASE regtxn", nullptr, nullptr, nullptr);
  }
  c->depth = depth_ - 1;
}

LONG RegistryTransaction::Commit() {
  if (!open_) return status_ != ERROR_SUCCESS ? status_ : Fail(ERROR_INVALID_FUNCTION, "no open transaction");
  Connection* c = nullptr;
  if (LONG e = GetConnection(path_, &c); e != ERROR_SUCCESS) return e;
  if (c->depth != depth_) return Fail(ERROR_INVALID_FUNCTION, "an inner registry transaction is still open");
  if (sqlite3_get_autocommit(c->db())) {
    // SQLite gave the transaction up after an error: nothing of it remains.
    open_ = false;
    c->depth = depth_ - 1;
    return Fail(ERROR_CANTWRITE, "the registry transaction on " + path_ + " was aborted");
  }
  LONG e = c->Exec(depth_ == 1 ? "COMMIT" : "RELEASE regtxn", "cannot write the");
  if (e != ERROR_SUCCESS) return e;  // still open: destruction rolls back
  open_ = false;
  c->depth = depth_ - 1;
  return ERROR_SUCCESS;
}

}  // namespace ss
