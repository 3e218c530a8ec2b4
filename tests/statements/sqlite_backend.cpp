#include "tests/statements/statement_values.h"

namespace statementstest {

INSTANTIATE_TEST_SUITE_P(Sqlite, StatementValues, ::testing::Values(testenv::Backend::Sqlite),
                         [](const auto& info) { return testenv::BackendName(info.param); });

}  // namespace statementstest
