#pragma once

// Helpers shared by the actualiz-cli tests: running the built program as a script would, reading
// files whole, and fingerprinting a folder tree.

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "engine/Engine.h"
#include "engine/ForeignFiles.h"
#include "engine/SchemaJson.h"
#include "support/RunProgram.h"

namespace actualiz::testing {

// Every regular file below root, by relative path, with its whole content.
inline std::map<std::string, std::string> Snapshot(const std::filesystem::path& root) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (entry.is_regular_file())
            files[std::filesystem::relative(entry.path(), root).string()] = ReadWhole(entry.path());
        else if (entry.is_directory())
            files[std::filesystem::relative(entry.path(), root).string() + "/"] = "";
    }
    return files;
}

inline nlohmann::json Structure(const std::string& path) {
    auto db = engine::OpenDatabase(path);
    nlohmann::json document = engine::DescribeDatabase(*db);
    db->Close();
    return document;
}

inline void Build(const std::string& path, const nlohmann::json& document) {
    engine::BuildDatabase(path, document)->Close();
}

}  // namespace actualiz::testing

namespace actualiz::testing {

// A Jet 4 file with a suppliers table as almacen.mdb has it, made by our own writer from the
// blank sample: the relation of gastosgen needs one.
inline void MakeJetWarehouse(const std::filesystem::path& file) {
    std::filesystem::copy_file(
        std::filesystem::path(ACTUALIZ_SOURCE_DIR) / "tests/data/jet/blankV2000.mdb", file);
    engine::ForeignFileWriting writing(file.string());
    EXPECT_TRUE(writing.Active());
    auto db = engine::OpenDatabase(file.string());
    auto table = db->CreateTableDef("proveedores");
    table->Fields().Append(table->CreateField("codigoproveedor", engine::dbLong));
    table->Fields().Append(table->CreateField("nombre", engine::dbText, 50));
    auto key = table->CreateIndex("PrimaryKey");
    key->SetPrimary(true);
    key->Fields().Append(key->CreateField("codigoproveedor"));
    table->Indexes().Append(key);
    db->TableDefs().Append(table);
    db->Close();
    writing.Finish();
}

// Rows of a table, counted by walking them.
inline int RowCount(const std::string& databasePath, const std::string& table) {
    auto db = engine::OpenDatabase(databasePath);
    auto rs = db->OpenRecordset(table);
    int rows = 0;
    if (!(rs->BOF() && rs->Eof())) {
        rs->MoveFirst();
        while (!rs->Eof()) {
            ++rows;
            rs->MoveNext();
        }
    }
    rs->Close();
    db->Close();
    return rows;
}

}  // namespace actualiz::testing
