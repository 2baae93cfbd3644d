#include "engine/Collection.h"

#include <string>

#include "engine/EngineError.h"

namespace actualiz::engine::detail {

void ThrowItemNotFound(std::string_view name) {
    throw MakeError(err::kItemNotFound, name);
}

void ThrowPositionOutOfRange(int position) {
    throw MakeError(err::kItemNotFound, "#" + std::to_string(position));
}

}  // namespace actualiz::engine::detail
