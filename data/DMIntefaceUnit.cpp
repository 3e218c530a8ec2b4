#include "data/DMIntefaceUnit.h"

#include "data/dataset/db_errors.h"
#include "data/dataset/locale_settings.h"
#include "data/tables.h"
#include "entry/commoninteface.h"

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

TDMInteface* DMInteface = nullptr;

namespace {

// The login stored with the module; the entry replaces both values before connecting.
constexpr std::string_view kDesignUser = "emr";
constexpr std::string_view kDesignPassword = "emr";

// The rows that apply a cache of QOperationPlan, line by line.
constexpr std::array<std::string_view, 12> kInsertLines = {
    "insert into TOperationPlan",
    "  (FSerialNo, FOperDate, FTime, FOperRoom, FName, FSex, FAge, FInNo, ",
    "FDeptCode, ",
    "   FBedNo, FBloodType, FAssay, FDiag, FDiagCode, FOper, FOperCode, FMaterial, ",
    "   FOperator, FAssistant1, FAssistant2, FAssistant3, FAnaesthesia, FAnaDoctor, ",
    "   FAnaAss1, FAppNurse, FCirNurse, FRemark, FUser, FStatus)",
    "values",
    "  (:FSerialNo, :FOperDate, :FTime, :FOperRoom, :FName, :FSex, :FAge, :FInNo, ",
    "   :FDeptCode, :FBedNo, :FBloodType, :FAssay, :FDiag, :FDiagCode, :FOper, ",
    "   :FOperCode, :FMaterial, :FOperator, :FAssistant1, :FAssistant2, :FAssistant3, ",
    "   :FAnaesthesia, :FAnaDoctor, :FAnaAss1, :FAppNurse, :FCirNurse, :FRemark, ",
    "   :FUser, :FStatus)",
};

constexpr std::array<std::string_view, 5> kDeleteLines = {
    "delete from TOperationPlan",
    "where",
    "  FSerialNo = :OLD_FSerialNo ",
    "  and FOperRoom = :OLD_FOperRoom ",
    "",
};

TField* CreateField(TComponent* owner, TDataSet* dataSet, std::string_view componentName,
                    const tables::FieldDef& def)
{
    TField* field = nullptr;
    switch (def.fieldClass) {
    case tables::FieldClass::String: {
        auto* f = new TStringField(owner);
        f->SetSize(def.size);
        f->SetFixedChar(def.fixedChar);
        field = f;
        break;
    }
    case tables::FieldClass::AutoInc:
        field = new TAutoIncField(owner);
        break;
    case tables::FieldClass::SmallInt:
        field = new TSmallintField(owner);
        break;
    case tables::FieldClass::BCD: {
        auto* f = new TBCDField(owner);
        f->SetSize(def.size);
        f->SetPrecision(def.precision);
        f->SetDisplayFormat(std::string(def.displayFormat));
        field = f;
        break;
    }
    case tables::FieldClass::DateTime:
        field = new TDateTimeField(owner);
        break;
    }
    field->SetName(std::string(componentName));
    field->SetFieldName(std::string(def.name));
    field->SetFieldKind(def.calculated ? fkCalculated : fkData);
    field->SetDisplayLabel(std::string(def.displayLabel));
    field->SetDisplayWidth(def.displayWidth);
    field->SetVisible(def.visible);
    if (!def.editMask.empty()) {
        field->SetEditMask(std::string(def.editMask));
    }
    field->SetDataSet(dataSet);
    return field;
}

// Creates the persistent fields of `query` from `defs`, naming each after the
// query and its column; returns them in order.
std::vector<TField*> CreateFields(TComponent* owner, TQuery* query, std::span<const tables::FieldDef> defs)
{
    std::vector<TField*> fields;
    fields.reserve(defs.size());
    for (const tables::FieldDef& def : defs) {
        fields.push_back(CreateField(owner, query, query->Name() + std::string(def.name), def));
    }
    return fields;
}

TQuery* CreateQuery(TComponent* owner, std::string name)
{
    auto* query = new TQuery(owner);
    query->SetName(std::move(name));
    query->SetDatabaseName("HISDb");
    return query;
}

TDataSource* CreateDataSource(TComponent* owner, std::string name, TDataSet* dataSet)
{
    auto* source = new TDataSource(owner);
    source->SetName(std::move(name));
    source->SetDataSet(dataSet);
    return source;
}

// Stops a post with the message of the rule it breaks.
[[noreturn]] void Refuse(std::string_view message)
{
    ShowInformation(std::string(message));
    dataset::Abort();
}

}  // namespace

TDMInteface::TDMInteface(TComponent* owner) : TDataModule(owner)
{
    SetName("DMInteface");

    DatabaseHIS = new TDatabase(this);
    DatabaseHIS->SetName("DatabaseHIS");
    DatabaseHIS->SetAliasName("HIS");
    DatabaseHIS->SetDatabaseName("HISDb");
    DatabaseHIS->SetLoginPrompt(false);
    DatabaseHIS->SetSessionName("Default");
    DatabaseHIS->Params().Add("USER NAME=" + std::string(kDesignUser));
    DatabaseHIS->Params().Add("PASSWORD=" + std::string(kDesignPassword));

    QUpdateSQL = CreateQuery(this, "QUpdateSQL");

    QOperationPlan = CreateQuery(this, "QOperationPlan");
    QOperationPlan->SetCachedUpdates(true);
    QOperationPlan->SetUpdateMode(upWhereKeyOnly);
    QOperationPlan->SetBeforePost([this](TDataSet& ds) { QOperationPlanBeforePost(ds); });
    QOperationPlan->SetOnCalcFields([this](TDataSet& ds) { QOperationPlanCalcFields(ds); });
    const std::vector<TField*> plan = CreateFields(this, QOperationPlan, tables::OperationPlanFields());
    int i = 0;
    QOperationPlanFSerialNo = static_cast<TAutoIncField*>(plan[i++]);
    QOperationPlanFOperDate = static_cast<TDateTimeField*>(plan[i++]);
    QOperationPlanFTime = static_cast<TStringField*>(plan[i++]);
    QOperationPlanFOperRoom = static_cast<TStringField*>(plan[i++]);
    QOperationPlanFName = static_cast<TStringField*>(plan[i++]);
    QOperationPlanFSex = static_cast<TStringField*>(plan[i++]);
    QOperationPlanFAge = static_cast<TBCDField*>(plan[i++]);
    QOperationPlanFInNo = static_cast<TStringField*>(plan[i++]);
    QOperationPlanFDeptCode = static_cast<TStringField*>(plan[i++]);
    QOperationPlanFBedNo = static_cast<TStringField*>(plan[i++]);
    QOperationPlanFBloodType = static_cast<TStringField*>(plan[i++]);
    QOperationPlanFAssay = static_cast<TStringField*>(plan[i++]);
    QOperationPlanFDiag = static_cast<TStringField*>(plan[i++]);
    QOperationPlanFDiagCode = static_cast<TStringField*>(plan[i++]);
    QOperationPlanFOper = static_cast<TStringField*>(plan[i++]);
    QOperationPlanFOperCode = static_cast<TStringField*>(plan[i++]);
    QOperationPlanFMaterial = static_cast<TStringField*>(plan[i++]);
    QOperationPlanFOperator = static_cast<TStringField*>(plan[i++]);
    QOperationPlanFAssistant1 = static_cast<TStringField*>(plan[i++]);
    QOperationPlanFAssistant2 = static_cast<TStringField*>(plan[i++]);
    QOperationPlanFAssistant3 = static_cast<TStringField*>(plan[i++]);
    QOperationPlanFAnaesthesia = static_cast<TStringField*>(plan[i++]);
    QOperationPlanFAnaDoctor = static_cast<TStringField*>(plan[i++]);
    QOperationPlanFAnaAss1 = static_cast<TStringField*>(plan[i++]);
    QOperationPlanFAppNurse = static_cast<TStringField*>(plan[i++]);
    QOperationPlanFCirNurse = static_cast<TStringField*>(plan[i++]);
    QOperationPlanFRemark = static_cast<TStringField*>(plan[i++]);
    QOperationPlanFEnterDate = static_cast<TDateTimeField*>(plan[i++]);
    QOperationPlanFUser = static_cast<TStringField*>(plan[i++]);
    QOperationPlanFStatus = static_cast<TSmallintField*>(plan[i++]);
    QOperationPlanJOperator = static_cast<TStringField*>(plan[i++]);
    QOperationPlanJAnaDoctor = static_cast<TStringField*>(plan[i++]);

    DSQOperationPlan = CreateDataSource(this, "DSQOperationPlan", QOperationPlan);

    UpdateQOperationPlan = new TUpdateSQL(this);
    UpdateQOperationPlan->SetName("UpdateQOperationPlan");
    {
        TStrings& modify = UpdateQOperationPlan->ModifySQL();
        modify.Add("update TOperationPlan");
        modify.Add("set");
        const auto columns = tables::OperationPlanFields().first(tables::kOperationPlanColumns);
        std::vector<std::string_view> assigned;
        for (const tables::FieldDef& def : columns) {
            if (def.name != "FEnterDate") {
                assigned.push_back(def.name);
            }
        }
        for (std::size_t c = 0; c < assigned.size(); ++c) {
            const std::string name(assigned[c]);
            modify.Add("  " + name + " = :" + name + (c + 1 < assigned.size() ? "," : ""));
        }
        modify.Add("where");
        modify.Add("  FSerialNo = :OLD_FSerialNo ");
        modify.Add("  and FOperRoom = :OLD_FOperRoom");
        modify.Add("");
        for (std::string_view line : kInsertLines) {
            UpdateQOperationPlan->InsertSQL().Add(std::string(line));
        }
        for (std::string_view line : kDeleteLines) {
            UpdateQOperationPlan->DeleteSQL().Add(std::string(line));
        }
    }
    QOperationPlan->SetUpdateObject(UpdateQOperationPlan);

    QDict = CreateQuery(this, "QDict");
    QNext = CreateQuery(this, "QNext");

    QDiag = CreateQuery(this, "QDiag");
    const std::vector<TField*> diag = CreateFields(this, QDiag, tables::DictCodeFields());
    QDiagFCode = static_cast<TStringField*>(diag[0]);
    QDiagFName = static_cast<TStringField*>(diag[1]);
    QDiagFInputCode = static_cast<TStringField*>(diag[2]);
    DSQDiag = CreateDataSource(this, "DSQDiag", QDiag);

    QEmployee = CreateQuery(this, "QEmployee");
    const std::vector<TField*> staff = CreateFields(this, QEmployee, tables::EmployeeFields());
    QEmployeeFEmployeeID = static_cast<TStringField*>(staff[0]);
    QEmployeeFName = static_cast<TStringField*>(staff[1]);
    QEmployeeFInputCode = static_cast<TStringField*>(staff[2]);
    QEmployeeFDoctorNo = static_cast<TStringField*>(staff[3]);
    QEmployeeFDeptCode = static_cast<TStringField*>(staff[4]);
    QEmployeeFJob = static_cast<TStringField*>(staff[5]);
    QEmployeeFTitle = static_cast<TStringField*>(staff[6]);
    DSQEmployee = CreateDataSource(this, "DSQEmployee", QEmployee);

    DataModuleCreate();
}

TDMInteface::~TDMInteface()
{
    if (DMInteface == this) {
        DMInteface = nullptr;
    }
}

int TDMInteface::NextOperationPlanNo()
{
    // Locking the counter makes a second workstation wait between its read
    // and its increment, so no two get the same number.
    dataset::DatabaseTransaction transaction(*DatabaseHIS, "TNextOperationPlanNo");
    struct Closer {
        TQuery* query;
        ~Closer() { query->Close(); }
    } closeNext{QNext};

    QNext->SQL().Clear();
    QNext->SQL().Add("select FNext from TNextOperationPlanNo ");
    QNext->Open();
    QNext->Last();
    if (QNext->RecordCount() != 1) {
        throw EDatabaseError("TNextOperationPlanNo表必须只能有一条记录!!!  ");
    }
    QNext->First();
    const int number = QNext->Fields()[0]->AsInteger();
    QNext->Close();

    QUpdateSQL->SQL().Clear();
    QUpdateSQL->SQL().Add("update TNextOperationPlanNo Set FNext=FNext+1 ");
    QUpdateSQL->ExecSQL();
    QUpdateSQL->Close();
    transaction.Commit();
    return number;
}

void TDMInteface::DataModuleCreate()
{
    ApplicantUser.clear();
    DepartmentCode.clear();
    DepartmentName.clear();
    MessageText.clear();
}

void TDMInteface::QOperationPlanCalcFields(TDataSet&)
{
    // Each assignment cuts at the field's 60 bytes; the next step appends to the cut value.
    QOperationPlanJOperator->SetAsString(QOperationPlanFOperator->AsString());
    for (TStringField* assistant : {QOperationPlanFAssistant1, QOperationPlanFAssistant2, QOperationPlanFAssistant3}) {
        const std::string name = assistant->AsString();
        if (!name.empty()) {
            QOperationPlanJOperator->SetAsString(QOperationPlanJOperator->AsString() + '\r' + name);
        }
    }
    QOperationPlanJAnaDoctor->SetAsString(QOperationPlanFAnaDoctor->AsString());
    const std::string anaAssistant = QOperationPlanFAnaAss1->AsString();
    if (!anaAssistant.empty()) {
        QOperationPlanJAnaDoctor->SetAsString(QOperationPlanJAnaDoctor->AsString() + '\r' + anaAssistant);
    }
}

void TDMInteface::QOperationPlanBeforePost(TDataSet&)
{
    namespace loc = dataset::locale;
    const int today = loc::DayNumber(loc::Today());
    // An empty date is day 0, far in the past.
    const int day = QOperationPlanFOperDate->IsNull() ? 0 : loc::DayNumber(QOperationPlanFOperDate->AsDateTime());
    if (day < today - 10) {
        Refuse("手术日期已过10日！不能修改!");
    }
    if (day > today + 7) {
        Refuse("只能申请7日内手术！请重新输入手术日期!");
    }
    struct Rule {
        TStringField* field;
        std::string_view message;
    };
    const Rule rules[] = {
        {QOperationPlanFBedNo, "没有输入床号，必须输入床号！"},
        {QOperationPlanFName, "病人姓名不能为空！"},
        {QOperationPlanFBloodType, "必须输入病人血型！"},
        {QOperationPlanFDiag, "必须输入术前诊断！"},
        {QOperationPlanFOper, "必须输入手术名称！"},
        {QOperationPlanFDiagCode, "必须输入术前诊断ICD代码！"},
        {QOperationPlanFOperCode, "必须输入手术CM3代码！"},
        {QOperationPlanFOperator, "必须输入手术医师！"},
        {QOperationPlanFAnaesthesia, "必须输入麻醉方法！"},
    };
    for (const Rule& rule : rules) {
        if (rule.field->AsString().empty()) {
            Refuse(rule.message);
        }
    }
}
