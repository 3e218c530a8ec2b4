// The ODBC driver of the engine over a driver that refuses to prepare some
// statements (refusing_odbc_driver.cpp): a statement whose prepare failed is
// not kept, so each later run prepares again and reports the driver's own
// error, never a sequence error from a handle that was never prepared.
#include "tests/engine/backend.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using enginetest::AllTexts;
using enginetest::ScopedEnv;
using enginetest::TempDir;
using hisdb::EngineError;
using hisdb::Value;

TEST(OdbcPrepare, ARefusedPrepareIsReportedAgainOnEveryRunAndNeverKept)
{
    TempDir dir;
    dir.Write("aliases.ini", std::string("[REFUSING]\ndriver=odbc\nconnect=Driver=") + REFUSING_ODBC_DRIVER + "\n");
    const ScopedEnv aliases("HISDB_ALIASES", (dir.Path() + "/aliases.ini").c_str());
    auto db = hisdb::Connect("REFUSING", "user", "password");

    // Prepared as written; with a null value the comparison is written
    // null-safe, and that text the driver refuses to prepare.
    auto update = db->Prepare("update TPlan set FStatus = 1 where FOperRoom = ?");
    update->Bind(0, Value(std::string("3")));
    update->Execute();
    EXPECT_EQ(update->RowsAffected(), 1);
    for (int run = 1; run <= 3; ++run) {
        update->Bind(0, Value());
        try {
            update->Execute();
            FAIL() << "run " << run << ": the refused statement ran";
        } catch (const EngineError& e) {
            const std::string texts = AllTexts(e);
            EXPECT_NE(texts.find("refused to prepare"), std::string::npos) << "run " << run << ": " << texts;
            EXPECT_EQ(texts.find("sequence"), std::string::npos) << "run " << run << ": " << texts;
        }
    }
    update->Bind(0, Value(std::string("3")));
    update->Execute();
    EXPECT_EQ(update->RowsAffected(), 1) << "the statement still runs as written";
}

}  // namespace
