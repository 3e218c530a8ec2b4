// Test databases for the engine cases: a temporary SQLite file or the
// PostgreSQL test cluster, each reached through an alias file of its own.
#pragma once

#include "tests/support/test_env.h"

namespace enginetest {

using testenv::Backend;
using testenv::BackendName;
using testenv::CreateSqliteFile;
using testenv::PgConnect;
using testenv::PgPassword;
using testenv::PgUser;
using testenv::ScopedEnv;
using testenv::TempDir;

}  // namespace enginetest
