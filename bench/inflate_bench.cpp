// Times the DEFLATE decoder on one file of zlib data (2-byte header skipped) and prints
// the best of several runs as decoded megabytes per second.
//   inflate_bench FILE [RUNS]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "filter/inflate.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE [RUNS]\n", argv[0]);
    return 2;
  }
  std::ifstream file(argv[1], std::ios::binary);
  const folioscan::Bytes data((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (data.size() < 2) {
    std::fprintf(stderr, "%s: no zlib data\n", argv[1]);
    return 2;
  }
  const int runs = argc > 2 ? std::atoi(argv[2]) : 10;
  const folioscan::ByteView body(data.data() + 2, data.size() - 2);

  double best = 1e30;
  std::size_t out_size = 0;
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    const auto out = folioscan::inflate(body);
    const auto stop = std::chrono::steady_clock::now();
    if (!out) {
      std::fprintf(stderr, "decode failed: %s\n", out.error().display().c_str());
      return 1;
    }
    out_size = out->size();
    best = std::min(best, std::chrono::duration<double>(stop - start).count());
  }
  std::printf("input %zu bytes, output %zu bytes, best of %d: %.4f s\n", data.size(), out_size, runs, best);
  std::printf("MB/s %.1f\n", static_cast<double>(out_size) / 1e6 / best);
  return 0;
}
