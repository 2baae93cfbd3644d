#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "app/Controls.h"
#include "app/ErrorModes.h"
#include "engine/Database.h"
#include "engine/Field.h"
#include "engine/Recordset.h"
#include "engine/TableDef.h"
#include "platform/Error.h"

// Small pieces the table and field commands share. They work on the form's controls and on the
// engine exactly as the commands do; nothing here keeps state of its own.
namespace actualiz::sync {

// The record source that opens a whole table for a field listing. The name goes in brackets: a
// table called "Detalles de pedidos" is common in these databases, and without brackets the
// statement would name a table "Detalles" and fail, losing every field of it.
std::string SelectAllFrom(std::string_view table);

// A type code or size kept in a list box, read back as a number the way the classic Val did:
// leading blanks skipped, the leading digits (with an optional sign) taken, 0 when there are none.
long ListNumber(std::string_view text);

// Whether the engine refused a table or field because one of that name is already there. The
// engine compares names without regard to letter case while our lists compare them exactly, so
// "Clientes" against an old "clientes" reaches the engine as missing and comes back as this.
bool AlreadyExists(const Error& error);

// Runs one creation step. When the engine answers that the object already exists, that single
// object is passed over and recorded through the skip-on-error runner, and false is returned so
// the caller goes on with the next one; every other failure propagates. Without this one
// refused name would end the whole command and silently leave out every table or field after it.
template <class Step>
bool PassOverIfExists(app::SkipOnError& record, Step&& step) {
    try {
        std::forward<Step>(step)();
        return true;
    } catch (const Error& e) {
        if (!AlreadyExists(e)) throw;
        record([&e] { throw e; });
        return false;
    }
}

// The three list boxes of a field-list triple: names, type codes and sizes, entry for entry.
struct FieldTriple {
    app::ListBox& names;
    app::ListBox& types;
    app::ListBox& sizes;

    void Clear() {
        names.Clear();
        types.Clear();
        sizes.Clear();
    }
    // Selects the same entry in all three, names first.
    void Select(int position) {
        names.SetListIndex(position);
        types.SetListIndex(position);
        sizes.SetListIndex(position);
    }
};

// Points the data control at a database and a record source and opens them. A refresh that fails
// must not leave the previous listing's record set behind to be read as this table's fields, so
// whatever the control held is released first.
void OpenListing(app::DataControl& data);

// Appends to the triple one entry per field of the data control's open record set, in the
// record set's field order. Every addition is a step of its own that reads the field afresh, run
// through `run` (directly, or through a skip-on-error runner).
template <class Run>
void ListRecordsetFields(app::DataControl& data, FieldTriple triple, Run&& run) {
    // A record set that could not be opened gives no count, and then nothing is listed.
    int count = 0;
    run([&] { count = data.Recordset().Fields().Count(); });
    for (int i = 0; i < count; ++i) {
        run([&] { triple.names.AddItem(data.Recordset().Fields()[i]->Name()); });
        run([&] { triple.types.AddItem(std::to_string(data.Recordset().Fields()[i]->Type())); });
        run([&] { triple.sizes.AddItem(std::to_string(data.Recordset().Fields()[i]->Size())); });
    }
}

// What the field lists do not carry, taken from the model's definition. A new field gets the
// model field's counter attribute, default value and validation rule; Required too unless
// `tableHasRows` (an existing table's rows would hold Null in it at once). AllowZeroLength stays
// as the commands set it.
void CarryFieldProperties(const engine::Field& model, engine::Field& field, bool tableHasRows);
// A new table gets the model table's validation rule and its primary key.
void CarryTableProperties(const engine::TableDef& model, engine::TableDef& table);
// The model's table of that name, or null when the model has none.
std::shared_ptr<engine::TableDef> FindTable(engine::Database& db, const std::string& name);
// Whether the table holds at least one row (reads one row at most).
bool TableHasRows(engine::Database& db, const std::string& table);

// Runs a step directly: the mode of a command that has no error handling of its own.
inline constexpr auto kDirect = [](auto&& step) { step(); };

}  // namespace actualiz::sync
