// Test helper: the font programs written by tests/fixtures/fonts/make_fonts.py, and a
// writer of big-endian fields for hand-built hostile programs.
#pragma once

#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

namespace folioscan::testing {

inline std::vector<std::uint8_t> font_fixture(const std::string& name) {
  std::ifstream file(std::string(FOLIOSCAN_FIXTURES) + "/fonts/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

struct BigEndian {
  std::vector<std::uint8_t> bytes;
  BigEndian& u8(std::initializer_list<std::uint32_t> values) {
    for (const std::uint32_t v : values) bytes.push_back(static_cast<std::uint8_t>(v));
    return *this;
  }
  BigEndian& u16(std::initializer_list<std::uint32_t> values) {
    for (const std::uint32_t v : values) u8({v >> 8, v});
    return *this;
  }
  BigEndian& u32(std::initializer_list<std::uint32_t> values) {
    for (const std::uint32_t v : values) u8({v >> 24, v >> 16, v >> 8, v});
    return *this;
  }
  BigEndian& append(const std::vector<std::uint8_t>& more) {
    bytes.insert(bytes.end(), more.begin(), more.end());
    return *this;
  }
};

}  // namespace folioscan::testing
