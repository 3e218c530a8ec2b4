// The drivers behind Connect (internal to the engine).
#pragma once

#include "platform/engine/aliases.h"
#include "platform/engine/engine.h"

#include <memory>
#include <string_view>

namespace hisdb::detail {

[[nodiscard]] std::unique_ptr<Connection> ConnectSqlite(const Alias& alias, std::string_view user,
                                                        std::string_view password);
[[nodiscard]] std::unique_ptr<Connection> ConnectOdbc(const Alias& alias, std::string_view user,
                                                      std::string_view password);

// Decimal text ("-12.345", "1e3" is not accepted) rounded half away from zero
// to `scale` places; false on bad text or overflow.
[[nodiscard]] bool ParseDecimal(std::string_view text, int scale, Decimal& out);
// A type name with its arguments, as in CHAR(8) or DECIMAL(5,2), read into a
// column description (SQLite declared types; also used for ODBC type names).
void DescribeDeclaredType(std::string_view declared, ColumnDesc& column);

}  // namespace hisdb::detail
