#include "platform/registry/registry.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/codepage/codepage.h"
#include "tests/support/test_home.h"

namespace ss {
namespace {

using Bytes = std::vector<BYTE>;

Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }

class RegistryTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (HKEY k : open_) RegCloseKey(k);
  }
  HKEY Create(HKEY parent, const char* path, DWORD access = KEY_ALL_ACCESS) {
    HKEY k = 0;
    EXPECT_EQ(RegCreateKeyExA(parent, path, access, &k, nullptr), ERROR_SUCCESS) << path;
    open_.push_back(k);
    return k;
  }
  HKEY Open(HKEY parent, const char* path, DWORD access) {
    HKEY k = 0;
    EXPECT_EQ(RegOpenKeyExA(parent, path, 0, access, &k), ERROR_SUCCESS) << path;
    open_.push_back(k);
    return k;
  }
  static Bytes Query(HKEY k, const char* name, DWORD* type = nullptr) {
    DWORD size = 0;
    if (RegQueryValueExA(k, name, type, nullptr, &size) != ERROR_SUCCESS) return {};
    Bytes data(size);
    EXPECT_EQ(RegQueryValueExA(k, name, type, data.data(), &size), ERROR_SUCCESS);
    data.resize(size);
    return data;
  }
  static std::vector<std::string> SubkeyNames(HKEY k) {
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
      char name[256];
      DWORD size = sizeof name;
      LONG r = RegEnumKeyExA(k, i, name, &size);
      if (r == ERROR_NO_MORE_ITEMS) break;
      EXPECT_EQ(r, ERROR_SUCCESS);
      if (r != ERROR_SUCCESS) break;
      names.emplace_back(name, size);
    }
    return names;
  }
  static std::vector<std::string> ValueNames(HKEY k) {
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
      char name[256];
      DWORD size = sizeof name;
      LONG r = RegEnumValueA(k, i, name, &size, nullptr, nullptr, nullptr);
      if (r == ERROR_NO_MORE_ITEMS) break;
      EXPECT_EQ(r, ERROR_SUCCESS);
      if (r != ERROR_SUCCESS) break;
      names.emplace_back(name, size);
    }
    return names;
  }

  test::TempHome home_;
  std::vector<HKEY> open_;
};

TEST_F(RegistryTest, ValuesKeepTheirTypeAndExactBytes) {
  struct Case {
    const char* name;
    DWORD type;
    Bytes data;
  };
  const std::vector<Case> cases = {
      {"Text", REG_SZ, B("Clipboard")},                       // written without NUL
      {"TextNul", REG_SZ, B(std::string("Page\0", 5))},       // written with NUL
      {"Expand", REG_EXPAND_SZ, B("%HOME%/x")},
      {"Binary", REG_BINARY, Bytes{0, 1, 0, 255, 0}},         // embedded zero bytes
      {"Dword", REG_DWORD, Bytes{0xFF, 0xFF, 0xFF, 0xFF}},
      {"ShortDword", REG_DWORD, Bytes{0x45, 0x23}},           // two bytes stay two bytes
      {"Empty", REG_SZ, Bytes{}},
      {"", REG_SZ, B("unnamed")},
      {"Other", 0x4242, Bytes{9}},                            // any type number is kept
  };
  HKEY k = Create(HKEY_CURRENT_USER, "Software\\Morrowby\\Quillmere");
  for (const auto& c : cases)
    ASSERT_EQ(RegSetValueExA(k, c.name, c.type, c.data.data(), static_cast<DWORD>(c.data.size())), ERROR_SUCCESS);
  // Read back through a fresh handle of another thread (its own connection).
  std::thread([&] {
    HKEY r = 0;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Morrowby\\Quillmere", 0, KEY_READ, &r), ERROR_SUCCESS);
    for (const auto& c : cases) {
      DWORD type = 0;
      EXPECT_EQ(Query(r, c.name, &type), c.data) << c.name;
      EXPECT_EQ(type, c.type) << c.name;
    }
    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueExA(r, nullptr, &type, nullptr, &size), ERROR_SUCCESS);  // null names the unnamed value
    EXPECT_EQ(size, 7u);
    EXPECT_EQ(RegQueryValueExA(r, "Missing", &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    RegCloseKey(r);
  }).join();
}

TEST_F(RegistryTest, BufferSizesFollowTheRegistryRules) {
  HKEY k = Create(HKEY_CURRENT_USER, "Sizes");
  ASSERT_EQ(RegSetValueExA(k, "Name", REG_SZ, reinterpret_cast<const BYTE*>("abcdef"), 6), ERROR_SUCCESS);

  DWORD type = 0, size = 0;
  ASSERT_EQ(RegQueryValueExA(k, "Name", &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 6u);

  char small[4] = {'x', 'x', 'x', 'x'};
  size = sizeof small;
  EXPECT_EQ(RegQueryValueExA(k, "Name", &type, reinterpret_cast<BYTE*>(small), &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(type, REG_SZ);

  char exact[6];
  size = sizeof exact;
  EXPECT_EQ(RegQueryValueExA(k, "Name", &type, reinterpret_cast<BYTE*>(exact), &size), ERROR_SUCCESS);
  EXPECT_EQ(std::string(exact, 6), "abcdef");

  // With room to spare, a text stored without NUL comes back terminated;
  // the size stays that of the stored bytes.
  char roomy[16];
  std::memset(roomy, 'x', sizeof roomy);
  size = sizeof roomy;
  EXPECT_EQ(RegQueryValueExA(k, "Name", &type, reinterpret_cast<BYTE*>(roomy), &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 6u);
  EXPECT_STREQ(roomy, "abcdef");

  EXPECT_EQ(RegQueryValueExA(k, "Name", &type, reinterpret_cast<BYTE*>(roomy), nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueExA(k, "Bad", REG_BINARY, nullptr, 3), ERROR_INVALID_PARAMETER);

  // RegQueryValueA: the unnamed value of a subkey, always terminated.
  HKEY sub = Create(k, "Child");
  ASSERT_EQ(RegSetValueExA(sub, nullptr, REG_SZ, reinterpret_cast<const BYTE*>("preset"), 6), ERROR_SUCCESS);
  char text[260];
  LONG tsize = sizeof text;
  EXPECT_EQ(RegQueryValueA(k, "Child", text, &tsize), ERROR_SUCCESS);
  EXPECT_STREQ(text, "preset");
  EXPECT_EQ(tsize, 7);
  tsize = 3;
  EXPECT_EQ(RegQueryValueA(k, "Child", text, &tsize), ERROR_MORE_DATA);
  EXPECT_EQ(tsize, 7);
  Create(k, "NoDefault");
  tsize = sizeof text;
  EXPECT_EQ(RegQueryValueA(k, "NoDefault", text, &tsize), ERROR_SUCCESS);
  EXPECT_STREQ(text, "");
  tsize = sizeof text;
  EXPECT_EQ(RegQueryValueA(k, "Absent", text, &tsize), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, EnumerationOrderAndIndices) {
  HKEY k = Create(HKEY_CURRENT_USER, "Enum");
  // Values: creation order; overwriting keeps the place, deleting closes the gap.
  for (const char* n : {"Zeta", "alpha", "Mid", "beta"}) {
    DWORD v = 1;
    ASSERT_EQ(RegSetValueExA(k, n, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4), ERROR_SUCCESS);
  }
  DWORD two = 2;
  ASSERT_EQ(RegSetValueExA(k, "zeta", REG_DWORD, reinterpret_cast<BYTE*>(&two), 4), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteValueA(k, "Mid"), ERROR_SUCCESS);
  EXPECT_EQ(ValueNames(k), (std::vector<std::string>{"Zeta", "alpha", "beta"}));
  EXPECT_EQ(Query(k, "ZETA"), (Bytes{2, 0, 0, 0}));

  // Subkeys: name order, case-insensitive.
  for (const char* n : {"b", "C", "a", "B2", "10", "2"}) Create(k, n);
  EXPECT_EQ(SubkeyNames(k), (std::vector<std::string>{"10", "2", "a", "b", "B2", "C"}));

  // Enumeration past the end and with short buffers.
  char name[8];
  DWORD size = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(k, 6, name, &size), ERROR_NO_MORE_ITEMS);
  size = 2;  // "10" needs 3 with its NUL
  EXPECT_EQ(RegEnumKeyExA(k, 0, name, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 2u);
  size = 3;
  EXPECT_EQ(RegEnumKeyExA(k, 0, name, &size), ERROR_SUCCESS);
  EXPECT_STREQ(name, "10");

  DWORD type = 0;
  BYTE data[2];
  DWORD dataSize = sizeof data;
  size = sizeof name;
  EXPECT_EQ(RegEnumValueA(k, 1, name, &size, &type, data, &dataSize), ERROR_MORE_DATA);
  EXPECT_EQ(dataSize, 4u);
  EXPECT_STREQ(name, "alpha");
  BYTE full[4];
  dataSize = sizeof full;
  size = sizeof name;
  EXPECT_EQ(RegEnumValueA(k, 0, name, &size, &type, full, &dataSize), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(full[0], 2);
  size = sizeof name;
  EXPECT_EQ(RegEnumValueA(k, 3, name, &size, &type, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
}

TEST_F(RegistryTest, NamesAreCaseInsensitiveAndCasePreserving) {
  DWORD disposition = 0;
  HKEY k = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\MixedCase", KEY_ALL_ACCESS, &k, &disposition),
            ERROR_SUCCESS);
  open_.push_back(k);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  HKEY again = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\mixedcase\\", KEY_ALL_ACCESS, &again, &disposition),
            ERROR_SUCCESS);
  open_.push_back(again);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);

  ASSERT_EQ(RegSetValueExA(k, "OmitScrollbars", REG_SZ, reinterpret_cast<const BYTE*>("1"), 1), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(again, "OMITSCROLLBARS", REG_SZ, reinterpret_cast<const BYTE*>("2"), 1), ERROR_SUCCESS);
  EXPECT_EQ(ValueNames(k), std::vector<std::string>{"OmitScrollbars"});
  EXPECT_EQ(Query(k, "omitscrollbars"), B("2"));

  HKEY sw = Open(HKEY_CURRENT_USER, "software", KEY_READ);
  EXPECT_EQ(SubkeyNames(sw), std::vector<std::string>{"MixedCase"});

  // Beyond ASCII: "Äpfel" and "äPFEL" name one key.
  Create(k, "\xC3\x84pfel");
  HKEY lower = 0;
  EXPECT_EQ(RegOpenKeyExA(k, "\xC3\xA4PFEL", 0, KEY_READ, &lower), ERROR_SUCCESS);
  open_.push_back(lower);
  EXPECT_EQ(SubkeyNames(k), std::vector<std::string>{"\xC3\x84pfel"});
}

TEST_F(RegistryTest, ShiftJisNamesAreNotSplitAtTheirTrailByte) {
  // Under CP932 "表" is 0x95 0x5C: its second byte is a backslash.
  SetProcessCodePage(CP_932);
  HKEY k = Create(HKEY_CURRENT_USER, "Jp\\\x95\x5C");
  ASSERT_EQ(RegSetValueExA(k, "\x95\x5C", REG_SZ, reinterpret_cast<const BYTE*>("v"), 1), ERROR_SUCCESS);
  HKEY jp = Open(HKEY_CURRENT_USER, "Jp", KEY_READ);
  EXPECT_EQ(SubkeyNames(jp), std::vector<std::string>{"\x95\x5C"});
  EXPECT_EQ(ValueNames(k), std::vector<std::string>{"\x95\x5C"});
  SetProcessCodePage(CP_UTF8);
  // The same key, seen by a UTF-8 process.
  EXPECT_EQ(SubkeyNames(jp), std::vector<std::string>{"\xE8\xA1\xA8"});
  HKEY utf = 0;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Jp\\\xE8\xA1\xA8", 0, KEY_READ, &utf), ERROR_SUCCESS);
  open_.push_back(utf);
}

TEST_F(RegistryTest, AccessRightsAreCheckedPerCall) {
  HKEY full = Create(HKEY_CURRENT_USER, "Rights\\Sub");
  DWORD one = 1;
  ASSERT_EQ(RegSetValueExA(full, "V", REG_DWORD, reinterpret_cast<BYTE*>(&one), 4), ERROR_SUCCESS);
  Create(full, "Child");

  struct Case {
    DWORD access;
    LONG query, set, enumKeys, createNew, del;
  };
  const Case cases[] = {
      {KEY_READ, ERROR_SUCCESS, ERROR_ACCESS_DENIED, ERROR_SUCCESS, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
      {KEY_SET_VALUE, ERROR_ACCESS_DENIED, ERROR_SUCCESS, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, ERROR_SUCCESS},
      {KEY_CREATE_SUB_KEY, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, ERROR_SUCCESS,
       ERROR_ACCESS_DENIED},
      {KEY_READ | KEY_WRITE, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_SUCCESS},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.access);
    HKEY k = Open(HKEY_CURRENT_USER, "Rights\\Sub", c.access);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(k, "V", nullptr, nullptr, &size), c.query);
    EXPECT_EQ(RegSetValueExA(k, "V", REG_DWORD, reinterpret_cast<BYTE*>(&one), 4), c.set);
    char name[32];
    DWORD nameSize = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(k, 0, name, &nameSize), c.enumKeys);
    nameSize = sizeof name;
    EXPECT_EQ(RegEnumValueA(k, 0, name, &nameSize, nullptr, nullptr, nullptr), c.query);
    std::string fresh = "New" + std::to_string(n++);
    HKEY child = 0;
    EXPECT_EQ(RegCreateKeyExA(k, fresh.c_str(), KEY_READ, &child, nullptr), c.createNew);
    if (child) RegCloseKey(child);
    // Opening an existing subkey through create needs no create right.
    child = 0;
    EXPECT_EQ(RegCreateKeyExA(k, "Child", KEY_READ, &child, nullptr), ERROR_SUCCESS);
    RegCloseKey(child);
    if (c.del == ERROR_SUCCESS) {
      EXPECT_EQ(RegSetValueExA(full, "Tmp", REG_DWORD, reinterpret_cast<BYTE*>(&one), 4), ERROR_SUCCESS);
    }
    EXPECT_EQ(RegDeleteValueA(k, "Tmp"), c.del);
  }
}

TEST_F(RegistryTest, DeletingKeysAndTrees) {
  HKEY top = Create(HKEY_CURRENT_USER, "Tree");
  HKEY deep = Create(top, "A\\B\\C");
  HKEY mid = Create(top, "A\\B");
  DWORD one = 1;
  ASSERT_EQ(RegSetValueExA(deep, "V", REG_DWORD, reinterpret_cast<BYTE*>(&one), 4), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(mid, "W", REG_DWORD, reinterpret_cast<BYTE*>(&one), 4), ERROR_SUCCESS);
  Create(top, "Keep");

  EXPECT_EQ(RegDeleteKeyA(top, "A"), ERROR_ACCESS_DENIED);  // it has subkeys
  EXPECT_EQ(RegDeleteKeyA(top, "A\\B\\C"), ERROR_SUCCESS);  // a leaf goes
  EXPECT_EQ(RegQueryValueExA(deep, "V", nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
  EXPECT_EQ(RegSetValueExA(deep, "V", REG_DWORD, reinterpret_cast<BYTE*>(&one), 4), ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(deep), ERROR_SUCCESS);  // a deleted key's handle still closes

  Create(top, "A\\B\\D\\E");
  EXPECT_EQ(SHDeleteKeyA(top, "a"), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(mid, "W", REG_DWORD, reinterpret_cast<BYTE*>(&one), 4), ERROR_KEY_DELETED);
  HKEY gone = 0;
  EXPECT_EQ(RegOpenKeyExA(top, "A\\B\\D\\E", 0, KEY_READ, &gone), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(gone, 0u);
  EXPECT_EQ(SubkeyNames(top), std::vector<std::string>{"Keep"});
  EXPECT_EQ(SHDeleteKeyA(top, "A"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueA(top, "Nothing"), ERROR_FILE_NOT_FOUND);

  // Roots stay, whatever is asked.
  EXPECT_EQ(SHDeleteKeyA(HKEY_CURRENT_USER, ""), ERROR_ACCESS_DENIED);
  // Nothing is left behind in the database: a re-created key starts empty.
  HKEY fresh = Create(top, "A\\B");
  EXPECT_TRUE(ValueNames(fresh).empty());
  EXPECT_TRUE(SubkeyNames(fresh).empty());
}

TEST_F(RegistryTest, HandlesAndRoots) {
  EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(0x12345), ERROR_INVALID_HANDLE);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(0x12345, "x", nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
  HKEY k = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "H", KEY_ALL_ACCESS, &k, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(k), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(k), ERROR_INVALID_HANDLE);

  // Three separate trees: HKCU in the user's file, HKLM and HKCR in the
  // machine file.
  HKEY lm = Create(HKEY_LOCAL_MACHINE, "Software\\Shared");
  Create(HKEY_CLASSES_ROOT, ".ssb");
  HKEY none = 0;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Software\\Shared", 0, KEY_READ, &none), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, ".ssb", 0, KEY_READ, &none), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegUserDatabasePath(), home_.path() + "/registry/user.db");
  EXPECT_EQ(RegMachineDatabasePath(), home_.path() + "/registry/machine.db");
  EXPECT_TRUE(test::FileExists(RegUserDatabasePath()));
  EXPECT_TRUE(test::FileExists(RegMachineDatabasePath()));

  // A handle keeps its database when the home changes; roots follow the home.
  {
    test::TempHome other;
    DWORD one = 1;
    ASSERT_EQ(RegSetValueExA(lm, "Through", REG_DWORD, reinterpret_cast<BYTE*>(&one), 4), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Shared", 0, KEY_READ, &none), ERROR_FILE_NOT_FOUND);
  }
  HKEY back = Open(HKEY_LOCAL_MACHINE, "Software\\Shared", KEY_READ);
  EXPECT_EQ(Query(back, "Through"), (Bytes{1, 0, 0, 0}));
}

TEST_F(RegistryTest, TransactionRollsBackUnlessCommitted) {
  HKEY k = Create(HKEY_CURRENT_USER, "Software\\Morrowby\\Quillmere");
  ASSERT_EQ(RegSetValueExA(k, "Destination", REG_SZ, reinterpret_cast<const BYTE*>("File"), 4), ERROR_SUCCESS);
  Create(k, "ImageCrop");
  RegCloseKey(k);
  open_.clear();

  {
    RegistryTransaction tx(HKEY_CURRENT_USER);
    ASSERT_EQ(tx.Status(), ERROR_SUCCESS);
    ASSERT_EQ(SHDeleteKeyA(HKEY_CURRENT_USER, "Software\\Morrowby\\Quillmere"), ERROR_SUCCESS);
    HKEY n = Create(HKEY_CURRENT_USER, "Software\\Morrowby\\Quillmere\\Other");
    ASSERT_EQ(RegSetValueExA(n, "X", REG_SZ, reinterpret_cast<const BYTE*>("y"), 1), ERROR_SUCCESS);
    // Another thread still sees the committed tree meanwhile.
    std::thread([&] {
      HKEY r = 0;
      ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Morrowby\\Quillmere", 0, KEY_READ, &r), ERROR_SUCCESS);
      EXPECT_EQ(SubkeyNames(r), std::vector<std::string>{"ImageCrop"});
      RegCloseKey(r);
    }).join();
  }  // no Commit: everything goes back
  HKEY q = Open(HKEY_CURRENT_USER, "Software\\Morrowby\\Quillmere", KEY_READ);
  EXPECT_EQ(Query(q, "Destination"), B("File"));
  EXPECT_EQ(SubkeyNames(q), std::vector<std::string>{"ImageCrop"});

  {
    RegistryTransaction tx(HKEY_CURRENT_USER);
    ASSERT_EQ(tx.Status(), ERROR_SUCCESS);
    ASSERT_EQ(SHDeleteKeyA(HKEY_CURRENT_USER, "Software\\Morrowby\\Quillmere"), ERROR_SUCCESS);
    Create(HKEY_CURRENT_USER, "Software\\Morrowby\\Quillmere\\Restored");
    {
      // An inner transaction that is abandoned takes only its own changes.
      RegistryTransaction inner(HKEY_CURRENT_USER);
      ASSERT_EQ(inner.Status(), ERROR_SUCCESS);
      Create(HKEY_CURRENT_USER, "Software\\Morrowby\\Quillmere\\Dropped");
    }
    EXPECT_EQ(tx.Commit(), ERROR_SUCCESS);
  }
  HKEY after = Open(HKEY_CURRENT_USER, "Software\\Morrowby\\Quillmere", KEY_READ);
  EXPECT_EQ(SubkeyNames(after), std::vector<std::string>{"Restored"});
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(after, "Destination", nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);

  // The machine roots have their own transactions; a bad handle has none.
  RegistryTransaction machine(HKEY_LOCAL_MACHINE);
  EXPECT_EQ(machine.Status(), ERROR_SUCCESS);
  EXPECT_EQ(machine.Commit(), ERROR_SUCCESS);
  RegistryTransaction bad(0x777);
  EXPECT_EQ(bad.Status(), ERROR_INVALID_HANDLE);
}

// Two real processes write at the same time, each in many small calls and
// in multi-row transactions; nothing is lost and nobody fails.
TEST_F(RegistryTest, TwoProcessesWriteAtOnce) {
  Create(HKEY_CURRENT_USER, "Shared");  // database exists before the fork
  constexpr int kWrites = 150;
  std::vector<pid_t> children;
  for (int p = 0; p < 2; ++p) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int failures = 0;
      for (int i = 0; i < kWrites; ++i) {
        std::string key = "Shared\\P" + std::to_string(p) + "\\K" + std::to_string(i);
        HKEY k = 0;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), KEY_ALL_ACCESS, &k, nullptr) != ERROR_SUCCESS) {
          ++failures;
          continue;
        }
        DWORD v = static_cast<DWORD>(i);
        std::string name = "P" + std::to_string(p) + "_" + std::to_string(i);
        HKEY shared = 0;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, "Shared", 0, KEY_ALL_ACCESS, &shared) != ERROR_SUCCESS ||
            RegSetValueExA(shared, name.c_str(), REG_DWORD, reinterpret_cast<BYTE*>(&v), 4) != ERROR_SUCCESS)
          ++failures;
        if (i % 10 == 0) {
          RegistryTransaction tx(HKEY_CURRENT_USER);
          if (tx.Status() != ERROR_SUCCESS ||
              RegSetValueExA(k, "A", REG_DWORD, reinterpret_cast<BYTE*>(&v), 4) != ERROR_SUCCESS ||
              RegSetValueExA(k, "B", REG_DWORD, reinterpret_cast<BYTE*>(&v), 4) != ERROR_SUCCESS ||
              tx.Commit() != ERROR_SUCCESS)
            ++failures;
        }
        RegCloseKey(shared);
        RegCloseKey(k);
      }
      _exit(failures == 0 ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  HKEY shared = Open(HKEY_CURRENT_USER, "Shared", KEY_READ);
  EXPECT_EQ(ValueNames(shared).size(), 2u * kWrites);
  EXPECT_EQ(SubkeyNames(shared), (std::vector<std::string>{"P0", "P1"}));
  for (int p = 0; p < 2; ++p) {
    HKEY pk = Open(shared, ("P" + std::to_string(p)).c_str(), KEY_READ);
    EXPECT_EQ(SubkeyNames(pk).size(), static_cast<std::size_t>(kWrites));
    HKEY k20 = Open(pk, "K20", KEY_READ);
    EXPECT_EQ(Query(k20, "B"), (Bytes{20, 0, 0, 0}));
  }
}

// A writer in another process waits for an open transaction instead of
// failing, and sees its result afterwards.
TEST_F(RegistryTest, OtherProcessesWaitForAnOpenTransaction) {
  Create(HKEY_CURRENT_USER, "Wait");
  int go[2];
  ASSERT_EQ(pipe(go), 0);
  // The child is started before the transaction: a process must not be
  // forked in the middle of one.
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    char x;
    if (read(go[0], &x, 1) != 1) _exit(1);
    HKEY c = 0;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Wait", 0, KEY_ALL_ACCESS, &c) != ERROR_SUCCESS) _exit(2);
    // Blocks until the parent commits, then overwrites its value.
    if (RegSetValueExA(c, "Order", REG_SZ, reinterpret_cast<const BYTE*>("child"), 5) != ERROR_SUCCESS) _exit(3);
    _exit(0);
  }
  {
    RegistryTransaction tx(HKEY_CURRENT_USER);
    ASSERT_EQ(tx.Status(), ERROR_SUCCESS);
    HKEY k = Open(HKEY_CURRENT_USER, "Wait", KEY_ALL_ACCESS);
    ASSERT_EQ(RegSetValueExA(k, "Order", REG_SZ, reinterpret_cast<const BYTE*>("parent"), 6), ERROR_SUCCESS);
    ASSERT_EQ(write(go[1], "x", 1), 1);
    usleep(400 * 1000);  // the child is now waiting for the write lock
    ASSERT_EQ(tx.Commit(), ERROR_SUCCESS);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  close(go[0]);
  close(go[1]);
  HKEY k = Open(HKEY_CURRENT_USER, "Wait", KEY_READ);
  EXPECT_EQ(Query(k, "Order"), B("child"));
}

TEST_F(RegistryTest, DeepTreesAreDeletedWhole) {
  std::string path = "Deep";
  for (int i = 0; i < 300; ++i) path += "\\L" + std::to_string(i);
  HKEY leaf = Create(HKEY_CURRENT_USER, path.c_str());
  DWORD one = 1;
  ASSERT_EQ(RegSetValueExA(leaf, "V", REG_DWORD, reinterpret_cast<BYTE*>(&one), 4), ERROR_SUCCESS);
  EXPECT_EQ(SHDeleteKeyA(HKEY_CURRENT_USER, "Deep"), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExA(leaf, "V", nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
  HKEY none = 0;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Deep", 0, KEY_READ, &none), ERROR_FILE_NOT_FOUND);
}

class DamagedRegistryTest : public RegistryTest {};

TEST_F(DamagedRegistryTest, GarbageFileIsReportedAndLeftAlone) {
  std::filesystem::create_directories(home_.path() + "/registry");
  const std::string path = home_.path() + "/registry/user.db";
  std::string garbage(8192, '\0');
  for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>((i * 7919) % 251);
  test::WriteFile(path, garbage);

  HKEY k = 0;
  EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software", KEY_ALL_ACCESS, &k, nullptr), ERROR_BADDB);
  EXPECT_EQ(k, 0u);
  EXPECT_NE(RegLastErrorText().find(path), std::string::npos) << RegLastErrorText();
  EXPECT_EQ(RegSetValueExA(HKEY_CURRENT_USER, "X", REG_SZ, reinterpret_cast<const BYTE*>("x"), 1), ERROR_BADDB);
  EXPECT_EQ(test::ReadFile(path), garbage);  // never silently reset

  // The machine database is a different file and still works.
  HKEY lm = Create(HKEY_LOCAL_MACHINE, "Software");
  EXPECT_NE(lm, 0u);
}

TEST_F(DamagedRegistryTest, ForeignDatabaseAndFolderInPlaceOfFile) {
  std::filesystem::create_directories(home_.path() + "/registry");
  // A SQLite database of something else is refused, not converted.
  const std::string user = home_.path() + "/registry/user.db";
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(user.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE notes(x); INSERT INTO notes VALUES(42)", nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  HKEY k = 0;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "", 0, KEY_READ, &k), ERROR_BADDB);
  EXPECT_NE(RegLastErrorText().find(user), std::string::npos) << RegLastErrorText();
  ASSERT_EQ(sqlite3_open(user.c_str(), &db), SQLITE_OK);
  sqlite3_stmt* st = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT x FROM notes", -1, &st, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(st, 0), 42);
  sqlite3_finalize(st);
  sqlite3_close(db);

  // A folder where the machine file should be.
  const std::string machine = home_.path() + "/registry/machine.db";
  std::filesystem::create_directories(machine);
  LONG e = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "", 0, KEY_READ, &k);
  EXPECT_TRUE(e == ERROR_CANTOPEN || e == ERROR_BADDB) << e;
  EXPECT_NE(RegLastErrorText().find(machine), std::string::npos) << RegLastErrorText();
  EXPECT_TRUE(std::filesystem::is_directory(machine));

  // A file where the registry folder should be.
  test::TempHome third;
  test::WriteFile(third.path() + "/registry", "not a folder");
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "", 0, KEY_READ, &k), ERROR_CANTOPEN);
  EXPECT_NE(RegLastErrorText().find(third.path() + "/registry/user.db"), std::string::npos) << RegLastErrorText();
  EXPECT_EQ(test::ReadFile(third.path() + "/registry"), "not a folder");
}

TEST_F(DamagedRegistryTest, UnreadableFileGivesAnError) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  Create(HKEY_CURRENT_USER, "Software");
  for (HKEY k : open_) RegCloseKey(k);
  open_.clear();
  test::TempHome second;
  std::filesystem::create_directories(second.path() + "/registry");
  const std::string path = second.path() + "/registry/user.db";
  test::WriteFile(path, "");
  chmod(path.c_str(), 0);
  HKEY k = 0;
  LONG e = RegOpenKeyExA(HKEY_CURRENT_USER, "", 0, KEY_READ, &k);
  EXPECT_NE(e, ERROR_SUCCESS);
  EXPECT_NE(RegLastErrorText().find(path), std::string::npos) << RegLastErrorText();
  chmod(path.c_str(), 0600);
}

}  // namespace
}  // namespace ss
