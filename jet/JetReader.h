#pragma once

// Reading real Jet files (.mdb of the classic engine: Jet 3, Jet 4 and the later ACE format).
//
// The engine writes its own SQLite-based files; people bring databases made by the classic
// engine. This reader turns such a file into the structure document that BuildDatabase takes
// (engine/SchemaJson.h): what the classic engine's objects would show of it.
//
//  - Tables: every user table (not the "MSys" system tables, not linked tables), fields in their
//    order with the classic type codes (Decimal is 20, GUID 15), sizes, and Required and
//    AllowZeroLength as the file's column properties record them (False when not recorded).
//  - Indexes: every index the table's Indexes collection shows, with fields in order, descending
//    fields, Unique, Primary and IgnoreNulls. That includes the index the classic engine keeps
//    on the foreign table of an enforced relation (named like the relation); the hidden indexes
//    it keeps on the other side of such a relation (names starting with ".") are left out.
//  - Relations: from MSysRelationships, with the field pairs in order and the attributes exactly
//    as the file's bits; relations of system tables are left out.
//  - Queries: every stored query with its SQL text rebuilt from its MSysQueries rows
//    (jet/JetQuerySql.h). Names starting with "~" (the hidden queries behind forms and
//    controls, "~sq_...") only when asked for.
//  - Rows: every row of every user table, unless only the structure is asked for.
//
// What the document cannot hold is reported, one Spanish line per matter, never dropped silently:
// attachment and multi-value columns, column types the engine has no code for, linked tables,
// autonumbering, default values and validation rules, connection strings of pass-through queries.
//
// Reading needs libmdb (mdbtools); a build without it recognises Jet files but refuses to read
// them with 3343 and a text that says why.
//
// This layer sits on the engine (it builds engine databases); the engine opens a Jet file only
// through the opening each program installs with InstallJetOpening (engine/ForeignFiles.h).

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/Database.h"

namespace actualiz::engine {

struct JetReadOptions {
    bool includeRows = true;
    bool includeHiddenQueries = false;  // the "~" queries
};

struct JetContents {
    nlohmann::json document;              // the structure document, with "rows" when read
    std::vector<std::string> notCarried;  // what the document cannot hold
    int jetVersion = 0;                   // 3 or 4 (4 also for the later ACE files)
};

// True when the file starts like a classic engine database ("Standard Jet DB" or
// "Standard ACE DB" after the first four bytes). Reads 32 bytes and never writes.
bool IsJetFile(const std::filesystem::path& file);

// True when this build can read Jet files.
bool CanReadJetFiles();

// Reads a Jet file (a host path). 3024 when it is missing, 3343 when it is no Jet file or libmdb
// cannot read it. The file is opened for reading only.
JetContents ReadJetFile(const std::filesystem::path& file, const JetReadOptions& options = {});

// Where a reading hands each table's rows over as it reads them, so that no more than one row
// is held at a time (ReadJetFileRows).
class JetRowSink {
  public:
    virtual ~JetRowSink() = default;
    // A table whose rows come next: its document without indexes and rows, its fields as the
    // file's definition gives them. ReadJetFileRows's document may give some of them another
    // Required, AllowZeroLength or size afterwards: those of the file that its rows break.
    virtual void Table(const nlohmann::json& table) = 0;
    // One row of that table, a value for each of its fields in their order.
    virtual void Row(const std::vector<Value>& values) = 0;
    // A sink whose whole outcome is a short summary (digests, counts) may take the rows in the
    // reading child itself (ReadJetFileRows): the rows then never cross to this process, and
    // this sink takes the child's summary of them instead (TakeSummary) before the reading
    // returns. Its Table and Row run in the child, on the copy of it the child has.
    virtual bool TakesRowsInChild() const { return false; }
    virtual nlohmann::json Summary() const { return nullptr; }
    virtual void TakeSummary(const nlohmann::json&) {}
};

// As ReadJetFile, but each table's rows go to sink as they are read (when options include them),
// and the document's tables have no "rows". What sink throws ends the reading and propagates.
JetContents ReadJetFileRows(const std::filesystem::path& file, const JetReadOptions& options,
                            JetRowSink& sink);

// Every row of one table of a Jet file, system tables included ("MSysObjects", "MSysQueries"),
// with its column names in order: the file's own bookkeeping, for tools and tests. 3265 when the
// file has no such table.
struct JetTableRows {
    std::vector<std::string> columns;
    std::vector<std::vector<Value>> rows;
};
JetTableRows ReadJetTable(const std::filesystem::path& file, const std::string& table);

// Reads a Jet file and writes it as a new engine database at outPath (a Windows or host path;
// 3204 when a file is there). Tables, fields, rows and indexes are all or nothing; a relation or
// query the engine refuses is reported in notCarried and the rest goes on. notCarried may be null.
// The rows go into the database as they are read, never all held. rows, when given, sees each
// table and its rows as they go in; should the import start over (rows that break the file's
// own settings), it sees them again from the first table.
std::shared_ptr<Database> ImportJetFile(const std::filesystem::path& jetFile,
                                        std::string_view outPath, const JetReadOptions& options,
                                        std::vector<std::string>* notCarried,
                                        JetRowSink* rows = nullptr);

// As ImportJetFile, from what ReadJetFile read of the file.
std::shared_ptr<Database> ImportJetContents(JetContents contents, std::string_view outPath,
                                            std::vector<std::string>* notCarried);

// The engine database that stands for a Jet file when it is opened: an import of it made once per
// process (again when the file changes) into a private temporary folder, with no write
// permission, so that the engine opens it read-only. The folder goes when the process ends.
std::filesystem::path JetReadingCopy(const std::filesystem::path& jetFile);

// Lets OpenDatabase open a real Jet file, read-only through its JetReadingCopy. Each program calls
// it once at start, before it opens any database.
void InstallJetOpening();

// Opens a Jet file read-only: table definitions report Updatable False, every change raises 3027,
// record sets can be read. path is a Windows or host path. Installs the Jet opening itself.
std::shared_ptr<Database> OpenJetDatabase(std::string_view path);

// Where the notes of JetReadingCopy's imports go (what a Jet file opened read-only holds and the
// engine cannot show); standard error unless set. An empty function drops them.
void SetJetNoteSink(std::function<void(const std::string&)> sink);

}  // namespace actualiz::engine
