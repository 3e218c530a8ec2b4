// Table definitions of the HIS database as the module holds them: the fields
// of the operation-plan query (30 columns and 2 calculated ones, in table
// order), of the staff query and of the code picker's query, and the fixed
// statement texts on the counter, the in-patient register, the staff
// register and the dictionaries. Texts are UTF-8; sizes are GBK bytes.
#pragma once

#include <span>
#include <string_view>

namespace tables {

enum class FieldClass { String, AutoInc, SmallInt, BCD, DateTime };

// One persistent field. `size` is the width in bytes for String and the
// number of decimal places for BCD (0 otherwise); `precision` is the total
// number of digits of BCD (0 otherwise). An empty `displayLabel` means the
// field name is the title; a `displayWidth` of 0 means the class default.
struct FieldDef {
    std::string_view name;
    FieldClass fieldClass;
    int size = 0;
    int precision = 0;
    bool fixedChar = false;
    std::string_view displayLabel;
    int displayWidth = 0;
    std::string_view editMask;
    std::string_view displayFormat;
    bool calculated = false;
    // Shown by a grid that lists the query's fields itself.
    bool visible = true;
};

// TOperationPlan: its 30 columns in table order, then JOperator and JAnaDoctor
// (hidden: computed for every row, shown by no window).
[[nodiscard]] std::span<const FieldDef> OperationPlanFields();
inline constexpr int kOperationPlanColumns = 30;
// TEmployee's seven columns.
[[nodiscard]] std::span<const FieldDef> EmployeeFields();
// The code picker's result: FCode (TDictDiagICD.FDiagCode or
// TDictOperCM.FOperCode), FName, FInputCode.
[[nodiscard]] std::span<const FieldDef> DictCodeFields();

// The field of that name, compared without regard to letter case, or null.
[[nodiscard]] const FieldDef* FindField(std::span<const FieldDef> fields, std::string_view name);

// Counter of FSerialNo: read, then advanced by one; exactly one row.
inline constexpr std::string_view kNextNoSelect = "select FNext from TNextOperationPlanNo ";
inline constexpr std::string_view kNextNoUpdate = "update TNextOperationPlanNo Set FNext=FNext+1 ";
inline constexpr std::string_view kNextNoRowCountError = "TNextOperationPlanNo表必须只能有一条记录!!!  ";

// In-patient lookup; format with the department code, then the bed number.
inline constexpr std::string_view kPatLookupFormat =
    "select * from TPat (NOLOCK) where FDeptCode='%s' and FBedNo='%s' and FStatus=2 ";

// Staff picker and code picker bases; a filter is appended.
inline constexpr std::string_view kEmployeeSelect = "select * from TEmployee ";
inline constexpr std::string_view kDiagSelect = "select FDiagCode as FCode,FName,FInputCode from TDictDiagICD ";
inline constexpr std::string_view kOperSelect = "select FOperCode as FCode,FName,FInputCode from TDictOperCM ";

// The editor's drop-down lists.
inline constexpr std::string_view kBloodTypeSelect = "select * from TDictBloodTypeA Order by FNo ";
inline constexpr std::string_view kAssaySelect = "select * from TDictAssay Order by FNo ";
inline constexpr std::string_view kAnaesthesiaSelect = "select * from TDictAnaesthesia Order by FNo ";

} // namespace tables
