#include "catalogs/CatalogFiles.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>

#include "catalogs/Catalog.h"
#include "catalogs/IndexCatalog.h"
#include "catalogs/QueryCatalog.h"
#include "catalogs/RelationCatalog.h"
#include "engine/Engine.h"
#include "platform/FileSystem.h"

namespace actualiz::catalogs {

namespace {

struct CatalogField {
    const char* name;
    short type;
    bool needed = true;  // false: the commands do without it
};

struct CatalogLayout {
    const char* path;
    const char* table;
    std::vector<CatalogField> fields;
};

const std::vector<CatalogLayout>& Layouts() {
    using engine::dbMemo;
    using engine::dbText;
    static const std::vector<CatalogLayout> layouts = {
        {kIndexCatalogPath,
         kIndexTable,
         {{kIndexNameField, dbText},
          {kIndexTableField, dbText},
          {kIndexFieldField, dbText},
          {kIndexUniqueField, dbText},
          {kIndexPrimaryField, dbText, false},
          {kIndexIgnoreNullsField, dbText, false},
          {kIndexRequiredField, dbText, false},
          {kIndexDescendingField, dbText, false}}},
        {kRelationCatalogPath,
         kRelationTable,
         {{kRelationNameField, dbText},
          {kRelationTableField, dbText},
          {kRelationForeignTableField, dbText},
          {kRelationAttributesField, dbText},
          {kRelationFieldField, dbText},
          {kRelationForeignFieldField, dbText}}},
        {kQueryCatalogPath, kQueryTable, {{kQueryNameField, dbText}, {kQuerySqlField, dbMemo}}},
    };
    return layouts;
}

// Text fields get the largest size the engine allows: names are at most 64 characters, but a
// catalog is cheap and a longer value must never be cut.
constexpr long kTextSize = 255;

void CreateCatalog(const CatalogLayout& layout) {
    std::shared_ptr<engine::Database> db = engine::CreateDatabase(layout.path);
    std::shared_ptr<engine::TableDef> table = db->CreateTableDef(layout.table);
    for (const CatalogField& f : layout.fields) {
        std::optional<long> size;
        if (f.type == engine::dbText) size = kTextSize;
        std::shared_ptr<engine::Field> field = table->CreateField(f.name, f.type, size);
        field->SetAllowZeroLength(true);
        table->Fields().Append(field);
    }
    db->TableDefs().Append(table);
    db->Close();
}

std::string WithHost(const char* path) {
    try {
        return std::string(path) + " (" + platform::ToHostPath(path).string() + ")";
    } catch (const Error&) {
        return path;
    }
}

// The first thing that keeps one catalog from serving, or nothing.
std::optional<Error> CatalogProblem(const CatalogLayout& layout) {
    try {
        std::shared_ptr<engine::Database> db = engine::OpenDatabase(layout.path);
        std::optional<Error> problem;
        if (!db->Updatable()) {
            problem = Error(err::kReadOnly,
                            "El catálogo " + WithHost(layout.path) +
                                " no se puede escribir (el archivo o su carpeta son de solo "
                                "lectura): dele permiso de escritura.");
        } else if (!db->TableDefs().Contains(layout.table)) {
            problem = Error(err::kItemNotFound, "Al catálogo " + WithHost(layout.path) +
                                                    " le falta la tabla " + layout.table + ".");
        } else {
            std::shared_ptr<engine::TableDef> table = db->TableDefs()[layout.table];
            std::string missing;
            int count = 0;
            for (const CatalogField& f : layout.fields) {
                if (!f.needed || table->Fields().Contains(f.name)) continue;
                missing += (count++ == 0 ? "" : ", ") + std::string(f.name);
            }
            if (count > 0)
                problem = Error(err::kItemNotFound, "A la tabla " + std::string(layout.table) +
                                                        " del catálogo " + WithHost(layout.path) +
                                                        (count == 1 ? " le falta el campo "
                                                                    : " le faltan los campos ") +
                                                        missing + ".");
        }
        db->Close();
        if (problem) problem->SetFile(layout.path);
        return problem;
    } catch (const Error& e) {
        Error problem = e;
        if (problem.file().empty()) problem.SetFile(layout.path);
        return problem;
    }
}

}  // namespace

std::vector<Error> CatalogProblems() {
    std::vector<Error> problems;
    for (const CatalogLayout& layout : Layouts())
        if (std::optional<Error> problem = CatalogProblem(layout)) problems.push_back(*problem);
    return problems;
}

std::vector<std::string> CatalogPaths() {
    std::vector<std::string> paths;
    for (const CatalogLayout& layout : Layouts()) paths.emplace_back(layout.path);
    return paths;
}

void CreateCatalogs(bool replaceExisting) {
    // Refuse before touching anything, so that a refusal never leaves a mix of old and new.
    if (!replaceExisting)
        for (const CatalogLayout& layout : Layouts())
            if (platform::FileExists(layout.path)) throw platform::FileAlreadyExists(layout.path);

    std::error_code ec;
    std::filesystem::create_directories(platform::ToHostPath(kCatalogFolder), ec);
    if (ec) throw platform::PathNotFound(kCatalogFolder);

    for (const CatalogLayout& layout : Layouts()) {
        if (platform::FileExists(layout.path)) {
            std::filesystem::remove(platform::ToHostPath(layout.path), ec);
            if (ec) throw platform::PathFileAccessError(layout.path);
        }
        CreateCatalog(layout);
    }
}

}  // namespace actualiz::catalogs
