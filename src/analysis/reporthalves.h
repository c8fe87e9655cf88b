// Long report tables written by two threads.
#pragma once

#include "analysis/report.h"
#include "stats/partner.h"

namespace qv {

// Appends the lines of items 1..count to the report, append(from, to, out) writing those of
// items from..to to out. With `shared` (a long table) a second thread writes the second half of
// the items into a buffer of its own, appended after the first half: the same text.
template <class TAppend>
void AppendInTwoHalves(TReport& report, int count, bool shared, const TAppend& append) {
  const int half = (count + 1) / 2;
  TReport secondHalf;
  RunInTwo(shared, [&](int part, int parts) {
    if (parts == 1) {
      append(1, count, report);
    } else if (part == 0) {
      append(1, half, report);
    } else {
      append(half + 1, count, secondHalf);
    }
  });
  report.Append(secondHalf.Text());
}

}  // namespace qv
