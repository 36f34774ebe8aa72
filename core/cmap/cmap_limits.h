// The bounds the CMap reader puts on what an embedded CMap stream may ask for: entries,
// codespace ranges, code length, CIDs and the depth of usecmap chains.
#pragma once

#include <cstddef>
#include <cstdint>

namespace folioscan::limits {

// Mapping entries (cidrange, cidchar, notdef ranges; a range counts once whatever its
// width) of one CMap, those it takes from a used CMap included. The largest predefined
// CMap has about 18,600 runs and full copies embedded as streams about 19,000 entries;
// past this the rest of the stream is not read, so a million ranges cost no more.
inline constexpr std::size_t kMaxCMapEntries = std::size_t{1} << 17;

// Codespace ranges of one CMap. Each code read from a string is tested against them;
// real CMaps have at most five.
inline constexpr std::size_t kMaxCodespaceRanges = 64;

// A character code has one to four bytes; longer codespace ranges and source codes are
// ignored entries.
inline constexpr std::size_t kMaxCodeBytes = 4;

// CIDs are 16-bit; a range running past this is cut there.
inline constexpr std::uint32_t kMaxCid = 0xFFFF;

// CMaps that use CMaps that use CMaps...: predefined chains are two deep. Deeper
// usecmap operators are ignored, and only the first usecmap of a CMap counts, so one
// parse reads at most this many streams.
inline constexpr std::size_t kMaxUseCMapDepth = 8;

}  // namespace folioscan::limits
