// AES-CBC and SHA-2 through libcrypto's EVP interfaces, for the security handler's key
// derivation and the decryption of AES-encrypted data.
#include <openssl/evp.h>

#include <algorithm>
#include <memory>

#include "primitives.h"

namespace folioscan {
namespace {

// EVP_CipherUpdate takes an int length; larger inputs go through in whole-block chunks.
constexpr std::size_t kCipherChunk = std::size_t{1} << 30;

struct CipherContextFree {
  void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};

}  // namespace

std::optional<Bytes> aes_cbc(bool encrypt, ByteView key, ByteView iv, ByteView data) {
  const EVP_CIPHER* cipher = key.size() == 16   ? EVP_aes_128_cbc()
                             : key.size() == 32 ? EVP_aes_256_cbc()
                                                : nullptr;
  if (cipher == nullptr || iv.size() != kAesBlock || data.size() % kAesBlock != 0) {
    return std::nullopt;
  }
  std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree> ctx(EVP_CIPHER_CTX_new());
  if (!ctx) return std::nullopt;
  if (EVP_CipherInit_ex(ctx.get(), cipher, nullptr, key.data(), iv.data(), encrypt ? 1 : 0) != 1 ||
      EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1) {
    return std::nullopt;
  }
  Bytes out(data.size());
  for (std::size_t done = 0; done < data.size();) {
    const std::size_t chunk = std::min(data.size() - done, kCipherChunk);
    int written = 0;
    if (EVP_CipherUpdate(ctx.get(), out.data() + done, &written, data.data() + done,
                         static_cast<int>(chunk)) != 1 ||
        written != static_cast<int>(chunk)) {
      return std::nullopt;
    }
    done += chunk;
  }
  std::array<std::uint8_t, 2 * kAesBlock> rest{};
  int rest_size = 0;
  if (EVP_CipherFinal_ex(ctx.get(), rest.data(), &rest_size) != 1 || rest_size != 0) {
    return std::nullopt;
  }
  return out;
}

std::optional<Bytes> sha2(Sha2 variant, ByteView data) {
  const EVP_MD* md = variant == Sha2::Sha256   ? EVP_sha256()
                     : variant == Sha2::Sha384 ? EVP_sha384()
                                               : EVP_sha512();
  std::array<std::uint8_t, EVP_MAX_MD_SIZE> digest{};
  unsigned int size = 0;
  if (md == nullptr || EVP_Digest(data.data(), data.size(), digest.data(), &size, md, nullptr) != 1) {
    return std::nullopt;
  }
  return Bytes(digest.begin(), digest.begin() + size);
}

}  // namespace folioscan
