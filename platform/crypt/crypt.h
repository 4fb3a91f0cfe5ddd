// Hashing and the cipher of the stored FTP password, on nettle.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace ss {

std::array<std::uint8_t, 16> Md5(const std::uint8_t* data, std::size_t size);

// The DES key derived from a pass phrase as the platform derives it: the
// first 8 bytes of the phrase's MD5 hash (parity bits do not matter).
std::array<std::uint8_t, 8> DesKeyFromPassPhrase(const std::uint8_t* phrase, std::size_t size);

// DES-CBC with an all-zero IV and PKCS#5 padding, as the platform's default
// mode for a derived DES key. The key is 8 bytes (parity bits are ignored).
std::vector<std::uint8_t> DesCbcEncrypt(const std::uint8_t key[8], const std::uint8_t* data, std::size_t size);
// False when the data is not a whole number of blocks or the padding is wrong.
bool DesCbcDecrypt(const std::uint8_t key[8], const std::uint8_t* data, std::size_t size,
                   std::vector<std::uint8_t>& clear);

}  // namespace ss
