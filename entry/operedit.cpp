// operedit: one call is one working period of the ward on its applications.
#include "entry/operedit.h"

#include "data/DMIntefaceUnit.h"
#include "platform/text/gbk.h"
#include "platform/ui/application.h"
#include "windows/OperationApply.h"

#include <QApplication>

#include <dlfcn.h>

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
        dm.DatabaseHIS->Params().SetValues("USER NAME", "spemr");
        dm.DatabaseHIS->Params().SetValues("PASSWORD", "kvrt3816#");
        dm.DatabaseHIS->SetLoginPrompt(false);
        dm.DatabaseHIS->Open();
        return true;
    } catch (...) {
        return false;
    }
}

const char* Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// Whether the X server that DISPLAY names accepts a connection. Asked through
// the X client library that Qt's own X platform loads; without it Qt decides.
bool XServerReachable()
{
    void* xcb = dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
    if (xcb == nullptr) {
        return true;
    }
    using ConnectFn = void* (*)(const char*, int*);
    using HasErrorFn = int (*)(void*);
    using DisconnectFn = void (*)(void*);
    const auto connect = reinterpret_cast<ConnectFn>(dlsym(xcb, "xcb_connect"));
    const auto hasError = reinterpret_cast<HasErrorFn>(dlsym(xcb, "xcb_connection_has_error"));
    const auto disconnect = reinterpret_cast<DisconnectFn>(dlsym(xcb, "xcb_disconnect"));
    bool reachable = true;
    if (connect != nullptr && hasError != nullptr && disconnect != nullptr) {
        void* connection = connect(nullptr, nullptr);
        reachable = connection != nullptr && hasError(connection) == 0;
        disconnect(connection);  // also frees a connection that failed
    }
    dlclose(xcb);
    return reachable;
}

// Qt ends the process when it finds no window system, or when the X server
// it is sent to does not answer; the host must live on.
bool WindowSystemAvailable()
{
    if (QApplication::instance() != nullptr) {
        return true;
    }
    const std::string platform = Environment("QT_QPA_PLATFORM");
    const std::string first = platform.substr(0, platform.find_first_of(";:"));
    if (!first.empty() && first != "xcb") {
        return true;  // a platform of its own choosing (offscreen, vnc, wayland, ...)
    }
    if (*Environment("DISPLAY") != '\0') {
        return XServerReachable();
    }
    return first.empty() && *Environment("WAYLAND_DISPLAY") != '\0';
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

    if (!WindowSystemAvailable()) {
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
        ListWindowGuard listWindow;
        OperationApplyForm = new TOperationApplyForm();
        OperationApplyForm->RefreshList();
        OperationApplyForm->ShowList();
        return result::kEmpty;
    } catch (...) {
        return result::kFailed;
    }
}
