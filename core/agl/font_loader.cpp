// Loading fonts from the document: a resources dictionary's fonts, ToUnicode streams,
// composite fonts with their /W arrays, and simple fonts with /Encoding, /Differences
// and /Widths, through the caches of the call's font context. Nothing here fails:
// unreadable parts fall back to defaults.
#include "font_loader.h"

#include <cmath>
#include <optional>
#include <string_view>

#include "../cmap/cmap_limits.h"
#include "../cmap/cmap_parser.h"
#include "../cmap/predefined.h"
#include "../doc.h"
#include "../filter/filter.h"
#include "../font/embedded.h"
#include "../font/standard_widths.h"
#include "../tounicode.h"
#include "../utf8.h"
#include "glyph_names.h"
#include "glyph_text.h"

namespace folioscan {
namespace {

// A reference resolved one level (borrowed from the resolver's cache), else the value
// itself; nullptr when resolution fails.
const Object* resolved(OpenDocument& doc, const Object& value) {
  const auto result = doc.resolver.resolve_view(value);
  return result ? *result : nullptr;
}

// Recovery: "/ToUnicode /Identity-H" (a CMap name where a stream belongs) says the
// two-byte codes are their own UTF-16 units; surrogates give no text.
std::shared_ptr<const ToUnicodeMap> identity_tounicode() {
  static const std::shared_ptr<const ToUnicodeMap> map = [] {
    ToUnicodeMap identity;
    identity.ranges = {{0x0000, 0xD7FF, 0x0000}, {0xE000, 0xFFFF, 0xE000}};
    index_tounicode_ranges(identity);
    return std::make_shared<const ToUnicodeMap>(std::move(identity));
  }();
  return map;
}

std::shared_ptr<const ToUnicodeMap> read_tounicode(OpenDocument& doc, const Object& entry) {
  if (doc.options.recover && (entry.is_name("Identity-H") || entry.is_name("Identity-V"))) {
    return identity_tounicode();
  }
  const Object* stream = resolved(doc, entry);
  if (stream == nullptr || stream->as_stream() == nullptr) return nullptr;
  const Stream* s = stream->as_stream();
  const auto decoded = doc.resolver.decode(*s);
  if (!decoded) return nullptr;
  return std::make_shared<const ToUnicodeMap>(parse_tounicode(*decoded, doc.options.recover));
}

// A map named by reference is read once per call (failures included): every page may
// use the same fonts, and a large map decoded per page and font would make the work
// grow with pages × fonts.
std::shared_ptr<const ToUnicodeMap> load_tounicode(OpenDocument& doc, FontContext& context,
                                                   const Dictionary& font_dict) {
  const Object* entry = font_dict.lookup("ToUnicode");
  if (entry == nullptr) return nullptr;
  const ObjRef* ref = entry->as_ref();
  if (ref == nullptr) return read_tounicode(doc, *entry);
  if (const auto it = context.tounicode_maps.find(ref->num); it != context.tounicode_maps.end()) return it->second;
  auto map = read_tounicode(doc, *entry);
  context.tounicode_maps.emplace(ref->num, map);
  return map;
}

// The vertical displacement of a font written top to bottom: its CMap is named
// Identity-V or another predefined vertical one ("V", "UniJIS-UCS2-V", ...), or is a
// stream with /WMode 1; the
// second entry of the descendant's /DW2, else -1 em. 0 for horizontal writing.
double vertical_advance_of(OpenDocument& doc, const Dictionary& font_dict, const Dictionary& descendant,
                           const cmap::CodeMap* map) {
  const Object* encoding = font_dict.lookup("Encoding");
  const Name* name = encoding != nullptr ? encoding->as_name() : nullptr;
  const bool named_vertical = name != nullptr && (name->text == "V" || name->text.ends_with("-V"));
  if (!named_vertical && !(map != nullptr && map->vertical)) return 0.0;
  double advance = -1.0;
  if (const Object* dw2 = descendant.lookup("DW2")) {
    const Object* value = resolved(doc, *dw2);
    const Array* pair = value != nullptr ? value->as_array() : nullptr;
    if (pair != nullptr && pair->size() == 2) {
      if (const auto w1 = (*pair)[1].as_number(); w1 && std::isfinite(*w1) && *w1 != 0) advance = *w1 / 1000.0;
    }
  }
  return advance;
}

// A composite font's CMap from its /Encoding (or a CMap stream's /UseCMap): a predefined
// name, built once per call, or a stream read once per call with the CMap it uses
// beneath it, at most limits::kMaxUseCMapDepth streams deep. Null for Identity-H and
// Identity-V, which the two-byte reading of the strict rules already is, and for
// anything unreadable.
std::shared_ptr<const cmap::CodeMap> load_code_map(OpenDocument& doc, FontContext& context, const Object* entry,
                                                   std::size_t depth = 0) {
  if (entry == nullptr) return nullptr;
  if (const Name* name = entry->as_name()) {
    const auto info = cmap::predefined_cmap_info(name->text);
    if (!info || info->ordering == cmap::Ordering::Identity) return nullptr;
    auto& kept = context.predefined_cmaps[name->text];
    if (!kept) {
      if (auto map = cmap::predefined_cmap(name->text)) kept = std::make_shared<const cmap::CodeMap>(std::move(*map));
    }
    return kept;
  }
  const ObjRef* ref = entry->as_ref();
  if (ref == nullptr || depth > limits::kMaxUseCMapDepth) return nullptr;
  // Marked before reading, so that a /UseCMap loop back to this stream finds null.
  const auto [slot, fresh] = context.cmap_streams.try_emplace(ref->num, nullptr);
  if (!fresh) return slot->second;
  const Object* value = resolved(doc, *entry);
  const Stream* stream = value != nullptr ? value->as_stream() : nullptr;
  if (stream == nullptr) return nullptr;
  const auto decoded = doc.resolver.decode(*stream);
  if (!decoded) return nullptr;
  const auto base = load_code_map(doc, context, stream->dict.lookup("UseCMap"), depth + 1);
  cmap::CMapParseOptions options;
  options.base = base.get();
  auto map = std::make_shared<const cmap::CodeMap>(cmap::parse_cmap(*decoded, options).map);
  context.cmap_streams[ref->num] = map;
  return map;
}

// The character collection of a composite font's CIDs: the descendant's /CIDSystemInfo,
// else the one its CMap names. None for Identity and unknown collections.
std::optional<cmap::Ordering> collection_of(OpenDocument& doc, const Dictionary& descendant,
                                            const cmap::CodeMap* map) {
  const auto text = [](const Dictionary& dict, std::string_view key) {
    const Object* value = dict.lookup(key);
    const String* s = value != nullptr ? value->as_string() : nullptr;
    return s != nullptr ? std::string(s->bytes.begin(), s->bytes.end()) : std::string();
  };
  std::optional<cmap::Ordering> ordering;
  if (const Object* info = descendant.lookup("CIDSystemInfo")) {
    const Object* value = resolved(doc, *info);
    if (const Dictionary* dict = value != nullptr ? value->as_dict() : nullptr) {
      ordering = cmap::ordering_named(text(*dict, "Registry"), text(*dict, "Ordering"));
    }
  }
  if ((!ordering || ordering == cmap::Ordering::Identity) && map != nullptr) {
    ordering = cmap::ordering_named(map->system.registry, map->system.ordering);
  }
  if (ordering == cmap::Ordering::Identity) return std::nullopt;
  return ordering;
}

// Recovery: the CMap that cuts the font's codes and the collection that gives its CIDs
// text where nothing else does.
void load_cid_text_sources(OpenDocument& doc, FontContext& context, const Dictionary& font_dict,
                           const Dictionary& descendant, Font& font) {
  const Object* encoding = font_dict.lookup("Encoding");
  font.code_map = load_code_map(doc, context, encoding);
  font.cid_ordering = collection_of(doc, descendant, font.code_map.get());
}

std::shared_ptr<const WidthMap> shared_composite_widths(FontContext& context, const Array& w) {
  auto [it, fresh] = context.composite_widths.try_emplace(&w);
  if (fresh) {
    Font scratch;
    read_composite_widths(scratch, w);
    it->second = std::make_shared<const WidthMap>(std::move(scratch.widths));
  }
  return it->second;
}

void load_composite(OpenDocument& doc, FontContext& context, const Dictionary& font_dict, Font& font) {
  font.code_bytes = 2;
  font.encoding.fill(0);
  font.default_width = 1.0;

  const Object* descendants = font_dict.lookup("DescendantFonts");
  if (descendants == nullptr) return;
  const Object* list = resolved(doc, *descendants);
  if (list == nullptr || list->as_array() == nullptr || list->as_array()->empty()) return;
  // Borrowed: the resolver never moves or drops a cached object, so views stay valid
  // while it loads more.
  const auto descendant_view = doc.resolver.dictionary_view(list->as_array()->front());
  if (!descendant_view) return;
  const Dictionary* descendant = *descendant_view;

  if (const Object* dw = descendant->lookup("DW")) {
    if (const auto value = dw->as_number()) font.default_width = *value / 1000.0;
  }
  if (const Object* w = descendant->lookup("W")) {
    const Object* widths = resolved(doc, *w);
    if (widths != nullptr && widths->as_array() != nullptr) {
      font.shared_widths = shared_composite_widths(context, *widths->as_array());
    }
  }
  if (doc.options.recover) {
    load_cid_text_sources(doc, context, font_dict, *descendant, font);
    font.vertical_advance = vertical_advance_of(doc, font_dict, *descendant, font.code_map.get());
  }
}

// Whether a glyph name names a small capital: a variant suffix "sc", "smcp", "c2sc"
// ("a.sc", "r.smcp", "T.c2sc", "f_f.smcp"), or the "small" ending of expert fonts'
// names ("Asmall", "Eacutesmall"), which `base` then receives without it.
bool small_capital_name(std::string_view name, std::string_view& base) {
  base = name;
  const std::size_t dot = name.find('.');
  if (dot != std::string_view::npos && dot != 0) {
    std::string_view suffixes = name.substr(dot + 1);
    while (!suffixes.empty()) {
      const std::size_t next = suffixes.find('.');
      const std::string_view suffix = suffixes.substr(0, next);
      if (suffix == "sc" || suffix == "smcp" || suffix == "c2sc") return true;
      if (next == std::string_view::npos) break;
      suffixes.remove_prefix(next + 1);
    }
    return false;
  }
  if (name.size() > 5 && name.ends_with("small") && name.front() >= 'A' && name.front() <= 'Z') {
    base = name.substr(0, name.size() - 5);
    return true;
  }
  return false;
}

// Recovery: /Differences names the strict table lacks but that say their text ("ccaron",
// "f_f_i", "uni0066006C", "a.sc"); a name of several characters goes to
// `code_strings`, and a small capital's code to `small_capitals`.
void name_differences_recovering(const Object* encoding, Font& font) {
  if (encoding == nullptr) return;
  const Dictionary* dict = encoding->as_dict();
  if (const Stream* s = encoding->as_stream()) dict = &s->dict;
  const Object* differences = dict != nullptr ? dict->lookup("Differences") : nullptr;
  const Array* list = differences != nullptr ? differences->as_array() : nullptr;
  if (list == nullptr) return;
  for_each_difference(*list, [&](std::uint8_t code, std::string_view name) {
    std::erase_if(font.code_strings, [&](const auto& entry) { return entry.first == code; });
    std::erase(font.small_capitals, code);
    std::string_view base;
    if (small_capital_name(name, base)) font.small_capitals.push_back(code);
    const auto points = glyph_name_points(base);
    if (!points || points->empty()) return;
    if (points->size() == 1) {
      font.encoding[code] = points->front();
      return;
    }
    std::string text;
    for (const char32_t cp : *points) append_utf8(text, cp);
    font.code_strings.emplace_back(code, std::move(text));
  });
}

// Recovery: a simple font's codes whose encoding gives a control character (the base
// tables give codes 1 to 31 themselves) have no text a reader can use.
void drop_control_text(Font& font) {
  for (std::uint32_t& cp : font.encoding) {
    if (cp < 0x20 || cp == 0x7F) cp = 0;
  }
}

void load_simple(OpenDocument& doc, const Dictionary& font_dict, Font& font) {
  font.code_bytes = 1;
  font.default_width = 0.5;
  const Object* encoding_entry = font_dict.lookup("Encoding");
  const Object* encoding = encoding_entry != nullptr ? resolved(doc, *encoding_entry) : nullptr;
  apply_simple_encoding(font, encoding);
  if (doc.options.recover) name_differences_recovering(encoding, font);

  std::int64_t first_char = 0;
  if (const Object* fc = font_dict.lookup("FirstChar")) {
    if (const std::int64_t* value = fc->as_integer()) first_char = *value;
  }
  if (const Object* entry = font_dict.lookup("Widths")) {
    const Object* widths = resolved(doc, *entry);
    if (widths != nullptr && widths->as_array() != nullptr) {
      read_simple_widths(font, first_char, *widths->as_array());
    }
  }
  // A base font named without /Widths is drawn with that font's widths; the strict
  // reading keeps the default width for every code.
  if (doc.options.recover) apply_standard_widths(font_dict, encoding, font);
}

// Heap bytes of a font, roughly: hash nodes, strings and the two byte tables.
std::size_t approximate_size(const Font& font) {
  constexpr std::size_t kNode = 48;  // a hash node with its links and bucket share
  std::size_t bytes = sizeof(Font) + font.width_map().size() * kNode;
  if (font.to_unicode) {
    for (const auto& [code, text] : font.to_unicode->singles) bytes += kNode + text.capacity();
    bytes += font.to_unicode->ranges.capacity() * sizeof(ToUnicodeRange);
  }
  if (font.byte_text) bytes += font.byte_text->text.capacity();
  if (font.cid_text) bytes += font.cid_text->capacity() * sizeof(std::uint32_t);
  for (const auto& [code, text] : font.code_strings) bytes += sizeof(code) + sizeof(text) + text.capacity();
  bytes += font.small_capitals.capacity();
  // Shared with the context's CMaps: counted per font, which errs towards the budget.
  if (font.code_map) bytes += cmap::code_map_bytes(*font.code_map);
  return bytes;
}

// Recovery: the face the font's name and descriptor give (a composite font's descriptor
// is its descendant's). Values that cannot be read count as absent.
FontFace read_face(OpenDocument& doc, const Dictionary& font_dict) {
  FontFace face;
  if (const Object* base = font_dict.lookup("BaseFont")) {
    if (const Name* name = base->as_name()) face = face_from_name(name->text);
  }
  const Dictionary* holder = &font_dict;
  if (const Object* descendants = font_dict.lookup("DescendantFonts")) {
    const Object* list = resolved(doc, *descendants);
    const Array* array = list != nullptr ? list->as_array() : nullptr;
    if (array != nullptr && !array->empty()) {
      const Object* first = resolved(doc, array->front());
      if (first != nullptr && first->as_dict() != nullptr) holder = first->as_dict();
    }
  }
  const Object* entry = holder->lookup("FontDescriptor");
  const Object* descriptor = entry != nullptr ? resolved(doc, *entry) : nullptr;
  const Dictionary* dict = descriptor != nullptr ? descriptor->as_dict() : nullptr;
  if (dict == nullptr) return face;
  const auto number = [&](std::string_view key) -> std::optional<double> {
    const Object* value = dict->lookup(key);
    const Object* direct = value != nullptr ? resolved(doc, *value) : nullptr;
    return direct != nullptr ? direct->as_number() : std::nullopt;
  };
  std::optional<long long> flags;
  if (const auto value = number("Flags"); value && std::isfinite(*value) && std::fabs(*value) < 4294967296.0) {
    flags = static_cast<long long>(*value);
  }
  apply_descriptor(face, flags, number("FontWeight"), number("Ascent"), number("Descent"));
  return face;
}

}  // namespace

Font load_font(OpenDocument& doc, FontContext& context, const Dictionary& font_dict) {
  Font font;
  font.to_unicode = load_tounicode(doc, context, font_dict);
  const Object* subtype = font_dict.lookup("Subtype");
  if (subtype != nullptr && subtype->is_name("Type0")) {
    load_composite(doc, context, font_dict, font);
  } else {
    // Every other subtype (Type1, TrueType, Type3, ...) is read the same way; the strict
    // reading takes nothing from glyph programs or descriptors.
    load_simple(doc, font_dict, font);
  }
  // Recovery reads the embedded program where the PDF's own maps leave codes without
  // text; the strict reading never looks at it.
  if (doc.options.recover) {
    apply_embedded_program(doc, context.programs, font_dict, font);
    if (font.code_bytes == 1) drop_control_text(font);
    font.face = read_face(doc, font_dict);
    font.spell_out_ligatures = true;
  }
  font.cache_byte_widths();
  font.cache_byte_text();
  return font;
}

std::shared_ptr<const Font> FontCache::find(std::uint32_t object) const {
  const auto it = fonts_.find(object);
  return it != fonts_.end() ? it->second : nullptr;
}

void FontCache::keep(std::uint32_t object, std::shared_ptr<const Font> font) {
  const std::size_t size = approximate_size(*font);
  if (size > budget_) return;
  if (bytes_ + size > budget_) {
    fonts_.clear();
    bytes_ = 0;
  }
  fonts_.emplace(object, std::move(font));
  bytes_ += size;
}

SharedFontMap load_page_fonts(OpenDocument& doc, FontContext& context, const Dictionary& resources) {
  SharedFontMap fonts;
  const Object* entry = resources.lookup("Font");
  if (entry == nullptr) return fonts;
  const auto font_dicts = doc.resolver.dictionary_view(*entry);
  if (!font_dicts) return fonts;
  for (const DictEntry& font_entry : (*font_dicts)->entries) {
    const ObjRef* ref = font_entry.value.as_ref();
    if (ref != nullptr) {
      if (auto kept = context.fonts.find(ref->num)) {
        fonts.insert_or_assign(font_entry.key, std::move(kept));
        continue;
      }
    }
    const auto font_dict = doc.resolver.dictionary_view(font_entry.value);
    if (!font_dict) continue;
    auto font = std::make_shared<const Font>(load_font(doc, context, **font_dict));
    if (ref != nullptr) context.fonts.keep(ref->num, font);
    fonts.insert_or_assign(font_entry.key, std::move(font));
  }
  return fonts;
}

}  // namespace folioscan
