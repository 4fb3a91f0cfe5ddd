// Starting other programs: a command line split by the Windows quoting rules
// and started without a shell (posix_spawn), a timed wait, termination and
// the exit code.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/base/result.h"

namespace ss {

constexpr DWORD kProcessWaitInfinite = 0xFFFFFFFF;  // INFINITE
constexpr DWORD STILL_ACTIVE = 259;

enum class ProcessWait { Exited, TimedOut, Failed };

// Splits a command line the way a Windows program's start-up code does:
// - the program name (the first word) ends at the first blank or tab, or, when
//   it starts with a double quote, at the next double quote; backslashes in
//   it are plain characters;
// - the arguments are separated by blanks and tabs; double quotes group, and
//   "" inside a quoted part is one literal quote;
// - 2n backslashes before a quote give n backslashes and the quote groups;
//   2n+1 backslashes before a quote give n backslashes and a literal quote;
//   backslashes before anything else are plain characters.
std::vector<std::string> CommandLineToArgv(std::string_view commandLine);

// A started program, owned by this object. Closing (or destroying) it does
// not end the program: a program still running goes on, and is collected in
// the background when it ends. Not for use from several threads at once.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&& other) noexcept;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts argv[0] (looked up in PATH when it holds no "/") with argv as its
  // arguments, in the caller's environment and current folder, with no file
  // descriptors inherited beyond standard input, output and error. The result
  // is 0, or 0x8007xxxx with the platform error number (2 when there is no
  // such program, 5 when it may not be run).
  HRESULT Start(const std::vector<std::string>& argv);

  // Starts a command line (CreateProcess with no separate application name).
  // When the first word is not quoted and names no program, longer and longer
  // runs of words are tried as the program's path ("/opt/My Tools/edit -x"
  // starts "/opt/My Tools/edit" with the argument -x when that file exists).
  HRESULT StartCommandLine(std::string_view commandLine);

  bool Running() const;  // started, and not yet seen to end
  bool Valid() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }

  // Waits for the program to end, at most `milliseconds` (kProcessWaitInfinite
  // for no limit).
  ProcessWait Wait(DWORD milliseconds);

  // Ends the program at once; its exit code reads as `exitCode` afterwards.
  // False when it had already ended or was never started.
  bool Terminate(UINT exitCode);

  // The exit code (STILL_ACTIVE while it runs); a program ended by a signal
  // other than Terminate reads as 128 + the signal number. False when no
  // program was started.
  bool GetExitCode(DWORD* code);

  // Lets go of the program (see the class comment).
  void Close();

 private:
  bool Collect(bool block);  // waitpid; true once the program has ended

  pid_t pid_ = 0;
  bool ended_ = false;
  DWORD exitCode_ = STILL_ACTIVE;
  bool terminated_ = false;
  DWORD terminateCode_ = 0;
};

}  // namespace ss
