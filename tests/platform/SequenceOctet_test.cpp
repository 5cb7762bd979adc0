#include <gtest/gtest.h>

#include <cstring>

#include "_SEQUENCE_octet.h"

namespace {

// What memory refuses it is checked with the allocation-failure sweeps of GenerateStream.
TEST(SequenceOctet, CopiesTheBytesAndBelongsToItsOwner) {
  unsigned char bytes[] = {'<', 'a', '/', '>'};
  _SEQUENCE_octet* sequence = _SEQUENCE_octet::Create(sizeof bytes, bytes);
  ASSERT_NE(sequence, nullptr);
  bytes[0] = 'X';
  EXPECT_EQ(sequence->_length, 4ul);
  EXPECT_EQ((*sequence)[0], '<');
  _SEQUENCE_octet copy = *sequence;
  delete sequence;
  EXPECT_EQ(std::memcmp(copy._buffer, "<a/>", 4), 0);
}

}  // namespace
