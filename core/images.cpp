// Image XObjects listed in a page's resources: name, format from the last filter,
// size, bits per component and colour space. Forms and undecodable images are skipped.
#include "images.h"

#include "doc.h"
#include "filter/filter.h"

namespace folioscan {
namespace {

ImageFormat classify(std::string_view filter) {
  if (filter == "DCTDecode") return ImageFormat::Jpeg;
  if (filter == "JPXDecode") return ImageFormat::Jpeg2000;
  if (filter == "CCITTFaxDecode") return ImageFormat::Ccitt;
  if (filter == "JBIG2Decode") return ImageFormat::Jbig2;
  return ImageFormat::Raw;
}

ImageFormat image_format(const Dictionary& dict) {
  const Object* filter = dict.lookup("Filter");
  if (filter == nullptr) filter = dict.lookup("F");
  if (filter == nullptr) return ImageFormat::Raw;
  if (const auto* name = filter->as_name()) return classify(name->text);
  if (const auto* arr = filter->as_array(); arr != nullptr && !arr->empty()) {
    if (const auto* name = arr->back().as_name()) return classify(name->text);
  }
  return ImageFormat::Raw;
}

std::optional<std::uint32_t> direct_u32(const Dictionary& dict, std::string_view key) {
  const Object* v = dict.lookup(key);
  const auto* i = v != nullptr ? v->as_integer() : nullptr;
  if (i == nullptr || *i < 0 || *i > 0xFFFFFFFFLL) return std::nullopt;
  return static_cast<std::uint32_t>(*i);
}

std::string color_space(Resolver& resolver, const Dictionary& dict) {
  const Object* cs = dict.lookup("ColorSpace");
  if (cs == nullptr) return "DeviceRGB";
  auto resolved = resolver.resolve_view(*cs);
  if (!resolved) return "DeviceRGB";
  if (const auto* name = (*resolved)->as_name()) return name->text;
  if (const auto* arr = (*resolved)->as_array()) {
    if (!arr->empty()) {
      if (const auto* name = arr->front().as_name()) return name->text;
    }
    return "Unknown";
  }
  return "DeviceRGB";
}

bool decodes(OpenDocument& doc, const Object& entry, const Stream& stream) {
  const ObjRef* ref = entry.as_ref();
  if (ref == nullptr) return doc.resolver.check_decodes(stream).has_value();
  if (const auto it = doc.image_decodes.find(ref->num); it != doc.image_decodes.end()) return it->second;
  const bool ok = doc.resolver.check_decodes(stream).has_value();
  doc.image_decodes.emplace(ref->num, ok);
  return ok;
}

}  // namespace

std::optional<ParsedImage> describe_image(OpenDocument& doc, std::string_view name, const Object& entry,
                                          const Stream& stream) {
  ParsedImage image;
  image.name = name;
  image.format = image_format(stream.dict);
  // The decoded bytes are not used; decoding only proves the data is readable. The
  // answer is kept per object: every page may list the same large image.
  if (!decodes(doc, entry, stream)) return std::nullopt;
  image.width = direct_u32(stream.dict, "Width").value_or(0);
  image.height = direct_u32(stream.dict, "Height").value_or(0);
  image.bits_per_component = direct_u32(stream.dict, "BitsPerComponent").value_or(8);
  image.color_space = color_space(doc.resolver, stream.dict);
  return image;
}

std::vector<ParsedImage> list_images(OpenDocument& doc, const Dictionary& resources,
                                     std::vector<const Stream*>* listed) {
  std::vector<ParsedImage> images;
  const Object* xobjects = resources.lookup("XObject");
  if (xobjects == nullptr) return images;
  Resolver& resolver = doc.resolver;
  auto dict = resolver.dictionary_view(*xobjects);
  if (!dict) return images;
  for (const DictEntry& entry : (*dict)->entries) {
    auto value = resolver.resolve_view(entry.value);
    if (!value) continue;
    const Stream* stream = (*value)->as_stream();
    if (stream == nullptr) continue;
    const Object* subtype = stream->dict.lookup("Subtype");
    if (subtype == nullptr || !subtype->is_name("Image")) continue;
    std::optional<ParsedImage> image = describe_image(doc, entry.key, entry.value, *stream);
    if (!image) continue;
    images.push_back(std::move(*image));
    if (listed != nullptr) listed->push_back(stream);
  }
  return images;
}

}  // namespace folioscan
