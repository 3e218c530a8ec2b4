#include "tests/statements/statement_values.h"

namespace statementstest {

INSTANTIATE_TEST_SUITE_P(Postgres, StatementValues, ::testing::Values(testenv::Backend::Postgres),
                         [](const auto& info) { return testenv::BackendName(info.param); });

}  // namespace statementstest
