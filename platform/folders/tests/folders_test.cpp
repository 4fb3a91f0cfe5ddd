#include "platform/folders/folders.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/test_home.h"

namespace ss {
namespace {

// Sets environment variables for one test and puts the old values back.
class EnvGuard {
 public:
  void Set(const char* name, const char* value) {
    saved_.emplace(name, Get(name));  // the first value seen is the one restored
    if (value) setenv(name, value, 1);
    else unsetenv(name);
  }
  ~EnvGuard() {
    for (auto& [name, value] : saved_) {
      if (value) setenv(name.c_str(), value->c_str(), 1);
      else unsetenv(name.c_str());
    }
  }

 private:
  static std::optional<std::string> Get(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::optional<std::string>(v) : std::nullopt;
  }
  std::map<std::string, std::optional<std::string>> saved_;
};

TEST(FoldersTest, DocumentsFolderFromUserDirs) {
  test::TempDir dir;
  const std::string home = dir.path() + "/home";
  const std::string config = dir.path() + "/config";
  std::filesystem::create_directories(home);
  std::filesystem::create_directories(config);
  EnvGuard env;
  env.Set("HOME", home.c_str());
  env.Set("XDG_CONFIG_HOME", config.c_str());

  struct Case {
    std::string file;  // contents of user-dirs.dirs ("" = no file)
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"", home + "/Documents"},
      {"# comment\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n", home + "/Dokumente"},
      {"XDG_DOCUMENTS_DIR=\"/srv/docs/\"\n", "/srv/docs"},
      {"  XDG_DOCUMENTS_DIR=\"$HOME/My \\\"Docs\\\"\"\n", home + "/My \"Docs\""},
      {"XDG_DOCUMENTS_DIR=\"relative/path\"\n", home + "/Documents"},  // not valid: ignored
      {"XDG_DOCUMENTS_DIR=\"$HOMEWORK/x\"\n", home + "/Documents"},
      {"XDG_DOCUMENTS_DIR=\"$HOME/A\"\nXDG_DOCUMENTS_DIR=\"$HOME/B\"\n", home + "/B"},
      {"XDG_DOCUMENTS_DIR=\"$HOME/\xE6\x96\x87\xE6\x9B\xB8\"\n", home + "/\xE6\x96\x87\xE6\x9B\xB8"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(config + "/user-dirs.dirs");
    if (!c.file.empty()) test::WriteFile(config + "/user-dirs.dirs", c.file);
    EXPECT_EQ(GetPersonalFolder(), c.expected) << c.file;
  }
  // Without XDG_CONFIG_HOME the file is looked for in ~/.config.
  env.Set("XDG_CONFIG_HOME", nullptr);
  std::filesystem::create_directories(home + "/.config");
  test::WriteFile(home + "/.config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n");
  EXPECT_EQ(GetPersonalFolder(), home + "/Docs");
}

TEST(FoldersTest, HomeFolderIsChosenAndCreated) {
  test::TempDir dir;
  EnvGuard env;
  env.Set("HOME", (dir.path() + "/home").c_str());
  env.Set("SCROLLSNAP_HOME", (dir.path() + "/explicit/home/").c_str());
  EXPECT_EQ(ScrollsnapHome(), dir.path() + "/explicit/home");
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() + "/explicit/home"));

  env.Set("SCROLLSNAP_HOME", nullptr);
  env.Set("XDG_DATA_HOME", (dir.path() + "/data").c_str());
  EXPECT_EQ(ScrollsnapHome(), dir.path() + "/data/scrollsnap");
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() + "/data/scrollsnap"));

  env.Set("XDG_DATA_HOME", nullptr);
  EXPECT_EQ(ScrollsnapHome(), dir.path() + "/home/.local/share/scrollsnap");
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() + "/home/.local/share/scrollsnap"));

  // A relative SCROLLSNAP_HOME is made absolute, so every process of the
  // same folder agrees on it.
  std::string cwd = std::filesystem::current_path().string();
  std::filesystem::current_path(dir.path());
  env.Set("SCROLLSNAP_HOME", "rel");
  EXPECT_EQ(ScrollsnapHome(), dir.path() + "/rel");
  std::filesystem::current_path(cwd);
}

int SymbolInThisProgram() { return 1; }

TEST(FoldersTest, ModuleFileNames) {
  std::string exe = std::filesystem::read_symlink("/proc/self/exe").string();
  EXPECT_EQ(ModuleFileNameOf(reinterpret_cast<const void*>(&SymbolInThisProgram)), exe);
  std::string lib = ModuleFileNameOf(reinterpret_cast<const void*>(&GetPersonalFolder));
  ASSERT_FALSE(lib.empty());
  EXPECT_EQ(lib.front(), '/');
  EXPECT_NE(lib.find("libscrollsnap_platform.so"), std::string::npos) << lib;
  EXPECT_TRUE(std::filesystem::exists(lib));
}

TEST(FoldersTest, EnsureFolderMakesParentsAndRefusesFiles) {
  test::TempDir dir;
  EXPECT_TRUE(EnsureFolder(dir.path() + "/a/b/c"));
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() + "/a/b/c"));
  EXPECT_TRUE(EnsureFolder(dir.path() + "/a/b/c"));  // already there
  test::WriteFile(dir.path() + "/file", "x");
  EXPECT_FALSE(EnsureFolder(dir.path() + "/file"));
  EXPECT_FALSE(EnsureFolder(dir.path() + "/file/sub"));
  EXPECT_FALSE(EnsureFolder(""));
}

}  // namespace
}  // namespace ss
