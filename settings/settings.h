// The in-memory settings record of one browser window, made of registry-backed
// groups, and the descriptor table that drives loading, saving, the `config`
// command and the dialogs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "settings/settings_group.h"

namespace ss {

enum class GroupScope { PresetScoped, OutsidePresets, Standalone };
enum class ValueKind { Dword, Text };

enum SettingFlag : unsigned {
  kEmptyDefault = 1u << 0,
  kLow16 = 1u << 1,
  kProtected = 1u << 2,
  kOnlyIfSaveAdjust = 1u << 3,
};

enum class GroupId {
#define SS_GROUP_BEGIN(G, key, scope) G,
#define SS_DWORD(G, N, D, F)
#define SS_TEXT(G, N, D, F)
#define SS_GROUP_END(G)
#include "settings/settings_table.inc"
#undef SS_GROUP_BEGIN
#undef SS_DWORD
#undef SS_TEXT
#undef SS_GROUP_END
};

// The values of each group as plain fields named by their registry names
// (RootValues, ImageCropValues, ...). Fields take their defaults from the table.
#define SS_GROUP_BEGIN(G, key, scope) struct G##Values {
#define SS_DWORD(G, N, D, F) std::int32_t N = (D);
#define SS_TEXT(G, N, D, F) std::string N = (D);
#define SS_GROUP_END(G) };
#include "settings/settings_table.inc"
#undef SS_GROUP_BEGIN
#undef SS_DWORD
#undef SS_TEXT
#undef SS_GROUP_END

// One row of the settings table.
struct SettingDescriptor {
  GroupId group;
  const char* groupName;   // the group's name ("Root" for the root block)
  const char* keyName;     // the registry subkey ("" for values in the root key)
  GroupScope scope;
  const char* name;        // the registry value name
  ValueKind kind;
  std::int32_t dwordDefault;
  const char* textDefault;
  unsigned flags;
  // The field inside the group's values struct (std::int32_t* or std::string*).
  void* (*field)(void* groupValues);
};

// Every row, in table order; SettingsTable().size() rows.
struct SettingsTableView {
  const SettingDescriptor* rows;
  std::size_t count;
  const SettingDescriptor* begin() const { return rows; }
  const SettingDescriptor* end() const { return rows + count; }
  std::size_t size() const { return count; }
};
SettingsTableView SettingsTable();

// The `config` name of a value: "Name" for a value in the root key, else
// "Key/Name" ("ImageCrop/HeightByAspect").
std::string SettingKey(const SettingDescriptor& d);
const SettingDescriptor* FindSetting(const std::string& key);

// A group whose values are exactly its table rows.
template <typename Values>
class TableGroup : public SettingsGroup, public Values {
 public:
  TableGroup(GroupId id, const char* keyName) : SettingsGroup(keyName), id_(id) {}
  HRESULT Load(const std::string& scopePath) override;
  HRESULT Save(const std::string& scopePath) override;

 protected:
  // Reads / writes the rows of the group (without SetScope / CloseGroupKey).
  void ReadRows();
  HRESULT WriteRows();
  GroupId id_;
};

struct UrlCorrectionRule {
  std::string pattern;
  std::string replacement;
  std::int32_t isRegexp = 0;
  bool operator==(const UrlCorrectionRule&) const = default;
};

class UrlCorrectGroup : public TableGroup<URLCorrectValues> {
 public:
  UrlCorrectGroup() : TableGroup(GroupId::URLCorrect, "URLCorrect") {}
  HRESULT Load(const std::string& scopePath) override;
  HRESULT Save(const std::string& scopePath) override;
  std::vector<UrlCorrectionRule> rules;
};

// Keeps the process-wide copy for the keyboard hook up to date.
class ShortcutGroup : public TableGroup<ShortcutValues> {
 public:
  ShortcutGroup() : TableGroup(GroupId::Shortcut, "Shortcut") {}
  HRESULT Load(const std::string& scopePath) override;
  HRESULT Save(const std::string& scopePath) override;
};

class ImageExpandGroup : public TableGroup<ImageExpandValues> {
 public:
  ImageExpandGroup() : TableGroup(GroupId::ImageExpand, "ImageExpand") {}
};

// The capture-log dialog's own group (not part of the settings record).
class CaptureLogDialogGroup : public TableGroup<CaptureLogDialogValues> {
 public:
  CaptureLogDialogGroup() : TableGroup(GroupId::CaptureLogDialog, "CaptureLogDialog") {}
};

class Settings : public SettingsGroup, public RootValues {
 public:
  Settings();
  ~Settings() override;

  void OnScopeSet() override;
  void Refresh() override;
  HRESULT Load(const std::string& scopePath) override;
  // Returns 0, or the first failure of a value that could not be written
  // (every value is still attempted).
  HRESULT Save(const std::string& scopePath) override;

  // The values struct of a group (RootValues for the root block).
  void* ValuesOf(GroupId group);
  const void* ValuesOf(GroupId group) const;

  std::int32_t SettingsGeneration = 0;  // seen at the last load

  TableGroup<OmitDialogValues> OmitDialog{GroupId::OmitDialog, ""};
  TableGroup<ImageCropValues> ImageCrop{GroupId::ImageCrop, "ImageCrop"};
  ImageExpandGroup ImageExpand;
  TableGroup<ImageFileFormatValues> ImageFileFormat{GroupId::ImageFileFormat, "ImageFileFormat"};
  TableGroup<ImageFilePathValues> ImageFilePath{GroupId::ImageFilePath, "ImageFilePath"};
  TableGroup<ImageResizeValues> ImageResize{GroupId::ImageResize, "ImageResize"};
  UrlCorrectGroup URLCorrect;
  ShortcutGroup Shortcut;
  TableGroup<CaptureLogValues> CaptureLog{GroupId::CaptureLog, "CaptureLog"};
  TableGroup<ExtraProcessValues> ExtraProcess{GroupId::ExtraProcess, "ExtraProcess"};
  TableGroup<FTPBlogValues> FTPBlog{GroupId::FTPBlog, "FTPBlog"};

 private:
  // The preset-scoped groups in load order, then the groups outside presets.
  std::vector<SettingsGroup*> ScopedGroups();
};

// Where the add-on's own module file lies: the folder that holds the skins
// folder. The host, which links the settings code into its own executable for
// its administrative commands, names the module it would load.
std::string ModuleFilePath();
void SetModuleFilePath(const std::string& path);

// The computed default of an empty text (SkinsFolderPath, NoticeSound,
// LogFilePath, BaseFolderPath, FixedFileName).
std::string EmptyTextDefault(const SettingDescriptor& d);

}  // namespace ss
