#include "output/extra_process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/resources/resources.h"
#include "tests/support/test_home.h"

namespace ss {
namespace {

using Clock = std::chrono::steady_clock;

long ElapsedMs(Clock::time_point since) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

ExtraProcessValues Options(const std::string& program, const std::string& params, bool quote = false) {
  ExtraProcessValues o;
  o.LounchExtraProgram = 1;
  o.ExtraProgramPath = program;
  o.ExtraProgramParam = params;
  o.QuoteFileNamesIncludingSpace = quote ? 1 : 0;
  return o;
}

TEST(SplitDeliveredPathTest, PartsOfThePath) {
  const struct {
    std::string path, dir, body, ext, file;
  } cases[] = {
      {"/pics/shot.png", "/pics", "shot", "png", "shot.png"},
      {"/my pics/a.b.png", "/my pics", "a.b", "png", "a.b.png"},
      {"/d/.png", "/d", "", "", ".png"},        // a dot in front is no extension
      {"/d/README", "/d", "", "", "README"},    // no extension: body and ext stay empty
      {"/top.png", "", "top", "png", "top.png"},
      {"plain.png", "", "", "", ""},
      {"", "", "", "", ""},
  };
  for (const auto& c : cases) {
    ExtraProgramValues v = SplitDeliveredPath(c.path);
    EXPECT_EQ(v.path, c.path);
    EXPECT_EQ(v.dir, c.dir) << c.path;
    EXPECT_EQ(v.body, c.body) << c.path;
    EXPECT_EQ(v.ext, c.ext) << c.path;
    EXPECT_EQ(v.file, c.file) << c.path;
  }
}

TEST(BuildExtraCommandLineTest, TagsQuotingAndTheFallbackPath) {
  SetLanguageOverride(Language::Japanese);  // the tags are the same in every language
  const struct {
    ExtraProcessValues options;
    std::string destination, path, command;
  } cases[] = {
      {Options("prog", "-o %DIR%/out.png %file%"), "File", "/pics/shot.png", "prog -o /pics/out.png shot.png"},
      {Options("prog", "%PaTh% %Body%.%EXT%"), "File", "/p/a.png", "prog /p/a.png a.png"},
      {Options("prog", "-x"), "File", "/my pics/a.png", "prog -x \"/my pics/a.png\""},
      {Options("prog", "-x", true), "File", "/my pics/a.png", "prog -x \"/my pics/a.png\""},
      {Options("prog", "%path% %dir% %body% %file%", true), "File", "/my pics/a b.png",
       "prog \"/my pics/a b.png\" \"/my pics\" \"a b\" \"a b.png\""},
      {Options("prog", "%path% %dir%", false), "File", "/my pics/a.png", "prog /my pics/a.png /my pics"},
      {Options("/opt/my tools/p", "%file%", true), "File", "/d/a.png", "\"/opt/my tools/p\" a.png"},
      {Options("/opt/my tools/p", "%file%", false), "File", "/d/a.png", "/opt/my tools/p a.png"},
      {Options("prog", ""), "Clipboard", "/ignored/x.png", "prog  \"\""},
      {Options("prog", "[%path%][%dir%][%body%][%ext%][%file%]"), "Clipboard", "/x/y.png", "prog [][][][][]"},
      {Options("prog", "[%body%][%ext%][%file%]"), "File", "/d/.png", "prog [][][.png]"},
      {Options("prog", ""), "FTPBlog", "/tmp/vnp1.tmp", "prog  \"/tmp/vnp1.tmp\""},
      // A value that holds a tag's text is not searched again.
      {Options("prog", "%path% %file%"), "File", "/d/%file%.png", "prog /d/%file%.png %file%.png"},
      {Options("prog", "%dir%%path%"), "File", "/%body%/x.png", "prog /%body%/%body%/x.png"},
      // Only whole tags count.
      {Options("prog", "%pat% %%path%%"), "File", "/d/x.png", "prog %pat% %/d/x.png%"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(BuildExtraCommandLine(c.options, c.destination, c.path), c.command) << c.options.ExtraProgramParam;
  ClearLanguageOverride();
}

// Runs the step with a real program that records its arguments.
class ExtraProcessRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    recorder = dir.File("record args");
    test::WriteFile(recorder, "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > '" + dir.File("args.tmp") +
                                  "'\nmv '" + dir.File("args.tmp") + "' '" + dir.File("args") + "'\n");
    ::chmod(recorder.c_str(), 0755);
    sleeper = dir.File("sleeper");
    test::WriteFile(sleeper, "#!/bin/sh\necho $$ > '" + dir.File("pid.tmp") + "'\nmv '" + dir.File("pid.tmp") + "' '" +
                                 dir.File("pid") + "'\nexec sleep 30\n");
    ::chmod(sleeper.c_str(), 0755);
    settings.Destination = "File";
    settings.ExtraProcess.LounchExtraProgram = 1;
    settings.ExtraProcess.QuoteFileNamesIncludingSpace = 1;
  }
  // The recorded arguments once the program has written them.
  std::string RecordedArgs() {
    for (int i = 0; i < 500 && !test::FileExists(dir.File("args")); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return test::ReadFile(dir.File("args"));
  }
  pid_t SleeperPid() {
    for (int i = 0; i < 500 && !test::FileExists(dir.File("pid")); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return static_cast<pid_t>(std::stol("0" + test::ReadFile(dir.File("pid"))));
  }
  static bool GoneWithin(pid_t pid, int ms) {
    for (int i = 0; i < ms / 10 && ::kill(pid, 0) == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return ::kill(pid, 0) != 0;
  }

  test::TempHome home;
  test::TempDir dir;
  std::string recorder, sleeper;
  Settings settings;
};

TEST_F(ExtraProcessRunTest, TagsReachTheProgram) {
  settings.ExtraProcess.ExtraProgramPath = recorder;  // has a blank: quoted
  settings.ExtraProcess.ExtraProgramParam = "-o %DIR%/out.png %file%";
  settings.ExtraProcess.WaitForExtraProgram = 1;
  ASSERT_EQ(RunExtraProgram(settings, "/pics/shot.png"), S_OK);
  EXPECT_EQ(RecordedArgs(), "[-o]\n[/pics/out.png]\n[shot.png]\n");
}

TEST_F(ExtraProcessRunTest, PathWithBlanksArrivesAsOneArgument) {
  settings.ExtraProcess.QuoteFileNamesIncludingSpace = 0;  // the program path is found all the same
  settings.ExtraProcess.ExtraProgramPath = recorder;
  settings.ExtraProcess.ExtraProgramParam = "-x";
  settings.ExtraProcess.WaitForExtraProgram = 1;
  ASSERT_EQ(RunExtraProgram(settings, "/my pics/a.png"), S_OK);
  EXPECT_EQ(RecordedArgs(), "[-x]\n[/my pics/a.png]\n");
}

TEST_F(ExtraProcessRunTest, ClipboardGivesOneEmptyArgument) {
  settings.Destination = "Clipboard";
  settings.ExtraProcess.ExtraProgramPath = recorder;
  settings.ExtraProcess.WaitForExtraProgram = 1;
  ASSERT_EQ(RunExtraProgram(settings, "/stale/path.png"), S_OK);
  EXPECT_EQ(RecordedArgs(), "[]\n");
}

TEST_F(ExtraProcessRunTest, OffOrUnstartable) {
  settings.ExtraProcess.LounchExtraProgram = 0;
  settings.ExtraProcess.ExtraProgramPath = recorder;
  EXPECT_EQ(RunExtraProgram(settings, "/p/a.png"), S_OK);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(test::FileExists(dir.File("args")));

  settings.ExtraProcess.LounchExtraProgram = 1;
  settings.ExtraProcess.ExtraProgramPath = dir.File("missing-program");
  EXPECT_EQ(RunExtraProgram(settings, "/p/a.png"), kErrExtraProgramStart);
  settings.ExtraProcess.ExtraProgramPath = "";
  EXPECT_EQ(RunExtraProgram(settings, "/p/a.png"), kErrExtraProgramStart);
}

TEST_F(ExtraProcessRunTest, WaitRunsOutAndKills) {
  settings.ExtraProcess.ExtraProgramPath = sleeper;
  settings.ExtraProcess.WaitForExtraProgram = 1;
  settings.ExtraProcess.WaitTimeForExtraProgram = 500;
  settings.ExtraProcess.KillExtraProgram = 1;
  auto start = Clock::now();
  ASSERT_EQ(RunExtraProgram(settings, "/p/a.png"), S_OK);
  long waited = ElapsedMs(start);
  EXPECT_GE(waited, 490);
  EXPECT_LT(waited, 5000);
  pid_t pid = SleeperPid();
  ASSERT_GT(pid, 0);
  EXPECT_TRUE(GoneWithin(pid, 5000)) << "the program was not ended";
}

TEST_F(ExtraProcessRunTest, WaitRunsOutWithoutKill) {
  settings.ExtraProcess.ExtraProgramPath = sleeper;
  settings.ExtraProcess.WaitForExtraProgram = 1;
  settings.ExtraProcess.WaitTimeForExtraProgram = 300;
  settings.ExtraProcess.KillExtraProgram = 0;
  auto start = Clock::now();
  ASSERT_EQ(RunExtraProgram(settings, "/p/a.png"), S_OK);
  EXPECT_GE(ElapsedMs(start), 290);
  pid_t pid = SleeperPid();
  ASSERT_GT(pid, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(::kill(pid, 0), 0) << "the program should still run";
  ::kill(pid, SIGKILL);
  EXPECT_TRUE(GoneWithin(pid, 5000));
}

TEST_F(ExtraProcessRunTest, NoWaitReturnsAtOnce) {
  settings.ExtraProcess.ExtraProgramPath = sleeper;
  settings.ExtraProcess.WaitForExtraProgram = 0;
  settings.ExtraProcess.KillExtraProgram = 1;  // only used with a wait
  auto start = Clock::now();
  ASSERT_EQ(RunExtraProgram(settings, "/p/a.png"), S_OK);
  EXPECT_LT(ElapsedMs(start), 2000);
  pid_t pid = SleeperPid();
  ASSERT_GT(pid, 0);
  EXPECT_EQ(::kill(pid, 0), 0);
  ::kill(pid, SIGKILL);
  EXPECT_TRUE(GoneWithin(pid, 5000));
}

TEST_F(ExtraProcessRunTest, UnlimitedWaitEndsWithTheProgram) {
  settings.ExtraProcess.ExtraProgramPath = recorder;
  settings.ExtraProcess.ExtraProgramParam = "%body%";
  settings.ExtraProcess.WaitForExtraProgram = 1;
  settings.ExtraProcess.WaitTimeForExtraProgram = 0;
  ASSERT_EQ(RunExtraProgram(settings, "/d/done.png"), S_OK);
  // Waited for: the program's output is complete on return.
  EXPECT_EQ(test::ReadFile(dir.File("args")), "[done]\n");
}

}  // namespace
}  // namespace ss
