#include "tests/dataset/db_cases.h"

#include <unistd.h>

#include <atomic>

#include "data/dataset/locale_settings.h"

namespace datasettest {

namespace {

const char* const kSqliteUser = "spemr";
const char* const kSqlitePassword = "kvrt3816#";

std::string ValueText(const hisdb::Value& value)
{
    if (const auto* s = std::get_if<std::string>(&value)) {
        return *s;
    }
    if (const auto* i = std::get_if<std::int64_t>(&value)) {
        return std::to_string(*i);
    }
    if (const auto* d = std::get_if<hisdb::Decimal>(&value)) {
        return dataset::FormatText("%.*f", d->scale, d->ToDouble());
    }
    if (const auto* f = std::get_if<double>(&value)) {
        return dataset::FormatText("%g", *f);
    }
    if (const auto* t = std::get_if<hisdb::DateTime>(&value)) {
        return t->ToIso();
    }
    return {};
}

}  // namespace

std::string DatasetDbTest::LostAppName()
{
    return "operedit_dataset_" + std::to_string(getpid());
}

void DatasetDbTest::SetUp()
{
    std::string user = kSqliteUser;
    std::string password = kSqlitePassword;
    if (IsPostgres()) {
        if (testenv::PgConnect().empty()) {
            GTEST_SKIP() << "OPEREDIT_PG_CONNECT is not set";
        }
        // DSLOST: the same login, its sessions named so that a case can end them.
        dir_.Write("aliases.ini", "[DSTEST]\ndriver=odbc\nconnect=" + testenv::PgConnect()
                                      + "\n[DSLOST]\ndriver=odbc\nconnect=" + testenv::PgConnect()
                                      + ";pqopt={application_name=" + LostAppName() + "}\n");
        user = testenv::PgUser();
        password = testenv::PgPassword();
        admin_ = testenv::PgAdminConnect();
    } else {
        testenv::CreateSqliteFile(dir_.Path() + "/dataset.db");
        dir_.Write("aliases.ini", "[DSTEST]\ndriver=sqlite\ndatabase=" + dir_.Path() + "/dataset.db\nuser=" + user +
                                      "\npassword=" + password + "\n");
    }
    aliases_ = std::make_unique<testenv::ScopedEnv>("HISDB_ALIASES", (dir_.Path() + "/aliases.ini").c_str());
    direct_ = hisdb::Connect("DSTEST", user, password);
    module_ = std::make_unique<TComponent>();
    database_ = new TDatabase(module_.get());
    database_->SetName("DatabaseHIS");
    database_->SetAliasName("DSTEST");
    database_->SetDatabaseName("HISDb");
    database_->SetLoginPrompt(false);
    database_->Params().Add("USER NAME=nobody");
    database_->Params().SetValues("user name", user);
    database_->Params().SetValues("PASSWORD", password);
    previousHook_ = dataset::SetErrorBoxHook([this](const std::string& text) { boxes_.push_back(text); });
    ready_ = true;
}

void DatasetDbTest::TearDown()
{
    if (!ready_) {
        return;
    }
    dataset::SetErrorBoxHook(std::move(previousHook_));
    module_.reset();
    for (const auto& table : tables_) {
        try {
            if (admin_) {
                try {
                    testenv::ExecOn(*admin_, "drop table " + table);
                } catch (const hisdb::EngineError&) {
                    // A case that restarted the server ended this session too;
                    // the engine logs it in again for the next statement.
                    testenv::ExecOn(*admin_, "drop table " + table);
                }
            } else {
                Exec("drop table " + table);
            }
        } catch (const hisdb::EngineError& error) {
            ADD_FAILURE() << "cannot drop " << table << ": " << error.what();
        }
    }
}

std::int64_t DatasetDbTest::Exec(const std::string& sql)
{
    auto statement = direct_->Prepare(sql);
    statement->Execute();
    const std::int64_t rows = statement->RowsAffected();
    if (statement->HasResult()) {
        while (statement->Fetch()) {
        }
    }
    return rows;
}

std::string DatasetDbTest::Scalar(const std::string& sql)
{
    auto statement = direct_->Prepare(sql);
    statement->Execute();
    std::string text;
    if (statement->Fetch()) {
        text = ValueText(statement->Get(0));
        while (statement->Fetch()) {
        }
    }
    return text;
}

std::vector<std::string> DatasetDbTest::Column(const std::string& sql)
{
    auto statement = direct_->Prepare(sql);
    statement->Execute();
    std::vector<std::string> texts;
    while (statement->Fetch()) {
        texts.push_back(ValueText(statement->Get(0)));
    }
    return texts;
}

void DatasetDbTest::CreateTable(const std::string& table, const std::string& columns)
{
    if (admin_) {
        testenv::CreateTableForTest(*admin_, table, columns);
    } else {
        Exec("create table " + table + " (" + columns + ")");
    }
}

std::string DatasetDbTest::CreateLogTable()
{
    static std::atomic<int> counter{0};
    const std::string table = "TDsLog" + std::to_string(getpid()) + "x" + std::to_string(++counter);
    CreateTable(table, std::string("FSeq ") + (IsPostgres() ? "serial" : "integer") + " primary key, FWhat varchar(20)");
    tables_.push_back(table);
    return table;
}

std::string DatasetDbTest::CreatePlanTable()
{
    static std::atomic<int> counter{0};
    const std::string table = "TDsPlan" + std::to_string(getpid()) + "x" + std::to_string(++counter);
    CreateTable(table, std::string("FSerialNo integer not null primary key, FOperDate ")
                           + (IsPostgres() ? "timestamp" : "datetime")
                           + ", FTime char(6), FOperRoom char(8), FName char(8), FAge decimal(5,2), FStatus smallint");
    tables_.push_back(table);
    return table;
}

void DatasetDbTest::InsertPlan(const std::string& table, int serial, const std::string& room, const std::string& name)
{
    const std::string roomValue = room.empty() ? "null" : "'" + room + "'";
    Exec("insert into " + table + " (FSerialNo, FOperDate, FTime, FOperRoom, FName, FAge, FStatus) values (" +
         std::to_string(serial) + ", '2026-05-01 00:00:00', ' 9:30', " + roomValue + ", '" + name + "', 35.64, 0)");
}

DatasetDbTest::Plan DatasetDbTest::MakePlan(const std::string& table)
{
    Plan p;
    TComponent* owner = module_.get();
    p.query = new TQuery(owner);
    p.query->SetName("QOperationPlan");
    p.query->SetDatabaseName("HISDb");
    p.query->SetCachedUpdates(true);
    p.query->SetUpdateMode(upWhereKeyOnly);
    p.update = new TUpdateSQL(owner);
    p.update->SetName("UpdateQOperationPlan");
    p.query->SetUpdateObject(p.update);
    p.source = new TDataSource(owner);
    p.source->SetDataSet(p.query);

    auto text = [&](const char* name, int size) {
        auto* f = new TStringField(owner);
        f->SetFieldName(name);
        f->SetSize(size);
        f->SetFixedChar(true);
        f->SetDataSet(p.query);
        return f;
    };
    p.serial = new TAutoIncField(owner);
    p.serial->SetFieldName("FSerialNo");
    p.serial->SetDataSet(p.query);
    p.date = new TDateTimeField(owner);
    p.date->SetFieldName("FOperDate");
    p.date->SetDisplayLabel("手术日期");
    p.date->SetDataSet(p.query);
    p.time = text("FTime", 6);
    p.time->SetEditMask("!90:00;1;_");
    p.room = text("FOperRoom", 8);
    p.name = text("FName", 8);
    p.age = new TBCDField(owner);
    p.age->SetFieldName("FAge");
    p.age->SetSize(2);
    p.age->SetPrecision(5);
    p.age->SetDisplayFormat("0.0");
    p.age->SetDataSet(p.query);
    p.status = new TSmallintField(owner);
    p.status->SetFieldName("FStatus");
    p.status->SetDataSet(p.query);
    p.team = new TStringField(owner);
    p.team->SetFieldName("JOperator");
    p.team->SetFieldKind(fkCalculated);
    p.team->SetSize(60);
    p.team->SetDataSet(p.query);
    TStringField* name = p.name;
    TStringField* room = p.room;
    TStringField* team = p.team;
    p.query->SetOnCalcFields([name, room, team](TDataSet&) {
        team->SetAsString(name->AsString());
        if (!room->AsString().empty()) {
            team->SetAsString(team->AsString() + "\r" + room->AsString());
        }
    });

    const std::string columns[] = {"FSerialNo", "FOperDate", "FTime", "FOperRoom", "FName", "FAge", "FStatus"};
    auto& modify = p.update->ModifySQL();
    modify.Add("update " + table);
    modify.Add("set");
    for (std::size_t i = 0; i < std::size(columns); ++i) {
        modify.Add("  " + columns[i] + " = :" + columns[i] + (i + 1 < std::size(columns) ? "," : ""));
    }
    modify.Add("where");
    modify.Add("  FSerialNo = :OLD_FSerialNo ");
    modify.Add("  and FOperRoom = :OLD_FOperRoom");
    modify.Add("");
    auto& insert = p.update->InsertSQL();
    insert.Add("insert into " + table);
    insert.Add("  (FSerialNo, FOperDate, FTime, FOperRoom, FName, FAge, FStatus)");
    insert.Add("values");
    insert.Add("  (:FSerialNo, :FOperDate, :FTime, :FOperRoom, :FName, :FAge, :FStatus)");
    auto& remove = p.update->DeleteSQL();
    remove.Add("delete from " + table);
    remove.Add("where");
    remove.Add("  FSerialNo = :OLD_FSerialNo ");
    remove.Add("  and FOperRoom = :OLD_FOperRoom ");
    remove.Add("");

    p.query->SQL().Add("select * from " + table + " order by FSerialNo");
    return p;
}

}  // namespace datasettest
