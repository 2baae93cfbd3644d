#pragma once

#include <memory>
#include <string>

#include "engine/Collection.h"
#include "engine/Field.h"

namespace actualiz::engine {

// A relation between a primary table (Table) and a foreign table (ForeignTable). Each field pairs
// a field of Table (Name) with one of ForeignTable (ForeignName). Attributes is the classic bit
// set, kept exactly as given; without dbRelationDontEnforce the engine enforces the relation.
class Relation {
  public:
    Relation(std::string name, std::string table, std::string foreignTable, long attributes);
    Relation(const Relation&) = delete;
    Relation& operator=(const Relation&) = delete;

    std::string Name() const { return name_; }
    std::string Table() const { return table_; }
    std::string ForeignTable() const { return foreignTable_; }
    long Attributes() const { return attributes_; }
    void SetAttributes(long value);

    Collection<Field>& Fields() { return fields_; }
    const Collection<Field>& Fields() const { return fields_; }
    std::shared_ptr<Field> CreateField(std::string name);

    // Whether the relation is stored in the database; the engine marks it as it stores it (with
    // the tables as the database spells them) and deletes it.
    bool Stored() const { return stored_; }
    void MarkStored() { stored_ = true; }
    void MarkStored(std::string table, std::string foreignTable);
    void MarkUnstored() { stored_ = false; }

  private:
    void CheckChangeable() const;

    std::string name_;
    std::string table_;
    std::string foreignTable_;
    long attributes_;
    Collection<Field> fields_;
    bool stored_ = false;
};

}  // namespace actualiz::engine
