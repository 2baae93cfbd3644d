#pragma once

#include <memory>
#include <string>

#include "engine/Collection.h"
#include "engine/Field.h"

namespace actualiz::engine {

// An index of a table definition. Its properties and fields are set before it is appended to the
// table's Indexes; a stored index does not change (3219), it is deleted and appended again.
class Index {
  public:
    explicit Index(std::string name);
    Index(const Index&) = delete;
    Index& operator=(const Index&) = delete;

    std::string Name() const { return name_; }
    bool Unique() const { return unique_; }
    void SetUnique(bool value);
    bool Primary() const { return primary_; }
    void SetPrimary(bool value);
    bool IgnoreNulls() const { return ignoreNulls_; }
    void SetIgnoreNulls(bool value);
    // Every field of the index must hold a value (3058 for a Null). A primary key is always
    // Required, as the classic engine makes it when Primary is set.
    bool Required() const { return required_ || primary_; }
    void SetRequired(bool value);

    Collection<Field>& Fields() { return fields_; }
    const Collection<Field>& Fields() const { return fields_; }
    std::shared_ptr<Field> CreateField(std::string name);

    // Whether the index is built in its table's file; the engine marks it as it builds and
    // drops it. A stored index does not change.
    bool Stored() const { return stored_; }
    void MarkStored() { stored_ = true; }
    void MarkUnstored() { stored_ = false; }

  private:
    void CheckChangeable() const;

    std::string name_;
    bool unique_ = false;
    bool primary_ = false;
    bool ignoreNulls_ = false;
    bool required_ = false;
    Collection<Field> fields_;
    bool stored_ = false;
};

}  // namespace actualiz::engine
