#include "tests/support/test_home.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace ss::test {
namespace {

std::string MakeTempFolder(const char* prefix) {
  std::string tmpl = std::filesystem::temp_directory_path().string() + "/" + prefix + "XXXXXX";
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  return tmpl;
}

}  // namespace

TempHome::TempHome() : path_(MakeTempFolder("scrollsnap-home-")) {
  if (const char* prev = std::getenv("SCROLLSNAP_HOME")) {
    previous_ = prev;
    hadPrevious_ = true;
  }
  setenv("SCROLLSNAP_HOME", path_.c_str(), 1);
}

TempHome::~TempHome() {
  if (hadPrevious_) setenv("SCROLLSNAP_HOME", previous_.c_str(), 1);
  else unsetenv("SCROLLSNAP_HOME");
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

TempDir::TempDir() : path_(MakeTempFolder("scrollsnap-test-")) {}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string SourceDir() {
  const char* s = std::getenv("SCROLLSNAP_SOURCE_DIR");
  return s ? s : ".";
}

std::string BuildDir() {
  const char* s = std::getenv("SCROLLSNAP_BUILD_DIR");
  return s ? s : "build";
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "";
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

bool FileExists(const std::string& path) { return std::filesystem::exists(path); }

CommandResult RunCommand(const std::string& commandLine, const std::string& input) {
  TempDir dir;
  std::string in = dir.File("in"), out = dir.File("out"), err = dir.File("err");
  WriteFile(in, input);
  std::string full = "(" + commandLine + ") <'" + in + "' >'" + out + "' 2>'" + err + "'";
  int raw = std::system(full.c_str());
  CommandResult r;
  r.status = (raw != -1 && WIFEXITED(raw)) ? WEXITSTATUS(raw) : -1;
  r.out = ReadFile(out);
  r.err = ReadFile(err);
  return r;
}

}  // namespace ss::test
