#pragma once

// The properties of a table and of its columns, as Access keeps them: the property blocks of the
// table's MSysObjects row (LvProp, see jet/format/Properties.h), changed on a private copy in
// memory. The row is rewritten (write::UpdateRow: its other columns and long values as they were,
// the catalog's indexes rebuilt); every other block, property, name and byte stays as it was.
//
// A property that is not there yet is added at the end of its block, its name at the end of the
// names if it is new. Required, AllowZeroLength, DefaultValue, ValidationRule and ValidationText
// are flagged as the engine's own (as Access flags Required and DefaultValue in the samples); any
// other as the designer's (Description among them; no sample shows it). A table or column without
// a block gets one: the table's first, a column's last.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jet/format/PageFile.h"

namespace actualiz::engine::jet::write {

struct PropertyValue {
    std::uint8_t type = 0;  // format::ColumnType of the stored value
    std::vector<unsigned char> bytes;

    // A yes/no property (Required, AllowZeroLength): one byte, 1 or 0, as the samples store them.
    static PropertyValue Boolean(bool value);
    // A text property (DefaultValue, ValidationRule, ValidationText, Description): a memo of
    // UTF-16, as the samples store DefaultValue.
    static PropertyValue Text(std::u16string_view text);
    // A Long (4 bytes).
    static PropertyValue Long(std::int32_t value);
};

// Sets the property of the table `object` (column empty) or of one of its columns (names compared
// as Jet compares them, case aside); nothing is written when it already has that value. 3265 when
// the table or column is not there; refused as UpdateRow refuses (then the bytes are as they were);
// 3343 when the old blocks are damaged.
void SetProperty(format::PageFile& file, std::u16string_view object, std::u16string_view column,
                 std::u16string_view name, const PropertyValue& value);

struct NamedProperty {
    std::u16string name;
    PropertyValue value;
};

// Sets several properties of the same table or column at once (the row is rewritten once); a
// property already so is left alone, and when all are, nothing is written.
void SetProperties(format::PageFile& file, std::u16string_view object, std::u16string_view column,
                   const std::vector<NamedProperty>& properties);

// What Access writes for each column of a table it has shown, in every column block of the
// samples' user tables (172 of 172): ColumnWidth -1 and ColumnOrder 0 (Integers stored in four
// bytes, as Access stores them) and ColumnHidden False. The other properties Access writes for a
// column depend on its type and how it was made (Required 169, DisplayControl 157,
// UnicodeCompression 134 of 172 ...): not written here.
std::vector<NamedProperty> NewColumnProperties();

// Removes the property; a column's block left without properties goes too. False, and nothing
// written, when the property is not there. 3265 when the table or column is not there.
bool RemoveProperty(format::PageFile& file, std::u16string_view object, std::u16string_view column,
                    std::u16string_view name);

// The property as stored (type and bytes), or nothing: for callers that compare before they set.
std::optional<PropertyValue> GetProperty(const format::PageFile& file, std::u16string_view object,
                                         std::u16string_view column, std::u16string_view name);

}  // namespace actualiz::engine::jet::write
