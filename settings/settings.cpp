#include "settings/settings.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <strings.h>

#include "output/password.h"
#include "platform/folders/folders.h"
#include "settings/shared_state.h"

namespace ss {
namespace {


// Key names and scopes of the groups, for the rows below.
#define SS_GROUP_BEGIN(G, key, scope) \
  constexpr const char* G##KeyName = key; \
  constexpr GroupScope G##Scope = GroupScope::scope;
#define SS_DWORD(G, N, D, F)
#define SS_TEXT(G, N, D, F)
#define SS_GROUP_END(G)
#include "settings/settings_table.inc"
#undef SS_GROUP_BEGIN
#undef SS_DWORD
#undef SS_TEXT

#define SS_GROUP_BEGIN(G, key, scope)
#define SS_DWORD(G, N, D, F)                                                     \
  {GroupId::G, #G, G##KeyName, G##Scope, #N, ValueKind::Dword, (D), "", (F),     \
   [](void* v) -> void* { return &static_cast<G##Values*>(v)->N; }},
#define SS_TEXT(G, N, D, F)                                                      \
  {GroupId::G, #G, G##KeyName, G##Scope, #N, ValueKind::Text, 0, (D), (F),       \
   [](void* v) -> void* { return &static_cast<G##Values*>(v)->N; }},
const SettingDescriptor kRows[] = {
#include "settings/settings_table.inc"
};
#undef SS_GROUP_BEGIN
#undef SS_DWORD
#undef SS_TEXT
#undef SS_GROUP_END

std::mutex& ModulePathMutex() {
  static std::mutex mu;
  return mu;
}
std::string& ModulePathOverride() {
  static std::string path;
  return path;
}

const char kNoticeSoundKey[] = "AppEvents\\Schemes\\Apps\\.Default\\.Default\\.Default";

std::string FolderOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// Reads every row of `id` into `values` through the group's primitives.
void ReadGroupRows(SettingsGroup& group, GroupId id, void* values) {
  bool saveAdjust = true;
  for (const SettingDescriptor& d : SettingsTable()) {
    if (d.group != id) continue;
    void* field = d.field(values);
    if ((d.flags & kOnlyIfSaveAdjust) && !saveAdjust) continue;
    if (d.kind == ValueKind::Dword) {
      auto& v = *static_cast<std::int32_t*>(field);
      v = group.ReadDword("", d.name, v);
      if (d.flags & kLow16) v &= 0xFFFF;
      if (std::strcmp(d.name, "SaveAdjust") == 0) saveAdjust = v != 0;
    } else {
      auto& t = *static_cast<std::string*>(field);
      if (d.flags & kProtected) {
        // Absent keeps the field; a damaged stored form loads as empty.
        std::string stored = group.ReadString("", d.name, "");
        if (!stored.empty()) t = UnprotectPassword(stored);
      } else {
        t = group.ReadString("", d.name, t);
      }
      if ((d.flags & kEmptyDefault) && t.empty()) t = EmptyTextDefault(d);
    }
  }
}

HRESULT WriteGroupRows(SettingsGroup& group, GroupId id, void* values) {
  HRESULT first = S_OK;
  bool saveAdjust = true;
  for (const SettingDescriptor& d : SettingsTable()) {
    if (d.group != id) continue;
    void* field = d.field(values);
    if ((d.flags & kOnlyIfSaveAdjust) && !saveAdjust) continue;
    HRESULT hr;
    if (d.kind == ValueKind::Dword) {
      std::int32_t v = *static_cast<std::int32_t*>(field);
      if (std::strcmp(d.name, "SaveAdjust") == 0) saveAdjust = v != 0;
      hr = group.WriteDword("", d.name, v);
    } else {
      const std::string& t = *static_cast<std::string*>(field);
      hr = group.WriteString("", d.name, (d.flags & kProtected) ? ProtectPassword(t) : t);
    }
    if (Failed(hr) && Succeeded(first)) first = hr;
  }
  return first;
}

}  // namespace

SettingsTableView SettingsTable() { return {kRows, sizeof kRows / sizeof kRows[0]}; }

std::string SettingKey(const SettingDescriptor& d) {
  return d.keyName[0] ? std::string(d.keyName) + "/" + d.name : std::string(d.name);
}

const SettingDescriptor* FindSetting(const std::string& key) {
  for (const SettingDescriptor& d : SettingsTable())
    if (SettingKey(d) == key) return &d;
  return nullptr;
}

std::string ModuleFilePath() {
  {
    std::lock_guard<std::mutex> lock(ModulePathMutex());
    if (!ModulePathOverride().empty()) return ModulePathOverride();
  }
  return ModuleFileNameOf(reinterpret_cast<const void*>(&ModuleFilePath));
}

void SetModuleFilePath(const std::string& path) {
  std::lock_guard<std::mutex> lock(ModulePathMutex());
  ModulePathOverride() = path;
}

std::string EmptyTextDefault(const SettingDescriptor& d) {
  std::string name = d.name;
  if (name == "SkinsFolderPath") {
    std::string folder = FolderOf(ModuleFilePath());
    return folder.empty() ? std::string() : folder + "/Skins";
  }
  if (name == "NoticeSound") {
    char buf[260] = {};
    LONG size = sizeof buf;
    if (RegQueryValueA(HKEY_CURRENT_USER, kNoticeSoundKey, buf, &size) != ERROR_SUCCESS) return "";
    buf[sizeof buf - 1] = '\0';
    return buf;
  }
  if (name == "LogFilePath") return GetPersonalFolder() + "/Scrollsnap.log";
  if (name == "BaseFolderPath") return GetPersonalFolder();
  if (name == "FixedFileName") return "Scrollsnap";
  return "";
}

// ---- table groups ----

template <typename Values>
void TableGroup<Values>::ReadRows() { ReadGroupRows(*this, id_, static_cast<Values*>(this)); }

template <typename Values>
HRESULT TableGroup<Values>::WriteRows() { return WriteGroupRows(*this, id_, static_cast<Values*>(this)); }

template <typename Values>
HRESULT TableGroup<Values>::Load(const std::string& scopePath) {
  SetScope(scopePath);
  ReadRows();
  CloseGroupKey();
  return S_OK;
}

template <typename Values>
HRESULT TableGroup<Values>::Save(const std::string& scopePath) {
  SetScope(scopePath);
  HRESULT hr = WriteRows();
  CloseGroupKey();
  return hr;
}

#define SS_GROUP_BEGIN(G, key, scope) template class TableGroup<G##Values>;
#define SS_DWORD(G, N, D, F)
#define SS_TEXT(G, N, D, F)
#define SS_GROUP_END(G)
#include "settings/settings_table.inc"
#undef SS_GROUP_BEGIN
#undef SS_DWORD
#undef SS_TEXT
#undef SS_GROUP_END

namespace {

// The number after "Rule" in a rule subkey's name (0 when there is none).
long RuleNumber(const std::string& name) {
  if (name.size() < 4 || strncasecmp(name.c_str(), "Rule", 4) != 0) return 0;
  return std::strtol(name.c_str() + 4, nullptr, 10);
}

std::vector<std::string> SubkeyNames(HKEY key) {
  std::vector<std::string> names;
  for (DWORD i = 0;; ++i) {
    char name[128];
    DWORD size = sizeof name;
    LONG err = RegEnumKeyExA(key, i, name, &size);
    if (err == ERROR_NO_MORE_ITEMS) break;
    if (err == ERROR_SUCCESS) names.emplace_back(name, size);
    else if (err != ERROR_MORE_DATA) break;  // names over 127 characters are passed over
  }
  return names;
}

}  // namespace

HRESULT UrlCorrectGroup::Load(const std::string& scopePath) {
  SetScope(scopePath);
  ReadRows();
  rules.clear();
  if (HKEY group = OpenGroupKey()) {
    std::vector<std::string> names = SubkeyNames(group);
    std::stable_sort(names.begin(), names.end(),
                     [](const std::string& a, const std::string& b) { return RuleNumber(a) < RuleNumber(b); });
    for (const std::string& n : names) {
      UrlCorrectionRule rule;
      rule.pattern = ReadString(n.c_str(), "Pattern", rule.pattern);
      rule.replacement = ReadString(n.c_str(), "Replace", rule.replacement);
      rule.isRegexp = ReadDword(n.c_str(), "Regexp", rule.isRegexp);
      rules.push_back(std::move(rule));
    }
  }
  CloseGroupKey();
  return S_OK;
}

HRESULT UrlCorrectGroup::Save(const std::string& scopePath) {
  SetScope(scopePath);
  HRESULT first = WriteRows();
  if (HKEY group = OpenGroupKey()) {
    for (const std::string& n : SubkeyNames(group)) SHDeleteKeyA(group, n.c_str());
    for (std::size_t i = 0; i < rules.size(); ++i) {
      std::string sub = "Rule" + std::to_string(i);
      for (HRESULT hr : {WriteString(sub.c_str(), "Pattern", rules[i].pattern),
                         WriteString(sub.c_str(), "Replace", rules[i].replacement),
                         WriteDword(sub.c_str(), "Regexp", rules[i].isRegexp)})
        if (Failed(hr) && Succeeded(first)) first = hr;
    }
  }
  CloseGroupKey();
  return first;
}

namespace {
void PublishShortcut(const ShortcutValues& v) {
  ShortcutSnapshot s;
  s.enabled = v.EnabledStartingShortcut != 0;
  s.shortcut = static_cast<std::uint16_t>(v.StartingShortcut & 0xFFFF);
  s.presetShortcut = v.EnabledPresetShortcut != 0;
  SetShortcutSnapshot(s);
}
}  // namespace

HRESULT ShortcutGroup::Load(const std::string& scopePath) {
  HRESULT hr = TableGroup::Load(scopePath);
  PublishShortcut(*this);
  return hr;
}

HRESULT ShortcutGroup::Save(const std::string& scopePath) {
  HRESULT hr = TableGroup::Save(scopePath);
  PublishShortcut(*this);
  return hr;
}

// ---- the record ----

Settings::Settings() : SettingsGroup("") {}

Settings::~Settings() = default;

std::vector<SettingsGroup*> Settings::ScopedGroups() {
  return {&ImageCrop, &ImageExpand, &ImageFileFormat, &ImageFilePath, &ImageResize,
          &URLCorrect, &CaptureLog, &ExtraProcess, &FTPBlog};
}

void Settings::OnScopeSet() {
  SharedLock lock;
  SharedState()->isolated = IsolatedSettingAmongWindows;
}

HRESULT Settings::Load(const std::string& scopePath) {
  SetScope(scopePath);
  ReadGroupRows(*this, GroupId::Root, static_cast<RootValues*>(this));
  for (SettingsGroup* g : ScopedGroups()) g->Load(scopePath);
  OmitDialog.Load("");
  Shortcut.Load("");
  CloseGroupKey();
  SharedLock lock;
  SettingsGeneration = SharedState()->SettingsGeneration;
  return S_OK;
}

HRESULT Settings::Save(const std::string& scopePath) {
  SetScope(scopePath);
  HRESULT first = WriteGroupRows(*this, GroupId::Root, static_cast<RootValues*>(this));
  auto keep = [&first](HRESULT hr) {
    if (Failed(hr) && Succeeded(first)) first = hr;
  };
  for (SettingsGroup* g : ScopedGroups()) keep(g->Save(scopePath));
  keep(OmitDialog.Save(""));
  keep(Shortcut.Save(""));
  CloseGroupKey();
  SharedLock lock;
  if (SharedState()->isolated == 0) ++SharedState()->SettingsGeneration;
  return first;
}

void Settings::Refresh() {
  std::int32_t shared;
  {
    SharedLock lock;
    shared = SharedState()->SettingsGeneration;
  }
  if (SettingsGeneration < shared) Load("");
  SharedLock lock;
  IsolatedSettingAmongWindows = SharedState()->isolated;
}

void* Settings::ValuesOf(GroupId group) {
  switch (group) {
    case GroupId::Root: return static_cast<RootValues*>(this);
    case GroupId::ImageCrop: return static_cast<ImageCropValues*>(&ImageCrop);
    case GroupId::ImageExpand: return static_cast<ImageExpandValues*>(&ImageExpand);
    case GroupId::ImageFileFormat: return static_cast<ImageFileFormatValues*>(&ImageFileFormat);
    case GroupId::ImageFilePath: return static_cast<ImageFilePathValues*>(&ImageFilePath);
    case GroupId::ImageResize: return static_cast<ImageResizeValues*>(&ImageResize);
    case GroupId::URLCorrect: return static_cast<URLCorrectValues*>(&URLCorrect);
    case GroupId::CaptureLog: return static_cast<CaptureLogValues*>(&CaptureLog);
    case GroupId::ExtraProcess: return static_cast<ExtraProcessValues*>(&ExtraProcess);
    case GroupId::FTPBlog: return static_cast<FTPBlogValues*>(&FTPBlog);
    case GroupId::OmitDialog: return static_cast<OmitDialogValues*>(&OmitDialog);
    case GroupId::Shortcut: return static_cast<ShortcutValues*>(&Shortcut);
    case GroupId::CaptureLogDialog: return nullptr;
  }
  return nullptr;
}

const void* Settings::ValuesOf(GroupId group) const { return const_cast<Settings*>(this)->ValuesOf(group); }

}  // namespace ss
