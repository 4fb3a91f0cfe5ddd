// The registry store: a per-user and a machine-wide hierarchical store of keys
// and values, reached through calls shaped like the Win32 registry API.
//
// HKEY_CURRENT_USER lives in the user's database, HKEY_LOCAL_MACHINE and
// HKEY_CLASSES_ROOT in the machine database (SQLite files under
// $SCROLLSNAP_HOME/registry, or the XDG data folder). Key names are
// case-insensitive and case-preserving; subkeys enumerate in name order
// (case-insensitive), values in creation order. Every call returns a platform
// error number (ERROR_SUCCESS, ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED,
// ERROR_NO_MORE_ITEMS, ERROR_MORE_DATA, ERROR_BADDB, ...). Several processes may
// use the store at once. Key paths are separated by backslashes, as on Windows:
// "Software\\Morrowby\\Quillmere\\ImageCrop" (empty components are ignored).
#pragma once

#include <cstdint>
#include <string>

#include "platform/base/result.h"

namespace ss {

using HKEY = std::uint32_t;

constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;

constexpr DWORD KEY_QUERY_VALUE = 0x0001;
constexpr DWORD KEY_SET_VALUE = 0x0002;
constexpr DWORD KEY_CREATE_SUB_KEY = 0x0004;
constexpr DWORD KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr DWORD KEY_NOTIFY = 0x0010;
constexpr DWORD KEY_READ = 0x20019;
constexpr DWORD KEY_WRITE = 0x20006;
constexpr DWORD KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Opens an existing key below `parent` (a root or an open key) with the given
// access. `subKey` may be null or empty to open `parent` again.
LONG RegOpenKeyExA(HKEY parent, const char* subKey, DWORD options, DWORD access, HKEY* result);
// Opens or creates the key (and any missing keys on its path).
LONG RegCreateKeyExA(HKEY parent, const char* subKey, DWORD access, HKEY* result, DWORD* disposition);
LONG RegCloseKey(HKEY key);

// Queries a value (null or "" names the unnamed value). With `data` null only
// the type and size are returned; a buffer too small gives ERROR_MORE_DATA
// with the needed size in *dataSize. Needs KEY_QUERY_VALUE.
LONG RegQueryValueExA(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* dataSize);
// Sets a value (null or "" names the unnamed value). Needs KEY_SET_VALUE.
LONG RegSetValueExA(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD dataSize);
LONG RegDeleteValueA(HKEY key, const char* name);
// The unnamed value of `subKey` as text, NUL-terminated into `data` of
// *dataSize bytes (the classic RegQueryValueA).
LONG RegQueryValueA(HKEY key, const char* subKey, char* data, LONG* dataSize);

// Enumeration by index from 0; ERROR_NO_MORE_ITEMS past the end. `*nameSize`
// is the buffer size in characters on entry and the name's length (without
// NUL) on return; a name that does not fit gives ERROR_MORE_DATA.
LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameSize);
LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameSize,
                   DWORD* type, BYTE* data, DWORD* dataSize);

// Deletes a key that has no subkeys.
LONG RegDeleteKeyA(HKEY parent, const char* subKey);
// Deletes a key with all its subkeys and values, in one transaction.
LONG SHDeleteKeyA(HKEY parent, const char* subKey);

// A transaction over the database behind `root`: every registry call made by
// this thread on that database until Commit or destruction is part of it;
// destruction without Commit rolls everything back. Other threads and
// processes wait (busy timeout) while it is open. `root` may also be an open
// key; the transaction then runs on that key's database. Transactions nest:
// an inner one commits into the outer one. A transaction belongs to the
// thread that made it and must end on that thread. A process must not fork
// while a transaction is open: the child's own registry writes would wait for
// it (until the busy timeout) since the child inherits its lock state.
class RegistryTransaction {
 public:
  explicit RegistryTransaction(HKEY root);
  ~RegistryTransaction();
  RegistryTransaction(const RegistryTransaction&) = delete;
  RegistryTransaction& operator=(const RegistryTransaction&) = delete;
  // ERROR_SUCCESS when the transaction began.
  LONG Status() const { return status_; }
  LONG Commit();

 private:
  HKEY root_;
  LONG status_;
  bool open_;
  std::string path_;  // the database the transaction runs on
  int depth_ = 0;     // nesting level on this thread's connection (1 = outermost)
};

// The text of the last failure of a registry call on this thread, naming the
// database file when the database could not be opened or read ("" if none).
std::string RegLastErrorText();

// The database files (for messages and tests).
std::string RegUserDatabasePath();
std::string RegMachineDatabasePath();

}  // namespace ss
