#pragma once

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/SchemaCompare.h"

namespace actualiz::cli {

// What an upgrade run did, per database, as `actualiz-cli transform` reports it.

// A step that skip-on-error mode passed over (or a failure that reached the driver itself).
struct Failure {
    std::string command;
    std::string database;  // the old database the step worked on (Text4 at the time)
    std::string file;      // the file at fault when not that database (its model, a catalog)
    int number = 0;
    std::string description;
};

// Before and after counts of one kind of object, with the names that came and went
// ("tabla.indice" for indexes).
struct ObjectChanges {
    int before = 0;
    int after = 0;
    std::vector<std::string> added;
    std::vector<std::string> removed;
};

struct FieldName {
    std::string table;
    std::string field;
};

// Why a difference from the model is still there after an upgrade (DifferenceReasons.h).
struct DifferenceReason {
    bool planned = false;  // the upgrade leaves it so on purpose
    std::string text;      // Spanish, one phrase
};

// What an old database still lacks of its model, or has otherwise, after the run.
struct RemainingDifference {
    engine::SchemaDifference difference;
    std::optional<DifferenceReason> reason;
};

// One old database that has a model of the same name.
struct DatabaseReport {
    std::string name;   // file name, as listed
    std::string path;   // the old database (Windows path)
    std::string model;  // its model (Windows path)
    std::vector<std::string> tablesCreated;
    std::vector<FieldName> fieldsAppended;  // to tables the old database already had
    ObjectChanges indexes;
    ObjectChanges relations;
    ObjectChanges queries;
    std::vector<Failure> failures;
    // What the database still lacks of its model, or has otherwise, after the run, each with its
    // reason when there is one. Not set when either structure could not be read. Objects only the
    // old database has are left out: the upgrade keeps them.
    std::optional<std::vector<RemainingDifference>> differencesFromModel;
    // Set when the structure could not be read before or after the run ("Error N: text").
    std::string error;
};

struct CopiedDatabase {
    std::string name;
    bool copied = false;
};

struct BackupInfo {
    std::string folder;      // Windows path of respaldo-YYYYMMDD-HHMMSS
    std::string hostFolder;  // where it lies on this system
    std::string dataHostFolder;
    std::vector<std::string> files;
};

struct TransformReport {
    bool dryRun = false;
    bool noBackup = false;  // --no-backup was given
    std::string programFolder;
    std::string modelsFolder;
    std::string dataFolder;
    std::optional<BackupInfo> backup;
    // The backup folder the run made and removed again because it changed nothing.
    std::string backupRemoved;
    std::vector<DatabaseReport> databases;
    std::vector<std::string> withoutModel;  // old databases the run passed over
    std::vector<CopiedDatabase> copiedIn;   // models without an old database
    // Every failure, in the order it happened; each also appears under its database or, for the
    // copies of new databases and anything else, in otherFailures.
    std::vector<Failure> failures;
    std::vector<Failure> otherFailures;
    // What a killed earlier run had left and this run removed: temporary copies and empty backup
    // folders, relative to the data folder, and a killed preview's folder of copies, by its full
    // path.
    std::vector<std::string> leftoversRemoved;

    // The paired databases that did not end as their model is: a difference from it that no
    // planned reason explains, or a structure that could not be read or compared.
    std::vector<std::string> UnlikeTheirModel() const;
    // 0 when every step succeeded and every database ended as its model is (also when nothing had
    // to be done); 1 when some step failed or some database did not.
    int ExitCode() const { return failures.empty() && UnlikeTheirModel().empty() ? 0 : 1; }
};

// Fills the table, field, index, relation and query changes of `report` from the structure of
// the database before and after the run. Names are compared as the engine compares them.
void CompareStructures(const engine::DatabaseSchema& before, const engine::DatabaseSchema& after,
                       DatabaseReport& report);

// The command that puts the backed-up databases back and removes the databases the run copied
// in, for a POSIX shell; empty without a backup.
std::string RestoreCommand(const TransformReport& report);

// Quotes a path for a POSIX shell.
std::string ShellQuote(const std::string& text);

// The hint printed for a database that is a Jet/Access file rather than one of ours.
std::string ImportHint(const std::string& path);
// The hint for a database the engine did not recognise (error 3343): maybe a Jet file.
std::string UnrecognizedHint(const std::string& path);

nlohmann::json ReportJson(const TransformReport& report);
std::string ReportText(const TransformReport& report);

}  // namespace actualiz::cli
