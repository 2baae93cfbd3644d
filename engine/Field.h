#pragma once

#include <functional>
#include <memory>
#include <string>

#include "engine/Collection.h"
#include "engine/Types.h"

namespace actualiz::engine {

class TableDef;
class Index;
class Relation;
class Database;
class Recordset;
namespace detail {
class RecordsetState;

// A field's properties as a stored or derived definition gives them, to make the field at once.
struct FieldDefinition {
    std::string name{};
    short type = 0;
    long size = 0;
    bool allowZeroLength = false;
    bool required = false;
    std::string foreignName{};
    long attributes = 0;
    std::string defaultValue{};
    std::string validationRule{};
    std::string validationText{};
    short ordinalPosition = 0;
};
}  // namespace detail

// A field of a table definition, of an index, of a relation or of a record set. Which properties
// mean something depends on the owner: Type, Size, AllowZeroLength, Required, Attributes
// (dbFixedField, dbVariableField, dbAutoIncrField), DefaultValue, ValidationRule, ValidationText
// and OrdinalPosition for table fields; Attributes (dbDescending) for index fields; ForeignName
// for relation fields; the value for record-set fields.
class Field {
  public:
    // Prefer the owners' CreateField, which checks the name and the type.
    Field(std::string name, short type, long size);

    std::string Name() const { return name_; }
    short Type() const { return type_; }
    long Size() const { return size_; }

    bool AllowZeroLength() const { return allowZeroLength_; }
    void SetAllowZeroLength(bool value);
    bool Required() const { return required_; }
    void SetRequired(bool value);

    std::string ForeignName() const { return foreignName_; }
    void SetForeignName(std::string name);

    // A table field's Attributes, DefaultValue, ValidationRule and ValidationText are set before
    // the field is stored; afterwards they are read only (3219). A counter (dbAutoIncrField) is a
    // Long, one per table (3259 for another type).
    long Attributes() const { return attributes_; }
    void SetAttributes(long value);
    std::string DefaultValue() const { return defaultValue_; }
    void SetDefaultValue(std::string value);
    std::string ValidationRule() const { return validationRule_; }
    void SetValidationRule(std::string value);
    std::string ValidationText() const { return validationText_; }
    void SetValidationText(std::string value);
    // The field's place in the table, from 0; stored fields report where they are.
    short OrdinalPosition() const { return ordinalPosition_; }
    void SetOrdinalPosition(short value);

    // Record-set fields: the current row's value; SetValue only while the record set is being
    // edited (AddNew or Edit), else 3020. Text given for a numeric, date or Boolean field is
    // converted (a bound text box always writes text); "" becomes Null for those types.
    Value GetValue() const;
    void SetValue(Value value);
    // The value as a bound text box shows it (ValueToText).
    std::string Text() const { return ValueToText(GetValue()); }

    // --- For the engine's objects that own fields: where a field belongs and whether its owner
    // is stored. Nothing here checks or writes the file; the owners do. ---
    enum class Role { Free, TableField, IndexField, RelationField, RecordsetField };
    Field(detail::FieldDefinition&& definition, Role role);

    // The field hooks of an index or a relation: fields are added and removed only while the owner
    // is not stored (checkChangeable throws once it is), names are valid and appear once.
    static Collection<Field>::Hooks DefinitionFieldHooks(const Collection<Field>& fields,
                                                         std::function<void()> checkChangeable,
                                                         Role role);

    // A table field belongs to its table once the table is stored (table stays null until then);
    // its definition is then read only.
    bool InStoredTable() const;
    void AttachToTable(std::weak_ptr<TableDef> table);
    void DetachFromTable();
    // The place and the normalized attributes a table field is stored with.
    void PrepareStorage(short ordinalPosition);
    // An index or relation field while its owner is stored, named as the table spells the field.
    void Freeze();
    void Freeze(std::string storedName);
    void Freeze(std::string storedName, std::string storedForeignName);
    void Unfreeze();
    // A record-set field shows the given column of the set's current row.
    void BindToRecordset(std::weak_ptr<detail::RecordsetState> state, int column);

  private:
    void CheckChangeable() const;
    // CheckChangeable, and for a table field also not yet stored.
    void CheckDefinable() const;

    std::string name_;
    short type_;
    long size_;
    bool allowZeroLength_ = false;
    bool required_ = false;
    std::string foreignName_;
    long attributes_ = 0;
    std::string defaultValue_;
    std::string validationRule_;
    std::string validationText_;
    short ordinalPosition_ = 0;

    Role role_ = Role::Free;
    // Table fields: the table once the field is appended (its Fields are stored when the table is).
    std::weak_ptr<TableDef> table_;
    // Index and relation fields: set once the owner is stored; stored definitions do not change.
    bool frozen_ = false;
    // Record-set fields.
    std::weak_ptr<detail::RecordsetState> recordset_;
    int column_ = -1;
};

}  // namespace actualiz::engine
