#include <gtest/gtest.h>

#include <cstring>

#include "KelAllocator.h"
#include "_SEQUENCE_octet.h"

namespace {

TEST(SequenceOctet, CopiesTheBytesAndBelongsToItsOwner) {
  unsigned char bytes[] = {'<', 'a', '/', '>'};
  auto* sequence = new _SEQUENCE_octet(sizeof bytes, bytes);
  ASSERT_NE(sequence, nullptr);
  bytes[0] = 'X';
  EXPECT_EQ(sequence->_length, 4ul);
  EXPECT_EQ((*sequence)[0], '<');
  _SEQUENCE_octet copy = *sequence;
  delete sequence;
  EXPECT_EQ(std::memcmp(copy._buffer, "<a/>", 4), 0);
}

TEST(SequenceOctet, AllocationFailureYieldsNoSequence) {
  unsigned char bytes[] = {1, 2, 3};
  {
    KelAllocationFailureScope failing(0, 1);
    EXPECT_EQ(_SEQUENCE_octet::Create(3, bytes), nullptr) << "object allocation fails";
  }
  {
    KelAllocationFailureScope failing(1, 1);
    EXPECT_EQ(_SEQUENCE_octet::Create(3, bytes), nullptr) << "buffer allocation fails";
  }
  _SEQUENCE_octet* ok = _SEQUENCE_octet::Create(3, bytes);
  ASSERT_NE(ok, nullptr);
  delete ok;
}

}  // namespace
