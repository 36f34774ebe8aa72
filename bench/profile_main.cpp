// A profiling driver: parses one PDF file N times and renders it to Markdown, so that
// callgrind or perf see the core without the interpreter around it. Built by hand:
//   g++ -std=gnu++23 -O3 -g -Icore bench/profile_main.cpp build/prof/libfolioscan_core.a -lcrypto
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "extract.h"
#include "serialize/serialize.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s file.pdf [repeat] [password]\n", argv[0]);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)), {});
  const int repeat = argc > 2 ? std::atoi(argv[2]) : 1;
  const std::string password = argc > 3 ? argv[3] : "";
  const folioscan::ByteView pw(reinterpret_cast<const std::uint8_t*>(password.data()), password.size());
  std::size_t total = 0;
  for (int i = 0; i < repeat; ++i) {
    auto doc = folioscan::parse_document(data, pw);
    if (!doc) {
      std::fprintf(stderr, "%s\n", doc.error().display().c_str());
      return 1;
    }
    total += folioscan::document_to_markdown(*doc).size();
  }
  std::printf("%zu\n", total);
  return 0;
}
