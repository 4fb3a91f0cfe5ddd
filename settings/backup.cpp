#include "settings/backup.h"

#include <pugixml.hpp>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/codepage/codepage.h"
#include "platform/registry/registry.h"
#include "platform/ui/ui.h"
#include "resources/strings.h"
#include "settings/base64.h"

namespace ss {
namespace {

constexpr char kParentPath[] = "Software\\Morrowby";
constexpr DWORD kNameBuffer = 256;
constexpr HRESULT kMalformedBackup = MakeHResult(0x8007000D);  // ERROR_INVALID_DATA

// Owns an open key.
class Key {
 public:
  Key() = default;
  ~Key() {
    if (h_) RegCloseKey(h_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY* out() { return &h_; }
  HKEY get() const { return h_; }

 private:
  HKEY h_ = 0;
};

HRESULT KeyToXml(HKEY parent, const char* name, pugi::xml_node parentNode) {
  Key key;
  if (LONG err = RegOpenKeyExA(parent, name, 0, KEY_READ, key.out())) return HResultFromWin32(err);
  pugi::xml_node keyNode = parentNode.append_child("key");
  keyNode.append_attribute("name") = AnsiToUtf8(name).c_str();
  pugi::xml_node values = keyNode.append_child("values");
  std::vector<BYTE> data(1024);
  for (DWORD i = 0;; ++i) {
    char valueName[kNameBuffer];
    DWORD nameSize = kNameBuffer, type = 0, dataSize = static_cast<DWORD>(data.size());
    LONG err = RegEnumValueA(key.get(), i, valueName, &nameSize, &type, data.data(), &dataSize);
    if (err == ERROR_MORE_DATA && dataSize > data.size()) {
      data.resize(dataSize);
      --i;
      continue;
    }
    if (err == ERROR_NO_MORE_ITEMS) break;
    if (err != ERROR_SUCCESS) return HResultFromWin32(err);
    const char* typeName = nullptr;
    std::string text;
    if (type == REG_SZ) {
      typeName = "sz";
      std::string s(reinterpret_cast<const char*>(data.data()), dataSize);
      std::size_t nul = s.find('\0');
      if (nul != std::string::npos) s.resize(nul);
      text = AnsiToUtf8(s);
    } else if (type == REG_DWORD) {
      typeName = "dword";
      std::uint32_t v = 0;
      for (DWORD b = 0; b < 4 && b < dataSize; ++b) v |= static_cast<std::uint32_t>(data[b]) << (8 * b);
      text = std::to_string(v);
    } else if (type == REG_BINARY) {
      typeName = "binary";
      text = Base64Encode(data.data(), dataSize);
    } else {
      continue;  // other types are not part of a backup
    }
    pugi::xml_node v = values.append_child("value");
    v.append_attribute("type") = typeName;
    v.append_attribute("name") = AnsiToUtf8(std::string(valueName, nameSize)).c_str();
    v.text().set(text.c_str());
  }
  pugi::xml_node subkeys = keyNode.append_child("subkeys");
  for (DWORD i = 0;; ++i) {
    char subName[kNameBuffer];
    DWORD nameSize = kNameBuffer;
    LONG err = RegEnumKeyExA(key.get(), i, subName, &nameSize);
    if (err == ERROR_NO_MORE_ITEMS) break;
    if (err != ERROR_SUCCESS) return HResultFromWin32(err);
    if (HRESULT hr = KeyToXml(key.get(), subName, subkeys); Failed(hr)) return hr;
  }
  return S_OK;
}

// A decimal integer with an optional minus sign, modulo 2^32.
std::uint32_t ParseDword(const char* text) {
  while (*text == ' ' || *text == '\t' || *text == '\r' || *text == '\n') ++text;
  bool negative = false;
  if (*text == '-') {
    negative = true;
    ++text;
  } else if (*text == '+') {
    ++text;
  }
  std::uint32_t v = 0;
  for (; *text >= '0' && *text <= '9'; ++text) v = v * 10u + static_cast<std::uint32_t>(*text - '0');
  return negative ? 0u - v : v;
}

HRESULT XmlToKey(HKEY parent, pugi::xml_node keyNode) {
  pugi::xml_attribute nameAttr = keyNode.attribute("name");
  if (!nameAttr) return kMalformedBackup;
  std::string name = Utf8ToAnsi(nameAttr.value());
  if (name.empty() || name.find('\\') != std::string::npos) return kMalformedBackup;
  Key key;
  if (LONG err = RegCreateKeyExA(parent, name.c_str(), KEY_WRITE | KEY_READ, key.out(), nullptr))
    return HResultFromWin32(err);
  for (pugi::xml_node v : keyNode.child("values").children("value")) {
    std::string valueName = Utf8ToAnsi(v.attribute("name").value());
    std::string type = v.attribute("type").value();
    const char* text = v.text().get();
    LONG err = ERROR_SUCCESS;
    if (type == "binary") {
      std::vector<std::uint8_t> bytes = Base64Decode(text);
      err = RegSetValueExA(key.get(), valueName.c_str(), REG_BINARY, bytes.data(), static_cast<DWORD>(bytes.size()));
    } else if (type == "dword") {
      std::uint32_t d = ParseDword(text);
      BYTE b[4] = {BYTE(d), BYTE(d >> 8), BYTE(d >> 16), BYTE(d >> 24)};
      err = RegSetValueExA(key.get(), valueName.c_str(), REG_DWORD, b, 4);
    } else if (type == "sz") {
      std::string s = Utf8ToAnsi(text);
      err = RegSetValueExA(key.get(), valueName.c_str(), REG_SZ, reinterpret_cast<const BYTE*>(s.data()),
                           static_cast<DWORD>(s.size()));
    }
    if (err != ERROR_SUCCESS) return HResultFromWin32(err);
  }
  for (pugi::xml_node sub : keyNode.child("subkeys").children("key"))
    if (HRESULT hr = XmlToKey(key.get(), sub); Failed(hr)) return hr;
  return S_OK;
}

}  // namespace

HRESULT BackupSettings(const std::string& path) {
  Key parent;
  if (LONG err = RegOpenKeyExA(HKEY_CURRENT_USER, kParentPath, 0, KEY_READ, parent.out()))
    return HResultFromWin32(err);
  pugi::xml_document doc;
  pugi::xml_node decl = doc.append_child(pugi::node_declaration);
  decl.append_attribute("version") = "1.0";
  decl.append_attribute("encoding") = "UTF-8";
  if (HRESULT hr = KeyToXml(parent.get(), kSettingsRootKeyName, doc); Failed(hr)) return hr;
  // Written beside the target and renamed over it, so that a failure leaves
  // no half-written file and an older backup of the same name intact.
  std::string temp = path + ".part";
  if (!doc.save_file(temp.c_str(), "  ", pugi::format_default, pugi::encoding_utf8)) {
    std::remove(temp.c_str());
    return HResultFromWin32(ERROR_CANTWRITE);
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    std::remove(temp.c_str());
    return HResultFromWin32(ERROR_CANTWRITE);
  }
  return S_OK;
}

HRESULT RestoreSettings(const std::string& path) {
  pugi::xml_document doc;
  pugi::xml_parse_result parsed = doc.load_file(path.c_str());
  if (!parsed) return parsed.status == pugi::status_file_not_found ? HResultFromWin32(ERROR_FILE_NOT_FOUND)
                                                                   : kMalformedBackup;
  pugi::xml_node root = doc.document_element();
  // Only the settings root key may be replaced.
  if (!root || std::strcmp(root.name(), "key") != 0 ||
      std::strcmp(root.attribute("name").value(), kSettingsRootKeyName) != 0)
    return kMalformedBackup;

  RegistryTransaction tx(HKEY_CURRENT_USER);
  if (tx.Status() != ERROR_SUCCESS) return HResultFromWin32(tx.Status());
  Key parent;
  if (LONG err = RegCreateKeyExA(HKEY_CURRENT_USER, kParentPath, KEY_ALL_ACCESS, parent.out(), nullptr))
    return HResultFromWin32(err);
  LONG err = SHDeleteKeyA(parent.get(), kSettingsRootKeyName);
  if (err != ERROR_SUCCESS && err != ERROR_FILE_NOT_FOUND) return HResultFromWin32(err);
  if (HRESULT hr = XmlToKey(parent.get(), root); Failed(hr)) return hr;  // rolled back
  return HResultFromWin32(tx.Commit());
}

HRESULT BackupSettingsCommand(const std::string& path) {
  HRESULT hr = BackupSettings(path);
  MessageBoxA(0, LoadModuleString(Succeeded(hr) ? kStrBackupCompleted : kStrBackupFailed).c_str(),
              LoadModuleString(kStrBackupSettingCaption).c_str(), MB_OK);
  return hr;
}

HRESULT RestoreSettingsCommand(const std::string& path) {
  std::string caption = LoadModuleString(kStrRestoreSettingCaption);
  if (MessageBoxA(0, LoadModuleString(kStrRestoreQuestion).c_str(), caption.c_str(), MB_YESNO) != IDYES)
    return S_FALSE;
  HRESULT hr = RestoreSettings(path);
  MessageBoxA(0, LoadModuleString(Succeeded(hr) ? kStrRestoreCompleted : kStrRestoreFailed).c_str(),
              caption.c_str(), MB_OK);
  return hr;
}

}  // namespace ss
