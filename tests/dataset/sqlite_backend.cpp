#include "tests/dataset/db_cases.h"

namespace datasettest {

INSTANTIATE_TEST_SUITE_P(Sqlite, DatasetDbTest, ::testing::Values(Backend::Sqlite),
                         [](const auto& info) { return testenv::BackendName(info.param); });

}  // namespace datasettest
