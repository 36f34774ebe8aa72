// A font's face as readers of a page's structure need it: bold, italic, and how far its
// glyphs reach above and below the baseline, from the font's name and descriptor.
#pragma once

#include <optional>
#include <string_view>

namespace folioscan {

struct FontFace {
  bool bold = false;
  bool italic = false;
  // In em, positive above the baseline; the descent is negative.
  double ascent = 0.8;
  double descent = -0.2;
};

// The style a base font's name tells: "Arial-BoldMT", "Helvetica-Oblique",
// "ABCDEF+Lato-Semibold", "Times-BlackItalic". A subset prefix is ignored.
FontFace face_from_name(std::string_view base_font);

// What the font descriptor adds (each value absent when the descriptor has none):
// /Flags (the italic and force-bold bits), /FontWeight (600 and above is bold),
// /Ascent and /Descent in thousandths of an em; out-of-range metrics are ignored.
void apply_descriptor(FontFace& face, std::optional<long long> flags, std::optional<double> weight,
                      std::optional<double> ascent, std::optional<double> descent);

}  // namespace folioscan
