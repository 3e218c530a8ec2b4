// Applications in a temporary SQLite database (the whole HIS schema behind
// the alias HIS), opened through a query with cached updates so that the
// record can be edited, and a window to put controls in.
#pragma once

#include "data/dataset/database.h"
#include "data/dataset/dataset.h"
#include "data/dataset/query.h"
#include "platform/ui/form.h"
#include "platform/ui/widgets.h"
#include "tests/support/test_env.h"

#include <memory>
#include <string>

namespace controlstest {

struct PlanData {
    testenv::HisDatabase db{testenv::Backend::Sqlite};
    std::unique_ptr<TComponent> module = std::make_unique<TComponent>();
    TDatabase* database = new TDatabase(module.get());
    TQuery* query = new TQuery(module.get());
    TUpdateSQL* update = new TUpdateSQL(module.get());
    TDataSource* source = new TDataSource(module.get());

    PlanData()
    {
        database->SetAliasName("HIS");
        database->SetDatabaseName("HISDb");
        database->SetLoginPrompt(false);
        database->Params().SetValues("USER NAME", testenv::PgUser());
        database->Params().SetValues("PASSWORD", testenv::PgPassword());
        query->SetName("QOperationPlan");
        query->SetDatabaseName("HISDb");
        query->SetCachedUpdates(true);
        query->SetUpdateObject(update);
        query->SQL().Add("select * from TOperationPlan order by FSerialNo ");
        source->SetDataSet(query);
    }
    ~PlanData()
    {
        query->Close();
        module.reset();
    }

    // Row n (from 1): a patient, arranged (room "3") when `arranged`.
    void Insert(int n, const std::string& name, bool arranged = false,
                const std::string& operDate = "2026-12-08 00:00:00.000")
    {
        db.Exec("insert into TOperationPlan (FSerialNo, FOperDate, FTime, FOperRoom, FName, FSex, FAge, FDeptCode, "
                "FBedNo, FStatus) values (" +
                std::to_string(n) + ", '" + operDate + "', '09:30', " + (arranged ? "'3'" : "null") + ", '" + name +
                "', '男', 35.5, '0301', '" + std::to_string(n % 100) + "', 0)");
    }
    void InsertMany(int count)
    {
        db.Exec("begin");
        for (int n = 1; n <= count; ++n) {
            Insert(n, "病人" + std::to_string(n), n % 3 == 0);
        }
        db.Exec("commit");
    }
};

struct TestForm : ui::Form {
    TestForm()
    {
        setObjectName(QStringLiteral("TestForm"));
        SetBounds(50, 50, 600, 300);
        other = new ui::Edit(this);
        ui::Place(other, 10, 270, 100, 20);
    }
    ui::Edit* other;
};

}  // namespace controlstest
