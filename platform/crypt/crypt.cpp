#include "platform/crypt/crypt.h"

#include <nettle/cbc.h>
#include <nettle/des.h>
#include <nettle/md5.h>

#include <algorithm>

namespace ss {

std::array<std::uint8_t, 16> Md5(const std::uint8_t* data, std::size_t size) {
  md5_ctx ctx;
  md5_init(&ctx);
  if (size) md5_update(&ctx, size, data);
  std::array<std::uint8_t, 16> digest{};
  md5_digest(&ctx, digest.size(), digest.data());
  return digest;
}

std::array<std::uint8_t, 8> DesKeyFromPassPhrase(const std::uint8_t* phrase, std::size_t size) {
  auto hash = Md5(phrase, size);
  std::array<std::uint8_t, 8> key{};
  std::copy_n(hash.begin(), key.size(), key.begin());
  return key;
}

namespace {

// The key schedule; parity bits are ignored. Weak keys are accepted, as the
// platform cipher does.
void SetKey(des_ctx& ctx, const std::uint8_t key[8]) { des_set_key(&ctx, key); }

}  // namespace

std::vector<std::uint8_t> DesCbcEncrypt(const std::uint8_t key[8], const std::uint8_t* data, std::size_t size) {
  // PKCS#5: 1 to 8 bytes, each holding the pad length.
  std::size_t pad = DES_BLOCK_SIZE - size % DES_BLOCK_SIZE;
  std::vector<std::uint8_t> buf(size + pad, static_cast<std::uint8_t>(pad));
  if (size) std::copy_n(data, size, buf.begin());
  des_ctx ctx;
  SetKey(ctx, key);
  std::uint8_t iv[DES_BLOCK_SIZE] = {};
  cbc_encrypt(&ctx, reinterpret_cast<nettle_cipher_func*>(des_encrypt), DES_BLOCK_SIZE, iv, buf.size(),
              buf.data(), buf.data());
  return buf;
}

bool DesCbcDecrypt(const std::uint8_t key[8], const std::uint8_t* data, std::size_t size,
                   std::vector<std::uint8_t>& clear) {
  clear.clear();
  if (size == 0 || size % DES_BLOCK_SIZE != 0) return false;
  std::vector<std::uint8_t> buf(data, data + size);
  des_ctx ctx;
  SetKey(ctx, key);
  std::uint8_t iv[DES_BLOCK_SIZE] = {};
  cbc_decrypt(&ctx, reinterpret_cast<nettle_cipher_func*>(des_decrypt), DES_BLOCK_SIZE, iv, buf.size(),
              buf.data(), buf.data());
  std::uint8_t pad = buf.back();
  if (pad == 0 || pad > DES_BLOCK_SIZE) return false;
  for (std::size_t i = buf.size() - pad; i < buf.size(); ++i)
    if (buf[i] != pad) return false;
  buf.resize(buf.size() - pad);
  clear = std::move(buf);
  return true;
}

}  // namespace ss
