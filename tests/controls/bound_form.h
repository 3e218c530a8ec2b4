// A window with bound controls over a dataset held in memory: one row of an
// application (name, time with its mask, status, blood type, assay).
#pragma once

#include "controls/dbcombobox.h"
#include "controls/dbedit.h"
#include "data/dataset/dataset.h"
#include "data/dataset/db_errors.h"
#include "platform/ui/events.h"
#include "platform/ui/form.h"
#include "platform/ui/widgets.h"
#include "tests/controls/context_menu.h"
#include "tests/dataset/memory_dataset.h"
#include "tests/support/ui_driver.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <memory>
#include <vector>

namespace controlstest {

// Fields, dataset and source outlive the window, as the data module's do.
struct BoundData {
    TComponent owner;
    TStringField* name = new TStringField(&owner);
    TStringField* time = new TStringField(&owner);
    TSmallintField* status = new TSmallintField(&owner);
    TStringField* blood = new TStringField(&owner);
    TStringField* assay = new TStringField(&owner);
    datasettest::TMemoryDataSet data;
    TDataSource source;
    int nameChanges = 0;

    BoundData()
    {
        name->SetFieldName("FName");
        name->SetSize(8);
        time->SetFieldName("FTime");
        time->SetSize(6);
        time->SetEditMask("!90:00;1;_");
        status->SetFieldName("FStatus");
        blood->SetFieldName("FBloodType");
        blood->SetSize(4);
        assay->SetFieldName("FAssay");
        assay->SetSize(10);
        for (TField* field : std::vector<TField*>{name, time, status, blood, assay}) {
            field->SetDataSet(&data);
        }
        name->SetOnChange([this](TField&) { ++nameChanges; });
        data.rows = {{std::string("张三"), std::string(" 9:30"), std::int64_t{0}, std::string("b型"),
                      std::string("阴性")}};
        source.SetDataSet(&data);
        data.Open();
    }
};

struct BoundForm : ui::Form {
    explicit BoundForm(TDataSource& source)
    {
        setObjectName(QStringLiteral("BoundForm"));
        SetCaption(QString::fromUtf8("新申请"));
        SetBounds(100, 100, 420, 140);
        int tab = 0;
        auto row = [&](const char* label, QWidget* control, int top, int width) {
            new ui::Label(this, QString::fromUtf8(label), 19, top + 4);
            ui::Place(control, 83, top, width, 20);
            ui::SetTabOrder(control, tab++);
        };
        name = new TDBEdit(this);
        row("姓名:", name, 11, 89);
        time = new TDBEdit(this);
        row("手术时间:", time, 41, 89);
        status = new TDBEdit(this);
        row("状态:", status, 71, 42);
        blood = new TDBComboBox(this, csDropDownList);
        ui::Place(blood, 280, 11, 120, 20);
        ui::SetTabOrder(blood, tab++);
        assay = new TDBComboBox(this, csDropDown);
        ui::Place(assay, 280, 41, 120, 20);
        ui::SetTabOrder(assay, tab++);
        other = new ui::Edit(this);
        ui::Place(other, 280, 71, 120, 20);
        ui::SetTabOrder(other, tab++);
        for (const char* item : {"A型", "B型", "O型", "AB型"}) {
            blood->AddItem(QString::fromUtf8(item));
        }
        for (const char* item : {"阴性", "乙肝", "梅毒"}) {
            assay->AddItem(QString::fromUtf8(item));
        }
        name->SetDataSource(&source);
        name->SetDataField("FName");
        time->SetDataSource(&source);
        time->SetDataField("FTime");
        status->SetDataSource(&source);
        status->SetDataField("FStatus");
        blood->SetDataSource(&source);
        blood->SetDataField("FBloodType");
        assay->SetDataSource(&source);
        assay->SetDataField("FAssay");
        SetActiveControl(other);
    }
    TDBEdit* name;
    TDBEdit* time;
    TDBEdit* status;
    TDBComboBox* blood;
    TDBComboBox* assay;
    ui::Edit* other;
};

}  // namespace controlstest
