#include "migrations/NewTable.h"

#include <memory>
#include <optional>
#include <string>

#include "app/DatabaseWriting.h"
#include "app/ErrorModes.h"

namespace actualiz::app::migrations {

bool HasTableNamed(engine::Database& db, std::string_view name) {
    for (const auto& existing : db.TableDefs()) {
        if (engine::IsSystemName(existing->Name())) continue;
        if (existing->Name() == name) return true;
    }
    return false;
}

void AppendNewTable(engine::Database& db, const char* table, std::span<const NewField> fields) {
    std::shared_ptr<engine::TableDef> tdf = db.CreateTableDef(table);
    for (const NewField& f : fields) {
        std::shared_ptr<engine::Field> fld = tdf->CreateField(f.name, f.type, f.size);
        if (f.requiredSetFalse) fld->SetRequired(false);
        if (f.allowZeroLength) fld->SetAllowZeroLength(true);
        tdf->Fields().Append(fld);
    }
    db.TableDefs().Append(tdf);
}

IndexPhaseReport AppendIndexesPassingFailuresOver(Actualiz& form, const char* command,
                                                  const char* table,
                                                  std::span<const char* const> indexes) {
    SkipOnError step(form, command);
    IndexPhaseReport report(form);
    std::shared_ptr<engine::Database> db;
    step([&] { db = engine::OpenDatabase(form.Text4.Text()); });
    report.MarkOpen();

    for (const char* name : indexes) {
        // Fresh references for every index: when a creation step fails, the steps after it must
        // fail for want of the object rather than work on the index before.
        std::shared_ptr<engine::TableDef> tdf;
        std::shared_ptr<engine::Index> idx;
        std::shared_ptr<engine::Field> fld;
        step([&] { tdf = Require(db).TableDefs()[table]; });
        step([&] { idx = Require(tdf).CreateIndex(name); });
        step([&] { fld = Require(idx).CreateField(name); });
        step([&] {
            Require(fld);
            Require(idx).Fields().Append(fld);
        });
        step([&] { Require(idx).SetUnique(false); });
        step([&] {
            Require(idx);
            Require(db).TableDefs()[table]->Indexes().Append(idx);
        });
        report.MarkIndex(name);
    }

    step([&] { Require(db).Close(); });
    report.MarkClose();
    return report;
}

void AddClientsTable(Actualiz& form, const char* command, const char* table,
                     std::span<const NewField> fields, std::span<const char* const> indexes) {
    form.Text4.SetText(form.Dir1.Path() + "\\" + "clientes.mdb");
    // A real Access file is changed through a stand-in for the whole command and written once,
    // before the user is told anything: "Terminado" only over a file that holds the table.
    bool tableThere = false;
    std::optional<IndexPhaseReport> report;
    ChangingDatabase(form.Text4.Text(), [&] {
        // ---- Phase 1: is the table there already? If not, create it. No error trap: a
        // database that cannot be opened, or a table the engine refuses, ends the command here,
        // and the file is only written by the Append to TableDefs.
        std::shared_ptr<engine::Database> db = engine::OpenDatabase(form.Text4.Text());
        if (HasTableNamed(*db, table)) {
            tableThere = true;
            return;  // the database is released as db goes out of scope
        }
        AppendNewTable(*db, table, fields);
        db->Close();

        // ---- Phase 2: the indexes, every step in skip-on-error mode on a fresh open.
        report.emplace(AppendIndexesPassingFailuresOver(form, command, table, indexes));
    });
    if (tableThere) {
        form.SetMigrationOutcome(Actualiz::MigrationOutcome::TableThere);
        form.host().MsgBox(std::string("La tabla ") + table + " ya existe", MsgIcon::Critical,
                           Actualiz::Title());
        return;
    }

    // Telling "Terminado" over a table that lacks indexes would be telling the user a failure is
    // a success: when any index step failed, say which indexes are missing and why, and keep the
    // program open so the user can read it and act.
    if (!report->Clean()) {
        form.SetMigrationOutcome(Actualiz::MigrationOutcome::IndexesMissing);
        form.host().MsgBox(report->Message(table), MsgIcon::Critical, Actualiz::Title());
        return;
    }
    form.SetMigrationOutcome(Actualiz::MigrationOutcome::Done);
    form.host().MsgBox("Terminado", MsgIcon::Information, Actualiz::Title());
    form.End();
}

}  // namespace actualiz::app::migrations
