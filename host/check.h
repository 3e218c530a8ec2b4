// emrhost --check: what IT needs to know about a workstation's way to the
// hospital database, without opening a window.
//
// Prints the alias file read (and the places tried), the alias's driver and
// target with any password masked, then logs in exactly as operedit does (the
// alias HIS, the built-in login or the administrator's credentials for it).
// A failed login is printed with the engine's whole error (driver manager,
// driver and server lines) and a one-line hint for the common causes. After
// a login: the server's DBMS name and version as the driver reports them, the
// counter table's rows (exactly one), the rows of the tables a call reads,
// and whether the indexes the pickers' searches and the list rely on exist.
#pragma once

#include <ostream>

namespace check {

// 0 when everything a call needs is in place, else 1.
[[nodiscard]] int Run(std::ostream& out);

}  // namespace check
