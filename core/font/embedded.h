// Recovery's reading of embedded font programs: what a FontFile, FontFile2 or FontFile3
// program says about its codes and glyphs, read once per call, and how it completes a
// font where the PDF's own maps say nothing.
//
// Precedence, code by code: the font's ToUnicode map where it maps the code; then the
// PDF's own encoding (/Differences names with a value, then an explicit base encoding);
// then what the font program says; then nothing (a simple font keeps what the strict
// reading gives, so recovery never loses a character the strict reading has, and a
// private-use character from the program does not replace a strict one).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "../cos/object.h"

namespace folioscan {

struct Font;
struct OpenDocument;

// Which descriptor key held the program. FontFile3 programs are CFF or OpenType, told
// apart by their first bytes (as are FontFile2 programs that are really CFF).
enum class ProgramKind { Type1, TrueType, Cff };

struct ProgramText {
  // Glyph id -> code point (0: none): Unicode cmap subtables read backwards, then the
  // glyph names of `post` or of the CFF charset.
  std::vector<std::uint32_t> glyph_text;
  // Simple fonts: one-byte code -> code point through the program's own codes (the
  // Type 1 /Encoding, the CFF built-in encoding, the TrueType (3,0) subtable, or the
  // (1,0) one when there is no Unicode subtable). Absent when the program has none.
  std::optional<std::array<std::uint32_t, 256>> code_text;
  // CID-keyed CFF: CID -> glyph id through the charset. Other programs take CIDs as
  // glyph ids (TrueType ones after the font's CIDToGIDMap).
  bool cid_keyed = false;
  std::vector<std::uint16_t> cid_glyphs;
  // Whether the glyphs are TrueType ones, which CIDToGIDMap applies to.
  bool truetype = false;
  // Glyph names without a value of their own whose glyph a Unicode subtable names, for
  // /Differences that use the program's names ("g17").
  std::unordered_map<std::string, std::uint32_t> name_text;

  std::size_t approximate_size() const;
};

// The embedded programs one call has read, shared by its pages: program object -> what it
// says (null when it cannot be read), and the decoded bytes of the programs and the
// bytes of their tables so far, which the call's limits bound.
struct EmbeddedPrograms {
  std::unordered_map<std::uint32_t, std::shared_ptr<const ProgramText>> by_object;
  std::uint64_t program_bytes = 0;
  std::uint64_t table_bytes = 0;
};

// Pure: what `program` says. Never fails; a program that cannot be read says nothing.
ProgramText read_program_text(ProgramKind kind, ByteView program);

// Recovery only: fills in `font` (loaded from `font_dict` by the strict rules) from its
// embedded program where that can say more. Simple fonts get their `encoding` entries
// completed; composite fonts with Identity-H or Identity-V get `cid_text`. The program is
// read only when some code the font uses lacks text, and once per call (`programs` keeps
// it).
void apply_embedded_program(OpenDocument& doc, EmbeddedPrograms& programs, const Dictionary& font_dict, Font& font);

}  // namespace folioscan
