#pragma once

#include <functional>
#include <memory>
#include <string>

#include "engine/Collection.h"
#include "engine/Field.h"

namespace actualiz::engine {

class Database;
namespace detail {
class RecordsetState;
}

// A record set over a table, a stored query or one SELECT statement, with the classic engine's
// navigation: on an empty set BOF and EOF are both true; MoveNext past the last row sets EOF;
// moving while BOF and EOF raises 3021. After Delete the deleted row stays current (its fields
// raise 3167) until the next move. RecordCount is always exact.
//
// A set over plain columns of one table reads only its shape when it is opened; the first
// question about its rows reads their row ids (in set order), and the values come in batches as
// the set moves, so its memory does not grow with the table's values. Joins, groupings and
// computed sets read their rows when they are opened. No SQLite statement stays open between
// calls, so an open record set never blocks another connection that changes the same file. Sets
// over one table are updatable; joins, groupings and computed sets are read-only (3027).
class Recordset {
  public:
    // Made by Database::OpenRecordset over the state it has set up.
    explicit Recordset(std::shared_ptr<detail::RecordsetState> state);
    ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    bool BOF() const;
    bool Eof() const;  // EOF is a C macro
    void MoveFirst();
    void MoveNext();
    void MovePrevious();
    void MoveLast();

    void AddNew();
    void Edit();
    void Update();
    void Delete();
    void CancelUpdate();

    long RecordCount() const;
    Collection<Field>& Fields();
    bool Updatable() const;
    // 0 none, 1 Edit, 2 AddNew (the classic EditMode values).
    int EditMode() const;
    void Close();

    // For data controls: called after every change of the current row (moves, AddNew, Delete,
    // CancelUpdate, Update), and at the start of Update() so bound text boxes can be written into
    // the fields first.
    void OnCurrentChanged(std::function<void()> callback);
    void OnBeforeUpdate(std::function<void()> callback);

  private:
    std::shared_ptr<detail::RecordsetState> state_;
};

}  // namespace actualiz::engine
