#include "tests/engine/backend.h"
#include "tests/engine/engine_cases.h"

namespace enginetest {

INSTANTIATE_TEST_SUITE_P(Postgres, EngineTest, ::testing::Values(Backend::Postgres),
                         [](const auto& info) { return BackendName(info.param); });

INSTANTIATE_TEST_SUITE_P(Postgres, OpenListTest, ::testing::Values(Backend::Postgres),
                         [](const auto& info) { return BackendName(info.param); });

}  // namespace enginetest
