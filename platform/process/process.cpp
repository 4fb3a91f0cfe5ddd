#include "platform/process/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

extern char** environ;

namespace ss {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The arguments after the program name, by the rules of CommandLineToArgv.
void SplitArguments(std::string_view s, std::vector<std::string>& out) {
  std::size_t i = 0;
  const std::size_t n = s.size();
  for (;;) {
    while (i < n && IsBlank(s[i])) ++i;
    if (i >= n) break;
    std::string arg;
    bool inQuote = false;
    while (i < n) {
      char c = s[i];
      if (!inQuote && IsBlank(c)) break;
      if (c == '\\') {
        std::size_t slashes = 0;
        while (i < n && s[i] == '\\') {
          ++slashes;
          ++i;
        }
        if (i < n && s[i] == '"') {
          arg.append(slashes / 2, '\\');
          if (slashes % 2 == 1) {
            arg += '"';
            ++i;
          }
          // With an even count the quote is handled below as a grouping quote.
        } else {
          arg.append(slashes, '\\');
        }
        continue;
      }
      if (c == '"') {
        if (inQuote && i + 1 < n && s[i + 1] == '"') {
          arg += '"';  // "" inside quotes: one literal quote
          i += 2;
        } else {
          inQuote = !inQuote;
          ++i;
        }
        continue;
      }
      arg += c;
      ++i;
    }
    out.push_back(std::move(arg));
  }
}

// The program name: up to the first blank or tab outside double quotes,
// quotes removed, backslashes plain. Sets *rest to what follows.
std::string ProgramName(std::string_view s, std::string_view* rest) {
  std::size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  std::string name;
  bool inQuote = false;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (c == '"') {
      inQuote = !inQuote;
      continue;
    }
    if (!inQuote && IsBlank(c)) break;
    name += c;
  }
  *rest = s.substr(i);
  return name;
}

bool IsExecutableFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// True when `name` would start a program: a path to an executable file, or a
// bare name found in PATH.
bool NamesProgram(const std::string& name) {
  if (name.empty()) return false;
  if (name.find('/') != std::string::npos) return IsExecutableFile(name);
  const char* path = std::getenv("PATH");
  std::string_view dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  while (true) {
    std::size_t colon = dirs.find(':');
    std::string dir(dirs.substr(0, colon));
    if (dir.empty()) dir.push_back('.');  // an empty entry is the current folder
    dir += '/';
    dir += name;
    if (IsExecutableFile(dir)) return true;
    if (colon == std::string_view::npos) break;
    dirs.remove_prefix(colon + 1);
  }
  return false;
}

LONG ErrorFromErrno(int e) {
  switch (e) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM: return ERROR_ACCESS_DENIED;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case ENOEXEC: return 193;  // ERROR_BAD_EXE_FORMAT
    default: return 31;        // ERROR_GEN_FAILURE
  }
}

int OpenPidFd(pid_t pid) {
#ifdef SYS_pidfd_open
  long fd = ::syscall(SYS_pidfd_open, pid, 0);
  if (fd >= 0) {
    ::fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
    return static_cast<int>(fd);
  }
#endif
  return -1;
}

}  // namespace

std::vector<std::string> CommandLineToArgv(std::string_view commandLine) {
  std::vector<std::string> argv;
  std::string_view rest;
  std::string name = ProgramName(commandLine, &rest);
  bool onlyBlanks = true;
  for (char c : commandLine)
    if (!IsBlank(c)) onlyBlanks = false;
  if (onlyBlanks) return argv;
  argv.push_back(std::move(name));
  SplitArguments(rest, argv);
  return argv;
}

ChildProcess::~ChildProcess() { Close(); }

ChildProcess::ChildProcess(ChildProcess&& other) noexcept { *this = std::move(other); }

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  if (this != &other) {
    Close();
    pid_ = other.pid_;
    ended_ = other.ended_;
    exitCode_ = other.exitCode_;
    terminated_ = other.terminated_;
    terminateCode_ = other.terminateCode_;
    other.pid_ = 0;
    other.ended_ = false;
    other.exitCode_ = STILL_ACTIVE;
    other.terminated_ = false;
  }
  return *this;
}

HRESULT ChildProcess::Start(const std::vector<std::string>& argv) {
  Close();
  if (argv.empty() || argv[0].empty()) return HResultFromWin32(ERROR_FILE_NOT_FOUND);

  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  if (posix_spawn_file_actions_init(&actions) != 0) return HResultFromWin32(ERROR_NOT_ENOUGH_MEMORY);
  if (posix_spawnattr_init(&attr) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return HResultFromWin32(ERROR_NOT_ENOUGH_MEMORY);
  }
  // Only standard input, output and error go to the program; it starts with
  // default signal handling and nothing blocked, whatever the caller set.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  sigset_t all, none;
  sigfillset(&all);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  pid_t pid = 0;
  int err = argv[0].find('/') != std::string::npos
                ? posix_spawn(&pid, argv[0].c_str(), &actions, &attr, args.data(), environ)
                : posix_spawnp(&pid, argv[0].c_str(), &actions, &attr, args.data(), environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  if (err != 0) return HResultFromWin32(ErrorFromErrno(err));

  pid_ = pid;
  ended_ = false;
  exitCode_ = STILL_ACTIVE;
  terminated_ = false;
  terminateCode_ = 0;
  return S_OK;
}

HRESULT ChildProcess::StartCommandLine(std::string_view commandLine) {
  std::vector<std::string> argv = CommandLineToArgv(commandLine);
  if (argv.empty()) return HResultFromWin32(ERROR_FILE_NOT_FOUND);

  std::size_t lead = 0;
  while (lead < commandLine.size() && IsBlank(commandLine[lead])) ++lead;
  std::string_view text = commandLine.substr(lead);
  if (!text.empty() && text[0] != '"' && !NamesProgram(argv[0])) {
    // An unquoted path with blanks: try each longer run of words.
    for (std::size_t i = 0; i <= text.size(); ++i) {
      if (i < text.size() && !IsBlank(text[i])) continue;
      std::string candidate(text.substr(0, i));
      if (candidate.find('/') == std::string::npos || candidate.size() <= argv[0].size()) continue;
      if (IsExecutableFile(candidate)) {
        std::vector<std::string> resolved{candidate};
        SplitArguments(text.substr(i), resolved);
        return Start(resolved);
      }
    }
  }
  return Start(argv);
}

bool ChildProcess::Collect(bool block) {
  if (pid_ <= 0) return false;
  if (ended_) return true;
  int status = 0;
  pid_t r;
  do {
    r = ::waitpid(pid_, &status, block ? 0 : WNOHANG);
  } while (r < 0 && errno == EINTR);
  if (r == 0) return false;
  ended_ = true;
  if (r < 0) {
    exitCode_ = 0;  // collected elsewhere (children ignored by the host)
  } else if (WIFEXITED(status)) {
    exitCode_ = static_cast<DWORD>(WEXITSTATUS(status));
  } else if (WIFSIGNALED(status)) {
    exitCode_ = terminated_ && WTERMSIG(status) == SIGKILL ? terminateCode_
                                                            : static_cast<DWORD>(128 + WTERMSIG(status));
  }
  return true;
}

bool ChildProcess::Running() const {
  if (pid_ <= 0 || ended_) return false;
  return !const_cast<ChildProcess*>(this)->Collect(false);
}

ProcessWait ChildProcess::Wait(DWORD milliseconds) {
  if (pid_ <= 0) return ProcessWait::Failed;
  if (Collect(false)) return ProcessWait::Exited;
  if (milliseconds == kProcessWaitInfinite) return Collect(true) ? ProcessWait::Exited : ProcessWait::Failed;

  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  int fd = OpenPidFd(pid_);
  if (fd >= 0) {
    for (;;) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() < 0) left = std::chrono::milliseconds(0);
      pollfd p{fd, POLLIN, 0};
      int r = ::poll(&p, 1, static_cast<int>(left.count()));
      if (r < 0 && errno == EINTR) continue;
      ::close(fd);
      if (r < 0) return ProcessWait::Failed;
      if (r == 0) return Collect(false) ? ProcessWait::Exited : ProcessWait::TimedOut;
      return Collect(true) ? ProcessWait::Exited : ProcessWait::Failed;
    }
  }
  // Without process descriptors: look every few milliseconds.
  auto step = std::chrono::milliseconds(1);
  for (;;) {
    if (Collect(false)) return ProcessWait::Exited;
    auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return ProcessWait::TimedOut;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
    std::this_thread::sleep_for(std::min(step, left));
    if (step < std::chrono::milliseconds(20)) step *= 2;
  }
}

bool ChildProcess::Terminate(UINT exitCode) {
  if (pid_ <= 0 || Collect(false)) return false;
  if (::kill(pid_, SIGKILL) != 0) return false;
  terminated_ = true;
  terminateCode_ = exitCode;
  return true;
}

bool ChildProcess::GetExitCode(DWORD* code) {
  if (pid_ <= 0) return false;
  Collect(false);
  if (code) *code = ended_ ? exitCode_ : STILL_ACTIVE;
  return true;
}

void ChildProcess::Close() {
  if (pid_ <= 0) return;
  if (!Collect(false)) {
    // Still running: collect it in the background when it ends, so that it
    // never lingers as a zombie.
    pid_t pid = pid_;
    try {
      std::thread([pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
      }).detach();
    } catch (...) {
      // No thread to spare: the program is collected when the process ends.
    }
  }
  pid_ = 0;
  ended_ = false;
  exitCode_ = STILL_ACTIVE;
  terminated_ = false;
}

}  // namespace ss
