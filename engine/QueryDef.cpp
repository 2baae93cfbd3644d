#include "engine/QueryDef.h"

#include "engine/SqlDialect.h"

namespace actualiz::engine {

QueryDef::QueryDef(std::string name, std::string sql)
    : name_(std::move(name)), sql_(std::move(sql)) {}

std::vector<std::string> QueryDef::Parameters() const {
    return detail::DeclaredParameters(sql_);
}

}  // namespace actualiz::engine
