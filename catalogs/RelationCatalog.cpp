// The relation commands: Command22_Click records the model's relations and lists both
// databases' relations, then runs Command20_Click, which deletes the old database's listed
// relations, and Command21_Click, which creates the recorded ones in it.

#include "catalogs/RelationCatalog.h"

#include <charconv>
#include <memory>

#include "app/Actualiz.h"
#include "app/ErrorModes.h"
#include "catalogs/Catalog.h"
#include "catalogs/RemovalGuard.h"
#include "engine/Engine.h"
#include "platform/ErrorNumbers.h"

namespace actualiz::catalogs {

std::string RelationView(std::string_view relationName) {
    return std::string("Select * from ") + kRelationTable + " where " + kRelationNameField + " = " +
           SqlLiteral(relationName);
}

std::string AttributesText(long attributes) {
    return std::to_string(attributes);
}

long AttributesFromText(std::string_view text) {
    // Blanks around the number are allowed, as in the classic conversion.
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    long value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size())
        throw Error(err::kTypeMismatch, "No coinciden los tipos");
    return value;
}

}  // namespace actualiz::catalogs

namespace actualiz::app {

void Actualiz::Command22_Click() {
    CommandScope scope(*this, "Command22_Click");
    std::shared_ptr<engine::Database> model = engine::OpenDatabase(Text3.Text());
    catalogs::EmptyCatalog(Data4, catalogs::kRelationTable);
    List9(0).Clear();
    List9(1).Clear();

    // Every row of the listing is one transaction of the catalog: a failure on the way leaves
    // none of them.
    engine::WriteGroup writes(Data4.Database());
    for (const auto& relation : model->Relations()) {
        if (engine::IsSystemName(relation->Name())) continue;
        List9(0).AddItem(relation->Name());
        for (int j = 1; j <= relation->Fields().Count(); ++j) {
            std::shared_ptr<engine::Field> field = relation->Fields()[j - 1];
            Data4.Recordset().AddNew();
            Text6(0).SetText(relation->Name());
            Text6(1).SetText(relation->Table());
            Text6(2).SetText(relation->ForeignTable());
            Text6(3).SetText(catalogs::AttributesText(relation->Attributes()));
            Text6(4).SetText(field->Name());
            Text6(5).SetText(field->ForeignName());
            Data4.UpdateRecord();
        }
    }

    writes.Commit();
    Data4.Refresh();
    model->Close();
    model.reset();

    std::shared_ptr<engine::Database> old = engine::OpenDatabase(Text4.Text());
    for (const auto& relation : old->Relations())
        if (!engine::IsSystemName(relation->Name())) List9(1).AddItem(relation->Name());
    old->Close();
    old.reset();

    Command20_Click();
    Command21_Click();
}

void Actualiz::Command20_Click() {
    CommandScope scope(*this, "Command20_Click");
    catalogs::CheckBeforeRelationRemoval(*this);
    std::shared_ptr<engine::Database> db = engine::OpenDatabase(Text4.Text());
    const int count = List9(1).ListCount();
    for (int i = 0; i < count; ++i) {
        List9(1).SetListIndex(i);
        db->Relations().Delete(List9(1).Text());
    }
    db->Close();
}

void Actualiz::Command21_Click() {
    CommandScope scope(*this, "Command21_Click");
    std::shared_ptr<engine::Database> db = engine::OpenDatabase(Text4.Text());

    // A relation the old database refuses (a table or field it lacks, a name it already has) is
    // passed over and recorded, so that it does not silently take every later relation with it.
    SkipOnError refused(*this, "Command21_Click");

    const int count = List9(0).ListCount();
    for (int i = 0; i < count; ++i) {
        List9(0).SetListIndex(i);
        Data4.SetRecordSource(catalogs::RelationView(List9(0).Text()));
        Data4.Refresh();
        engine::Recordset& view = Data4.Recordset();
        if (!catalogs::HasRows(view)) continue;

        // Moving to the last row and back makes the row count exact. The panel is repainted only
        // once the bar moves.
        view.MoveFirst();
        view.MoveLast();
        view.MoveFirst();
        Bar5.SetMax(static_cast<float>(view.RecordCount()));
        Bar5.SetValue(0);

        refused([&] {
            // Name, tables and attributes come from the first row; every row adds one field pair.
            std::shared_ptr<engine::Relation> relation =
                db->CreateRelation(Text6(0).Text(), Text6(1).Text(), Text6(2).Text(),
                                   catalogs::AttributesFromText(Text6(3).Text()));
            while (!view.Eof()) {
                Bar5.SetValue(Bar5.Value() + 1);
                Frame13.Refresh();
                relation->Fields().Append(relation->CreateField(Text6(4).Text()));
                relation->Fields()[Text6(4).Text()]->SetForeignName(Text6(5).Text());
                view.MoveNext();
            }
            db->Relations().Append(relation);
        });
    }

    db->Close();
}

}  // namespace actualiz::app
