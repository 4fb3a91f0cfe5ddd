#include "platform/folders/folders.h"

#include <dlfcn.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>

namespace ss {
namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

std::string StripTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string HomeFolder() {
  std::string home = Env("HOME");
  if (home.empty()) {
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) home = pw->pw_dir;
  }
  if (home.empty()) home = "/";
  return StripTrailingSlashes(home);
}

// Makes a path absolute against the current folder, without resolving links.
std::string Absolute(const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  std::error_code ec;
  std::filesystem::path abs = std::filesystem::absolute(path, ec);
  if (ec) return path;
  return abs.lexically_normal().string();
}

// The value of XDG_DOCUMENTS_DIR in a user-dirs.dirs file: a shell-quoted
// text that is either absolute or starts with $HOME. "" when absent.
std::string ReadDocumentsDir(const std::string& file, const std::string& home) {
  std::ifstream in(file);
  if (!in) return "";
  std::string line;
  std::string found;
  while (std::getline(in, line)) {
    std::string_view l(line);
    while (!l.empty() && (l.front() == ' ' || l.front() == '\t')) l.remove_prefix(1);
    if (l.empty() || l.front() == '#') continue;
    constexpr std::string_view kKey = "XDG_DOCUMENTS_DIR=";
    if (l.substr(0, kKey.size()) != kKey) continue;
    l.remove_prefix(kKey.size());
    while (!l.empty() && (l.back() == ' ' || l.back() == '\t' || l.back() == '\r')) l.remove_suffix(1);
    std::string value;
    if (!l.empty() && l.front() == '"') {
      // Double-quoted: backslash escapes the next character.
      for (std::size_t i = 1; i < l.size(); ++i) {
        char c = l[i];
        if (c == '\\' && i + 1 < l.size()) {
          value += l[++i];
        } else if (c == '"') {
          break;
        } else {
          value += c;
        }
      }
    } else {
      value = std::string(l);
    }
    if (value.rfind("$HOME", 0) == 0 && (value.size() == 5 || value[5] == '/')) {
      value = home + value.substr(5);
    } else if (value.rfind("${HOME}", 0) == 0 && (value.size() == 7 || value[7] == '/')) {
      value = home + value.substr(7);
    } else if (value.empty() || value[0] != '/') {
      continue;  // neither absolute nor relative to $HOME: not a valid entry
    }
    found = value;  // the last valid assignment wins, as in the shell
  }
  return found.empty() ? found : StripTrailingSlashes(found);
}

}  // namespace

std::string GetPersonalFolder() {
  std::string home = HomeFolder();
  std::string config = Env("XDG_CONFIG_HOME");
  if (config.empty() || config[0] != '/') config = home + "/.config";
  std::string docs = ReadDocumentsDir(StripTrailingSlashes(config) + "/user-dirs.dirs", home);
  if (!docs.empty()) return docs;
  return home == "/" ? "/Documents" : home + "/Documents";
}

std::string ScrollsnapHome() {
  std::string home = Env("SCROLLSNAP_HOME");
  if (home.empty()) {
    std::string data = Env("XDG_DATA_HOME");
    if (data.empty() || data[0] != '/') data = HomeFolder() + "/.local/share";
    home = StripTrailingSlashes(data) + "/scrollsnap";
  }
  home = StripTrailingSlashes(Absolute(home));
  EnsureFolder(home);
  return home;
}

std::string ModuleFileNameOf(const void* address) {
  Dl_info info{};
  std::string name;
  if (address && dladdr(address, &info) != 0 && info.dli_fname) name = info.dli_fname;
  // The main program is reported by the name it was started with (possibly
  // relative or bare); the kernel knows its full path.
  if (name.empty() || name.find('/') == std::string::npos) {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? name : exe.string();
  }
  return Absolute(name);
}

bool EnsureFolder(const std::string& path) {
  if (path.empty()) return false;
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  return std::filesystem::is_directory(path, ec);
}

}  // namespace ss
