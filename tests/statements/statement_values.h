// The fixture of the statement cases: the whole HIS database on one backend
// (the parameter), the data module logged in, and the row counts of every
// table to compare after a case.
#pragma once

#include "tests/support/test_env.h"

#include <gtest/gtest.h>

namespace statementstest {

class StatementValues : public ::testing::TestWithParam<testenv::Backend> {
protected:
    void SetUp() override;
    void TearDown() override;

    std::unique_ptr<testenv::HisDatabase> db_;
};

}  // namespace statementstest
