// Bold and italic from a font's name and descriptor, and its ascent and descent.
#include "font_face.h"

#include <array>
#include <cmath>
#include <span>
#include <string>

namespace folioscan {
namespace {

// ASCII lower case, without <cctype> (locale dependent).
std::string lowered(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool contains_any(std::string_view text, std::span<const std::string_view> words) {
  for (const std::string_view word : words) {
    if (text.find(word) != std::string_view::npos) return true;
  }
  return false;
}

}  // namespace

FontFace face_from_name(std::string_view base_font) {
  // "ABCDEF+Name": six capitals and a plus mark a subset; the name follows.
  if (base_font.size() > 7 && base_font[6] == '+') base_font.remove_prefix(7);
  const std::string name = lowered(base_font);
  static constexpr std::array<std::string_view, 7> kBold = {"bold", "semibold", "demibold", "black",
                                                            "heavy", "extrabold", "ultrabold"};
  static constexpr std::array<std::string_view, 3> kItalic = {"italic", "oblique", "slanted"};
  FontFace face;
  face.bold = contains_any(name, kBold);
  face.italic = contains_any(name, kItalic);
  // "Arial,Bold" and "TimesNewRoman,BoldItalic" style names carry it after a comma,
  // which the search above already finds; "-BI" and "-B" suffixes of some producers too.
  const std::size_t dash = name.rfind('-');
  if (dash != std::string::npos) {
    const std::string_view suffix = std::string_view(name).substr(dash + 1);
    // "Medi" is the bold of the Times clones TeX uses (NimbusRomNo9L-Medi).
    if (suffix == "b" || suffix == "bd" || suffix == "bi" || suffix == "medi" || suffix == "mediital") face.bold = true;
    if (suffix == "i" || suffix == "it" || suffix == "bi" || suffix.ends_with("ital")) face.italic = true;
  }
  return face;
}

void apply_descriptor(FontFace& face, std::optional<long long> flags, std::optional<double> weight,
                      std::optional<double> ascent, std::optional<double> descent) {
  constexpr long long kItalicFlag = 1LL << 6;
  constexpr long long kForceBoldFlag = 1LL << 18;
  if (flags) {
    if ((*flags & kItalicFlag) != 0) face.italic = true;
    if ((*flags & kForceBoldFlag) != 0) face.bold = true;
  }
  if (weight && std::isfinite(*weight) && *weight >= 600.0) face.bold = true;
  // Producers write 0, or values in font units rather than thousandths: only a
  // plausible ascent (a tenth of an em to one and a half) replaces the default.
  if (ascent && std::isfinite(*ascent) && *ascent >= 100.0 && *ascent <= 1500.0) face.ascent = *ascent / 1000.0;
  if (descent && std::isfinite(*descent) && *descent <= 0.0 && *descent >= -800.0) face.descent = *descent / 1000.0;
}

}  // namespace folioscan
