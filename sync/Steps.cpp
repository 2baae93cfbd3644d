#include "sync/Steps.h"

#include <cctype>

#include "engine/EngineError.h"

namespace actualiz::sync {

std::string SelectAllFrom(std::string_view table) {
    return "Select * from [" + std::string(table) + "]";
}

long ListNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
        value = value * 10 + (text[i] - '0');
    return negative ? -value : value;
}

bool AlreadyExists(const Error& error) {
    switch (error.number()) {
        case engine::err::kTableExists:        // a table of that name
        case engine::err::kObjectExists:       // any other object of that name
        case engine::err::kFieldDefinedTwice:  // a field of that name in the table
            return true;
        default:
            return false;
    }
}

void OpenListing(app::DataControl& data) {
    data.Close();
    data.Refresh();
}

}  // namespace actualiz::sync
