// TChoiceEmployeeForm: the staff picker over TEmployee (DMInteface->QEmployee).
//
// The caller creates it, places it with SetLeft/SetTop, runs ChooseEmployee
// with a job ("医生") and, on the result 1, reads SelectedName before freeing
// it. A letter first searches the input code, anything else the name, always
// from the start of the column; "仅本科室" (ticked) limits the search to the
// calling department, "仅" + job (ticked; hidden and unticked for an empty
// job) to the job. The rest is TPickerForm's.
#pragma once

#include "pickers/PickerForm.h"

#include <string>

class TChoiceEmployeeForm : public TPickerForm {
public:
    explicit TChoiceEmployeeForm(QWidget* owner = nullptr);
    ~TChoiceEmployeeForm() override;

    ui::CheckBox* CheckJob;

    // The job the search can be limited to (UTF-8); set by ChooseEmployee.
    std::string Job;
    // FName of the list's current row when the window closed (UTF-8); empty
    // when the list was closed or empty.
    std::string SelectedName;

    // Shows the picker modally for `job`: 1 when the user accepted, 2 when
    // the user left by "退出" or the close box.
    int ChooseEmployee(const std::string& job);

    void FormClose() override;

protected:
    [[nodiscard]] std::string Statement(const std::string& text) const override;
};

// The staff picker in use; null when none is open.
extern TChoiceEmployeeForm* ChoiceEmployeeForm;
