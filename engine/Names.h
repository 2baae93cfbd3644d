#pragma once

#include <string>
#include <string_view>

namespace actualiz::engine {

// The engine's name equality: letter case ignored, for accented letters too ("Categoría" and
// "CATEGORÍA" are one name); no trimming.
bool SameName(std::string_view a, std::string_view b);

// Catalog order of names: case-insensitive, ties broken by the bytes so the order is stable.
bool NameLess(std::string_view a, std::string_view b);

// The system-object rule: the first four characters are exactly "MSys" (case-sensitive).
bool IsSystemName(std::string_view name);

// Throws EngineError 3125 unless name is a valid object name: 1 to 64 characters, none of
// . ! ` [ ], no leading blank, no control characters. kind names the object in the message
// ("tabla", "campo", "índice", "relación", "consulta").
void CheckName(std::string_view name, std::string_view kind);

// SQL identifier quoting for SQLite: "name" with embedded quotes doubled.
std::string QuoteIdentifier(std::string_view name);
// SQL text literal: 'text' with embedded apostrophes doubled.
std::string QuoteLiteral(std::string_view text);

}  // namespace actualiz::engine
