// Image blocks placed among a page's text blocks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "structure/image_blocks.h"

namespace folioscan {
namespace {

constexpr std::array<double, 4> kLetter = {0, 0, 612, 792};

Block text_block(std::string text, std::array<double, 4> box) {
  Block block;
  block.text = std::move(text);
  block.bbox = box;
  return block;
}

// The blocks' texts in order, an image written as "#<index>".
std::string order_of(const std::vector<Block>& blocks) {
  std::string out;
  for (const Block& block : blocks) {
    if (!out.empty()) out += ' ';
    out += block.type == BlockType::Image ? "#" + std::to_string(*block.image) : block.text;
  }
  return out;
}

struct Case {
  const char* name;
  std::vector<Block> blocks;
  std::vector<PlacedImage> images;
  const char* expected;
};

TEST(ImageBlocks, StandWhereAReaderMeetsThem) {
  const std::vector<Case> cases = {
      {"between paragraphs of one column",
       {text_block("above", {72, 700, 540, 720}), text_block("below", {72, 400, 540, 420})},
       {{0, {100, 450, 500, 680}}},
       "above #0 below"},
      {"a label left of the image's lower edge follows it",
       {text_block("title", {75, 707, 222, 718}), text_block("Figure", {75, 498, 107, 507}),
        text_block("caption", {75, 489, 238, 498})},
       {{0, {113, 518, 396, 681}}},
       "title #0 Figure caption"},
      {"an image atop the right column follows the left column",
       {text_block("left1", {72, 600, 290, 720}), text_block("left2", {72, 300, 290, 580}),
        text_block("right", {320, 300, 540, 500})},
       {{0, {320, 520, 540, 720}}},
       "left1 left2 #0 right"},
      {"images below all text come last, top to bottom",
       {text_block("text", {72, 700, 540, 720})},
       {{1, {72, 100, 540, 300}}, {0, {72, 400, 540, 600}}},
       "text #0 #1"},
      {"spacers, off-page images and a background under text are left out",
       {text_block("text", {72, 700, 540, 720})},
       {{0, {72, 500, 540, 502}}, {1, {700, 100, 900, 300}}, {2, {0, 0, 612, 792}}},
       "text"},
      {"a scanned page keeps its one image",
       {},
       {{0, {0, 0, 612, 792}}},
       "#0"},
  };
  for (const Case& c : cases) {
    std::vector<Block> blocks = c.blocks;
    place_image_blocks(blocks, c.images, kLetter);
    EXPECT_EQ(order_of(blocks), c.expected) << c.name;
  }
}

}  // namespace
}  // namespace folioscan
