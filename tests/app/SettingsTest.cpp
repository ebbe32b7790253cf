#include <gtest/gtest.h>
TEST(Placeholder2, Builds) { SUCCEED(); }
