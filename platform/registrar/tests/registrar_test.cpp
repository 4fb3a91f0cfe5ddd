#include "platform/registrar/registrar.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/registry/registry.h"
#include "tests/support/test_home.h"

namespace ss {
namespace {

const char kScript[] = R"(
HKCR
{
	Demo.Thing.1 = s 'Thing Class'
	{
		CLSID = s '{11111111-2222-3333-4444-555555555555}'
	}
	NoRemove CLSID
	{
		ForceRemove {11111111-2222-3333-4444-555555555555} = s 'Thing Class'
		{
			ForceRemove 'Programmable'
			InprocServer32 = s '%MODULE%'
			{
				val ThreadingModel = s 'Apartment'
			}
			'TypeLib' = s 'It''s quoted'
		}
	}
}
HKLM
{
	NoRemove SOFTWARE
	{
		NoRemove Demo
		{
			NoRemove 'Helper Objects'
			{
				ForceRemove {11111111-2222-3333-4444-555555555555}
			}
			Counts
			{
				val Flags = d 8
				val Hex = d '0x10'
				val Bytes = b '00FF7a'
			}
		}
	}
}
)";

std::string Text(HKEY root, const char* path, const char* name = "") {
  HKEY k = 0;
  if (RegOpenKeyExA(root, path, 0, KEY_READ, &k) != ERROR_SUCCESS) return "<no key>";
  char buf[256];
  DWORD type = 0, size = sizeof buf;
  std::string out = RegQueryValueExA(k, name, &type, reinterpret_cast<BYTE*>(buf), &size) == ERROR_SUCCESS
                        ? std::string(buf, size)
                        : "<no value>";
  RegCloseKey(k);
  return out;
}

bool Exists(HKEY root, const char* path) { return Text(root, path) != "<no key>"; }

class RegistrarTest : public ::testing::Test {
 protected:
  test::TempHome home_;
  RegistrarReplacements repl_ = {{"MODULE", "/opt/x/scrollsnap.so"}};
};

TEST_F(RegistrarTest, RegistersKeysValuesAndReplacements) {
  ASSERT_EQ(RegistrarRun(kScript, true, repl_), S_OK) << RegistrarLastError();
  const char* clsid = "CLSID\\{11111111-2222-3333-4444-555555555555}";
  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, "Demo.Thing.1"), "Thing Class");
  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, (std::string(clsid) + "\\InprocServer32").c_str()), "/opt/x/scrollsnap.so");
  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, (std::string(clsid) + "\\InprocServer32").c_str(), "ThreadingModel"), "Apartment");
  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, (std::string(clsid) + "\\TypeLib").c_str()), "It's quoted");
  EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, (std::string(clsid) + "\\Programmable").c_str()));
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, "SOFTWARE\\Demo\\Counts", "Flags"), std::string("\x08\0\0\0", 4));
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, "SOFTWARE\\Demo\\Counts", "Hex"), std::string("\x10\0\0\0", 4));
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, "SOFTWARE\\Demo\\Counts", "Bytes"), std::string("\x00\xff\x7a", 3));
  // The current user's store is not touched.
  EXPECT_FALSE(Exists(HKEY_CURRENT_USER, "SOFTWARE\\Demo"));
}

TEST_F(RegistrarTest, ForceRemoveMakesTheKeyAnew) {
  ASSERT_EQ(RegistrarRun(kScript, true, repl_), S_OK);
  HKEY k = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "CLSID\\{11111111-2222-3333-4444-555555555555}\\Stale", KEY_ALL_ACCESS,
                            &k, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(k);
  ASSERT_EQ(RegistrarRun(kScript, true, repl_), S_OK);
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, "CLSID\\{11111111-2222-3333-4444-555555555555}\\Stale"));
}

TEST_F(RegistrarTest, RemovalKeepsNoRemoveKeysAndOtherEntries) {
  HKEY k = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Demo\\Helper Objects\\{OTHER}", KEY_ALL_ACCESS, &k, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(k);
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "CLSID\\{SOMEONE-ELSE}", KEY_ALL_ACCESS, &k, nullptr), ERROR_SUCCESS);
  RegCloseKey(k);
  ASSERT_EQ(RegistrarRun(kScript, true, repl_), S_OK);
  ASSERT_EQ(RegistrarRun(kScript, false, repl_), S_OK) << RegistrarLastError();

  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, "Demo.Thing.1"));
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, "CLSID\\{11111111-2222-3333-4444-555555555555}"));
  EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, "CLSID\\{SOMEONE-ELSE}"));
  EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Demo\\Helper Objects\\{11111111-2222-3333-4444-555555555555}"));
  EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Demo\\Helper Objects\\{OTHER}"));
  EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Demo\\Counts"));
  // Removing again finds nothing to remove and still succeeds.
  EXPECT_EQ(RegistrarRun(kScript, false, repl_), S_OK);
}

TEST_F(RegistrarTest, ScriptsThatDoNotParseChangeNothing) {
  const char* bad[] = {
      "HKXX { Key }",
      "HKCR { Key = s 'unterminated }",
      "HKCR { Key = q 'x' }",
      "HKCR { Key = d 'twelve' }",
      "HKCR { Good = s 'x' Key {",
      "HKCR { val Loose = s 'x' }",
  };
  for (const char* script : bad) {
    EXPECT_EQ(RegistrarRun(script, true, repl_), MakeHResult(0x80020009)) << script;
    EXPECT_FALSE(RegistrarLastError().empty()) << script;
    EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, "Good")) << script;
    EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, "Key")) << script;
  }
}

}  // namespace
}  // namespace ss
