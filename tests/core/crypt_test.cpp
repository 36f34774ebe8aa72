#include <gtest/gtest.h>
#include "crypt.h"
TEST(Md5, Placeholder) { EXPECT_EQ(folioscan::md5({})[0], 0xd4); }
