#include "tests/engine/backend.h"
#include "tests/engine/engine_cases.h"

namespace enginetest {

INSTANTIATE_TEST_SUITE_P(Sqlite, EngineTest, ::testing::Values(Backend::Sqlite),
                         [](const auto& info) { return BackendName(info.param); });

INSTANTIATE_TEST_SUITE_P(Sqlite, OpenListTest, ::testing::Values(Backend::Sqlite),
                         [](const auto& info) { return BackendName(info.param); });

}  // namespace enginetest
