#pragma once

#include <memory>
#include <string>

#include "engine/Collection.h"
#include "engine/Field.h"

namespace actualiz::engine {

namespace detail {
struct Schema;
}

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
    // Every field of the index must hold a value (3058 for a Null), as in a primary key.
    bool Required() const { return required_; }
    void SetRequired(bool value);

    Collection<Field>& Fields() { return fields_; }
    const Collection<Field>& Fields() const { return fields_; }
    std::shared_ptr<Field> CreateField(std::string name);

  private:
    friend class TableDef;
    friend class Database;
    friend struct detail::Schema;

    void CheckChangeable() const;

    std::string name_;
    bool unique_ = false;
    bool primary_ = false;
    bool ignoreNulls_ = false;
    bool required_ = false;
    Collection<Field> fields_;
    // Set when the index is stored in a table.
    bool stored_ = false;
    long long id_ = 0;
    std::string sqlName_;
};

}  // namespace actualiz::engine
