#include <gtest/gtest.h>
TEST(PgDialect, Placeholder) {}
