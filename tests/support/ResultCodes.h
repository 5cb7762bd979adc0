// Checking a run of result codes one by one: a sum of codes lets a failure
// hide behind a success, and leaves the calls' order unspecified.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>

namespace testcodes {

// Success when no code is negative; otherwise names the first failing call
// (1-based) and its code. The calls in a braced list run in order.
inline ::testing::AssertionResult AllOk(std::initializer_list<long> codes) {
  int call = 0;
  for (long code : codes) {
    ++call;
    if (code < 0) return ::testing::AssertionFailure() << "call " << call << " returned " << code;
  }
  return ::testing::AssertionSuccess();
}

}  // namespace testcodes
