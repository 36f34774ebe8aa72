// Test helper: writes small PDF files with exact offsets, a classic xref table and a
// trailer, so hand-made documents never carry hand-counted numbers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <span>
#include <string>
#include <vector>

namespace folioscan::testing {

struct PdfBuilder {
  std::string header = "%PDF-1.4\n";
  std::map<std::uint32_t, std::string> objects;  // number -> body between "obj" and "endobj"
  std::string trailer_extra;                    // more trailer keys, e.g. "/Encrypt 9 0 R"
  std::string root = "1 0 R";

  void add(std::uint32_t num, std::string body) { objects[num] = std::move(body); }
  void add_stream(std::uint32_t num, const std::string& dict_keys, const std::string& data) {
    objects[num] = "<<" + dict_keys + " /Length " + std::to_string(data.size()) + ">>\nstream\n" +
                   data + "\nendstream";
  }

  // Offsets of each object's header, filled by build().
  std::map<std::uint32_t, std::size_t> offsets;

  std::string build() {
    std::string out = header;
    offsets.clear();
    std::uint32_t max_num = 0;
    for (const auto& [num, body] : objects) {
      offsets[num] = out.size();
      out += std::to_string(num) + " 0 obj\n" + body + "\nendobj\n";
      max_num = num;
    }
    const std::size_t xref_at = out.size();
    out += "xref\n0 " + std::to_string(max_num + 1) + "\n";
    out += "0000000000 65535 f \n";
    for (std::uint32_t n = 1; n <= max_num; ++n) {
      char line[32];
      auto it = offsets.find(n);
      if (it == offsets.end()) {
        std::snprintf(line, sizeof line, "%010u 00000 f \n", 0u);
      } else {
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", it->second);
      }
      out += line;
    }
    out += "trailer\n<</Size " + std::to_string(max_num + 1);
    if (!root.empty()) out += " /Root " + root;
    out += " " + trailer_extra + ">>\nstartxref\n" + std::to_string(xref_at) + "\n%%EOF\n";
    return out;
  }
};

inline std::span<const std::uint8_t> bytes_of(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

}  // namespace folioscan::testing
