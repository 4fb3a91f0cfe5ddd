#include "output/password.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "settings/base64.h"
#include "tests/support/test_home.h"

namespace ss {
namespace {

std::string Hex(const std::string& bytes) {
  std::string out;
  char buf[3];
  for (unsigned char c : bytes) {
    std::snprintf(buf, sizeof buf, "%02x", c);
    out += buf;
  }
  return out;
}

// The stored form computed by the openssl command line, independently of our
// code: DES-CBC, zero IV, PKCS#5 padding, key = first 8 bytes of MD5(phrase).
std::string OpensslProtect(const std::string& clear) {
  test::TempDir dir;
  test::WriteFile(dir.File("clear"), clear);
  test::CommandResult key = test::RunCommand("printf %s Tq7rWb2KxL | openssl md5 -r | cut -c1-16");
  if (key.status != 0 || key.out.size() < 16) return "<openssl md5 failed>";
  test::CommandResult enc =
      test::RunCommand("openssl enc -des-cbc -provider legacy -provider default -K " + key.out.substr(0, 16) +
                       " -iv 0000000000000000 -in '" + dir.File("clear") + "' | base64 -w0");
  return enc.status == 0 ? enc.out : "<openssl enc failed: " + enc.err + ">";
}

bool HaveOpenssl() { return test::RunCommand("command -v openssl").status == 0; }

TEST(PasswordTest, MatchesAnIndependentDesCbcComputation) {
  if (!HaveOpenssl()) GTEST_SKIP() << "openssl is not installed";
  const std::string cases[] = {"pass7ch", "pass8chr", std::string("\x95\x5c\x8e\x9a", 4), "a"};
  for (const std::string& clear : cases) EXPECT_EQ(ProtectPassword(clear), OpensslProtect(clear)) << Hex(clear);
}

TEST(PasswordTest, LengthsAndRoundTrips) {
  EXPECT_EQ(ProtectPassword(""), "");
  EXPECT_EQ(UnprotectPassword(""), "");
  EXPECT_EQ(ProtectPassword("1234567").size(), 12u);   // 8 bytes of cipher text
  EXPECT_EQ(ProtectPassword("12345678").size(), 24u);  // 16 bytes
  const std::string cases[] = {"x", "1234567", "12345678", "パスワード", std::string("\x81\x40\x9f\xfc\xe0\x5c", 6),
                               std::string(100, 'z')};
  for (const std::string& clear : cases) EXPECT_EQ(UnprotectPassword(ProtectPassword(clear)), clear) << Hex(clear);
}

TEST(PasswordTest, StoredTextToleratesBlanksAndRejectsDamage) {
  std::string stored = ProtectPassword("hunter22");
  std::string spaced = stored.substr(0, 5) + "\r\n " + stored.substr(5, 7) + "\t" + stored.substr(12);
  EXPECT_EQ(UnprotectPassword(spaced), "hunter22");

  // Not a whole number of blocks, or wrong padding after decryption.
  EXPECT_EQ(UnprotectPassword("AAAA"), "");
  std::vector<std::uint8_t> bytes = Base64Decode(stored);
  bytes.back() ^= 0x5A;
  EXPECT_EQ(UnprotectPassword(Base64Encode(bytes.data(), bytes.size())), "");
}

TEST(Base64Test, KnownVectors) {
  struct Case {
    std::string clear, encoded;
  } cases[] = {{"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foobar", "Zm9vYmFy"},
               {std::string("\x00\xff", 2), "AP8="}};
  for (const Case& c : cases) {
    EXPECT_EQ(Base64Encode(reinterpret_cast<const std::uint8_t*>(c.clear.data()), c.clear.size()), c.encoded);
    std::vector<std::uint8_t> d = Base64Decode(c.encoded);
    EXPECT_EQ(std::string(d.begin(), d.end()), c.clear);
  }
  std::vector<std::uint8_t> d = Base64Decode("Zm9v=Zm9v");  // "=" ends the data
  EXPECT_EQ(std::string(d.begin(), d.end()), "foo");
}

}  // namespace
}  // namespace ss
