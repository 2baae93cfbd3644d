#pragma once

// Values written into a record set's fields, converted as the classic engine converts a value
// assigned to a field.

#include <string>
#include <string_view>

#include "engine/Types.h"

namespace actualiz::engine::detail {

// Converts a value for a field of the given type the way the classic engine does when a value is
// assigned (text from a bound text box becomes a number, "" becomes Null ...). 3421 when the text
// is no value of that type, 3163 when it is too long for the field.
Value ConvertForField(const Value& value, short type, long size, const std::string& fieldName);

// The text without the blanks around it.
std::string Trim(std::string_view s);

}  // namespace actualiz::engine::detail
