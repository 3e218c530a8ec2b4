// Test databases for the engine cases: a temporary SQLite file or the
// PostgreSQL test cluster, each reached through an alias file of its own.
#pragma once

#include "platform/engine/engine.h"
#include "tests/support/test_env.h"

#include <string>

namespace enginetest {

using testenv::Backend;
using testenv::BackendName;
using testenv::CreateSqliteFile;
using testenv::PgConnect;
using testenv::PgPassword;
using testenv::PgUser;
using testenv::ScopedEnv;
using testenv::TempDir;

// An engine error's description and every line the driver gave with it.
inline std::string AllTexts(const hisdb::EngineError& e)
{
    std::string text = e.Description();
    for (const std::string& m : e.Messages()) {
        text += "\n" + m;
    }
    return text;
}

}  // namespace enginetest
