// The fuzz targets' entry points. Each *_fuzzer.cpp defines one and, unless built with
// FOLIOSCAN_FUZZ_REPLAY, the libFuzzer entry that calls it; the unit tests link all
// targets to replay the inputs kept in fuzz/regressions/<target>/.
#pragma once

#include <cstddef>
#include <cstdint>

namespace folioscan::fuzz {

int parse_document(const std::uint8_t* bytes, std::size_t size);
int decode_stream(const std::uint8_t* bytes, std::size_t size);
int tounicode(const std::uint8_t* bytes, std::size_t size);
int recover_document(const std::uint8_t* bytes, std::size_t size);
int rebuild(const std::uint8_t* bytes, std::size_t size);
int truetype(const std::uint8_t* bytes, std::size_t size);
int cff(const std::uint8_t* bytes, std::size_t size);
int type1(const std::uint8_t* bytes, std::size_t size);
int cmap(const std::uint8_t* bytes, std::size_t size);

}  // namespace folioscan::fuzz
