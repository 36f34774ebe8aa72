// Replays every input kept in fuzz/regressions/<target>/ through its fuzz target: the
// minimised seeds of the target, and every input that once crashed, hung or blew up
// memory, which must now run to the end. A target without inputs fails: a missing or
// emptied folder would otherwise pass without checking anything.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_targets.h"

namespace folioscan {
namespace {

using Target = int (*)(const std::uint8_t*, std::size_t);

std::vector<std::filesystem::path> inputs_of(const std::string& target) {
  std::vector<std::filesystem::path> paths;
  const std::filesystem::path dir = std::filesystem::path(FOLIOSCAN_FUZZ_REGRESSIONS) / target;
  if (!std::filesystem::is_directory(dir)) return paths;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') paths.push_back(entry.path());
  }
  return paths;
}

void replay(const std::string& target, Target run) {
  const auto paths = inputs_of(target);
  ASSERT_FALSE(paths.empty()) << "no inputs in fuzz/regressions/" << target;
  for (const auto& path : paths) {
    SCOPED_TRACE(path.string());
    std::ifstream file(path, std::ios::binary);
    const std::vector<std::uint8_t> data(std::istreambuf_iterator<char>(file), {});
    // A crash or a sanitizer report ends the test binary; returning is the pass.
    EXPECT_EQ(run(data.data(), data.size()), 0);
  }
}

TEST(FuzzRegressions, ParseDocumentInputsRunToTheEnd) { replay("parse_document", fuzz::parse_document); }
TEST(FuzzRegressions, RecoverDocumentInputsRunToTheEnd) { replay("recover_document", fuzz::recover_document); }
TEST(FuzzRegressions, DecodeStreamInputsRunToTheEnd) { replay("decode_stream", fuzz::decode_stream); }
TEST(FuzzRegressions, ToUnicodeInputsRunToTheEnd) { replay("tounicode", fuzz::tounicode); }
TEST(FuzzRegressions, RebuildInputsRunToTheEnd) { replay("rebuild", fuzz::rebuild); }
TEST(FuzzRegressions, TrueTypeInputsRunToTheEnd) { replay("truetype", fuzz::truetype); }
TEST(FuzzRegressions, CffInputsRunToTheEnd) { replay("cff", fuzz::cff); }
TEST(FuzzRegressions, Type1InputsRunToTheEnd) { replay("type1", fuzz::type1); }
TEST(FuzzRegressions, CMapInputsRunToTheEnd) { replay("cmap", fuzz::cmap); }

}  // namespace
}  // namespace folioscan
