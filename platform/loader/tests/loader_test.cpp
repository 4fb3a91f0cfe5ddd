#include "platform/loader/loader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "tests/support/test_home.h"

namespace ss {
namespace {

std::string TestLibrary() { return test::BuildDir() + "/lib/testlibs/refusing.so"; }

class LoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    unsetenv("SCROLLSNAP_TEST_REFUSE");
    unsetenv("SCROLLSNAP_TEST_ATTACHED");
    unsetenv("SCROLLSNAP_TEST_DETACHED");
  }
};

TEST_F(LoaderTest, LoadsCallsEntryAndFrees) {
  HMODULE h = LoadLibraryA(TestLibrary().c_str());
  ASSERT_NE(h, 0u) << LoaderLastErrorText();
  EXPECT_STREQ(std::getenv("SCROLLSNAP_TEST_ATTACHED"), "1");
  auto answer = reinterpret_cast<int (*)()>(GetProcAddress(h, "Answer"));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  EXPECT_EQ(GetProcAddress(h, "NoSuchExport"), nullptr);
  EXPECT_EQ(LoaderLastError(), ERROR_PROC_NOT_FOUND);
  EXPECT_EQ(GetModuleFileNameA(h), std::filesystem::canonical(TestLibrary()).string());
  EXPECT_TRUE(FreeLibrary(h));
  EXPECT_STREQ(std::getenv("SCROLLSNAP_TEST_DETACHED"), "1");
  EXPECT_FALSE(FreeLibrary(h));
  EXPECT_EQ(GetProcAddress(h, "Answer"), nullptr);
}

TEST_F(LoaderTest, ALibraryCanRefuseTheProcess) {
  setenv("SCROLLSNAP_TEST_REFUSE", "1", 1);
  EXPECT_EQ(LoadLibraryA(TestLibrary().c_str()), 0u);
  EXPECT_EQ(LoaderLastError(), ERROR_DLL_INIT_FAILED);
  EXPECT_EQ(std::getenv("SCROLLSNAP_TEST_DETACHED"), nullptr);
}

TEST_F(LoaderTest, MissingLibraryAndExecutablePath) {
  EXPECT_EQ(LoadLibraryA("/nonexistent/lib.so"), 0u);
  EXPECT_EQ(LoaderLastError(), ERROR_MOD_NOT_FOUND);
  EXPECT_NE(LoaderLastErrorText().find("/nonexistent/lib.so"), std::string::npos);
  EXPECT_NE(GetModuleFileNameA(0).find("test_platform_loader"), std::string::npos);
}

}  // namespace
}  // namespace ss

namespace ss {
namespace {

TEST_F(LoaderTest, BareNamesAreFoundInTheLibraryPath) {
  test::TempDir dir;
  std::filesystem::copy_file(TestLibrary(), dir.File("ieframe.dll"));
  EXPECT_EQ(LoadLibraryA("ieframe.dll"), 0u);  // not found without the path
  setenv("SCROLLSNAP_LIBRARY_PATH", ("/nonexistent:" + dir.path()).c_str(), 1);
  HMODULE h = LoadLibraryA("ieframe.dll");
  unsetenv("SCROLLSNAP_LIBRARY_PATH");
  ASSERT_NE(h, 0u) << LoaderLastErrorText();
  EXPECT_EQ(GetModuleFileNameA(h), std::filesystem::canonical(dir.File("ieframe.dll")).string());
  EXPECT_TRUE(FreeLibrary(h));
}

}  // namespace
}  // namespace ss
