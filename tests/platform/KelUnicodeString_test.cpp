#include "KelUnicodeString.h"

#include <gtest/gtest.h>

TEST(KelUnicodeString, NullIsOnlyTheNeverAssignedString) {
  EXPECT_TRUE(KelUnicodeString().IsNull());
  EXPECT_FALSE(KelUnicodeString("").IsNull());
  EXPECT_TRUE(KelUnicodeString(static_cast<const char*>(nullptr)).IsNull());
  EXPECT_EQ(KelUnicodeString(), KelUnicodeString(""));
}
