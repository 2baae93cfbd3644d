// The index commands. They form one chain, each starting the next when it ends:
// Command17_Click records the old database's indexes, Command18_Click removes them from it,
// Command19_Click records the model's indexes and Command16_Click creates them in the old
// database. Each button starts the chain at its own point.

#include "catalogs/IndexCatalog.h"

#include <memory>

#include "app/Actualiz.h"
#include "app/ErrorModes.h"
#include "catalogs/Catalog.h"
#include "catalogs/RemovalGuard.h"
#include "engine/Engine.h"

namespace actualiz::catalogs {

std::string UniqueText(bool unique) {
    return unique ? kUniqueTrue : kUniqueFalse;
}

bool UniqueFromText(std::string_view text) {
    return text == kUniqueTrue;
}

std::string IndexTableView(std::string_view table) {
    return std::string("Select * from ") + kIndexTable + " where " + kIndexTableField + " = " +
           SqlLiteral(table);
}

}  // namespace actualiz::catalogs

namespace actualiz::app {

namespace {

// Which moment List10 is emptied at: the old database's listing empties it before the database
// is opened, the model's just after.
enum class EmptyList { BeforeOpening, AfterOpening };

// The catalog's fields beyond the four the bound text boxes show, written and read through the
// view's own fields when the catalog has them.
bool HasExtraFields(engine::Recordset& view) {
    return view.Fields().Contains(catalogs::kIndexPrimaryField) &&
           view.Fields().Contains(catalogs::kIndexIgnoreNullsField) &&
           view.Fields().Contains(catalogs::kIndexRequiredField) &&
           view.Fields().Contains(catalogs::kIndexDescendingField);
}

void WriteExtraFields(engine::Recordset& view, const engine::Index& index,
                      const engine::Field& field) {
    if (!HasExtraFields(view)) return;
    view.Fields()[catalogs::kIndexPrimaryField]->SetValue(catalogs::UniqueText(index.Primary()));
    view.Fields()[catalogs::kIndexIgnoreNullsField]->SetValue(
        catalogs::UniqueText(index.IgnoreNulls()));
    view.Fields()[catalogs::kIndexRequiredField]->SetValue(catalogs::UniqueText(index.Required()));
    view.Fields()[catalogs::kIndexDescendingField]->SetValue(
        catalogs::UniqueText((field.Attributes() & engine::dbDescending) != 0));
}

bool ExtraFlag(engine::Recordset& view, const char* name) {
    return HasExtraFields(view) && catalogs::UniqueFromText(view.Fields()[name]->Text());
}

// The listing both Command17_Click and Command19_Click run: record every index of the database
// at path, one row per index field, and list its user tables in List10. No error handling of
// its own: a failure ends the listing (the database is released as the stack unwinds).
void ListIndexes(Actualiz& form, const std::string& path, EmptyList whenToEmpty) {
    catalogs::EmptyCatalog(form.Data3, catalogs::kIndexTable);
    if (whenToEmpty == EmptyList::BeforeOpening) form.List10.Clear();

    std::shared_ptr<engine::Database> db = engine::OpenDatabase(path);
    if (whenToEmpty == EmptyList::AfterOpening) form.List10.Clear();

    for (const auto& table : db->TableDefs())
        if (!engine::IsSystemName(table->Name())) form.List10.AddItem(table->Name());

    // Every row of the listing is one transaction of the catalog: a failure on the way leaves
    // none of them.
    engine::WriteGroup writes(form.Data3.Database());

    const int tableCount = form.List10.ListCount();
    for (int i = 0; i < tableCount; ++i) {
        form.List10.SetListIndex(i);
        std::shared_ptr<engine::TableDef> table = db->TableDefs()[form.List10.Text()];
        for (const auto& index : table->Indexes()) {
            // One row per field, in the order of the index's fields: the copy relies on the rows
            // of one index coming one after another in that order.
            for (int j = 1; j <= index->Fields().Count(); ++j) {
                form.Data3.Recordset().AddNew();
                form.Text1(0).SetText(index->Name());
                form.Text1(1).SetText(form.List10.Text());
                form.Text1(2).SetText(index->Fields()[j - 1]->Name());
                form.Text1(3).SetText(catalogs::UniqueText(index->Unique()));
                WriteExtraFields(form.Data3.Recordset(), *index, *index->Fields()[j - 1]);
                form.Data3.UpdateRecord();
            }
        }
    }

    writes.Commit();
    db->Close();
    db.reset();
    form.Data3.Refresh();
}

// Appends a re-created index. A primary key that the rows refuse (a Null in one of its fields)
// still comes as a unique index over the same fields: the table keeps what it had before, and
// the run's report names the rows that keep it from being the key.
void AppendIndex(engine::TableDef& table, const std::shared_ptr<engine::Index>& index) {
    engine::Index& ix = *index;
    try {
        table.Indexes().Append(index);
    } catch (const engine::EngineError& e) {
        if (e.number() != engine::err::kNullInIndex || !ix.Primary()) throw;
        ix.SetPrimary(false);
        ix.SetRequired(false);
        ix.SetUnique(true);
        table.Indexes().Append(index);
    }
}

// Makes one table's rows the index catalog's view.
void ShowTableRows(Actualiz& form, const std::string& table) {
    form.Data3.SetRecordSource(catalogs::IndexTableView(table));
    form.Data3.Refresh();
}

// Command16_Click's phases. Every one runs its steps through the command's skip-on-error runner.

// Selects the i-th table of List10, makes its catalog rows the view and sets Bar4 to count them.
void ShowRowsToCopy(Actualiz& form, SkipOnError& step, int i) {
    step([&] { form.List10.SetListIndex(i); });
    step([&] { ShowTableRows(form, form.List10.Text()); });

    bool hasRows = false;
    step([&] { hasRows = catalogs::HasRows(form.Data3.Recordset()); });
    if (!hasRows) return;
    // Moving to the last row and back makes the row count exact.
    step([&] { form.Data3.Recordset().MoveFirst(); });
    step([&] { form.Data3.Recordset().MoveLast(); });
    step([&] { form.Data3.Recordset().MoveFirst(); });
    step([&] { form.Bar4.SetMax(static_cast<float>(form.Data3.Recordset().RecordCount())); });
    step([&] { form.Bar4.SetValue(0); });
    step([&] { form.Frame13.Refresh(); });
}

// The index being gathered from consecutive catalog rows.
struct Gathering {
    std::shared_ptr<engine::Index> index;
    std::string indexName;
    bool active = false;
};

// The current row starts an index: a new one of its name in the table of List10.
void StartIndex(Actualiz& form, SkipOnError& step, const std::shared_ptr<engine::Database>& db,
                Gathering& g) {
    g.active = true;
    g.indexName = form.Text1(0).Text();
    g.index.reset();
    step([&] { g.index = Require(db).TableDefs()[form.List10.Text()]->CreateIndex(g.indexName); });
}

// The current row's field, appended to the index.
void AddIndexField(Actualiz& form, SkipOnError& step, Gathering& g) {
    step([&] {
        engine::Index& ix = Require(g.index);
        auto field = ix.CreateField(form.Text1(2).Text());
        if (ExtraFlag(form.Data3.Recordset(), catalogs::kIndexDescendingField))
            field->SetAttributes(engine::dbDescending);
        ix.Fields().Append(field);
    });
}

// The index's own properties, as its first row records them.
void SetIndexProperties(Actualiz& form, SkipOnError& step, Gathering& g) {
    step([&] { Require(g.index).SetUnique(catalogs::UniqueFromText(form.Text1(3).Text())); });
    step([&] {
        engine::Recordset& view = form.Data3.Recordset();
        Require(g.index).SetPrimary(ExtraFlag(view, catalogs::kIndexPrimaryField));
        Require(g.index).SetIgnoreNulls(ExtraFlag(view, catalogs::kIndexIgnoreNullsField));
        Require(g.index).SetRequired(ExtraFlag(view, catalogs::kIndexRequiredField));
    });
}

// Moves the view to its next row; whether the walk is at its end. A view that cannot move on is
// at its end as far as this walk goes.
bool MoveToNextRow(Actualiz& form, SkipOnError& step) {
    bool moved = false;
    step([&] {
        form.Data3.Recordset().MoveNext();
        moved = true;
    });
    return !moved || form.Data3.Recordset().Eof();
}

// The gathered index, appended to the table of List10.
void AppendGathered(Actualiz& form, SkipOnError& step, const std::shared_ptr<engine::Database>& db,
                    Gathering& g) {
    step([&] {
        std::shared_ptr<engine::TableDef> table = Require(db).TableDefs()[form.List10.Text()];
        Require(g.index);
        AppendIndex(*table, g.index);
    });
    g.active = false;
}

// Creates the indexes of the view's rows. The listing wrote the fields of one index as
// consecutive rows in field order. They are gathered into one index over all its fields: an index
// made of the first field alone would be a different index, and a unique one could even refuse
// the table's data.
void CreateListedIndexes(Actualiz& form, SkipOnError& step,
                         const std::shared_ptr<engine::Database>& db) {
    Gathering g;
    bool atEnd = true;
    step([&] { atEnd = form.Data3.Recordset().Eof(); });
    while (!atEnd) {
        step([&] { form.Bar4.SetValue(form.Bar4.Value() + 1); });
        step([&] { form.Frame13.Refresh(); });

        const bool startsIndex = !g.active || form.Text1(0).Text() != g.indexName;
        if (startsIndex) StartIndex(form, step, db, g);
        AddIndexField(form, step, g);
        if (startsIndex) SetIndexProperties(form, step, g);

        atEnd = MoveToNextRow(form, step);
        // The index is complete once the next row belongs to another index (or there is none).
        if (atEnd || form.Text1(0).Text() != g.indexName) AppendGathered(form, step, db, g);
    }
}

}  // namespace

void Actualiz::Command17_Click() {
    CommandScope scope(*this, "Command17_Click");
    ListIndexes(*this, Text4.Text(), EmptyList::BeforeOpening);
    Command18_Click();
}

// Removes the recorded indexes of the old database's tables that the model also has: those get
// the model's indexes next. A table the model lacks keeps its own, since nothing would re-create
// them. A model that cannot be opened ends the chain here, before anything is removed.
void Actualiz::Command18_Click() {
    CommandScope scope(*this, "Command18_Click");
    // Nothing is removed unless what replaces it can be read and recorded.
    catalogs::CheckBeforeIndexRemoval(*this);
    std::shared_ptr<engine::Database> model = engine::OpenDatabase(Text3.Text());
    std::shared_ptr<engine::Database> db = engine::OpenDatabase(Text4.Text());

    const int tableCount = List10.ListCount();
    for (int i = 0; i < tableCount; ++i) {
        List10.SetListIndex(i);
        if (!model->TableDefs().Contains(List10.Text())) continue;
        ShowTableRows(*this, List10.Text());
        engine::Recordset& view = Data3.Recordset();
        if (!catalogs::HasRows(view)) continue;
        view.MoveFirst();
        while (!view.Eof()) {
            std::shared_ptr<engine::TableDef> table = db->TableDefs()[List10.Text()];
            // An index of several fields has one row per field: its first row removed it, and
            // the rows after find it gone. That is expected, not a failure.
            if (table->Indexes().Contains(Text1(0).Text()))
                table->Indexes().Delete(Text1(0).Text());
            view.MoveNext();
        }
    }

    db->Close();
    db.reset();
    model->Close();
    model.reset();
    Command19_Click();
}

void Actualiz::Command19_Click() {
    CommandScope scope(*this, "Command19_Click");
    ListIndexes(*this, Text3.Text(), EmptyList::AfterOpening);
    Command16_Click();
}

void Actualiz::Command16_Click() {
    // From the first step to the last, a failing step is passed over (and recorded): one index the
    // old table refuses must not keep the others from being created.
    SkipOnError step(*this, "Command16_Click");

    std::shared_ptr<engine::Database> db;
    step([&] { db = engine::OpenDatabase(Text4.Text()); });

    const int tableCount = List10.ListCount();
    for (int i = 0; i < tableCount; ++i) {
        ShowRowsToCopy(*this, step, i);
        CreateListedIndexes(*this, step, db);
    }

    step([&] { Require(db).Close(); });
}

}  // namespace actualiz::app
