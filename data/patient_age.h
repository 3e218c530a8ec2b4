// A patient's age as an application records it.
#pragma once

#include "platform/engine/engine.h"

#include <optional>

namespace patient {

// The patient's completed years on `today` by the calendar: a year counts once
// the birthday of that year is reached (a birthday on 29 February is reached
// on 1 March in other years). No age for a birth date after `today`.
[[nodiscard]] std::optional<int> CompletedYears(const hisdb::DateTime& birth, const hisdb::DateTime& today);

}  // namespace patient
