// Recovery's reading of glyph names: the text a name says, from Adobe's full glyph list
// and the naming rules fonts follow ("uni0066006C", "u1F600", "f_f_i", "a.sc"), where
// the strict reading knows only its short table.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace folioscan {

// Appends the UTF-8 text `name` says to `out` and returns true; returns false and leaves
// `out` as it was when some part of the name says nothing. A suffix after the first "."
// names a variant of the same text; "_" joins the names of a ligature's parts; each part
// is a name of the glyph list, "uni" with one or more groups of four hex digits, or "u"
// with four to six. Surrogates and values past U+10FFFF say nothing.
bool append_glyph_name_text(std::string_view name, std::string& out);
// The same text as code points; nullopt where the name says nothing.
std::optional<std::u32string> glyph_name_points(std::string_view name);

}  // namespace folioscan
