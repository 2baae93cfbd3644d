// "Transformar" (Command27), the one action of the window: adds the general-expenses table
// gastosgen to the warehouse database almacen.mdb in the data folder, with three indexes and the
// relation codigo from the suppliers table proveedores.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Actualiz.h"
#include "app/DatabaseWriting.h"
#include "engine/Engine.h"
#include "migrations/NewTable.h"

namespace actualiz::app {

namespace {

// One row per expense. refcodbarras is the only 100-character field; vencimiento is text (the
// due date as the supplier writes it), not a date.
const migrations::NewField kGastosgenFields[] = {
    {"nombreempresa", engine::dbText, 50, true, false},
    {"refcodbarras", engine::dbText, 100, true, false},
    {"codigoproveedor", engine::dbLong, {}, false, true},
    {"proveedor", engine::dbText, 50, true, false},
    {"codpedido", engine::dbLong, {}, false, true},
    {"fecha", engine::dbDate, {}, false, true},
    {"formapago", engine::dbText, 50, true, false},
    {"mediante", engine::dbText, 50, true, false},
    {"importe", engine::dbDouble, {}, false, true},
    {"observaciones", engine::dbMemo, {}, true, true},
    {"pagado", engine::dbBoolean, {}, false, true},
    {"formapagoreal", engine::dbText, 50, true, false},
    {"fechapago", engine::dbDate, {}, false, true},
    {"nfactu", engine::dbText, 50, true, false},
    {"vencimiento", engine::dbText, 50, true, false},
};

// Each index bears the name of its one field.
const char* const kGastosgenIndexes[] = {"nombreempresa", "codpedido", "codigoproveedor"};

// The command checks only that a table named gastosgen exists, so after a failure in pass 2 or 3
// a second run finds the half-built table and does nothing more. The engine's error alone would
// not tell the user that. Rather than a message box of our own followed by the error (two boxes
// for one failure, and nothing of it in actualiz-cli's "errors"), the failure itself carries the
// news: it keeps the engine's number, its text comes first, and a sentence after it says what
// stays missing. It then goes on, untrapped, to whoever started the command, which shows it with
// its number (the window) or records it (the runner), like any other failure.
Error WithWhatStaysMissing(const Error& e, const std::vector<std::string>& missingIndexes) {
    std::string missing;
    if (!missingIndexes.empty()) {
        missing = missingIndexes.size() == 1 ? "sin el índice " : "sin los índices ";
        for (std::size_t i = 0; i < missingIndexes.size(); ++i)
            missing += (i ? ", " : "") + missingIndexes[i];
        missing += " y ";
    }
    missing += "sin la relación codigo con proveedores";
    return Error(e.number(), e.description() + "\nLa tabla gastosgen queda " + missing +
                                 ". Una nueva ejecución encuentra la tabla y no construye nada.");
}

}  // namespace

void Actualiz::Command27_Click() {
    // No step of this command has an error trap: the first failure ends it and reaches whoever
    // started it. Each pass closes the database, which keeps what it built.
    Text4.SetText(Dir1.Path() + "\\almacen.mdb");
    // A real Access file is changed through a stand-in for the whole command and written once,
    // before "Terminado": what cannot be written there yet is refused with the file as it was.
    bool tableThere = false;
    ChangingDatabase(Text4.Text(), [&] {
        // ---- Pass 1: is the table there already? If not, create it.
        std::shared_ptr<engine::Database> db = engine::OpenDatabase(Text4.Text());

        // Finding ours, there is nothing to do and nothing to say.
        if (migrations::HasTableNamed(*db, "gastosgen")) {
            tableThere = true;
            return;  // db is released out of scope
        }
        migrations::AppendNewTable(*db, "gastosgen", kGastosgenFields);
        db->Close();

        // ---- Pass 2: the indexes, on a fresh open.
        std::vector<std::string> missingIndexes(std::begin(kGastosgenIndexes),
                                                std::end(kGastosgenIndexes));
        try {
            db = engine::OpenDatabase(Text4.Text());
            for (const char* name : kGastosgenIndexes) {
                std::shared_ptr<engine::TableDef> table = db->TableDefs()["gastosgen"];
                std::shared_ptr<engine::Index> idx = table->CreateIndex(name);
                std::shared_ptr<engine::Field> fld = idx->CreateField(name);
                idx->Fields().Append(fld);
                idx->SetUnique(false);
                db->TableDefs()["gastosgen"]->Indexes().Append(idx);
                missingIndexes.erase(missingIndexes.begin());
            }
            db->Close();
        } catch (const Error& e) {
            throw WithWhatStaysMissing(e, missingIndexes);
        }

        // ---- Pass 3: the relation, on a fresh open. Attributes 2 (not enforced): existing
        // expenses need not name a supplier that is on file.
        try {
            db = engine::OpenDatabase(Text4.Text());
            std::shared_ptr<engine::Relation> rel = db->CreateRelation(
                "codigo", "proveedores", "gastosgen", engine::dbRelationDontEnforce);
            rel->Fields().Append(rel->CreateField("codigoproveedor"));
            rel->Fields()["codigoproveedor"]->SetForeignName("codigoproveedor");
            db->Relations().Append(rel);
            db->Close();
        } catch (const Error& e) {
            throw WithWhatStaysMissing(e, {});
        }
    });
    if (tableThere) {
        SetMigrationOutcome(MigrationOutcome::TableThere);
        return;
    }

    SetMigrationOutcome(MigrationOutcome::Done);
    host().MsgBox("Terminado", MsgIcon::Information, Title());
    End();
}

}  // namespace actualiz::app
