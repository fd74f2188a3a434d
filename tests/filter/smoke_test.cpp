#include "support/test_filter.h"

#include <gtest/gtest.h>

TEST(Smoke, Builds) { trellan::test::TestFilter f; EXPECT_EQ(f.GetChunk(nullptr), E_POINTER); }
