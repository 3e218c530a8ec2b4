// The SQL that hisdb-seed writes: plain INSERT/UPDATE statements in one
// transaction, with date-times as 'YYYY-MM-DD HH:MM:SS' literals and quotes
// doubled, so that SQLite and PostgreSQL load it alike.
#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>

namespace seed {

using Day = std::chrono::sys_days;

// The local date of today.
[[nodiscard]] Day Today();
// "YYYY-MM-DD" -> day; throws std::invalid_argument otherwise.
[[nodiscard]] Day ParseDay(const std::string& text);

// Demo data around `today`: short lists, dictionaries, staff, in-patients,
// applications from six days back to three days ahead, and the counter
// above the largest FSerialNo. Needs empty tables (the schema's counter row
// is updated, not inserted). The same day gives the same output.
void WriteDemo(std::ostream& out, Day today);

// `count` rows each in TDictDiagICD, TDictOperCM and TEmployee with codes
// unique among themselves and distinct from the demo rows.
void WriteBulk(std::ostream& out, long count, std::uint64_t seed);

} // namespace seed
