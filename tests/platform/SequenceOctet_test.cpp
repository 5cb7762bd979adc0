#include <gtest/gtest.h>

#include <cstring>

#include "KelAllocator.h"
#include "_SEQUENCE_octet.h"

namespace {

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

TEST(SequenceOctet, AllocationFailureYieldsNoSequence) {
  unsigned char bytes[] = {1, 2, 3};
  for (long failing : {0, 1}) {  // the object, then its buffer
    KelAllocationFailureScope scope(failing, 1);
    EXPECT_EQ(_SEQUENCE_octet::Create(3, bytes), nullptr) << failing;
  }
}

}  // namespace
