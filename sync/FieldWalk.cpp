#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/Actualiz.h"
#include "app/ErrorModes.h"
#include "engine/Engine.h"
#include "engine/ForeignFiles.h"
#include "platform/NameFold.h"
#include "sync/Steps.h"

namespace actualiz::app {

namespace {

// Where each name of the old tables' list (List3) first stands: by the name exactly and by the
// name as the engine compares it (letter case ignored). Made once for the walk, which looks up
// every model table in it, and not changed by the walk.
class OldTableNames {
  public:
    explicit OldTableNames(const ListBox& List3) : count_(List3.ListCount()) {
        for (int j = 0; j < count_; ++j) {
            const std::string& name = List3.Items()[static_cast<std::size_t>(j)];
            exact_.emplace(name, j);  // the first of a name stays
            const std::vector<char32_t> folded = platform::FoldedCodePoints(name);
            folded_.emplace(std::u32string(folded.begin(), folded.end()), j);
        }
    }

    // Selects in List3 the old table that goes with the model table selected in List2 and says
    // whether there is one. The exact name comes first. Failing that, a name that differs only in
    // letter case is the same table to the engine, so that one is walked. With neither, nothing
    // must be compared with whatever old table happens to be selected: its fields would be
    // appended to the wrong table. List3 is left on the entry found, else on its last entry.
    bool Select(const ListBox& List2, ListBox& List3) const {
        if (count_ == 0) return false;
        const std::string name = List2.Text();
        if (auto it = exact_.find(name); it != exact_.end()) {
            List3.SetListIndex(it->second);
            return true;
        }
        const std::vector<char32_t> folded = platform::FoldedCodePoints(name);
        if (auto it = folded_.find(std::u32string(folded.begin(), folded.end()));
            it != folded_.end()) {
            List3.SetListIndex(it->second);
            return true;
        }
        List3.SetListIndex(count_ - 1);
        return false;
    }

  private:
    int count_;
    std::unordered_map<std::string, int> exact_;
    std::unordered_map<std::u32string, int> folded_;
};

// How the walk runs a step: directly until the first table that needed fields, through
// skip-on-error from then on.
class WalkStep {
  public:
    explicit WalkStep(SkipOnError& skip) : skip_(skip) {}
    template <class Body>
    void operator()(Body&& body) {
        if (skipping_)
            skip_(body);
        else
            body();
    }
    void StartSkipping() { skipping_ = true; }
    SkipOnError& Recorder() { return skip_; }

  private:
    SkipOnError& skip_;
    bool skipping_ = false;
};

// Fills toAdd with the model fields (List1(0..2)) whose names the old listing (List5(0)) lacks.
// A matched old name leaves List5(0), so it ends up holding what the old table has beyond the
// model.
void ListMissingFields(Actualiz& form, WalkStep& step, sync::FieldTriple& model,
                       sync::FieldTriple& toAdd, ListBox& oldNames) {
    toAdd.Clear();
    form.Bar3.SetValue(0);
    form.Bar3.SetMax(static_cast<float>(model.names.ListCount()));

    for (int k = 0; k < model.names.ListCount(); ++k) {
        form.Bar3.SetValue(static_cast<float>(k + 1));
        step([&] { form.Frame13.Refresh(); });
        model.Select(k);
        bool found = false;
        const int n = oldNames.ListCount() - 1;
        for (int m = 0; m <= n; ++m) {
            oldNames.SetListIndex(m);
            if (oldNames.Text() == model.names.Text()) {
                found = true;
                break;
            }
        }
        if (!found) {
            toAdd.names.AddItem(model.names.Text());
            toAdd.types.AddItem(model.types.Text());
            toAdd.sizes.AddItem(model.sizes.Text());
        } else {
            oldNames.RemoveItem(oldNames.ListIndex());
        }
    }
}

// What the fields are appended to, and what they are taken from. Under skip-on-error a database
// that could not be opened stays unset, and every step that needs it fails in turn (and is
// recorded) while the bars go on.
struct WalkTargets {
    std::shared_ptr<engine::Database> db;
    std::shared_ptr<engine::TableDef> tdf;
    std::shared_ptr<engine::Database> modelDb;
    std::shared_ptr<engine::TableDef> modelTable;
    bool hasRows = true;
};

// Opens the old table (List3 in the old database, Text4) and the model's definition of the
// table (List2 in the model, Text3): the model gives what the lists do not hold.
WalkTargets OpenTargets(Actualiz& form, WalkStep& step) {
    WalkTargets t;
    step([&] { t.db = engine::OpenDatabase(form.Text4.Text()); });
    step([&] { t.tdf = Require(t.db).TableDefs()[form.List3.Text()]; });
    step([&] {
        t.modelDb = engine::OpenDatabase(form.Text3.Text());
        t.modelTable = sync::FindTable(*t.modelDb, form.List2.Text());
    });
    step([&] { t.hasRows = sync::TableHasRows(Require(t.db), form.List3.Text()); });
    return t;
}

// Whether a failure came from the moment rather than from the field itself: no room on the disk,
// the file held by someone else. A rerun may then append the field.
bool MayPassOnRerun(int number) {
    return number == err::kDiskIo || number == err::kDiskFull || number == err::kTableInUse ||
           number == err::kFileInUse;
}

// Appends the selected entry of toAdd to the old table. A field that would be required in a
// table that already has rows is appended as not required. Gives the number of the failure that
// kept the engine from appending it, 0 when there was none.
int AppendField(WalkStep& step, const sync::FieldTriple& toAdd, const WalkTargets& t) {
    std::shared_ptr<engine::Field> fld;
    step([&] {
        fld = Require(t.tdf).CreateField(toAdd.names.Text(),
                                         static_cast<short>(sync::ListNumber(toAdd.types.Text())),
                                         sync::ListNumber(toAdd.sizes.Text()));
    });
    step([&] {
        if (sync::ListNumber(toAdd.types.Text()) == engine::dbText)
            Require(fld).SetAllowZeroLength(true);
    });
    step([&] {
        if (sync::ListNumber(toAdd.types.Text()) == engine::dbMemo)
            Require(fld).SetAllowZeroLength(true);
    });
    step([&] {
        if (t.modelTable && t.modelTable->Fields().Contains(toAdd.names.Text()))
            sync::CarryFieldProperties(*t.modelTable->Fields()[toAdd.names.Text()], Require(fld),
                                       t.hasRows);
    });
    // A field the old table has under another letter case is refused by the engine; that one
    // field is passed over and the rest still get appended.
    int failure = 0;
    step([&] {
        Require(fld);
        try {
            sync::PassOverIfExists(step.Recorder(), [&] { Require(t.tdf).Fields().Append(fld); });
        } catch (const Error& e) {
            failure = e.number();
            throw;
        }
    });
    return failure;
}

}  // namespace

// "Recorrer Tablas": for every model table, appends to the old table of the same name each field
// the model has and the old one lacks. Only names are compared; a field present on both sides
// keeps its old type and size, and fields only the old table has stay.
//
// The walk starts with no error handling of its own and switches to skip-on-error after the
// first table that needed fields: from then on one table's trouble must not cost the others
// their fields.
void Actualiz::Command12_Click() {
    CommandScope scope(*this, "Command12_Click");
    // A real Access file is changed through a stand-in, written back when the command (or the
    // pair the driver is upgrading) ends.
    engine::ForeignFileWriting writing(Text4.Text());
    SkipOnError skip(*this, "Command12_Click");
    WalkStep step(skip);

    sync::FieldTriple model{List1(0), List1(1), List1(2)};
    sync::FieldTriple toAdd{List1(3), List1(4), List1(5)};
    ListBox& oldNames = List5(0);

    Bar2.SetValue(0);
    Bar2.SetMax(static_cast<float>(List2.ListCount()));
    const OldTableNames oldTables(List3);

    for (int i = 0; i < List2.ListCount(); ++i) {
        Bar2.SetValue(static_cast<float>(i + 1));
        // The repaint reaches out to the view, so it is a step like the others: after the
        // switch a failing one is passed over.
        step([&] { Frame13.Refresh(); });
        List2.SetListIndex(i);

        if (!oldTables.Select(List2, List3)) continue;

        // The old listing first, then the model's: Data1 is thereby left on the model database
        // while the old one is changed below.
        step([&] { Command11_Click(); });
        step([&] { Command10_Click(); });

        ListMissingFields(*this, step, model, toAdd, oldNames);
        if (toAdd.names.ListCount() == 0) continue;

        // Fields go in at the end, in the model's order. When one could not go in for a reason
        // a rerun may not meet, the table's later fields wait for that rerun too: appended now,
        // they would stand before it for good.
        const WalkTargets targets = OpenTargets(*this, step);
        for (int p = 0; p < toAdd.names.ListCount(); ++p) {
            toAdd.Select(p);
            if (MayPassOnRerun(AppendField(step, toAdd, targets))) break;
        }
        step.StartSkipping();
        step([&] { Require(targets.db).Close(); });
        if (targets.modelDb) step([&] { targets.modelDb->Close(); });
    }
    writing.Finish();
}

}  // namespace actualiz::app
