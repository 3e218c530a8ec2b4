// The module's one exported function.
//
// Called by the ward's EMR client on its user-interface thread with the
// applicant (at most 8 bytes), the department code (at most 10) and the
// department name (at most 30), all zero-terminated GBK texts. Shows the day's
// operation applications of the department and returns when the user closes
// the list. The result is never null and points to constant storage of the
// module: the empty text on success, otherwise one of the texts below (GBK).
// Calls must not overlap or nest.
#pragma once

#if defined(_WIN32)
#define OPEREDIT_CALL __stdcall
#define OPEREDIT_EXPORT __declspec(dllexport)
#else
#define OPEREDIT_CALL
#define OPEREDIT_EXPORT __attribute__((visibility("default")))
#endif

extern "C" OPEREDIT_EXPORT const char* OPEREDIT_CALL operedit(const char* applicant, const char* deptCode,
                                                              const char* deptName);

namespace operedit_result {

// "输入参数不能为空!"
inline constexpr char kNullArgument[] = "\xca\xe4\xc8\xeb\xb2\xce\xca\xfd\xb2\xbb\xc4\xdc\xce\xaa\xbf\xd5!";
// "输入参数太长!"
inline constexpr char kTooLong[] = "\xca\xe4\xc8\xeb\xb2\xce\xca\xfd\xcc\xab\xb3\xa4!";
// "Emr用户不能连接到HIS服务器!"
inline constexpr char kCannotConnect[] =
    "Emr\xd3\xc3\xbb\xa7\xb2\xbb\xc4\xdc\xc1\xac\xbd\xd3\xb5\xbd"
    "HIS\xb7\xfe\xce\xf1\xc6\xf7!";
inline constexpr char kEmpty[] = "";
// "手术申请模块出错!": the list window could not be prepared or shown.
inline constexpr char kFailed[] = "\xca\xd6\xca\xf5\xc9\xea\xc7\xeb\xc4\xa3\xbf\xe9\xb3\xf6\xb4\xed!";

// "没有可用的显示器,不能打开窗口!": no window system to show the list on.
inline constexpr char kNoDisplay[] =
    "\xc3\xbb\xd3\xd0\xbf\xc9\xd3\xc3\xb5\xc4\xcf\xd4\xca\xbe\xc6\xf7,"
    "\xb2\xbb\xc4\xdc\xb4\xf2\xbf\xaa\xb4\xb0\xbf\xda!";

// Limits of the three arguments, in GBK bytes.
inline constexpr unsigned kApplicantLimit = 8;
inline constexpr unsigned kDeptCodeLimit = 10;
inline constexpr unsigned kDeptNameLimit = 30;

}  // namespace operedit_result
