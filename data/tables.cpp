#include "data/tables.h"

#include <algorithm>
#include <array>

namespace tables {
namespace {

constexpr FieldDef Text(std::string_view name, int size, std::string_view label, int width)
{
    return {name, FieldClass::String, size, 0, true, label, width, {}, {}, false};
}

constexpr FieldDef Calculated(std::string_view name, int width)
{
    return {name, FieldClass::String, 60, 0, false, {}, width, {}, {}, true, false};
}

constexpr std::array kOperationPlan = {
    FieldDef{"FSerialNo", FieldClass::AutoInc, 0, 0, false, {}, 10, {}, {}, false},
    FieldDef{"FOperDate", FieldClass::DateTime, 0, 0, false, "手术日期", 10, {}, {}, false},
    FieldDef{"FTime", FieldClass::String, 6, 0, true, "时间", 5, "!90:00;1;_", {}, false},
    Text("FOperRoom", 8, "手术间", 8),
    Text("FName", 8, "病人姓名", 8),
    Text("FSex", 4, "性别", 4),
    FieldDef{"FAge", FieldClass::BCD, 2, 5, false, "年龄", 6, {}, "0.0", false},
    Text("FInNo", 8, "住院号", 8),
    Text("FDeptCode", 8, "科室代码", 8),
    Text("FBedNo", 3, "床号", 3),
    Text("FBloodType", 20, "血型", 20),
    Text("FAssay", 50, "化验情况(肝炎、梅毒等)", 20),
    Text("FDiag", 240, "术前诊断", 20),
    Text("FDiagCode", 16, "诊断ICD码", 10),
    Text("FOper", 240, "手术名称", 30),
    Text("FOperCode", 16, "手术代码", 10),
    Text("FMaterial", 240, "特殊要求", 30),
    Text("FOperator", 20, "手术医师", 10),
    Text("FAssistant1", 20, "助手1", 8),
    Text("FAssistant2", 20, "助手2", 8),
    Text("FAssistant3", 50, "助手3", 8),
    Text("FAnaesthesia", 8, "麻醉方法", 8),
    Text("FAnaDoctor", 20, "麻醉医师", 10),
    Text("FAnaAss1", 50, "麻醉助手", 10),
    Text("FAppNurse", 20, "器械护士", 10),
    Text("FCirNurse", 20, "巡回护士", 10),
    Text("FRemark", 100, "备注(指导者等)", 20),
    FieldDef{"FEnterDate", FieldClass::DateTime, 0, 0, false, "申请时间", 16, {}, {}, false},
    Text("FUser", 8, "申请人", 8),
    FieldDef{"FStatus", FieldClass::SmallInt, 0, 0, false, {}, 10, {}, {}, false},
    Calculated("JOperator", 60),
    Calculated("JAnaDoctor", 0),
};
static_assert(kOperationPlan.size() == kOperationPlanColumns + 2);

constexpr std::array kEmployee = {
    Text("FEmployeeID", 6, {}, 0),     Text("FName", 8, "姓名", 0), Text("FInputCode", 10, "输入码", 0),
    Text("FDoctorNo", 6, "处方号", 0), Text("FDeptCode", 8, {}, 0), Text("FJob", 10, "工作", 8),
    Text("FTitle", 30, "职称", 10),
};

constexpr std::array kDictCode = {
    Text("FCode", 16, "代码", 12),
    Text("FName", 40, "名称", 0),
    Text("FInputCode", 10, "输入码", 0),
};

bool SameNameIgnoringCase(std::string_view a, std::string_view b)
{
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return std::ranges::equal(a, b, [&](char x, char y) { return lower(x) == lower(y); });
}

} // namespace

std::span<const FieldDef> OperationPlanFields()
{
    return kOperationPlan;
}
std::span<const FieldDef> EmployeeFields()
{
    return kEmployee;
}
std::span<const FieldDef> DictCodeFields()
{
    return kDictCode;
}

const FieldDef* FindField(std::span<const FieldDef> fields, std::string_view name)
{
    const auto it = std::ranges::find_if(fields, [&](const FieldDef& f) { return SameNameIgnoringCase(f.name, name); });
    return it == fields.end() ? nullptr : &*it;
}

} // namespace tables
