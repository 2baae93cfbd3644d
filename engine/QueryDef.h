#pragma once

#include <string>
#include <vector>

namespace actualiz::engine {

namespace detail {
struct Schema;
}

// A stored query: its name and its SQL text exactly as given.
class QueryDef {
  public:
    QueryDef(std::string name, std::string sql);

    std::string Name() const { return name_; }
    std::string SQL() const { return sql_; }
    // The names its PARAMETERS declaration gives, in order (empty without one). Values for them
    // are passed to Database::OpenRecordset.
    std::vector<std::string> Parameters() const;

  private:
    friend class Database;
    friend struct detail::Schema;

    std::string name_;
    std::string sql_;
    bool stored_ = false;
};

}  // namespace actualiz::engine
