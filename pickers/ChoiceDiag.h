// TChoiceDiagForm: the code picker for diagnoses (kind 1, TDictDiagICD) and
// operations (kind 2, TDictOperCM), over DMInteface->QDiag.
//
// The caller creates it, places it with SetLeft/SetTop, runs ChooseCode and,
// on the result 1, reads SelectedCode and SelectedName before freeing it.
// The text typed searches one column, chosen by its first two characters
// counted as GBK bytes: a digit first or second searches the code, a letter
// first the input code, anything else (a Chinese character) the name; from
// the start of the column, or anywhere with "任意匹配" ticked. The rest is
// TPickerForm's.
#pragma once

#include "pickers/PickerForm.h"

#include <string>

class TChoiceDiagForm : public TPickerForm {
public:
    explicit TChoiceDiagForm(QWidget* owner = nullptr);
    ~TChoiceDiagForm() override;

    // 1 diagnosis, 2 operation; set by ChooseCode.
    int Kind = 0;
    // FCode and FName of the list's current row when the window closed
    // (UTF-8); empty when the list was closed or empty.
    std::string SelectedCode;
    std::string SelectedName;

    // Shows the picker modally for `kind`: 1 when the user accepted, 2 when
    // the user left by "退出" or the close box.
    int ChooseCode(int kind);

    void FormClose() override;

protected:
    [[nodiscard]] std::string Statement(const std::string& text) const override;
};

// The code picker in use; null when none is open.
extern TChoiceDiagForm* ChoiceDiagForm;
