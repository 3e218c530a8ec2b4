/* operedit.h: the surgery-application module as a host calls it.
 *
 *   const char* operedit(const char* applicant, const char* deptCode, const char* deptName);
 *
 * Link with liboperedit (pkg-config --cflags --libs operedit) or load
 * liboperedit.so.0 at run time and look up the symbol "operedit".
 *
 * Calling convention: C; __stdcall where the compiler targets Windows.
 * Call it on the host's user-interface thread (the thread that runs the
 * host's windows, or the main thread of a host without windows). Calls must
 * not overlap or nest.
 *
 * Arguments: zero-terminated texts in GBK (code page 936), none of them null:
 *   applicant  the user applying, at most 8 bytes (four Chinese characters)
 *   deptCode   the ward's department code, at most 10 bytes
 *   deptName   the ward's department name, at most 30 bytes
 * The module copies what it needs; the texts need only live during the call.
 *
 * The call shows the day's operation applications of the department and
 * returns when the user closes that list. The result is never null. It points
 * to constant storage inside the library, valid as long as the library stays
 * loaded: read it, never free or change it. It is one of the texts below, in
 * GBK (their UTF-8 meaning in quotes):
 *
 *   OPEREDIT_OK              ""  the list was shown and closed
 *   OPEREDIT_NULL_ARGUMENT   "输入参数不能为空!"  an argument was null
 *   OPEREDIT_TOO_LONG        "输入参数太长!"  an argument exceeded its limit
 *   OPEREDIT_CANNOT_CONNECT  "Emr用户不能连接到HIS服务器!"  the login to the
 *                            database behind the alias HIS failed
 *   OPEREDIT_NO_DISPLAY      "没有可用的显示器,不能打开窗口!"  no window
 *                            system to show the list on
 *   OPEREDIT_FAILED          "手术申请模块出错!"  the list window could not be
 *                            prepared or shown
 *
 * Compare results with strcmp, never by address.
 */
#ifndef OPEREDIT_H
#define OPEREDIT_H

#if defined(_WIN32)
#define OPEREDIT_CALL __stdcall
#else
#define OPEREDIT_CALL
#endif

/* The module itself defines OPEREDIT_API to export the function. */
#ifndef OPEREDIT_API
#define OPEREDIT_API
#endif

#define OPEREDIT_OK ""
#define OPEREDIT_NULL_ARGUMENT "\xca\xe4\xc8\xeb\xb2\xce\xca\xfd\xb2\xbb\xc4\xdc\xce\xaa\xbf\xd5!"
#define OPEREDIT_TOO_LONG "\xca\xe4\xc8\xeb\xb2\xce\xca\xfd\xcc\xab\xb3\xa4!"
#define OPEREDIT_CANNOT_CONNECT \
    "Emr\xd3\xc3\xbb\xa7\xb2\xbb\xc4\xdc\xc1\xac\xbd\xd3\xb5\xbd" \
    "HIS\xb7\xfe\xce\xf1\xc6\xf7!"
#define OPEREDIT_NO_DISPLAY \
    "\xc3\xbb\xd3\xd0\xbf\xc9\xd3\xc3\xb5\xc4\xcf\xd4\xca\xbe\xc6\xf7," \
    "\xb2\xbb\xc4\xdc\xb4\xf2\xbf\xaa\xb4\xb0\xbf\xda!"
#define OPEREDIT_FAILED "\xca\xd6\xca\xf5\xc9\xea\xc7\xeb\xc4\xa3\xbf\xe9\xb3\xf6\xb4\xed!"

/* Limits of the three arguments, in GBK bytes. */
#define OPEREDIT_APPLICANT_LIMIT 8
#define OPEREDIT_DEPT_CODE_LIMIT 10
#define OPEREDIT_DEPT_NAME_LIMIT 30

#ifdef __cplusplus
extern "C" {
#endif

OPEREDIT_API const char* OPEREDIT_CALL operedit(const char* applicant, const char* deptCode, const char* deptName);

#ifdef __cplusplus
}
#endif

#endif /* OPEREDIT_H */
