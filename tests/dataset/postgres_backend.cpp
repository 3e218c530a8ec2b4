#include "tests/dataset/db_cases.h"

namespace datasettest {

INSTANTIATE_TEST_SUITE_P(Postgres, DatasetDbTest, ::testing::Values(Backend::Postgres),
                         [](const auto& info) { return testenv::BackendName(info.param); });

}  // namespace datasettest
