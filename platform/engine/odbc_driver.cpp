#include "platform/engine/drivers.h"

namespace hisdb::detail {

std::unique_ptr<Connection> ConnectOdbc(const Alias& alias, std::string_view, std::string_view)
{
    throw EngineError("The ODBC driver is not available yet", 0, {"alias " + alias.name});
}

}  // namespace hisdb::detail
