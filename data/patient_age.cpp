#include "data/patient_age.h"

namespace patient {

namespace {

bool LeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

}  // namespace

std::optional<int> CompletedYears(const hisdb::DateTime& birth, const hisdb::DateTime& today)
{
    int birthMonth = birth.month;
    int birthDay = birth.day;
    if (birthMonth == 2 && birthDay == 29 && !LeapYear(today.year)) {
        birthMonth = 3;
        birthDay = 1;
    }
    int years = today.year - birth.year;
    if (today.month < birthMonth || (today.month == birthMonth && today.day < birthDay)) {
        --years;
    }
    if (years < 0) {
        return std::nullopt;
    }
    return years;
}

}  // namespace patient
