// operedit: one call is one working period of the ward on its applications.
#include "entry/operedit.h"

#include "data/DMIntefaceUnit.h"
#include "entry/commoninteface.h"
#include "entry/login.h"
#include "platform/text/gbk.h"
#include "platform/ui/application.h"
#include "platform/ui/display.h"
#include "windows/OperationApply.h"

#include <QApplication>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

namespace result = operedit_result;

// Connects the data module; false when the login fails in any way.
bool Connect(TDMInteface& dm) noexcept
{
    try {
        dm.DatabaseHIS->Params().SetValues("USER NAME", operedit_login::kUser);
        dm.DatabaseHIS->Params().SetValues("PASSWORD", operedit_login::kPassword);
        dm.DatabaseHIS->SetLoginPrompt(false);
        dm.DatabaseHIS->Open();
        return true;
    } catch (...) {
        return false;
    }
}

// Frees the list window when the call ends, however it ends; its destroy
// handler closes the application query.
struct ListWindowGuard {
    ~ListWindowGuard()
    {
        if (OperationApplyForm == nullptr) {
            return;
        }
        try {
            OperationApplyForm->Free();
        } catch (...) {
            // Freeing only closes the query; nothing is left to report it to.
        }
        OperationApplyForm = nullptr;
    }
};

// Frees the data module (and so its connection) when the call ends, however it ends.
struct DataModuleGuard {
    ~DataModuleGuard()
    {
        if (DMInteface == nullptr) {
            return;
        }
        try {
            if (DMInteface->DatabaseHIS->Connected()) {
                DMInteface->DatabaseHIS->Close();
            }
        } catch (...) {
            // The call is over; a failing disconnect has nobody left to tell.
        }
        delete DMInteface;
        DMInteface = nullptr;
    }
};

}  // namespace

extern "C" OPEREDIT_EXPORT const char* OPEREDIT_CALL operedit(const char* applicant, const char* deptCode,
                                                              const char* deptName)
{
    if (applicant == nullptr || deptCode == nullptr || deptName == nullptr) {
        return result::kNullArgument;
    }
    if (std::strlen(applicant) > result::kApplicantLimit || std::strlen(deptCode) > result::kDeptCodeLimit ||
        std::strlen(deptName) > result::kDeptNameLimit) {
        return result::kTooLong;
    }

    if (!ui::PrepareWindowSystem()) {
        return result::kNoDisplay;
    }

    try {
        DataModuleGuard dataModule;
        DMInteface = new TDMInteface();
        if (!Connect(*DMInteface)) {
            DMInteface->MessageText = gbk::ToUtf8(result::kCannotConnect);
            return result::kCannotConnect;
        }
        DMInteface->ApplicantUser = gbk::ToUtf8(applicant);
        DMInteface->DepartmentCode = gbk::ToUtf8(deptCode);
        DMInteface->DepartmentName = gbk::ToUtf8(deptName);

        ui::Application::Instance();
        UseApplicationErrorBox();
        ListWindowGuard listWindow;
        OperationApplyForm = new TOperationApplyForm();
        OperationApplyForm->RefreshList();
        OperationApplyForm->ShowList();
        return result::kEmpty;
    } catch (...) {
        return result::kFailed;
    }
}
