#include "output/password.h"

#include <array>
#include <cstring>
#include <vector>

#include "platform/crypt/crypt.h"
#include "settings/base64.h"

namespace ss {
namespace {

constexpr char kPassPhrase[] = "Tq7rWb2KxL";

std::array<std::uint8_t, 8> PasswordKey() {
  return DesKeyFromPassPhrase(reinterpret_cast<const std::uint8_t*>(kPassPhrase), std::strlen(kPassPhrase));
}

}  // namespace

std::string ProtectPassword(const std::string& clear) {
  if (clear.empty()) return "";
  std::vector<std::uint8_t> cipher =
      DesCbcEncrypt(PasswordKey().data(), reinterpret_cast<const std::uint8_t*>(clear.data()), clear.size());
  if (cipher.empty()) return "";
  return Base64Encode(cipher.data(), cipher.size());
}

std::string UnprotectPassword(const std::string& stored) {
  if (stored.empty()) return "";
  std::vector<std::uint8_t> bytes = Base64Decode(stored);
  std::vector<std::uint8_t> clear;
  if (bytes.empty() || !DesCbcDecrypt(PasswordKey().data(), bytes.data(), bytes.size(), clear)) return "";
  return std::string(clear.begin(), clear.end());
}

}  // namespace ss
