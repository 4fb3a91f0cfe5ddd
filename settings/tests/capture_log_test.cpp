#include "settings/capture_log.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "platform/codepage/codepage.h"
#include "platform/resources/resources.h"
#include "tests/support/test_home.h"

namespace ss {
namespace {

std::tm Moment(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  t.tm_isdst = -1;
  std::mktime(&t);  // fills in the weekday
  return t;
}

class LanguageScope {
 public:
  explicit LanguageScope(Language lang) { SetLanguageOverride(lang); }
  ~LanguageScope() {
    ClearLanguageOverride();
    SetProcessCodePage(CP_UTF8);
  }
};

TEST(CaptureLogTimeTest, EnglishAndJapanesePictures) {
  const std::tm afternoon = Moment(2009, 7, 4, 13, 5, 9);
  const std::tm midnight = Moment(2010, 12, 31, 0, 0, 7);
  {
    LanguageScope lang(Language::English);
    EXPECT_EQ(CaptureLogTimeText(afternoon), "07/04/2009 13:05:09");
    EXPECT_EQ(CaptureLogTimeText(midnight), "12/31/2010 00:00:07");
  }
  {
    LanguageScope lang(Language::Japanese);
    // 12-hour clock without a mark.
    EXPECT_EQ(CaptureLogTimeText(afternoon), "2009/07/04 01:05:09");
    EXPECT_EQ(CaptureLogTimeText(midnight), "2010/12/31 12:00:07");
  }
}

TEST(CaptureLogTimeTest, PictureElements) {
  LanguageScope lang(Language::English);
  const std::tm t = Moment(2009, 7, 4, 13, 5, 9);  // a Saturday
  EXPECT_EQ(FormatDatePicture("d/M/y", t), "4/7/9");
  EXPECT_EQ(FormatDatePicture("dd.MM.yy", t), "04.07.09");
  EXPECT_EQ(FormatDatePicture("ddd, MMM d yyyy", t), "Sat, Jul 4 2009");
  EXPECT_EQ(FormatDatePicture("dddd, MMMM dd", t), "Saturday, July 04");
  EXPECT_EQ(FormatDatePicture("'day' d 'of' M, 'it''s' ''", t), "day 4 of 7, it's ");
  EXPECT_EQ(FormatTimePicture("h:m:s t", t), "1:5:9 P");
  EXPECT_EQ(FormatTimePicture("hh 'h' mm tt", t), "01 h 05 PM");
  EXPECT_EQ(FormatTimePicture("HH:mm", Moment(2009, 7, 4, 9, 30, 0)), "09:30");
  EXPECT_EQ(FormatTimePicture("h tt", Moment(2009, 7, 4, 0, 30, 0)), "12 AM");
}

TEST(CaptureLogLineTest, FieldsTabsAndLineEnd) {
  EXPECT_EQ(CaptureLogLine("Title", "http://h/p", "07/04/2009 13:05:09"),
            "Title\thttp://h/p\t07/04/2009 13:05:09\r\n");
  // A TAB stays (it shifts the columns when read back); line breaks never
  // split one capture into two lines.
  EXPECT_EQ(CaptureLogLine("a\tb", "u", "t"), "a\tb\tu\tt\r\n");
  EXPECT_EQ(CaptureLogLine("two\r\nlines", "u\n", "t"), "two  lines\tu \tt\r\n");
  EXPECT_EQ(CaptureLogLine("", "", ""), "\t\t\r\n");
}

class AppendCaptureLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetUiBackend(&ui);
    SetLanguageOverride(Language::English);
    settings.CaptureLog.EnabledLog = 1;
    settings.CaptureLog.LogFilePath = dir.File("capture.log");
    settings.CaptureLog.EnabledAlertBySize = 1;
    settings.CaptureLog.SizeMBForAlert = 1;
    page.title = "Page title";
    page.locationUrl = "http://example.com/a/b.html?x=1";
  }
  void TearDown() override {
    SetUiBackend(nullptr);
    ClearLanguageOverride();
  }
  std::string Log() const { return test::ReadFile(dir.File("capture.log")); }
  // The length of the line that the next append writes.
  std::size_t LineSize() const {
    return page.title.size() + 1 + page.locationUrl.size() + 1 + std::string("07/04/2009 13:05:09").size() + 2;
  }

  static constexpr HWND kWindow = 0x4321;
  test::TempHome home;
  test::TempDir dir;
  ScriptedBackend ui;
  Settings settings;
  PageFacts page;
};

TEST_F(AppendCaptureLogTest, AppendsOneLinePerCapture) {
  ASSERT_EQ(AppendCaptureLog(settings, page, kWindow), S_OK);
  page.title = "Second";
  page.locationUrl = "file:///home/u/x.html";
  ASSERT_EQ(AppendCaptureLog(settings, page, kWindow), S_OK);
  const std::regex format(
      "Page title\thttp://example\\.com/a/b\\.html\\?x=1\t\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d\r\n"
      "Second\tfile:///home/u/x\\.html\t\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d\r\n");
  EXPECT_TRUE(std::regex_match(Log(), format)) << Log();
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(AppendCaptureLogTest, ExistingContentIsKept) {
  test::WriteFile(dir.File("capture.log"), "old\tline\ttime\r\n");
  ASSERT_EQ(AppendCaptureLog(settings, page, kWindow), S_OK);
  EXPECT_EQ(Log().rfind("old\tline\ttime\r\nPage title\t", 0), 0u);
}

TEST_F(AppendCaptureLogTest, NothingLoggedWhenOffOrWithoutDocumentOrUrl) {
  settings.CaptureLog.EnabledLog = 0;
  EXPECT_EQ(AppendCaptureLog(settings, page, kWindow), S_OK);
  settings.CaptureLog.EnabledLog = 1;
  page.documentResult = MakeHResult(0x80004002);
  EXPECT_EQ(AppendCaptureLog(settings, page, kWindow), S_OK);
  page.documentResult = S_OK;
  page.locationUrlResult = MakeHResult(0x80004005);
  EXPECT_EQ(AppendCaptureLog(settings, page, kWindow), S_OK);
  EXPECT_FALSE(test::FileExists(dir.File("capture.log")));

  // A title that cannot be read leaves the title empty.
  page.locationUrlResult = S_OK;
  page.titleResult = MakeHResult(0x80004005);
  EXPECT_EQ(AppendCaptureLog(settings, page, kWindow), S_OK);
  EXPECT_EQ(Log().rfind("\thttp://example.com/a/b.html?x=1\t", 0), 0u);
}

TEST_F(AppendCaptureLogTest, UnwritableLogLosesTheLineQuietly) {
  settings.CaptureLog.LogFilePath = dir.File("no/such/folder/capture.log");
  EXPECT_EQ(AppendCaptureLog(settings, page, kWindow), S_OK);
  EXPECT_TRUE(ui.boxes.empty());
  settings.CaptureLog.LogFilePath = dir.path();  // a folder
  EXPECT_EQ(AppendCaptureLog(settings, page, kWindow), S_OK);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(AppendCaptureLogTest, SizeAlertAtExactlyOneMegabyte) {
  // Filled so that the append ends the file at 1048576 bytes.
  test::WriteFile(dir.File("capture.log"), std::string(kLogAlertUnit - LineSize(), 'x'));
  ASSERT_EQ(AppendCaptureLog(settings, page, kWindow), S_OK);
  ASSERT_EQ(Log().size(), static_cast<std::size_t>(kLogAlertUnit));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Log file size has amounted to 1 MB.\nSweep log file.");
  EXPECT_EQ(ui.boxes[0].caption, "Log File Size");
  EXPECT_EQ(ui.boxes[0].type, MB_OK | MB_ICONWARNING);
  EXPECT_EQ(ui.boxes[0].owner, kWindow);

  // The alert repeats while the file stays above the limit; the file is untouched.
  ASSERT_EQ(AppendCaptureLog(settings, page, kWindow), S_OK);
  EXPECT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(Log().size(), static_cast<std::size_t>(kLogAlertUnit) + LineSize());
}

TEST_F(AppendCaptureLogTest, NoAlertOneByteShort) {
  test::WriteFile(dir.File("capture.log"), std::string(kLogAlertUnit - 1 - LineSize(), 'x'));
  ASSERT_EQ(AppendCaptureLog(settings, page, kWindow), S_OK);
  ASSERT_EQ(Log().size(), static_cast<std::size_t>(kLogAlertUnit - 1));
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(AppendCaptureLogTest, AlertSettings) {
  test::WriteFile(dir.File("capture.log"), std::string(kLogAlertUnit * 2, 'x'));
  settings.CaptureLog.EnabledAlertBySize = 0;
  ASSERT_EQ(AppendCaptureLog(settings, page, kWindow), S_OK);
  EXPECT_TRUE(ui.boxes.empty());

  settings.CaptureLog.EnabledAlertBySize = 1;
  settings.CaptureLog.SizeMBForAlert = 3;
  ASSERT_EQ(AppendCaptureLog(settings, page, kWindow), S_OK);
  EXPECT_TRUE(ui.boxes.empty());

  settings.CaptureLog.SizeMBForAlert = 2;
  SetLanguageOverride(Language::Japanese);
  ASSERT_EQ(AppendCaptureLog(settings, page, kWindow), S_OK);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "ログファイルのサイズが 2 MB に達しました。\nログファイルを整理してください。");
  // The Japanese time picture went into the line.
  const std::string log = Log();
  EXPECT_TRUE(std::regex_search(log, std::regex("\t\\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d\r\n$"))) << log.substr(log.size() - 40);
}

}  // namespace
}  // namespace ss
