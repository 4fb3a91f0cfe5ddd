#include "platform/process/process.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/test_home.h"

namespace ss {
namespace {

using Clock = std::chrono::steady_clock;
using Args = std::vector<std::string>;

long ElapsedMs(Clock::time_point since) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

// True once no process `pid` exists any more (neither running nor a zombie).
bool GoneWithin(pid_t pid, int ms) {
  for (int i = 0; i < ms / 10; ++i) {
    if (::kill(pid, 0) != 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return ::kill(pid, 0) != 0;
}

// A script that writes each of its arguments on a line of `out`, in brackets.
std::string MakeRecorder(const std::string& path, const std::string& out) {
  test::WriteFile(path, "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > '" + out + "'\n");
  ::chmod(path.c_str(), 0755);
  return path;
}

TEST(CommandLineToArgvTest, WindowsQuotingRules) {
  const struct {
    std::string line;
    Args argv;
  } cases[] = {
      {"prog a b", {"prog", "a", "b"}},
      {"  prog\t a\t\tb  ", {"prog", "a", "b"}},
      {"\"C:\\Program Files\\x.exe\" \"a b\" c", {"C:\\Program Files\\x.exe", "a b", "c"}},
      {"prog \"a\\\"b\"", {"prog", "a\"b"}},
      {"prog a\\\\\\\"b", {"prog", "a\\\"b"}},           // 3 backslashes + quote: \ and a literal quote
      {"prog a\\\\\\\\\"b c\"", {"prog", "a\\\\b c"}},  // 4 backslashes + quote: \\ and the quote groups
      {"prog a\\b c\\\\", {"prog", "a\\b", "c\\\\"}},   // backslashes before anything else stay
      {"prog \"\"", {"prog", ""}},
      {"prog  \"\"", {"prog", ""}},
      {"prog \"a\"\"b\"", {"prog", "a\"b"}},             // "" inside quotes is one quote
      {"prog a\"b c\"d", {"prog", "ab cd"}},
      {"\"a\\\" b", {"a\\", "b"}},                       // no escapes in the program name
      {"\"my prog\"x y", {"my progx", "y"}},
      {"prog", {"prog"}},
      {"  ", {}},
      {"", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(CommandLineToArgv(c.line), c.argv) << c.line;
}

TEST(ChildProcessTest, ExitCodeOfAFinishedProgram) {
  ChildProcess p;
  ASSERT_EQ(p.Start({"/bin/sh", "-c", "exit 7"}), S_OK);
  EXPECT_GT(p.Pid(), 0);
  EXPECT_EQ(p.Wait(kProcessWaitInfinite), ProcessWait::Exited);
  DWORD code = 0;
  ASSERT_TRUE(p.GetExitCode(&code));
  EXPECT_EQ(code, 7u);
  EXPECT_FALSE(p.Running());
  EXPECT_FALSE(p.Terminate(1));  // already ended
}

TEST(ChildProcessTest, StartFailures) {
  ChildProcess p;
  EXPECT_EQ(p.Start({"/nonexistent/program"}), MakeHResult(0x80070002));
  EXPECT_EQ(p.Start({"no-such-program-anywhere-xyz"}), MakeHResult(0x80070002));
  EXPECT_EQ(p.Start({}), MakeHResult(0x80070002));
  EXPECT_EQ(p.StartCommandLine("   "), MakeHResult(0x80070002));
  test::TempDir dir;
  test::WriteFile(dir.File("not-executable"), "#!/bin/sh\n");
  EXPECT_EQ(p.Start({dir.File("not-executable")}), MakeHResult(0x80070005));
  EXPECT_FALSE(p.Valid());
  DWORD code = 0;
  EXPECT_FALSE(p.GetExitCode(&code));
  EXPECT_EQ(p.Wait(10), ProcessWait::Failed);
}

TEST(ChildProcessTest, TimedWaitAndTerminate) {
  ChildProcess p;
  ASSERT_EQ(p.Start({"sleep", "30"}), S_OK);  // found in PATH
  DWORD code = 0;
  ASSERT_TRUE(p.GetExitCode(&code));
  EXPECT_EQ(code, STILL_ACTIVE);

  auto start = Clock::now();
  EXPECT_EQ(p.Wait(300), ProcessWait::TimedOut);
  long waited = ElapsedMs(start);
  EXPECT_GE(waited, 290);
  EXPECT_LT(waited, 3000);
  EXPECT_TRUE(p.Running());

  EXPECT_TRUE(p.Terminate(42));
  start = Clock::now();
  EXPECT_EQ(p.Wait(5000), ProcessWait::Exited);
  EXPECT_LT(ElapsedMs(start), 3000);
  ASSERT_TRUE(p.GetExitCode(&code));
  EXPECT_EQ(code, 42u);
}

TEST(ChildProcessTest, ClosingLeavesTheProgramRunningAndCollectsItLater) {
  pid_t pid = 0;
  {
    ChildProcess p;
    ASSERT_EQ(p.Start({"sleep", "30"}), S_OK);
    pid = p.Pid();
  }
  EXPECT_EQ(::kill(pid, 0), 0) << "the program ended with its owner";
  ASSERT_EQ(::kill(pid, SIGKILL), 0);
  // Collected in the background: no zombie is left behind.
  EXPECT_TRUE(GoneWithin(pid, 5000));
}

TEST(ChildProcessTest, OnlyStandardHandlesAreInherited) {
  test::TempDir dir;
  int fd = ::open(dir.File("held").c_str(), O_CREAT | O_WRONLY, 0644);  // no close-on-exec
  ASSERT_GE(fd, 3);
  std::string out = dir.File("out");
  std::string script = "if [ -e /proc/self/fd/" + std::to_string(fd) + " ]; then echo leaked; else echo closed; fi > '" +
                       out + "'";
  ChildProcess p;
  ASSERT_EQ(p.Start({"/bin/sh", "-c", script}), S_OK);
  EXPECT_EQ(p.Wait(10000), ProcessWait::Exited);
  ::close(fd);
  EXPECT_EQ(test::ReadFile(out), "closed\n");
}

TEST(ChildProcessTest, CommandLineArgumentsReachTheProgram) {
  test::TempDir dir;
  std::string out = dir.File("args");
  std::string recorder = MakeRecorder(dir.File("rec"), out);
  ChildProcess p;
  ASSERT_EQ(p.StartCommandLine(recorder + " a \"b c\" \"\" d\\\"e $HOME `x` ;"), S_OK);
  ASSERT_EQ(p.Wait(10000), ProcessWait::Exited);
  // No shell is involved: $HOME, backquotes and ";" arrive as they are.
  EXPECT_EQ(test::ReadFile(out), "[a]\n[b c]\n[]\n[d\"e]\n[$HOME]\n[`x`]\n[;]\n");
}

TEST(ChildProcessTest, UnquotedProgramPathWithBlanks) {
  test::TempDir dir;
  ASSERT_EQ(::mkdir(dir.File("my tools").c_str(), 0755), 0);
  std::string out = dir.File("args");
  std::string recorder = MakeRecorder(dir.File("my tools/rec"), out);
  ChildProcess p;
  ASSERT_EQ(p.StartCommandLine(recorder + " -x \"y z\""), S_OK);
  ASSERT_EQ(p.Wait(10000), ProcessWait::Exited);
  EXPECT_EQ(test::ReadFile(out), "[-x]\n[y z]\n");

  ASSERT_EQ(p.StartCommandLine("\"" + recorder + "\" q"), S_OK);
  ASSERT_EQ(p.Wait(10000), ProcessWait::Exited);
  EXPECT_EQ(test::ReadFile(out), "[q]\n");

  EXPECT_EQ(p.StartCommandLine(dir.File("my tools/none") + " q"), MakeHResult(0x80070002));
}

TEST(ChildProcessTest, MovedOwnership) {
  ChildProcess a;
  ASSERT_EQ(a.Start({"/bin/sh", "-c", "exit 3"}), S_OK);
  ChildProcess b(std::move(a));
  EXPECT_FALSE(a.Valid());
  EXPECT_EQ(b.Wait(kProcessWaitInfinite), ProcessWait::Exited);
  DWORD code = 0;
  ASSERT_TRUE(b.GetExitCode(&code));
  EXPECT_EQ(code, 3u);
}

}  // namespace
}  // namespace ss
