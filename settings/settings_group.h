// A registry-backed group of settings values and the primitives every group
// reads and writes with.
#pragma once

#include <cstdint>
#include <string>

#include "platform/base/result.h"
#include "platform/registry/registry.h"

namespace ss {

// HKEY_CURRENT_USER\Software\Morrowby\Quillmere, the root of every setting.
inline constexpr char kSettingsRootPath[] = "Software\\Morrowby\\Quillmere";

class SettingsGroup {
 public:
  // `keyName` is the group's subkey below the root (and scope), "" for values
  // that stand in the root key itself.
  explicit SettingsGroup(std::string keyName);
  virtual ~SettingsGroup();
  SettingsGroup(const SettingsGroup&) = delete;
  SettingsGroup& operator=(const SettingsGroup&) = delete;

  virtual void Reserved() {}
  // Called whenever the scope path is set, before any value is read or written.
  virtual void OnScopeSet() {}
  virtual void Refresh() {}
  virtual HRESULT Load(const std::string& scopePath) = 0;
  virtual HRESULT Save(const std::string& scopePath) = 0;

  // Root path, then "\scope" when the scope is not empty, then "\key" when the
  // key name is not empty.
  std::string FullKeyPath() const;
  const std::string& keyName() const { return keyName_; }
  const std::string& scopePath() const { return scopePath_; }

  // Opens (or creates) the full key with read, set-value and create-subkey
  // access; on failure shows the registry error box once for this scope and
  // returns 0.
  HKEY OpenGroupKey();
  void CloseGroupKey();
  void SetScope(const std::string& scopePath);

  // The stored value, or `def` when any step fails, a text is zero bytes long
  // or a number's data is not 4 bytes long. Texts are accepted with or without
  // a terminating NUL.
  std::string ReadString(const char* subkey, const char* name, const std::string& def);
  std::int32_t ReadDword(const char* subkey, const char* name, std::int32_t def);
  // 0, 0x80004005 when the subkey cannot be created or the value not set,
  // 0x80070001 when the group key cannot be opened.
  HRESULT WriteString(const char* subkey, const char* name, const std::string& text);
  HRESULT WriteDword(const char* subkey, const char* name, std::int32_t value);

 protected:
  HKEY key() const { return key_; }

 private:
  // Opens `subkey` below the group key, for reading or for writing.
  LONG OpenSubkey(const char* subkey, bool write, HKEY* out);

  std::string keyName_;
  std::string scopePath_;
  HKEY key_ = 0;
  bool openFailed_ = false;  // the error box was shown for this scope
};

// The code returned by WriteString/WriteDword when the group key cannot be
// opened, and when creating the subkey or setting the value fails.
inline constexpr HRESULT kGroupKeyUnavailable = MakeHResult(0x80070001);

}  // namespace ss
