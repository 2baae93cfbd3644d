#include "engine/QueryDef.h"

namespace actualiz::engine {

QueryDef::QueryDef(std::string name, std::string sql)
    : name_(std::move(name)), sql_(std::move(sql)) {}

}  // namespace actualiz::engine
