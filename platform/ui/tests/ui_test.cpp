#include "platform/ui/ui.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/codepage/codepage.h"

namespace ss {
namespace {

TEST(UiTest, DefaultButtonOfEachBoxType) {
  struct Case {
    UINT type;
    int expected;
  };
  const Case cases[] = {
      {MB_OK, IDOK},
      {MB_OK | MB_DEFBUTTON2, IDOK},  // no second button: the first
      {MB_OKCANCEL, IDOK},
      {MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL},
      {MB_YESNO | MB_ICONQUESTION, IDYES},
      {MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, IDNO},
      {MB_YESNOCANCEL | MB_DEFBUTTON3, IDCANCEL},
      {MB_YESNOCANCEL | MB_DEFBUTTON2 | MB_ICONWARNING, IDNO},
      {MB_RETRYCANCEL | MB_DEFBUTTON2, IDCANCEL},
      {MB_ABORTRETRYIGNORE | MB_DEFBUTTON3, IDIGNORE},
  };
  for (const auto& c : cases) EXPECT_EQ(DefaultButton(c.type), c.expected) << std::hex << c.type;
}

TEST(UiTest, BatchPrintsTheBoxAndAnswersWithAButtonItHas) {
  struct Case {
    PresetAnswer answer;
    UINT type;
    int expected;
  };
  const Case cases[] = {
      {PresetAnswer::Default, MB_OK, IDOK},
      {PresetAnswer::Yes, MB_OK, IDOK},
      {PresetAnswer::No, MB_OK | MB_ICONERROR, IDOK},
      {PresetAnswer::Cancel, MB_OK, IDOK},
      {PresetAnswer::Default, MB_YESNO | MB_DEFBUTTON2, IDNO},
      {PresetAnswer::Yes, MB_YESNO | MB_DEFBUTTON2, IDYES},
      {PresetAnswer::No, MB_YESNO, IDNO},
      {PresetAnswer::Cancel, MB_YESNO | MB_DEFBUTTON2, IDNO},  // no Cancel: the default
      {PresetAnswer::Cancel, MB_YESNOCANCEL, IDCANCEL},
      {PresetAnswer::Cancel, MB_OKCANCEL, IDCANCEL},
      {PresetAnswer::Yes, MB_OKCANCEL, IDOK},
      {PresetAnswer::No, MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL},
  };
  for (const auto& c : cases) {
    auto batch = MakeBatchBackend(c.answer);
    EXPECT_FALSE(batch->Interactive());
    ::testing::internal::CaptureStderr();
    int got = batch->MessageBox(0, "Replace the current setting?", "Restore Setting", c.type);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Restore Setting: Replace the current setting?\n");
    EXPECT_EQ(got, c.expected) << static_cast<int>(c.answer) << " " << std::hex << c.type;
  }
}

TEST(UiTest, BatchPrintsUtf8WhateverTheCodePage) {
  UINT saved = GetACP();
  SetProcessCodePage(CP_932);
  auto batch = MakeBatchBackend(PresetAnswer::Default);
  ::testing::internal::CaptureStderr();
  batch->MessageBox(0, "\x83\x8C\x83\x57\x83\x58\x83\x67\x83\x8A", "\x95\x5C", MB_OK);  // レジストリ, 表
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "\xE8\xA1\xA8: \xE3\x83\xAC\xE3\x82\xB8\xE3\x82\xB9\xE3\x83\x88\xE3\x83\xAA\n");
  SetProcessCodePage(saved);
}

TEST(UiTest, FilePickersWithoutAUserAcceptTheProposedName) {
  struct Case {
    std::string folder, name, ext;
    bool accepted;
    std::string path;
  };
  const std::vector<Case> cases = {
      {"/tmp/out", "Scrollsnap.ssb", "ssb", true, "/tmp/out/Scrollsnap.ssb"},
      {"/tmp/out/", "page", "png", true, "/tmp/out/page.png"},
      {"/tmp/out", "page.", "png", true, "/tmp/out/page.png"},
      {"/tmp/out", "/abs/file.jpg", "png", true, "/abs/file.jpg"},
      {"/tmp/out", "v1.2/page", "bmp", true, "/tmp/out/v1.2/page.bmp"},  // a dot in a folder is no extension
      {"/tmp/out", ".hidden", "ssb", true, "/tmp/out/.hidden.ssb"},
      {"/tmp/out", "page", "", true, "/tmp/out/page"},
      {"/tmp/out", "", "png", false, ""},
  };
  for (bool save : {true, false}) {
    for (const auto& c : cases) {
      auto batch = MakeBatchBackend(PresetAnswer::Default);
      FileDialogRequest r;
      r.save = save;
      r.initialFolder = c.folder;
      r.fileName = c.name;
      r.defaultExt = c.ext;
      EXPECT_EQ(batch->FileDialog(r), c.accepted) << c.name;
      if (c.accepted) {
        EXPECT_EQ(r.fileName, c.path);
      }
    }
  }
  // Without an initial folder the name is taken in the current folder.
  FileDialogRequest r;
  r.fileName = "x.txt";
  ASSERT_TRUE(AcceptProposedFile(r));
  ASSERT_FALSE(r.fileName.empty());
  EXPECT_EQ(r.fileName.front(), '/');
  EXPECT_EQ(r.fileName.substr(r.fileName.size() - 6), "/x.txt");
}

TEST(UiTest, ScriptedBackendAnswersFromItsQueueAndRecords) {
  ScriptedBackend s;
  s.answers = {IDNO, IDCANCEL};
  EXPECT_EQ(s.MessageBox(7, "first", "A", MB_YESNO), IDNO);
  EXPECT_EQ(s.MessageBox(0, "second", "B", MB_YESNOCANCEL), IDCANCEL);
  EXPECT_EQ(s.MessageBox(0, "third", "C", MB_YESNO | MB_DEFBUTTON2), IDNO);  // queue empty: default
  EXPECT_EQ(s.MessageBox(0, "fourth", "D", MB_OK), IDOK);
  ASSERT_EQ(s.boxes.size(), 4u);
  EXPECT_EQ(s.boxes[0].owner, 7u);
  EXPECT_EQ(s.boxes[0].text, "first");
  EXPECT_EQ(s.boxes[1].caption, "B");
  EXPECT_EQ(s.boxes[2].type, MB_YESNO | MB_DEFBUTTON2);
  EXPECT_EQ(s.boxes[3].answer, IDOK);

  s.filePaths = {"/chosen/file.xml", ""};
  FileDialogRequest r;
  r.title = "Backup Setting";
  r.initialFolder = "/docs";
  r.fileName = "Scrollsnap.ssb";
  EXPECT_TRUE(s.FileDialog(r));
  EXPECT_EQ(r.fileName, "/chosen/file.xml");
  r.fileName = "Scrollsnap.ssb";
  EXPECT_FALSE(s.FileDialog(r));  // "" = the user cancelled
  EXPECT_TRUE(s.FileDialog(r));   // queue empty: the proposed name
  EXPECT_EQ(r.fileName, "/docs/Scrollsnap.ssb");
  ASSERT_EQ(s.fileDialogs.size(), 3u);
  EXPECT_EQ(s.fileDialogs[0].title, "Backup Setting");
  EXPECT_EQ(s.fileDialogs[0].fileName, "Scrollsnap.ssb");  // recorded as asked
}

TEST(UiTest, ProcessBackendServesTheWin32Calls) {
  ScriptedBackend s;
  s.answers = {IDYES};
  SetUiBackend(&s);
  EXPECT_EQ(&GetUiBackend(), &s);
  EXPECT_EQ(MessageBoxA(3, "Sure?", nullptr, MB_YESNO), IDYES);
  ASSERT_EQ(s.boxes.size(), 1u);
  EXPECT_EQ(s.boxes[0].caption, "Error");  // no caption: the platform's default
  EXPECT_EQ(MessageBoxA(0, nullptr, "Cap", MB_OK), IDOK);
  EXPECT_EQ(s.boxes[1].text, "");

  // Boxes from several threads are all served and recorded.
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i)
    threads.emplace_back([] {
      for (int j = 0; j < 50; ++j) MessageBoxA(0, "t", "c", MB_OK);
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(s.boxes.size(), 2u + 200u);

  FileDialogRequest save;
  save.save = false;
  save.fileName = "a";
  save.initialFolder = "/x";
  s.filePaths = {"/saved"};
  EXPECT_TRUE(GetSaveFileNameA(save));
  EXPECT_TRUE(s.fileDialogs.back().save);
  FileDialogRequest open;
  open.fileName = "b.ssb";
  open.initialFolder = "/y";
  EXPECT_TRUE(GetOpenFileNameA(open));
  EXPECT_FALSE(s.fileDialogs.back().save);
  EXPECT_EQ(open.fileName, "/y/b.ssb");

  SetUiBackend(nullptr);  // back to batch with the default answer
  EXPECT_NE(&GetUiBackend(), &s);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(MessageBoxA(0, "text", "caption", MB_YESNO | MB_DEFBUTTON2), IDNO);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "caption: text\n");
}

class FakeGui : public ScriptedBackend {
 public:
  bool Interactive() const override { return true; }
};
std::unique_ptr<UiBackend> MakeFakeGui(PresetAnswer) { return std::make_unique<FakeGui>(); }

TEST(UiTest, BackendChoiceByMode) {
  PresetAnswer a = PresetAnswer::Default;
  EXPECT_TRUE(ParsePresetAnswer("yes", &a));
  EXPECT_EQ(a, PresetAnswer::Yes);
  EXPECT_TRUE(ParsePresetAnswer("No", &a));
  EXPECT_EQ(a, PresetAnswer::No);
  EXPECT_TRUE(ParsePresetAnswer("CANCEL", &a));
  EXPECT_EQ(a, PresetAnswer::Cancel);
  EXPECT_TRUE(ParsePresetAnswer("", &a));
  EXPECT_EQ(a, PresetAnswer::Default);
  EXPECT_FALSE(ParsePresetAnswer("maybe", &a));

  const char* display = std::getenv("DISPLAY");
  std::optional<std::string> savedDisplay = display ? std::optional<std::string>(display) : std::nullopt;
  const char* qpa = std::getenv("QT_QPA_PLATFORM");
  std::optional<std::string> savedQpa = qpa ? std::optional<std::string>(qpa) : std::nullopt;

  SetGuiBackendFactory(nullptr);
  EXPECT_EQ(MakeUiBackend("gui", PresetAnswer::Default), nullptr);
  EXPECT_EQ(MakeUiBackend("nonsense", PresetAnswer::Default), nullptr);
  auto batch = MakeUiBackend("auto", PresetAnswer::Yes);
  ASSERT_NE(batch, nullptr);
  EXPECT_FALSE(batch->Interactive());
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(batch->MessageBox(0, "t", "c", MB_YESNO | MB_DEFBUTTON2), IDYES);  // the answer is passed on
  ::testing::internal::GetCapturedStderr();

  SetGuiBackendFactory(&MakeFakeGui);
  setenv("DISPLAY", ":99", 1);
  unsetenv("QT_QPA_PLATFORM");
  EXPECT_TRUE(DisplayPresent());
  EXPECT_TRUE(MakeUiBackend("auto", PresetAnswer::Default)->Interactive());
  EXPECT_TRUE(MakeUiBackend("gui", PresetAnswer::Default)->Interactive());
  EXPECT_FALSE(MakeUiBackend("batch", PresetAnswer::Default)->Interactive());
  setenv("QT_QPA_PLATFORM", "offscreen", 1);  // headless: no display to show windows on
  EXPECT_FALSE(DisplayPresent());
  EXPECT_FALSE(MakeUiBackend("auto", PresetAnswer::Default)->Interactive());
  SetGuiBackendFactory(nullptr);

  if (savedDisplay) setenv("DISPLAY", savedDisplay->c_str(), 1);
  else unsetenv("DISPLAY");
  if (savedQpa) setenv("QT_QPA_PLATFORM", savedQpa->c_str(), 1);
  else unsetenv("QT_QPA_PLATFORM");
}

}  // namespace
}  // namespace ss
