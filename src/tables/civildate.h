// Calendar dates and the day numbers the tables store them as.
//
// Date fields arrive in TValue as day numbers counted from 30 December 1899 (day 0), the day
// numbers of spreadsheets and of Delphi's TDateTime; a time is the fraction of a day.
#pragma once

namespace qv::detail {

// 30 December 1899 counted from 1 January 1970.
inline constexpr long kDay0FromUnixEpoch = -25569;

// Days from 1 January 1970 of a civil date and back (H. Hinnant's algorithms).
inline long DaysFromCivil(long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long>(doe) - 719468;
}

inline void CivilFromDays(long z, long& y, unsigned& m, unsigned& d) {
  z += 719468;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;
}

}  // namespace qv::detail
