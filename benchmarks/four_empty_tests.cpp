// The start-up yardstick for the audit executable: a GoogleTest program that
// runs four empty tests.
#include <gtest/gtest.h>

TEST(Empty, First) {}
TEST(Empty, Second) {}
TEST(Empty, Third) {}
TEST(Empty, Fourth) {}
