// Recovery's reading of embedded font programs: fetching and decoding the program once
// per call, turning what the readers give into codes and glyphs with text, and
// completing simple and composite fonts in the documented order of precedence.
#include "embedded.h"

#include <algorithm>

#include "../agl/font.h"
#include "../agl/glyph_names.h"
#include "../agl/glyph_text.h"
#include "../input_limits.h"
#include "../doc.h"
#include "../input_limits.h"
#include "cff.h"
#include "standard_names.h"
#include "truetype.h"
#include "type1.h"

namespace folioscan {
namespace {

// The one character a program's glyph name says ("epsilon1", "uni03F5", "a.sc"), through
// the full glyph list; nullopt for names of none or of several characters.
std::optional<std::uint32_t> program_name_value(std::string_view name) {
  const auto points = glyph_name_points(name);
  if (!points || points->size() != 1) return std::nullopt;
  return static_cast<std::uint32_t>(points->front());
}

// Glyph names to code points; names of glyphs past `glyph_text` grow it.
void add_names(std::vector<std::uint32_t>& glyph_text, const std::vector<std::string_view>& names) {
  for (std::size_t g = 0; g < names.size(); ++g) {
    if (names[g].empty()) continue;
    if (g < glyph_text.size() && glyph_text[g] != 0) continue;
    if (const auto cp = program_name_value(names[g]); cp && *cp != 0) {
      if (g >= glyph_text.size()) glyph_text.resize(g + 1, 0);
      glyph_text[g] = *cp;
    }
  }
}

std::array<std::uint32_t, 256> codes_through(const std::array<std::uint16_t, 256>& glyphs,
                                             const std::vector<std::uint32_t>& glyph_text) {
  std::array<std::uint32_t, 256> text{};
  for (std::size_t c = 0; c < 256; ++c) {
    if (glyphs[c] != 0 && glyphs[c] < glyph_text.size()) text[c] = glyph_text[glyphs[c]];
  }
  return text;
}

void read_cff_into(ByteView program, ProgramText& out, bool codes) {
  const font::CffFont cff = font::read_cff(program);
  add_names(out.glyph_text, cff.glyph_names);
  if (cff.cid_keyed) {
    out.cid_keyed = true;
    for (std::size_t g = 1; g < cff.glyph_cids.size(); ++g) {
      const std::uint16_t cid = cff.glyph_cids[g];
      if (cid >= out.cid_glyphs.size()) out.cid_glyphs.resize(std::size_t{cid} + 1, 0);
      if (out.cid_glyphs[cid] == 0) out.cid_glyphs[cid] = static_cast<std::uint16_t>(g);
    }
  } else if (codes) {
    out.code_text = codes_through(cff.encoding, out.glyph_text);
  }
}

bool is_sfnt(ByteView program) {
  if (program.size() < 4) return false;
  const std::uint32_t version = std::uint32_t{program[0]} << 24 | std::uint32_t{program[1]} << 16 |
                                std::uint32_t{program[2]} << 8 | program[3];
  return version == 0x00010000 || version == 0x74727565 /* true */ || version == 0x4F54544F /* OTTO */ ||
         version == 0x74746366 /* ttcf */;
}

void read_sfnt_into(ByteView program, ProgramText& out) {
  const font::TrueTypeFont sfnt = font::read_truetype(program);
  out.glyph_text = sfnt.glyph_unicode;
  add_names(out.glyph_text, sfnt.glyph_names);
  for (std::size_t g = 0; g < sfnt.glyph_names.size() && g < sfnt.glyph_unicode.size(); ++g) {
    const std::string_view name = sfnt.glyph_names[g];
    if (!name.empty() && sfnt.glyph_unicode[g] != 0 && !program_name_value(name)) {
      out.name_text.emplace(std::string(name), sfnt.glyph_unicode[g]);
    }
  }
  if (!sfnt.cff.empty()) {
    // OpenType with CFF outlines: the cmap names glyphs first, the charset fills in;
    // the simple-font codes come from the cmap when it has code subtables.
    const bool cmap_codes = sfnt.has_symbol_cmap || (sfnt.has_mac_cmap && !sfnt.has_unicode_cmap);
    read_cff_into(sfnt.cff, out, !cmap_codes);
    if (!cmap_codes) return;
  } else {
    out.truetype = true;
  }
  if (sfnt.has_symbol_cmap) {
    out.code_text = codes_through(sfnt.symbol_glyphs, out.glyph_text);
  } else if (sfnt.has_mac_cmap && !sfnt.has_unicode_cmap) {
    // With a Unicode subtable, the PDF's encoding names the characters and the font's
    // codes add nothing: the (1,0) codes are Mac Roman ones, not the page's.
    out.code_text = codes_through(sfnt.mac_glyphs, out.glyph_text);
  }
}

const Object* resolved(OpenDocument& doc, const Object* value) {
  if (value == nullptr) return nullptr;
  const auto result = doc.resolver.resolve_view(*value);
  return result ? *result : nullptr;
}

const Dictionary* dictionary_at(OpenDocument& doc, const Dictionary& dict, std::string_view key) {
  const Object* entry = dict.lookup(key);
  if (entry == nullptr) return nullptr;
  const auto view = doc.resolver.dictionary_view(*entry);
  return view ? *view : nullptr;
}

std::shared_ptr<const ProgramText> decode_program(OpenDocument& doc, EmbeddedPrograms& programs, const Object& entry,
                                                  ProgramKind kind) {
  const Object* object = resolved(doc, &entry);
  const Stream* stream = object != nullptr ? object->as_stream() : nullptr;
  if (stream == nullptr || programs.program_bytes >= limits::kMaxFontProgramBytesPerCall) return nullptr;
  // Decoding stops at the program bound: a larger program is not read, and it is known
  // to be larger without decoding the rest. Stopped there, it yields nothing but cost
  // that much decoding, which counts toward the allowance like a program read.
  bool over_bound = false;
  const auto decoded = doc.resolver.decode(*stream, limits::kMaxFontProgramBytes, &over_bound);
  programs.program_bytes += over_bound ? limits::kMaxFontProgramBytes : decoded ? decoded->size() : 0;
  if (!decoded || over_bound) return nullptr;
  auto text = std::make_shared<ProgramText>(read_program_text(kind, *decoded));
  const std::size_t size = text->approximate_size();
  if (programs.table_bytes + size > limits::kMaxFontProgramTableBytes) return nullptr;
  programs.table_bytes += size;
  return text;
}

// The descriptor's program, read once per call per program object (failures included).
std::shared_ptr<const ProgramText> load_program(OpenDocument& doc, EmbeddedPrograms& programs,
                                                const Dictionary& descriptor) {
  static constexpr std::pair<std::string_view, ProgramKind> kKeys[] = {
      {"FontFile2", ProgramKind::TrueType}, {"FontFile3", ProgramKind::Cff}, {"FontFile", ProgramKind::Type1}};
  for (const auto& [key, kind] : kKeys) {
    const Object* entry = descriptor.lookup(key);
    if (entry == nullptr) continue;
    const ObjRef* ref = entry->as_ref();
    if (ref == nullptr) return decode_program(doc, programs, *entry, kind);
    if (const auto it = programs.by_object.find(ref->num); it != programs.by_object.end()) return it->second;
    auto text = decode_program(doc, programs, *entry, kind);
    programs.by_object.emplace(ref->num, text);
    return text;
  }
  return nullptr;
}

constexpr bool is_private_use(std::uint32_t cp) {
  return (cp >= 0xE000 && cp <= 0xF8FF) || cp >= 0xF0000;
}

bool is_base_encoding(const Object* name) {
  return name != nullptr && (name->is_name("WinAnsiEncoding") || name->is_name("MacRomanEncoding") ||
                             name->is_name("StandardEncoding"));
}

// What the PDF's own /Encoding settles: whether it names a base encoding, and the codes
// its /Differences name (with the name when it has no value of its own).
struct PdfEncoding {
  bool explicit_base = false;
  bool standard_base = false;  // the explicit base is StandardEncoding
  std::array<bool, 256> named{};
  std::array<std::string_view, 256> unvalued{};
};

PdfEncoding pdf_encoding(const Object* encoding) {
  PdfEncoding out;
  if (encoding == nullptr) return out;
  const Dictionary* dict = encoding->as_dict();
  if (const Stream* s = encoding->as_stream()) dict = &s->dict;
  if (encoding->as_name() != nullptr) {
    out.explicit_base = is_base_encoding(encoding);
    out.standard_base = encoding->is_name("StandardEncoding");
    return out;
  }
  if (dict == nullptr) return out;
  const Object* base = dict->lookup("BaseEncoding");
  out.explicit_base = encoding->as_dict() != nullptr && is_base_encoding(base);
  out.standard_base = out.explicit_base && base->is_name("StandardEncoding");
  const Object* differences = dict->lookup("Differences");
  const Array* list = differences != nullptr ? differences->as_array() : nullptr;
  if (list == nullptr) return out;
  // The same walk as the strict reading's /Differences.
  std::int64_t code = 0;
  for (const Object& element : *list) {
    if (const std::int64_t* value = element.as_integer()) {
      code = std::max<std::int64_t>(*value, 0);
    } else if (const Name* name = element.as_name()) {
      if (code < 256) {
        const auto c = static_cast<std::size_t>(code);
        if (glyph_name_to_unicode(name->text) || glyph_name_points(name->text)) {
          out.named[c] = true;
          out.unvalued[c] = {};
        } else {
          out.named[c] = false;
          out.unvalued[c] = name->text;
        }
        ++code;
      }
    }
  }
  return out;
}

void complete_simple(OpenDocument& doc, EmbeddedPrograms& programs, const Dictionary& font_dict, Font& font) {
  const Dictionary* descriptor = dictionary_at(doc, font_dict, "FontDescriptor");
  if (descriptor == nullptr) return;
  const PdfEncoding pdf = pdf_encoding(resolved(doc, font_dict.lookup("Encoding")));

  // The codes the font uses: those /Widths covers, else all.
  std::int64_t first = 0;
  std::int64_t last = 255;
  if (const Object* widths = resolved(doc, font_dict.lookup("Widths")); widths && widths->as_array()) {
    const Object* fc = font_dict.lookup("FirstChar");
    first = fc != nullptr && fc->as_integer() ? *fc->as_integer() : 0;
    last = first + static_cast<std::int64_t>(widths->as_array()->size()) - 1;
  }
  first = std::max<std::int64_t>(first, 0);
  last = std::min<std::int64_t>(last, 255);
  bool needed = false;
  std::string scratch;
  for (std::int64_t code = first; code <= last && !needed; ++code) {
    const auto c = static_cast<std::size_t>(code);
    if (font.to_unicode && lookup_tounicode(*font.to_unicode, static_cast<std::uint32_t>(c), scratch)) continue;
    if (pdf.named[c]) continue;
    // An explicit base leaves codes to the program only where it has no character:
    // StandardEncoding's upper half here; WinAnsi and Mac Roman lack only code 0 and
    // five unassigned codes, which no page shows for text.
    needed = !pdf.unvalued[c].empty() || !pdf.explicit_base || (pdf.standard_base && font.encoding[c] == 0);
  }
  if (!needed) return;
  const auto program = load_program(doc, programs, *descriptor);
  if (!program) return;

  for (std::size_t c = 0; c < 256; ++c) {
    if (pdf.named[c]) continue;
    if (!pdf.unvalued[c].empty()) {
      if (const auto it = program->name_text.find(std::string(pdf.unvalued[c])); it != program->name_text.end()) {
        font.encoding[c] = it->second;
      }
      continue;
    }
    if (pdf.explicit_base && font.encoding[c] != 0) continue;
    const std::uint32_t cp = program->code_text ? (*program->code_text)[c] : 0;
    // A private-use character says nothing a reader can use, while the strict table
    // gives symbol fonts' ASCII codes their letter (dmca.pdf: U+F021 for "!").
    if (cp == 0 || (is_private_use(cp) && font.encoding[c] != 0)) continue;
    font.encoding[c] = cp;
  }
}

// A composite font's CID -> glyph id through a CIDToGIDMap stream; nullopt for Identity
// (the name, or no entry).
std::optional<Bytes> cid_to_gid_map(OpenDocument& doc, const Dictionary& descendant) {
  const Object* map = resolved(doc, descendant.lookup("CIDToGIDMap"));
  if (map == nullptr || map->as_stream() == nullptr) return std::nullopt;
  auto decoded = doc.resolver.decode(*map->as_stream());
  if (!decoded) return Bytes{};
  return std::move(*decoded);
}

void complete_composite(OpenDocument& doc, EmbeddedPrograms& programs, const Dictionary& font_dict, Font& font) {
  const Object* encoding = resolved(doc, font_dict.lookup("Encoding"));
  if (encoding == nullptr || !(encoding->is_name("Identity-H") || encoding->is_name("Identity-V"))) return;
  const Object* descendants = resolved(doc, font_dict.lookup("DescendantFonts"));
  if (descendants == nullptr || descendants->as_array() == nullptr || descendants->as_array()->empty()) return;
  const auto descendant_view = doc.resolver.dictionary_view(descendants->as_array()->front());
  if (!descendant_view) return;
  const Dictionary& descendant = **descendant_view;
  const Dictionary* descriptor = dictionary_at(doc, descendant, "FontDescriptor");
  if (descriptor == nullptr) return;

  // With a ToUnicode map, only a code of /W that it lacks calls for the program.
  if (font.to_unicode) {
    std::string scratch;
    const WidthMap& widths = font.width_map();
    const bool lacking = std::any_of(widths.begin(), widths.end(), [&](const auto& entry) {
      return !lookup_tounicode(*font.to_unicode, entry.first, scratch);
    });
    if (!lacking) return;
  }
  const auto program = load_program(doc, programs, *descriptor);
  if (!program || program->glyph_text.empty()) return;

  const std::vector<std::uint32_t>& glyph_text = program->glyph_text;
  const auto text_of = [&](std::uint32_t glyph) { return glyph < glyph_text.size() ? glyph_text[glyph] : 0; };
  std::vector<std::uint32_t> text;
  if (program->cid_keyed) {
    text.resize(program->cid_glyphs.size());
    for (std::size_t cid = 0; cid < text.size(); ++cid) text[cid] = text_of(program->cid_glyphs[cid]);
  } else if (const auto map = program->truetype ? cid_to_gid_map(doc, descendant) : std::nullopt) {
    text.resize(std::min<std::size_t>(map->size() / 2, limits::kMaxGlyphs));
    for (std::size_t cid = 0; cid < text.size(); ++cid) {
      text[cid] = text_of(static_cast<std::uint32_t>((*map)[2 * cid] << 8 | (*map)[2 * cid + 1]));
    }
  } else {
    text = glyph_text;
  }
  if (std::none_of(text.begin(), text.end(), [](std::uint32_t cp) { return cp != 0; })) return;
  font.cid_text = std::make_shared<const std::vector<std::uint32_t>>(std::move(text));
}

// Whether `font_dict` is a composite font over a TrueType CIDFont whose two-byte codes are
// their own CIDs (Identity-H or Identity-V), and which no program text, collection or
// CMap serves; gives its descendant.
const Dictionary* unserved_identity_truetype(OpenDocument& doc, const Dictionary& font_dict, const Font& font) {
  if (font.cid_text || font.cid_ordering || font.code_map) return nullptr;
  const Object* encoding = resolved(doc, font_dict.lookup("Encoding"));
  if (encoding == nullptr || !(encoding->is_name("Identity-H") || encoding->is_name("Identity-V"))) return nullptr;
  const Object* descendants = resolved(doc, font_dict.lookup("DescendantFonts"));
  if (descendants == nullptr || descendants->as_array() == nullptr || descendants->as_array()->empty()) {
    return nullptr;
  }
  const auto descendant = doc.resolver.dictionary_view(descendants->as_array()->front());
  if (!descendant) return nullptr;
  const Object* subtype = (*descendant)->lookup("Subtype");
  return subtype != nullptr && subtype->is_name("CIDFontType2") ? *descendant : nullptr;
}

// The text of the standard Macintosh glyphs by glyph number.
std::shared_ptr<const std::vector<std::uint32_t>> standard_order_text() {
  static const std::shared_ptr<const std::vector<std::uint32_t>> standard = [] {
    std::vector<std::uint32_t> text(font::kMacGlyphCount, 0);
    for (std::uint32_t g = 0; g < text.size(); ++g) {
      const auto points = glyph_name_points(font::mac_glyph_name(g));
      text[g] = points && points->size() == 1 ? points->front() : 0;
    }
    return std::make_shared<const std::vector<std::uint32_t>>(std::move(text));
  }();
  return standard;
}

// The last source of a TrueType CIDFont's text: its CIDs taken as glyph numbers of the
// whole font, whose first 258 glyphs are the standard Macintosh ones in the fonts that
// office producers cite by number (Arial, Times New Roman: "3" is the space, "36" the
// "A"). Only where the CIDs are such numbers: the font is not embedded (its glyphs are
// the installed font's), or a CIDToGIDMap stream maps them onto a subset's glyphs.
// A subset whose own glyph numbers are the CIDs is left without text, and so is a font
// whose /W widths are mostly for CIDs past the standard glyphs.
void complete_from_standard_order(OpenDocument& doc, const Dictionary& font_dict, Font& font) {
  const Dictionary* descendant = unserved_identity_truetype(doc, font_dict, font);
  if (descendant == nullptr) return;
  const Dictionary* descriptor = dictionary_at(doc, *descendant, "FontDescriptor");
  const bool embedded = descriptor != nullptr && (descriptor->lookup("FontFile2") != nullptr ||
                                                  descriptor->lookup("FontFile3") != nullptr);
  const Object* map = resolved(doc, descendant->lookup("CIDToGIDMap"));
  if (embedded && (map == nullptr || map->as_stream() == nullptr)) return;
  // An embedded subset that cites glyphs past the standard ones as often as within them
  // (a CJK font's own numbering) is not in that order.
  if (!embedded) {
    font.cid_text = standard_order_text();
    return;
  }
  const WidthMap& widths = font.width_map();
  const auto standard_cids = std::count_if(widths.begin(), widths.end(),
                                           [](const auto& entry) { return entry.first < font::kMacGlyphCount; });
  if (2 * static_cast<std::size_t>(standard_cids) <= widths.size() && !widths.empty()) return;
  font.cid_text = standard_order_text();
}

}  // namespace

std::size_t ProgramText::approximate_size() const {
  constexpr std::size_t kNode = 48;
  std::size_t bytes = sizeof(ProgramText) + glyph_text.capacity() * sizeof(std::uint32_t) +
                      cid_glyphs.capacity() * sizeof(std::uint16_t);
  for (const auto& [name, cp] : name_text) bytes += kNode + name.capacity();
  return bytes;
}

ProgramText read_program_text(ProgramKind kind, ByteView program) {
  ProgramText out;
  if (kind == ProgramKind::Type1 && !is_sfnt(program)) {
    const font::Type1Encoding encoding = font::read_type1_encoding(program);
    if (!encoding.found) return out;
    std::array<std::uint32_t, 256> text{};
    for (std::size_t c = 0; c < 256; ++c) {
      if (const auto cp = program_name_value(encoding.names[c]); cp) text[c] = *cp;
    }
    out.code_text = text;
    return out;
  }
  if (is_sfnt(program)) {
    read_sfnt_into(program, out);
  } else {
    read_cff_into(program, out, true);
  }
  return out;
}

void apply_embedded_program(OpenDocument& doc, EmbeddedPrograms& programs, const Dictionary& font_dict, Font& font) {
  const Object* subtype = font_dict.lookup("Subtype");
  if (subtype != nullptr && subtype->is_name("Type0")) {
    complete_composite(doc, programs, font_dict, font);
    complete_from_standard_order(doc, font_dict, font);
  } else if (subtype == nullptr || !subtype->is_name("Type3")) {
    complete_simple(doc, programs, font_dict, font);
  }
}

}  // namespace folioscan
