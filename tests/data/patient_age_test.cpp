// The age an application records: completed years by the calendar.
#include "data/patient_age.h"

#include <gtest/gtest.h>

namespace {

hisdb::DateTime Day(int year, int month, int day)
{
    hisdb::DateTime d;
    d.year = year;
    d.month = month;
    d.day = day;
    return d;
}

TEST(PatientAge, CountsCompletedYearsByTheBirthday)
{
    const hisdb::DateTime birth = Day(1994, 8, 1);
    EXPECT_EQ(patient::CompletedYears(birth, Day(2024, 7, 31)), 29) << "the day before the birthday";
    EXPECT_EQ(patient::CompletedYears(birth, Day(2024, 8, 1)), 30) << "the birthday";
    EXPECT_EQ(patient::CompletedYears(birth, Day(2024, 8, 2)), 30) << "the day after";
    // 29 years and 7 months is 29, not the rounded 30 of 365-day years.
    EXPECT_EQ(patient::CompletedYears(birth, Day(2024, 3, 1)), 29);
}

TEST(PatientAge, ChildrenAndLeapDays)
{
    EXPECT_EQ(patient::CompletedYears(Day(2023, 9, 1), Day(2024, 3, 1)), 0) << "half a year old";
    EXPECT_EQ(patient::CompletedYears(Day(2022, 9, 1), Day(2024, 3, 1)), 1) << "one and a half";
    EXPECT_EQ(patient::CompletedYears(Day(2024, 3, 1), Day(2024, 3, 1)), 0) << "born today";
    const hisdb::DateTime leap = Day(2000, 2, 29);
    EXPECT_EQ(patient::CompletedYears(leap, Day(2023, 2, 28)), 22);
    EXPECT_EQ(patient::CompletedYears(leap, Day(2023, 3, 1)), 23) << "reached on 1 March in other years";
    EXPECT_EQ(patient::CompletedYears(leap, Day(2024, 2, 28)), 23);
    EXPECT_EQ(patient::CompletedYears(leap, Day(2024, 2, 29)), 24) << "on the day itself in a leap year";
    EXPECT_FALSE(patient::CompletedYears(Day(2025, 1, 1), Day(2024, 3, 1))) << "born after today";
}

}  // namespace
