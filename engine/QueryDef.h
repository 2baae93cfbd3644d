#pragma once

#include <string>
#include <vector>

namespace actualiz::engine {

// A stored query: its name and its SQL text exactly as given.
class QueryDef {
  public:
    QueryDef(std::string name, std::string sql);

    std::string Name() const { return name_; }
    std::string SQL() const { return sql_; }
    // The names its PARAMETERS declaration gives, in order (empty without one). Values for them
    // are passed to Database::OpenRecordset.
    std::vector<std::string> Parameters() const;

    // Whether the query is stored in the database; the engine marks it as it stores and deletes it.
    bool Stored() const { return stored_; }
    void MarkStored() { stored_ = true; }
    void MarkUnstored() { stored_ = false; }

  private:
    std::string name_;
    std::string sql_;
    bool stored_ = false;
};

}  // namespace actualiz::engine
