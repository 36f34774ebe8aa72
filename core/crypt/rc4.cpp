// The RC4 stream cipher: 256-byte state, key schedule over the whole key, no discarded
// keystream. Encryption and decryption are the same operation.
#include <numeric>
#include <utility>

#include "primitives.h"

namespace folioscan {

Bytes rc4(ByteView key, ByteView data) {
  // An empty key has no schedule; the security handler never builds one, and a copy
  // is the "cannot decrypt" answer used everywhere else.
  if (key.empty()) return Bytes(data.begin(), data.end());

  std::array<std::uint8_t, 256> state{};
  std::iota(state.begin(), state.end(), std::uint8_t{0});
  std::uint8_t j = 0;
  for (std::size_t i = 0; i < 256; ++i) {
    j = static_cast<std::uint8_t>(j + state[i] + key[i % key.size()]);
    std::swap(state[i], state[j]);
  }

  Bytes out(data.size());
  std::uint8_t i = 0;
  j = 0;
  for (std::size_t k = 0; k < data.size(); ++k) {
    i = static_cast<std::uint8_t>(i + 1);
    j = static_cast<std::uint8_t>(j + state[i]);
    std::swap(state[i], state[j]);
    out[k] = data[k] ^ state[static_cast<std::uint8_t>(state[i] + state[j])];
  }
  return out;
}

}  // namespace folioscan
