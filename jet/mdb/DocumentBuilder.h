#pragma once

// From a Jet file's objects to the structure document (engine/SchemaJson.h): tables with their
// fields, indexes and rows, relations and queries, and a note for everything the document cannot
// hold. DocumentTables.cpp reads the tables; DocumentBuilder.cpp the rest.

#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "jet/JetReader.h"
#include "jet/mdb/MdbFile.h"
#include "jet/mdb/RowWalker.h"
#include "jet/mdb/TableDefinition.h"

namespace actualiz::engine::jet {

class DocumentBuilder {
  public:
    // With a sink, the rows go there as they are read instead of into the document.
    DocumentBuilder(const JetFile& file, const JetReadOptions& options, JetRowSink* sink = nullptr)
        : file_(file), options_(options), sink_(sink) {}

    JetContents Build();

  private:
    // What of a table went into the document, for its indexes and relations.
    struct ImportedTable {
        std::map<int, std::string> fieldByNumber;  // column number -> field name, carried only
        std::map<std::string, short> typeByName;
    };

    // A column that goes into the document, with its field.
    struct Carried {
        ColumnDef def;
        int mdbIndex;
        short type;
        nlohmann::json field;
    };

    // Fields whose generated GUIDs, defaults or validation rules the file will not apply.
    struct UnappliedRules {
        std::vector<std::string> guids, defaults, validations;
    };

    // What the rows hold in each carried field.
    struct RowFacts {
        bool hasNull = false;
        bool hasEmpty = false;
        std::size_t longest = 0;  // characters of the longest text
    };

    void Note(std::string text) { notes_.push_back(std::move(text)); }
    void NoteLinkedTables();

    nlohmann::json ReadTable(MdbCatalogEntry* entry);
    std::vector<Carried> CarryColumns(const std::string& tableName, const TableDefinition& def,
                                      const OpenTable& table);
    Carried CarryColumn(const std::string& tableName, const ColumnDef& col, const OpenTable& table,
                        int mdbIndex, short type, UnappliedRules& rules);
    void NoteColumnLeftOut(const std::string& tableName, const ColumnDef& col);
    void NoteUnappliedRules(const std::string& tableName, const UnappliedRules& rules);
    nlohmann::json ReadRows(const std::string& tableName, const OpenTable& table,
                            std::vector<Carried>& carried);
    void FitFieldsToRows(const std::string& tableName, std::vector<Carried>& carried,
                         const std::vector<RowFacts>& facts);

    nlohmann::json ReadIndexes(const std::string& tableName, const TableDefinition& def);
    nlohmann::json ReadRelations();
    nlohmann::json ReadQueries();

    const JetFile& file_;
    const JetReadOptions& options_;
    JetRowSink* sink_;
    std::vector<SystemRow> objects_;
    std::map<std::string, ImportedTable> imported_;
    std::vector<std::string> notes_;
};

}  // namespace actualiz::engine::jet
