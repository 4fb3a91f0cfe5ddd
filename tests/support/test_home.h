// Test fixtures shared by every test executable.
#pragma once

#include <string>

namespace ss::test {

// A fresh SCROLLSNAP_HOME for the life of the object: a new temporary folder,
// exported in the environment, removed with its contents afterwards. The
// previous value is restored.
class TempHome {
 public:
  TempHome();
  ~TempHome();
  TempHome(const TempHome&) = delete;
  TempHome& operator=(const TempHome&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string previous_;
  bool hadPrevious_ = false;
};

// A temporary folder removed with its contents afterwards.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// The source tree and build tree (from the test's environment).
std::string SourceDir();
std::string BuildDir();

// Reads or writes a whole file; ReadFile returns "" when it cannot be read.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
bool FileExists(const std::string& path);

// Runs a command line through /bin/sh, capturing stdout and stderr apart.
struct CommandResult {
  int status = -1;   // exit status, or -1 when it did not exit normally
  std::string out;
  std::string err;
};
CommandResult RunCommand(const std::string& commandLine, const std::string& input = "");

}  // namespace ss::test
