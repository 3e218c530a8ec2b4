// The login the module makes on every call: the alias HIS with its built-in
// user name and password (an administrator's credentials file may replace
// them, see platform/engine/aliases.h). emrhost --check logs in the same way.
#pragma once

namespace operedit_login {

inline constexpr char kAlias[] = "HIS";
inline constexpr char kUser[] = "spemr";
inline constexpr char kPassword[] = "kvrt3816#";

}  // namespace operedit_login
