#include "platform/crypt/crypt.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/test_home.h"

namespace ss {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }

std::string Hex(const std::uint8_t* p, std::size_t n) {
  std::string out;
  char buf[3];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(buf, sizeof buf, "%02x", p[i]);
    out += buf;
  }
  return out;
}
template <typename C>
std::string Hex(const C& c) {
  return Hex(c.data(), c.size());
}

const std::string kPassPhrase = "Tq7rWb2KxL";

bool HaveOpenssl() { return access("/usr/bin/openssl", X_OK) == 0; }

// The independent computations, by the openssl command line.
std::string OpensslMd5Hex(const Bytes& data) {
  auto r = test::RunCommand("/usr/bin/openssl md5 -r", std::string(data.begin(), data.end()));
  EXPECT_EQ(r.status, 0) << r.err;
  return r.out.substr(0, 32);
}

Bytes OpensslDes(const Bytes& key, const Bytes& data, bool decrypt, bool pad) {
  std::string cmd = "/usr/bin/openssl enc -des-cbc " + std::string(decrypt ? "-d " : "-e ") +
                    (pad ? "" : "-nopad ") + "-K " + Hex(key) +
                    " -iv 0000000000000000 -provider legacy -provider default";
  auto r = test::RunCommand(cmd, std::string(data.begin(), data.end()));
  EXPECT_EQ(r.status, 0) << r.err;
  return B(r.out);
}

TEST(CryptTest, Md5KnownAnswersAndOpenssl) {
  EXPECT_EQ(Hex(Md5(nullptr, 0)), "d41d8cd98f00b204e9800998ecf8427e");
  const Bytes abc = B("abc");
  EXPECT_EQ(Hex(Md5(abc.data(), abc.size())), "900150983cd24fb0d6963f7d28e17f72");
  if (!HaveOpenssl()) GTEST_SKIP() << "no /usr/bin/openssl";
  Bytes binary;
  for (int i = 0; i < 1000; ++i) binary.push_back(static_cast<std::uint8_t>(i * 37 + 11));
  for (const Bytes& data : {B(kPassPhrase), binary, B("\x83\x70\x83\x58\x83\x8F\x81\x5B\x83\x68")})
    EXPECT_EQ(Hex(Md5(data.data(), data.size())), OpensslMd5Hex(data));
}

TEST(CryptTest, PasswordKeyIsTheHeadOfThePassPhraseHash) {
  const Bytes phrase = B(kPassPhrase);
  auto key = DesKeyFromPassPhrase(phrase.data(), phrase.size());
  auto hash = Md5(phrase.data(), phrase.size());
  EXPECT_EQ(Hex(key), Hex(hash.data(), 8));
  if (HaveOpenssl()) {
    EXPECT_EQ(Hex(key), OpensslMd5Hex(phrase).substr(0, 16));
  }
}

TEST(CryptTest, DesKnownAnswer) {
  // The classic DES vector: with a zero IV the first CBC block is the ECB one.
  const std::uint8_t key[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef};
  const Bytes clear = B("Now is t");
  Bytes cipher = DesCbcEncrypt(key, clear.data(), clear.size());
  ASSERT_EQ(cipher.size(), 16u);  // a full block of padding follows
  EXPECT_EQ(Hex(cipher.data(), 8), "3fa40e8a984d4815");
}

TEST(CryptTest, DesCbcMatchesOpensslForStoredPasswords) {
  if (!HaveOpenssl()) GTEST_SKIP() << "no /usr/bin/openssl";
  const Bytes phrase = B(kPassPhrase);
  const auto k = DesKeyFromPassPhrase(phrase.data(), phrase.size());
  const Bytes key(k.begin(), k.end());
  struct Case {
    const char* what;
    Bytes clear;
    std::size_t cipherSize;
  };
  const std::vector<Case> cases = {
      {"7 bytes", B("secret7"), 8},
      {"8 bytes", B("password"), 16},
      {"1 byte", B("x"), 8},
      {"20 bytes", B("a-much-longer-secret"), 24},
      {"Shift-JIS", B("\x83\x70\x83\x58\x83\x8F\x81\x5B\x83\x68"), 16},  // パスワード
      {"Shift-JIS with 0x5C", B("\x95\x5C\x8E\xA6"), 8},                 // 表示
      {"empty", Bytes{}, 8},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes cipher = DesCbcEncrypt(k.data(), c.clear.data(), c.clear.size());
    EXPECT_EQ(cipher.size(), c.cipherSize);
    EXPECT_EQ(Hex(cipher), Hex(OpensslDes(key, c.clear, false, true)));
    Bytes back;
    ASSERT_TRUE(DesCbcDecrypt(k.data(), cipher.data(), cipher.size(), back));
    EXPECT_EQ(back, c.clear);
  }
  // Cipher text made by openssl decrypts here.
  const Bytes clear = B("from elsewhere");
  Bytes foreign = OpensslDes(key, clear, false, true);
  Bytes back;
  ASSERT_TRUE(DesCbcDecrypt(k.data(), foreign.data(), foreign.size(), back));
  EXPECT_EQ(back, clear);
}

TEST(CryptTest, DecryptRefusesWhatIsNotCipherText) {
  const Bytes phrase = B(kPassPhrase);
  const auto k = DesKeyFromPassPhrase(phrase.data(), phrase.size());
  Bytes out = B("stale");
  Bytes cipher = DesCbcEncrypt(k.data(), phrase.data(), phrase.size());
  EXPECT_FALSE(DesCbcDecrypt(k.data(), cipher.data(), 0, out));
  EXPECT_TRUE(out.empty());
  EXPECT_FALSE(DesCbcDecrypt(k.data(), cipher.data(), cipher.size() - 1, out));
  if (!HaveOpenssl()) GTEST_SKIP() << "no /usr/bin/openssl";
  // Raw blocks (no padding added) whose last bytes are not valid padding.
  const Bytes key(k.begin(), k.end());
  for (const std::string& block : {std::string("ABCDEFG\x00", 8), std::string("ABCDEFG\x09"),
                                   std::string("ABCDEF\x01\x02"), std::string("ABCDE\x03\x02\x03")}) {
    Bytes raw = OpensslDes(key, B(block), false, false);
    ASSERT_EQ(raw.size(), 8u);
    EXPECT_FALSE(DesCbcDecrypt(k.data(), raw.data(), raw.size(), out)) << Hex(B(block));
    EXPECT_TRUE(out.empty());
  }
  Bytes good = OpensslDes(key, B("ABCDEF\x02\x02"), false, false);
  ASSERT_TRUE(DesCbcDecrypt(k.data(), good.data(), good.size(), out));
  EXPECT_EQ(out, B("ABCDEF"));
}

TEST(CryptTest, ParityBitsDoNotMatter) {
  const std::uint8_t key[8] = {0x10, 0x32, 0x54, 0x76, 0x98, 0xba, 0xdc, 0xfe};
  std::uint8_t flipped[8];
  for (int i = 0; i < 8; ++i) flipped[i] = key[i] ^ 1;
  const Bytes clear = B("password");
  EXPECT_EQ(DesCbcEncrypt(key, clear.data(), clear.size()), DesCbcEncrypt(flipped, clear.data(), clear.size()));
  std::uint8_t other[8] = {0x10, 0x32, 0x54, 0x76, 0x98, 0xba, 0xdc, 0xfc};  // a key bit, not parity
  EXPECT_NE(DesCbcEncrypt(key, clear.data(), clear.size()), DesCbcEncrypt(other, clear.data(), clear.size()));
}

}  // namespace
}  // namespace ss
