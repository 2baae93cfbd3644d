#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "engine/Collection.h"
#include "engine/Field.h"
#include "engine/Index.h"
#include "engine/Types.h"

namespace actualiz::engine {

class Database;

// A table definition. Made by Database::CreateTableDef, filled with fields (and indexes), then
// appended to TableDefs; once stored, Fields.Append/Delete and Indexes.Append/Delete change the
// file at once.
class TableDef : public std::enable_shared_from_this<TableDef> {
  public:
    explicit TableDef(std::string name);
    TableDef(const TableDef&) = delete;
    TableDef& operator=(const TableDef&) = delete;

    std::string Name() const { return name_; }
    // False when the definition cannot be changed (the database was opened read-only).
    bool Updatable() const;

    // A rule over the table's fields, checked for every row; set before the table is stored
    // (3219 afterwards).
    std::string ValidationRule() const { return validationRule_; }
    void SetValidationRule(std::string value);
    std::string ValidationText() const { return validationText_; }
    void SetValidationText(std::string value);

    Collection<Field>& Fields() {
        Settle();
        return fields_;
    }
    const Collection<Field>& Fields() const {
        Settle();
        return fields_;
    }
    Collection<Index>& Indexes() {
        Settle();
        return indexes_;
    }
    const Collection<Index>& Indexes() const {
        Settle();
        return indexes_;
    }

    // A text field without a size gets 255; sizes outside 1..255 for text are refused (3009); a
    // size given for a fixed-size type is ignored. Invalid name 3125, unknown type 3259.
    std::shared_ptr<Field> CreateField(std::string name, short type = dbText,
                                       std::optional<long> size = {});
    std::shared_ptr<Index> CreateIndex(std::string name);

    // Whether the table is stored in a database; the engine marks it as it stores and deletes it.
    bool Stored() const { return stored_; }
    void MarkStored(std::weak_ptr<Database> database);
    void MarkUnstored();
    // The database when stored, else null; 3420 when that database is gone.
    std::shared_ptr<Database> StoredIn() const;
    // For the engine loading a stored table: its fields and indexes are filled by fill when first
    // asked for (a database opened again and again is mostly asked about one table of many).
    void DeferDetails(std::function<void(TableDef&)> fill);

  private:
    void WireCollections();
    void Settle() const {
        if (pendingDetails_) FillDetails();
    }
    void FillDetails() const;

    std::string name_;
    Collection<Field> fields_;
    Collection<Index> indexes_;
    std::weak_ptr<Database> database_;
    std::string validationRule_;
    std::string validationText_;
    bool stored_ = false;
    mutable std::function<void(TableDef&)> pendingDetails_;
};

}  // namespace actualiz::engine
