#include "output/file_naming.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "output/text_helpers.h"
#include "platform/codepage/codepage.h"
#include "platform/resources/resources.h"
#include "resources/strings.h"
#include "tests/support/test_home.h"

namespace ss {
namespace {

namespace fs = std::filesystem;

bool IsDir(const std::string& p) { return fs::is_directory(p); }

// A fixture with its own home, a scripted user interface, English texts and a
// HOME whose documents folder lies in a temporary folder.
class FileNamingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetUiBackend(&ui);
    SetLanguageOverride(Language::English);
    if (const char* h = std::getenv("HOME")) oldHome = h, hadHome = true;
    if (const char* x = std::getenv("XDG_CONFIG_HOME")) oldConfig = x, hadConfig = true;
    setenv("HOME", homeDir.path().c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
    settings.ImageFilePath.BaseFolderPath = dir.path();
    settings.ImageFilePath.FileNameRule = "HTMLTitle";
    page.title = "Title";
    page.locationUrl = "http://example.com/dir/page.html";
    page.pathname = "/dir/page.html";
  }
  void TearDown() override {
    SetUiBackend(nullptr);
    ClearLanguageOverride();
    SetProcessCodePage(CP_UTF8);
    if (hadHome) setenv("HOME", oldHome.c_str(), 1);
    else unsetenv("HOME");
    if (hadConfig) setenv("XDG_CONFIG_HOME", oldConfig.c_str(), 1);
  }
  HRESULT Build() { return BuildSavePath(settings, page, &png, kWindow, out); }
  std::string Documents() const { return homeDir.path() + "/Documents"; }

  static constexpr HWND kWindow = 0x1234;
  test::TempHome home;
  test::TempDir dir;
  test::TempDir homeDir;
  ScriptedBackend ui;
  Settings settings;
  PageFacts page;
  SaveFormat png{"png", "PNG (*.png)|*.png|All Files|*.*||"};
  SaveFormat jpg{"jpg", "Jpeg (*.jpg)|*.jpg|All Files|*.*||"};
  OutputTexts out;
  std::string oldHome, oldConfig;
  bool hadHome = false, hadConfig = false;
};

TEST(FileNameRuleTableTest, RowsAndClassification) {
  ASSERT_EQ(kFileNameRuleCount, 6u);
  const char* names[] = {"HTMLFileTitle", "HTMLFileWithoutExt", "HTMLFileWithExt", "Numbered2", "Numbered3",
                         "UniqueTimeID"};
  const std::uint32_t ids[] = {111, 109, 110, 117, 118, 293};
  SetLanguageOverride(Language::English);
  for (std::size_t i = 0; i < kFileNameRuleCount; ++i) {
    EXPECT_STREQ(FileNameRuleTable[i].name, names[i]);
    EXPECT_EQ(FileNameRuleTable[i].displayStringId, ids[i]);
    EXPECT_FALSE(LoadModuleString(ids[i]).empty()) << ids[i];
  }
  EXPECT_EQ(LoadModuleString(FileNameRuleTable[5].displayStringId), "Unique Time ID");
  ClearLanguageOverride();

  EXPECT_EQ(ClassifyFileNameRule("UniqueTimeID"), FileNameRuleKind::UniqueTime);
  EXPECT_EQ(ClassifyFileNameRule("Numbered2"), FileNameRuleKind::Numbered2);
  EXPECT_EQ(ClassifyFileNameRule("Numbered3"), FileNameRuleKind::Numbered3);
  EXPECT_EQ(ClassifyFileNameRule("HTMLFileWithoutExt"), FileNameRuleKind::FileWithoutExt);
  EXPECT_EQ(ClassifyFileNameRule("HTMLFileWithExt"), FileNameRuleKind::FileWithExt);
  EXPECT_EQ(ClassifyFileNameRule("Fixed"), FileNameRuleKind::Fixed);
  for (const char* other : {"HTMLTitle", "HTMLFileTitle", "fixed", "numbered2", ""})
    EXPECT_EQ(ClassifyFileNameRule(other), FileNameRuleKind::Title) << other;
}

TEST(HtmlFileBodyTest, BodiesFromPathNames) {
  const struct {
    std::string pathName;
    bool withExt;
    std::string body;
  } cases[] = {
      {"/", true, "index.html"},
      {"/", false, "index"},
      {"/docs/", true, "index.html"},
      {"/report.final.html", false, "report.final"},
      {"/report.final.html", true, "report.final.html"},
      {"/dir/.htaccess", false, ".htaccess"},
      {"/dir/README", false, "README"},
      {"/x\\y.html", true, "y.html"},
      {"/a:b*c.html", true, "a_b_c.html"},
      {"page.html", true, "page.html"},
      {"", true, "index.html"},
  };
  for (const auto& c : cases) EXPECT_EQ(HtmlFileBody(c.pathName, c.withExt), c.body) << c.pathName;
  // A decoded slash acts as a separator.
  EXPECT_EQ(HtmlFileBody(DecodeUrlText("/a%20b%2Fc.html"), true), "c.html");
}

TEST(HtmlFileBodyTest, ShiftJisTrailByteIsNoSeparator) {
  SetProcessCodePage(CP_932);
  // "\x83\x5c" ends in 0x5C but is one character: the body starts after the "/".
  EXPECT_EQ(HtmlFileBody("/dir/\x83\x5c" "a.html", true), "\x83\x5c" "a.html");
  EXPECT_EQ(HtmlFileBody("/dir/\x83\x5c" ".html", false), "\x83\x5c");
  EXPECT_EQ(HtmlFileBody("/dir/x\\\x83\x5c" ".html", true), "\x83\x5c" ".html");
  SetProcessCodePage(CP_UTF8);
}

TEST(JoinFilePathTest, TrailingSeparatorsAndEmptyExtension) {
  EXPECT_EQ(JoinFilePath("/out", "a", "png"), "/out/a.png");
  EXPECT_EQ(JoinFilePath("/out//", "a", "png"), "/out/a.png");
  EXPECT_EQ(JoinFilePath("/out", "a", ""), "/out/a");
  EXPECT_EQ(JoinFilePath("/", "a", "png"), "/a.png");
}

TEST(UniqueTimeIdTest, SeventeenDigitsOfNow) {
  std::time_t before = std::time(nullptr);
  std::string id = UniqueTimeId();
  ASSERT_EQ(id.size(), 17u);
  EXPECT_EQ(id.find_first_not_of("0123456789"), std::string::npos);
  std::tm t{};
  localtime_r(&before, &t);
  char year[16];
  std::snprintf(year, sizeof year, "%04d", t.tm_year + 1900);
  EXPECT_EQ(id.substr(0, 4), year);
  EXPECT_LE(std::stoi(id.substr(14)), 999);
}

TEST_F(FileNamingTest, TitleRuleReplacesProhibitedCharacters) {
  page.title = "a/b:c";
  ASSERT_EQ(Build(), S_OK);
  EXPECT_EQ(out.outputPath, dir.path() + "/a_b_c.png");
  EXPECT_EQ(out.outputFolder, dir.path());
  EXPECT_EQ(out.outputBody, "a_b_c");
  EXPECT_EQ(out.outputExt, "png");

  // The title is not URL-decoded; unknown rules use the title.
  page.title = "100%25 done";
  settings.ImageFilePath.FileNameRule = "SomethingElse";
  ASSERT_EQ(Build(), S_OK);
  EXPECT_EQ(out.outputBody, "100%25 done");
}

TEST_F(FileNamingTest, ShiftJisTitleKeepsItsTrailBackslash) {
  SetProcessCodePage(CP_932);
  page.title = "\x83\x5c\x83\x67/x";  // "ソト/x"
  ASSERT_EQ(Build(), S_OK);
  EXPECT_EQ(out.outputBody, "\x83\x5c\x83\x67_x");
}

TEST_F(FileNamingTest, PageFileRules) {
  const struct {
    const char* rule;
    std::string pathname;
    std::string file;
  } cases[] = {
      {"HTMLFileWithExt", "/", "index.html.png"},
      {"HTMLFileWithoutExt", "/", "index.png"},
      {"HTMLFileWithoutExt", "/report.final.html", "report.final.png"},
      {"HTMLFileWithExt", "/a%20b%2Fc.html", "c.html.png"},
      {"HTMLFileWithExt", "/%2E%2E", "__.png"},  // a body of dots only names no folder
  };
  for (const auto& c : cases) {
    settings.ImageFilePath.FileNameRule = c.rule;
    page.pathname = c.pathname;
    ASSERT_EQ(Build(), S_OK) << c.pathname;
    EXPECT_EQ(out.outputPath, dir.path() + "/" + c.file) << c.pathname;
  }
}

TEST_F(FileNamingTest, FixedRuleUsesTheFixedFileName) {
  settings.ImageFilePath.FileNameRule = "Fixed";
  settings.ImageFilePath.FixedFileName = "shot:1";
  page.titleResult = MakeHResult(0x80004005);  // the title is not needed
  ASSERT_EQ(Build(), S_OK);
  EXPECT_EQ(out.outputPath, dir.path() + "/shot_1.png");
  settings.ImageFilePath.FixedFileName = "";
  ASSERT_EQ(Build(), S_OK);
  EXPECT_EQ(out.outputBody, "Scrollsnap");
}

TEST_F(FileNamingTest, BodyOfDotsOnlyIsReplaced) {
  page.title = "..";
  ASSERT_EQ(Build(), S_OK);
  EXPECT_EQ(out.outputBody, "__");
}

TEST_F(FileNamingTest, NumberingSkipsTakenNamesOfTheSameExtension) {
  settings.ImageFilePath.FileNameRule = "Numbered2";
  test::WriteFile(dir.File("00.jpg"), "x");
  test::WriteFile(dir.File("01.jpg"), "x");
  test::WriteFile(dir.File("02.png"), "x");
  ASSERT_EQ(BuildSavePath(settings, page, &jpg, kWindow, out), S_OK);
  EXPECT_EQ(out.outputBody, "02");
  EXPECT_EQ(out.outputPath, dir.path() + "/02.jpg");

  // A folder counts as taken too.
  fs::create_directory(dir.File("02.jpg"));
  ASSERT_EQ(BuildSavePath(settings, page, &jpg, kWindow, out), S_OK);
  EXPECT_EQ(out.outputBody, "03");

  settings.ImageFilePath.FileNameRule = "Numbered3";
  ASSERT_EQ(BuildSavePath(settings, page, &png, kWindow, out), S_OK);
  EXPECT_EQ(out.outputBody, "000");
}

TEST_F(FileNamingTest, NumberingFailsWhenEveryNumberIsTaken) {
  settings.ImageFilePath.FileNameRule = "Numbered2";
  for (int n = 0; n < 100; ++n) {
    char name[16];
    std::snprintf(name, sizeof name, "%02d.png", n);
    test::WriteFile(dir.File(name), "");
  }
  out.outputPath = "previous";
  EXPECT_EQ(Build(), kErrNumbersExhausted);
  EXPECT_EQ(out.outputPath, "previous");
  std::string body;
  EXPECT_EQ(FindFreeNumber(dir.path(), 3, "png", &body), S_OK);
  EXPECT_EQ(body, "000");
  EXPECT_EQ(FindFreeNumber(dir.path(), 0, "png", &body), S_OK);  // clamped to one digit
  EXPECT_EQ(body, "0");
  test::WriteFile(dir.File("0000.png"), "");
  EXPECT_EQ(FindFreeNumber(dir.path(), 9, "png", &body), S_OK);  // clamped to four digits
  EXPECT_EQ(body, "0001");
}

TEST_F(FileNamingTest, UniqueTimeRule) {
  settings.ImageFilePath.FileNameRule = "UniqueTimeID";
  ASSERT_EQ(Build(), S_OK);
  EXPECT_EQ(out.outputBody.size(), 17u);
  EXPECT_EQ(out.outputPath, dir.path() + "/" + out.outputBody + ".png");
}

TEST_F(FileNamingTest, UrlFoldersAreCreatedUnderTheBase) {
  settings.ImageFilePath.BaseFolderPath = dir.File("out");
  settings.ImageFilePath.MakeURLFolders = 1;
  page.locationUrl = "http://H/x/y/z.html";
  ASSERT_EQ(Build(), S_OK);
  EXPECT_EQ(out.outputFolder, dir.File("out/H/x/y"));
  EXPECT_EQ(out.outputPath, dir.File("out/H/x/y/Title.png"));
  EXPECT_TRUE(IsDir(dir.File("out/H/x/y")));
}

TEST_F(FileNamingTest, CraftedUrlCannotLeaveTheBaseFolder) {
  const std::string base = dir.File("base");
  settings.ImageFilePath.BaseFolderPath = base;
  settings.ImageFilePath.MakeURLFolders = 1;
  settings.ImageFilePath.FileNameRule = "HTMLFileWithExt";
  const struct {
    const char* url;
    const char* pathname;
    std::string expected;
  } cases[] = {
      {"http://h/a%2F..%2F..%2Fetc/x", "/a%2F..%2F..%2Fetc/x", base + "/h/a/__/__/etc/x.png"},
      {"http://h/%2E%2E/%2e%2E/%2E%2e/p", "/%2E%2E/%2e%2E/%2E%2e/p", base + "/h/__/__/__/p.png"},
      {"http://../../p", "/../p", base + "/__/__/p.png"},
      {"http://h/x/%2E%2E", "/x/%2E%2E", base + "/h/x/__.png"},
  };
  for (const auto& c : cases) {
    page.locationUrl = c.url;
    page.pathname = c.pathname;
    ASSERT_EQ(Build(), S_OK) << c.url;
    EXPECT_EQ(out.outputPath, c.expected) << c.url;
    // Resolved, the path still lies under the base folder.
    std::string resolved = fs::weakly_canonical(out.outputPath).string();
    EXPECT_EQ(resolved.rfind(fs::canonical(base).string() + "/", 0), 0u) << resolved;
  }
  EXPECT_FALSE(fs::exists(dir.File("etc")));
}

TEST_F(FileNamingTest, UrlFailureMattersOnlyWithUrlFolders) {
  page.locationUrlResult = MakeHResult(0x80004005);
  EXPECT_EQ(Build(), S_OK);
  settings.ImageFilePath.MakeURLFolders = 1;
  EXPECT_EQ(Build(), MakeHResult(0x80004005));
}

TEST_F(FileNamingTest, DocumentAndTitleFailuresEndTheStep) {
  page.documentResult = MakeHResult(0x80004002);
  EXPECT_EQ(Build(), MakeHResult(0x80004002));
  page.documentResult = S_OK;
  page.titleResult = MakeHResult(0x80070057);
  EXPECT_EQ(Build(), MakeHResult(0x80070057));
  settings.ImageFilePath.FileNameRule = "Numbered2";  // needs no title
  EXPECT_EQ(Build(), S_OK);
  settings.ImageFilePath.FileNameRule = "HTMLFileWithExt";
  page.pathnameResult = MakeHResult(0x80004003);
  EXPECT_EQ(Build(), MakeHResult(0x80004003));
}

TEST_F(FileNamingTest, UnknownFormatIsRefused) {
  EXPECT_EQ(BuildSavePath(settings, page, nullptr, kWindow, out), kErrImageFormatInvalid);
}

TEST_F(FileNamingTest, BaseFolderWithTrailingSeparators) {
  settings.ImageFilePath.BaseFolderPath = dir.path() + "//";
  ASSERT_EQ(Build(), S_OK);
  EXPECT_EQ(out.outputPath, dir.path() + "/Title.png");
}

TEST_F(FileNamingTest, MissingBaseFolderIsCreated) {
  settings.ImageFilePath.BaseFolderPath = dir.File("new/deeper");
  ASSERT_EQ(Build(), S_OK);
  EXPECT_TRUE(IsDir(dir.File("new/deeper")));
  EXPECT_EQ(out.outputPath, dir.File("new/deeper/Title.png"));
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(FileNamingTest, UncreatableBaseFolderFallsBackToDocuments) {
  // A file stands where a parent folder would have to be.
  test::WriteFile(dir.File("blocker"), "x");
  settings.ImageFilePath.BaseFolderPath = dir.File("blocker/sub");
  ASSERT_EQ(Build(), S_OK);
  EXPECT_EQ(out.outputPath, Documents() + "/Title.png");
  EXPECT_TRUE(IsDir(Documents()));
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(settings.ImageFilePath.BaseFolderPath, dir.File("blocker/sub"));  // the setting is kept

  // An empty base folder means the documents folder as well.
  settings.ImageFilePath.BaseFolderPath = "";
  ASSERT_EQ(Build(), S_OK);
  EXPECT_EQ(out.outputFolder, Documents());
}

TEST_F(FileNamingTest, BaseFolderWithoutSeparatorShowsTheKeepDirectoryError) {
  settings.ImageFilePath.BaseFolderPath = "relative-folder-name";
  ASSERT_EQ(Build(), S_OK);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].caption, "Keep directory error");
  EXPECT_EQ(ui.boxes[0].text, "relative-folder-name");
  EXPECT_EQ(ui.boxes[0].owner, 0u);
  EXPECT_EQ(ui.boxes[0].type, MB_OK);
  EXPECT_EQ(out.outputFolder, Documents());
  EXPECT_EQ(EnsureFolder("relative-folder-name", '/'), kErrKeepFolder);
}

TEST_F(FileNamingTest, EnsureFolderAcceptsAnExistingFileAndTheRoot) {
  test::WriteFile(dir.File("plain"), "x");
  EXPECT_EQ(EnsureFolder(dir.File("plain"), '/'), S_OK);
  EXPECT_EQ(EnsureFolder("/", '/'), S_OK);
  EXPECT_EQ(EnsureFolder(dir.File("a/b/c/"), '/'), S_OK);
  EXPECT_TRUE(IsDir(dir.File("a/b/c")));
  EXPECT_EQ(EnsureFolder(dir.File("plain/sub"), '/'), kErrKeepFolder);
}

TEST_F(FileNamingTest, PathLengthLimit) {
  // folder + "/" + body + ".png": choose the body for 259 and 260 characters.
  const std::size_t fixed = dir.path().size() + 1 + 4;
  page.title = std::string(259 - fixed, 'a');
  ASSERT_EQ(Build(), S_OK);
  EXPECT_EQ(out.outputPath.size(), 259u);
  out.outputPath = "kept";
  page.title = std::string(260 - fixed, 'a');
  EXPECT_EQ(Build(), kErrFilePathTooLong);
  EXPECT_EQ(out.outputPath, "kept");
}

TEST_F(FileNamingTest, OverwriteQuestionYes) {
  settings.ImageFilePath.ConfirmOverwrite = 1;
  test::WriteFile(dir.File("Title.png"), "old");
  ui.answers.push_back(IDYES);
  ASSERT_EQ(Build(), S_OK);
  EXPECT_EQ(out.outputPath, dir.File("Title.png"));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].caption, "Save As");
  EXPECT_EQ(ui.boxes[0].text, "Title.png already exists.\nDo you want to replace it?");
  EXPECT_EQ(ui.boxes[0].type, MB_YESNO | MB_ICONQUESTION);
  EXPECT_EQ(ui.boxes[0].owner, kWindow);
  EXPECT_TRUE(ui.fileDialogs.empty());
}

TEST_F(FileNamingTest, OverwriteQuestionNoOpensTheSaveDialog) {
  settings.ImageFilePath.ConfirmOverwrite = 1;
  test::WriteFile(dir.File("Title.png"), "old");
  ui.answers.push_back(IDNO);
  ui.filePaths.push_back("");  // Cancel in the save dialog
  EXPECT_EQ(Build(), kResultCancelled);
  ASSERT_EQ(ui.fileDialogs.size(), 1u);
  const FileDialogRequest& request = ui.fileDialogs[0];
  EXPECT_EQ(request.fileName, dir.File("Title.png"));  // the same proposal
  EXPECT_TRUE(request.save);
  EXPECT_FALSE(request.overwritePrompt);
  EXPECT_EQ(request.filter, png.filter);
  EXPECT_EQ(request.defaultExt, "png");
  EXPECT_EQ(request.owner, kWindow);

  // No, then a new name in the dialog: that name is taken.
  ui.answers.push_back(IDNO);
  ui.filePaths.push_back(dir.File("other.png"));
  ASSERT_EQ(Build(), S_OK);
  EXPECT_EQ(out.outputPath, dir.File("other.png"));

  // No, the same name again, then Yes.
  ui.answers = {IDNO, IDYES};
  ui.filePaths.push_back(dir.File("Title.png"));
  ASSERT_EQ(Build(), S_OK);
  EXPECT_EQ(out.outputPath, dir.File("Title.png"));
}

TEST_F(FileNamingTest, WithoutConfirmationAnExistingFileIsReplaced) {
  test::WriteFile(dir.File("Title.png"), "old");
  ASSERT_EQ(Build(), S_OK);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(FileNamingTest, SaveDialogChoices) {
  settings.ImageFilePath.OpenSaveDialog = 1;
  ui.filePaths.push_back(dir.File("chosen.png"));
  ASSERT_EQ(Build(), S_OK);
  EXPECT_EQ(out.outputPath, dir.File("chosen.png"));
  ASSERT_EQ(ui.fileDialogs.size(), 1u);
  EXPECT_EQ(ui.fileDialogs[0].fileName, dir.File("Title.png"));

  // A folder chosen in the dialog.
  fs::create_directory(dir.File("05.jpg"));
  ui.filePaths.push_back(dir.File("05.jpg"));
  EXPECT_EQ(Build(), kErrPathIsFolder);

  // A chosen path that does not fit.
  ui.filePaths.push_back(dir.path() + "/" + std::string(300, 'z') + ".png");
  EXPECT_EQ(Build(), kErrFilePathTooLong);

  ui.filePaths.push_back("");
  EXPECT_EQ(Build(), kResultCancelled);
}

}  // namespace
}  // namespace ss
