// Times the DEFLATE decoder on one file of zlib data (2-byte header skipped) and prints
// the best of several runs as decoded megabytes per second: decoding into a buffer
// (inflate), and checking into a sink that wants only the size (what an image check
// does).
//   inflate_bench FILE [RUNS]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "filter/inflate.h"

namespace {

// Wants the size of the output only, as an image check without a PNG predictor.
class SizeSink final : public folioscan::ByteSink {
 public:
  void take(folioscan::ByteView piece) override { bytes += piece.size(); }
  bool wants_bytes() const override { return false; }
  void take_size(std::uint64_t size) override { bytes += size; }
  std::uint64_t bytes = 0;
};

template <class F>
double best_of(int runs, F&& run) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    if (!run()) return -1;
    const auto stop = std::chrono::steady_clock::now();
    best = std::min(best, std::chrono::duration<double>(stop - start).count());
  }
  return best;
}

}  // namespace

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

  std::size_t out_size = 0;
  const double whole = best_of(runs, [&] {
    const auto out = folioscan::inflate(body);
    if (!out) std::fprintf(stderr, "decode failed: %s\n", out.error().display().c_str());
    if (out) out_size = out->size();
    return out.has_value();
  });
  const double counted = best_of(runs, [&] {
    SizeSink sink;
    const auto size = folioscan::inflate_to_sink(body, sink);
    return size.has_value() && *size == out_size && sink.bytes == out_size;
  });
  if (whole < 0 || counted < 0) {
    std::fprintf(stderr, "%s: decoding failed or the counted size differs\n", argv[1]);
    return 1;
  }
  std::printf("input %zu bytes, output %zu bytes, best of %d: %.6f s, counted %.6f s\n", data.size(), out_size,
              runs, whole, counted);
  std::printf("MB/s %.1f\n", static_cast<double>(out_size) / 1e6 / whole);
  std::printf("counted MB/s %.1f\n", static_cast<double>(out_size) / 1e6 / counted);
  return 0;
}
