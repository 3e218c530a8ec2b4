// The workstation's date and time settings, and dates as text.
//
// Read from the environment the first time they are needed (Reload() reads
// again), like a workstation's regional settings:
//   OPEREDIT_SHORTDATE  short date format   default "yyyy-MM-dd"
//   OPEREDIT_DATESEP    date separator      default "-"
//   OPEREDIT_TIMESEP    time separator      default ":"
//   OPEREDIT_LONGTIME   long time format    default "HH:mm:ss"
// Format tokens: yyyy yy (year), MM M (month), dd d (day), HH H hh h (hour),
// mm m (minute), ss s (second), zzz (milliseconds); '/' stands for the date
// separator and ':' for the time separator; text in quotes and any other
// character is literal. Used by the fields here and by the date edit.
#pragma once

#include <string>
#include <string_view>

#include "platform/engine/engine.h"

namespace dataset::locale {

struct Settings {
    std::string shortDateFormat = "yyyy-MM-dd";
    std::string dateSeparator = "-";
    std::string timeSeparator = ":";
    std::string longTimeFormat = "HH:mm:ss";
};

[[nodiscard]] const Settings& Current();
void Reload();

// Formats by one of the format texts above.
[[nodiscard]] std::string Format(std::string_view format, const hisdb::DateTime& value);
// Short date.
[[nodiscard]] std::string FormatDate(const hisdb::DateTime& value);
// Short date, and one blank and the long time when the time of day is not zero.
[[nodiscard]] std::string FormatDateTime(const hisdb::DateTime& value);

// Parses a date typed by the short date format's order of day, month and
// year with the date separator: blanks around the numbers are skipped (so a
// one-digit month typed into a two-digit field of a mask, "2026-1 -05", is
// January), day and month take one or two digits, a year of up to two digits
// is taken in 1950..2049. False on anything else: other separators, other
// text, a blank inside a number ("2026-0 1-05"), a three-digit year, no such
// day, nothing but blanks. This is the one reading of typed dates: the date boxes use it too.
[[nodiscard]] bool ParseDate(std::string_view text, hisdb::DateTime& out);
// The same by a given short date format and date separator (a date box keeps
// the ones it was made with).
[[nodiscard]] bool ParseDate(std::string_view text, std::string_view shortDateFormat, std::string_view dateSeparator,
                             hisdb::DateTime& out);
// A date, optionally followed by blanks and a time "H:mm[:ss[.zzz]]" with the
// time separator; false on bad text.
[[nodiscard]] bool ParseDateTime(std::string_view text, hisdb::DateTime& out);

// Today's local date, no time of day.
[[nodiscard]] hisdb::DateTime Today();
// The current local date and time.
[[nodiscard]] hisdb::DateTime Now();

// Whole days since 1899-12-30 (the day number used for day arithmetic), and back.
[[nodiscard]] int DayNumber(const hisdb::DateTime& value);
[[nodiscard]] hisdb::DateTime FromDayNumber(int day);
// Days with the time of day as the fraction, and back (to the millisecond).
[[nodiscard]] double ToDouble(const hisdb::DateTime& value);
[[nodiscard]] hisdb::DateTime FromDouble(double value);
[[nodiscard]] bool IsValidDate(int year, int month, int day);

}  // namespace dataset::locale
