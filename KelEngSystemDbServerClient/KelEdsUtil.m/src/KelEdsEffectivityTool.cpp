#include "KelEdsEffectivityTool.h"

KelEdsEffectivityTool::KelEdsEffectivityTool() = default;
KelEdsEffectivityTool::KelEdsEffectivityTool(const KelEdsEffectivityTool& other) = default;
KelEdsEffectivityTool::~KelEdsEffectivityTool() = default;
KelEdsEffectivityTool& KelEdsEffectivityTool::operator=(const KelEdsEffectivityTool& other) = default;

namespace {

// A set is usable when its two lists pair up and hold at least one range.
bool IsValidSet(const KelRawCollint& lowers, const KelRawCollint& uppers) {
  return lowers.Size() == uppers.Size() && lowers.Size() >= 1;
}

// Bounds of one range from the dash at `dash`; -1 where a bound is unset.
void ReadRange(const KelUnicodeString& text, int dash, int& lower, int& upper) {
  const int length = text.GetLengthInChar();
  lower = -1;
  upper = -1;
  // A "(" at position 0 opens the first range too, so "(1-5)" parses.
  const int open = text.SearchSubString("(", length - dash - 1, KelUnicodeString::Backward);
  if (open >= 0 && dash - open - 1 > 0) text.SubString(open + 1, dash - open - 1).ConvertToNum(&lower, "%d");
  const int close = text.SearchSubString(")", dash, KelUnicodeString::Forward);
  if (close > dash + 1) {
    KelUnicodeString bound = text.SubString(dash + 1, close - dash - 1);
    if (bound.SearchSubString("oo") >= 0) {
      upper = KelEdsEffectivityTool::OpenEnd;
    } else {
      bound.ConvertToNum(&upper, "%d");
    }
  }
}

// The working set of a union: parallel lists kept together.
struct WorkingSet {
  KelRawCollint lowers;
  KelRawCollint uppers;

  int Size() const { return lowers.Size(); }

  // First range (1-based) that holds `value`, or 0.
  int Holding(int value) const {
    for (int i = 1; i <= Size(); ++i) {
      if (lowers[i] <= value && value <= uppers[i]) return i;
    }
    return 0;
  }
  // First range whose lower bound exceeds `value`, or 0.
  int FirstLowerAbove(int value) const {
    for (int i = 1; i <= Size(); ++i) {
      if (lowers[i] > value) return i;
    }
    return 0;
  }
  // First range whose upper bound exceeds `value`, or 0.
  int FirstUpperAbove(int value) const {
    for (int i = 1; i <= Size(); ++i) {
      if (uppers[i] > value) return i;
    }
    return 0;
  }
  // Replaces ranges first..last (first <= last) by [lower, upper] at `first`.
  void Replace(int first, int last, int lower, int upper) {
    for (int i = last; i > first; --i) {
      lowers.RemovePosition(i);
      uppers.RemovePosition(i);
    }
    lowers[first] = lower;
    uppers[first] = upper;
  }
  void Insert(int position, int lower, int upper) {
    lowers.InsertAt(position, lower);
    uppers.InsertAt(position, upper);
  }
};

// Merges [s, e] into the working set.
void MergeRange(WorkingSet& work, int s, int e) {
  const int n = work.Size();
  const int p = work.Holding(s);
  const int q = work.Holding(e);
  if (p >= 1 && q >= 1) {
    if (q > p) work.Replace(p, q, work.lowers[p], work.uppers[q]);
    return;
  }
  if (p >= 1) {
    // Ranges from p up to the last one that ends below e are swallowed.
    const int above = work.FirstUpperAbove(e);
    int m = (above == 0 || above == 1) ? n : above - 1;
    if (m < p) m = p;  // only out of order sets get here
    work.Replace(p, m, work.lowers[p], e);
    return;
  }
  if (q >= 1) {
    // Ranges from the first one that starts above s up to q are swallowed.
    int r = work.FirstLowerAbove(s);
    if (r == 0 || r > q) r = q;  // only out of order or reversed ranges get here
    work.Replace(r, q, s, work.uppers[q]);
    return;
  }
  if (s < work.lowers[1] && e < work.uppers[1]) {
    work.Insert(1, s, e);
  } else if (s <= work.uppers[n]) {
    // Insert before the first range that starts above e (before the last
    // range when none does), then drop every range that starts inside (s, e).
    const int above = work.FirstLowerAbove(e);
    work.Insert(above == 0 ? n : above, s, e);
    for (int i = work.Size(); i >= 1; --i) {
      if (s < work.lowers[i] && work.lowers[i] < e) {
        work.lowers.RemovePosition(i);
        work.uppers.RemovePosition(i);
      }
    }
  } else {
    work.Insert(n + 1, s, e);
  }
}

}  // namespace

long KelEdsEffectivityTool::ParseEffectivityRange(const KelUnicodeString& text, KelRawCollint& lowers,
                                                  KelRawCollint& uppers) {
  if (text.IsNull()) return E_INVALIDARG;
  const int length = text.GetLengthInChar();
  int dash = text.SearchSubString("-", 0, KelUnicodeString::Forward);
  if (dash < 0) return E_FAIL;
  while (true) {
    int lower = -1;
    int upper = -1;
    ReadRange(text, dash, lower, upper);
    if (lower < 0 || upper < 0) return E_FAIL;
    lowers.Append(lower);
    uppers.Append(upper);
    // The character right after a dash never starts the next range.
    if (dash >= length - 2) return S_OK;
    dash = text.SearchSubString("-", dash + 2, KelUnicodeString::Forward);
    if (dash < 0) return S_OK;
  }
}

long KelEdsEffectivityTool::CompareEffectivityRange(const KelRawCollint& lowers1, const KelRawCollint& uppers1,
                                                    const KelRawCollint& lowers2, const KelRawCollint& uppers2,
                                                    KelEdsEffMatchingStatusEnum& status) {
  status = KelEdsEffUnset;
  if (!IsValidSet(lowers1, uppers1) || !IsValidSet(lowers2, uppers2)) return E_FAIL;
  if (lowers1 == lowers2 && uppers1 == uppers2) {
    status = KelEdsEffIdentical;
    return S_OK;
  }
  status = KelEdsEffDisjoint;

  const int n1 = lowers1.Size();
  const int n2 = lowers2.Size();
  bool included = true;
  for (int j = 1; j <= n2 && included; ++j) {
    included = false;
    for (int i = 1; i <= n1 && !included; ++i) included = lowers1[i] <= lowers2[j] && uppers1[i] >= uppers2[j];
  }
  if (included) {
    status = KelEdsEffIncluded;
    return S_OK;
  }

  auto within = [](int value, int low, int high) { return low <= value && value <= high; };
  for (int j = 1; j <= n2; ++j) {
    const int s = lowers2[j];
    const int e = uppers2[j];
    for (int i = 1; i <= n1; ++i) {
      const int a = lowers1[i];
      const int b = uppers1[i];
      if (within(s, a, b) || within(e, a, b) || within(a, s, e) || within(b, s, e)) {
        status = KelEdsEffOverlapping;
        return S_OK;
      }
    }
  }
  return S_OK;
}

long KelEdsEffectivityTool::ComputeUnionEffectivityRange(const KelRawCollint& lowers1, const KelRawCollint& uppers1,
                                                         const KelRawCollint& lowers2, const KelRawCollint& uppers2,
                                                         KelRawCollint& unionLowers, KelRawCollint& unionUppers) {
  if (!IsValidSet(lowers1, uppers1) || !IsValidSet(lowers2, uppers2)) return E_FAIL;
  WorkingSet work{lowers2, uppers2};
  for (int k = 1; k <= lowers1.Size(); ++k) MergeRange(work, lowers1[k], uppers1[k]);

  unionLowers.RemoveAll();
  unionUppers.RemoveAll();
  unionLowers.Append(work.lowers[1]);
  unionUppers.Append(work.uppers[1]);
  for (int i = 2; i <= work.Size(); ++i) {
    // Widened so that bounds far apart cannot overflow the difference.
    const long long gap = static_cast<long long>(work.lowers[i]) - work.uppers[i - 1];
    if (gap <= 1) {
      unionUppers[unionUppers.Size()] = work.uppers[i];
    } else {
      unionLowers.Append(work.lowers[i]);
      unionUppers.Append(work.uppers[i]);
    }
  }
  return S_OK;
}
