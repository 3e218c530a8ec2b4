// The module's one exported function, as the module itself sees it.
//
// The contract for hosts (arguments, results, their lifetime) is the public
// C header include/operedit.h; this one exports the declaration and gives the
// module's own code the result texts and limits as C++ constants. Calls must
// not overlap or nest.
#pragma once

#if defined(_WIN32)
#define OPEREDIT_EXPORT __declspec(dllexport)
#else
#define OPEREDIT_EXPORT __attribute__((visibility("default")))
#endif
#define OPEREDIT_API OPEREDIT_EXPORT

#include "include/operedit.h"

namespace operedit_result {

// "输入参数不能为空!"
inline constexpr char kNullArgument[] = OPEREDIT_NULL_ARGUMENT;
// "输入参数太长!"
inline constexpr char kTooLong[] = OPEREDIT_TOO_LONG;
// "Emr用户不能连接到HIS服务器!"
inline constexpr char kCannotConnect[] = OPEREDIT_CANNOT_CONNECT;
inline constexpr char kEmpty[] = OPEREDIT_OK;
// "手术申请模块出错!": the list window could not be prepared or shown.
inline constexpr char kFailed[] = OPEREDIT_FAILED;
// "没有可用的显示器,不能打开窗口!": no window system to show the list on.
inline constexpr char kNoDisplay[] = OPEREDIT_NO_DISPLAY;

// Limits of the three arguments, in GBK bytes.
inline constexpr unsigned kApplicantLimit = OPEREDIT_APPLICANT_LIMIT;
inline constexpr unsigned kDeptCodeLimit = OPEREDIT_DEPT_CODE_LIMIT;
inline constexpr unsigned kDeptNameLimit = OPEREDIT_DEPT_NAME_LIMIT;

}  // namespace operedit_result
