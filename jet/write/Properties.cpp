#include "jet/write/Properties.h"

#include <algorithm>
#include <set>

#include "engine/EngineError.h"
#include "jet/JetText.h"
#include "jet/format/Properties.h"
#include "jet/format/TableDef.h"
#include "jet/format/Text.h"
#include "jet/format/TextKey.h"
#include "jet/format/UsageMap.h"
#include "jet/mdb/Bytes.h"
#include "jet/read/Catalog.h"
#include "jet/read/RowReader.h"
#include "jet/write/Rows.h"

namespace actualiz::engine::jet::write {

namespace {

using namespace format;

constexpr int kCatalogTable = 1;

// The engine's own properties of a field or table; any other is the designer's.
const std::set<std::u16string_view> kEngineProperties = {
    u"Required", u"AllowZeroLength", u"DefaultValue", u"ValidationRule", u"ValidationText"};

// The UTF-8 names our reader gives, back in UTF-16 (Jet 4 names are UCS-2: no surrogates).
std::u16string FromUtf8(std::string_view text) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        auto c = static_cast<unsigned char>(text[i]);
        int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
        char32_t code = extra == 0   ? c
                        : extra == 1 ? (c & 0x1F)
                        : extra == 2 ? (c & 0x0F)
                                     : (c & 0x07);
        for (int k = 1; k <= extra && i + k < text.size(); ++k)
            code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        out.push_back(static_cast<char16_t>(code));
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out;
}

bool SameName(std::u16string_view a, std::u16string_view b) {
    if (a == b) return true;
    try {
        return TextKey(a) == TextKey(b);
    } catch (const EngineError&) {
        return false;  // a name without a known key matches only itself
    }
}

EngineError NotFound(const std::string& what) {
    return EngineError(err::kItemNotFound, what + " no está en el archivo.");
}

struct Target {
    PageRow where;          // the table's row in MSysObjects
    std::u16string column;  // as the table's definition spells it; empty for the table
    std::optional<PropertyBlocks> blocks;  // nothing when LvProp is Null
};

Target Find(const PageFile& file, std::u16string_view object, std::u16string_view column) {
    TableDef catalog = ReadTableDef(file, kCatalogPage);
    auto columnOf = [&](const char* name) -> const ColumnDef& {
        for (const ColumnDef& c : catalog.columns)
            if (c.name == name) return c;
        throw Unreadable(file.File(), std::string("MSysObjects sin la columna ") + name);
    };
    const ColumnDef& nameColumn = columnOf("Name");
    const ColumnDef& typeColumn = columnOf("Type");
    const ColumnDef& idColumn = columnOf("Id");
    const ColumnDef& propColumn = columnOf("LvProp");
    UsageMap rows = ReadUsageMap(file, PageRow::From(catalog.usageMap));
    for (const StoredRow& row : TableRows(file, catalog, rows)) {
        RowValues values(file, catalog, row.bytes);
        auto type = values.Value(typeColumn);
        auto name = values.Value(nameColumn);
        auto id = values.Value(idColumn);
        if (!type || type->size() != 2 || U16(type->data()) != kCatalogTable || !name || !id ||
            id->size() != 4 || !SameName(StoredText(*name), object))
            continue;
        Target target{row.where, {}, std::nullopt};
        if (!column.empty()) {
            TableDef def = ReadTableDef(file, U32(id->data()) & 0x00FFFFFFu);
            for (const ColumnDef& c : def.columns)
                if (SameName(FromUtf8(c.name), column)) target.column = FromUtf8(c.name);
            if (target.column.empty())
                throw NotFound("La columna «" + Utf8(std::u16string(column)) + "» de «" +
                               Utf8(std::u16string(object)) + "»");
        }
        if (auto field = values.Value(propColumn))
            target.blocks = DecodeProperties(ReadLongValue(file, *field).bytes,
                                             "«" + Utf8(std::u16string(object)) + "»");
        return target;
    }
    throw NotFound("La tabla «" + Utf8(std::u16string(object)) + "»");
}

// The block of the table (column empty) or of the column, its name compared as Jet compares
// names (a column renamed by case keeps its block).
PropertyChunk* FindChunk(PropertyBlocks& blocks, std::u16string_view column) {
    if (column.empty()) return blocks.Find(column);
    for (PropertyChunk& chunk : blocks.chunks)
        if (chunk.kind == kPropertyColumnChunk && SameName(chunk.name, column)) return &chunk;
    return nullptr;
}

void Save(PageFile& file, const Target& target) {
    UpdateRow(file, kCatalogPage, target.where, {{"LvProp", EncodeProperties(*target.blocks)}});
}

}  // namespace

PropertyValue PropertyValue::Boolean(bool value) {
    return {kBoolean, {static_cast<unsigned char>(value ? 1 : 0)}};
}

PropertyValue PropertyValue::Text(std::u16string_view text) {
    return {kMemo, TextBytes(text)};
}

PropertyValue PropertyValue::Long(std::int32_t value) {
    return {kLong, LongBytes(value)};
}

void SetProperties(PageFile& file, std::u16string_view object, std::u16string_view column,
                   const std::vector<NamedProperty>& properties) {
    for (const NamedProperty& property : properties)
        if (property.name.empty())
            throw EngineError(err::kInvalidArgument, "Propiedad sin nombre.");
    Target target = Find(file, object, column);
    if (!target.blocks) {
        target.blocks.emplace();
        target.blocks->hasNames = true;
    }
    PropertyBlocks& blocks = *target.blocks;
    PropertyChunk* chunk = FindChunk(blocks, target.column);
    if (!chunk) {
        PropertyChunk added;
        added.kind = target.column.empty() ? kPropertyObjectChunk : kPropertyColumnChunk;
        added.name = target.column;
        if (target.column.empty()) {
            blocks.chunks.insert(blocks.chunks.begin(), std::move(added));
            if (blocks.namesAt > 0) ++blocks.namesAt;
            chunk = &blocks.chunks.front();
        } else {
            blocks.chunks.push_back(std::move(added));
            chunk = &blocks.chunks.back();
        }
    }
    bool changed = false;
    for (const auto& [name, value] : properties) {
        auto found = std::find_if(
            chunk->properties.begin(), chunk->properties.end(), [&](const Property& p) {
                return p.nameIndex < blocks.names.size() && blocks.names[p.nameIndex] == name;
            });
        if (found == chunk->properties.end()) {
            Property property;
            property.flags = kEngineProperties.count(name) ? kPropertyDdl : 0;
            property.nameIndex = blocks.NameIndex(name);
            chunk->properties.push_back(std::move(property));
            found = chunk->properties.end() - 1;
        } else if (found->type == value.type && found->value == value.bytes) {
            continue;  // already so
        }
        found->type = value.type;
        found->value = value.bytes;
        changed = true;
    }
    if (changed) Save(file, target);
}

void SetProperty(PageFile& file, std::u16string_view object, std::u16string_view column,
                 std::u16string_view name, const PropertyValue& value) {
    SetProperties(file, object, column, {{std::u16string(name), value}});
}

std::vector<NamedProperty> NewColumnProperties() {
    return {{u"ColumnWidth", {kInteger, LongBytes(-1)}},
            {u"ColumnOrder", {kInteger, LongBytes(0)}},
            {u"ColumnHidden", PropertyValue::Boolean(false)}};
}

bool RemoveProperty(PageFile& file, std::u16string_view object, std::u16string_view column,
                    std::u16string_view name) {
    Target target = Find(file, object, column);
    if (!target.blocks) return false;
    PropertyBlocks& blocks = *target.blocks;
    PropertyChunk* chunk = FindChunk(blocks, target.column);
    auto named = std::find(blocks.names.begin(), blocks.names.end(), name);
    if (!chunk || named == blocks.names.end()) return false;
    auto index = static_cast<std::uint16_t>(named - blocks.names.begin());
    auto found = std::find_if(chunk->properties.begin(), chunk->properties.end(),
                              [&](const Property& p) { return p.nameIndex == index; });
    if (found == chunk->properties.end()) return false;
    chunk->properties.erase(found);
    if (chunk->kind == kPropertyColumnChunk && chunk->properties.empty() && chunk->rest.empty())
        blocks.chunks.erase(blocks.chunks.begin() + (chunk - blocks.chunks.data()));
    Save(file, target);
    return true;
}

std::optional<PropertyValue> GetProperty(const PageFile& file, std::u16string_view object,
                                         std::u16string_view column, std::u16string_view name) {
    Target target = Find(file, object, column);
    if (!target.blocks) return std::nullopt;
    const PropertyChunk* chunk = FindChunk(*target.blocks, target.column);
    if (!chunk) return std::nullopt;
    const Property* property = target.blocks->Get(*chunk, name);
    if (!property) return std::nullopt;
    return PropertyValue{property->type, property->value};
}

}  // namespace actualiz::engine::jet::write
