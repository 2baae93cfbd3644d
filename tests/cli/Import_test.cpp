// actualiz-cli import: a Jet file into a new engine database, as a person or a script runs it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include <algorithm>
#include <tuple>

#include "cli/CliTestSupport.h"
#include "engine/Names.h"
#include "jet/JetReader.h"
#include "support/TempPrefix.h"

namespace actualiz::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

#define REQUIRE_JET_READER() \
    if (!engine::CanReadJetFiles()) GTEST_SKIP() << "built without libmdb"

fs::path Sample(const std::string& name) {
    return fs::path(ACTUALIZ_SOURCE_DIR) / "tests" / "data" / "jet" / name;
}

long CountLines(const std::string& text, const std::string& start) {
    long n = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        if (text.compare(pos, start.size(), start) == 0) ++n;
        pos = end + 1;
    }
    return n;
}

// The read document without rows, in the engine's collection order: what schema --json prints.
json Expected(const fs::path& jetFile, bool hidden = false) {
    engine::JetReadOptions options;
    options.includeRows = false;
    options.includeHiddenQueries = hidden;
    json doc = engine::ReadJetFile(jetFile, options).document;
    auto byName = [](const json& a, const json& b) {
        return engine::NameLess(a.at("name").get<std::string>(), b.at("name").get<std::string>());
    };
    std::sort(doc["tables"].begin(), doc["tables"].end(), byName);
    std::sort(doc["queries"].begin(), doc["queries"].end(), byName);
    return doc;
}

class ImportCliTest : public ::testing::TestWithParam<std::string> {
  protected:
    TempPrefix prefix_;
};

TEST_P(ImportCliTest, SchemaOfTheResultIsTheJetFilesStructure) {
    REQUIRE_JET_READER();
    fs::path out = prefix_.driveCPath("importada.mdb");
    CliResult r = RunCli({"import", Sample(GetParam()).string(), out.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Importada"), std::string::npos) << r.out;
    // Every note of the reader is on standard error, one line each.
    auto notes = engine::ReadJetFile(Sample(GetParam())).notCarried;
    EXPECT_EQ(CountLines(r.err, "Aviso: "), static_cast<long>(notes.size())) << r.err;

    CliResult schema = RunCli({"schema", "--json", out.string()});
    ASSERT_EQ(schema.status, 0) << schema.err;
    EXPECT_EQ(json::parse(schema.out), Expected(Sample(GetParam())));

    // Every table prints all its rows as JSON, whatever its fields hold; a stored query prints
    // its rows or fails with the engine's error alone.
    auto db = engine::OpenDatabase(out.string());
    const json structure = json::parse(schema.out);
    for (const auto& table : structure.value("tables", json::array())) {
        const std::string name = table.at("name");
        CliResult rows = RunCli({"query", out.string(), name, "--json"});
        ASSERT_EQ(rows.status, 0) << name << ": " << rows.err;
        auto rs = db->OpenRecordset(name);
        if (!(rs->BOF() && rs->Eof())) rs->MoveLast();
        EXPECT_EQ(json::parse(rows.out).size(), static_cast<std::size_t>(rs->RecordCount()))
            << name;
    }
    for (const auto& query : structure.value("queries", json::array())) {
        const std::string name = query.at("name");
        CliResult rows = RunCli({"query", out.string(), name, "--json"});
        if (rows.status == 0)
            EXPECT_TRUE(json::parse(rows.out).is_array()) << name;
        else
            EXPECT_EQ(rows.err.rfind("Error ", 0), 0u) << name << ": " << rows.err;
    }
}

INSTANTIATE_TEST_SUITE_P(Samples, ImportCliTest,
                         ::testing::Values("testV1997.mdb", "testIndexCodesV1997.mdb",
                                           "queryTestV2000.mdb", "indexTestV2000.mdb"),
                         [](const auto& info) {
                             std::string name = info.param;
                             return name.substr(0, name.find('.'));
                         });

class ImportCli : public ::testing::Test {
  protected:
    TempPrefix prefix_;
};

TEST_F(ImportCli, RowsUnlessStructureOnly) {
    REQUIRE_JET_READER();
    fs::path full = prefix_.driveCPath("completa.mdb");
    fs::path bare = prefix_.driveCPath("estructura.mdb");
    ASSERT_EQ(RunCli({"import", Sample("testIndexCodesV1997.mdb").string(), full.string()}).status,
              0);
    CliResult r = RunCli(
        {"import", "--schema-only", Sample("testIndexCodesV1997.mdb").string(), bare.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("29 tablas"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("filas"), std::string::npos) << r.out;
    auto fullDb = engine::OpenDatabase(full.string());
    auto bareDb = engine::OpenDatabase(bare.string());
    long fullRows = 0, bareRows = 0;
    for (const auto& t : fullDb->TableDefs()) {
        if (engine::IsSystemName(t->Name())) continue;
        fullRows += fullDb->OpenRecordset(t->Name())->RecordCount();
        bareRows += bareDb->OpenRecordset(t->Name())->RecordCount();
    }
    EXPECT_EQ(fullRows, 1536);
    EXPECT_EQ(bareRows, 0);
}

TEST_F(ImportCli, HiddenQueriesOnlyWithAllQueries) {
    REQUIRE_JET_READER();
    // A copy of the query sample whose select query bears a hidden name: the name is patched in
    // its MSysObjects row (UCS-2, same length).
    std::string bytes = ReadWhole(Sample("queryTestV2000.mdb"));
    auto ucs2 = [](const std::string& ascii) {
        std::string out;
        for (char c : ascii) {
            out += c;
            out += '\0';
        }
        return out;
    };
    std::size_t at = bytes.find(ucs2("SelectQuery"));
    ASSERT_NE(at, std::string::npos);
    bytes.replace(at, 22, ucs2("~sq_cSelect"));
    fs::path patched = prefix_.writeFile("oculta.mdb", bytes);

    fs::path without = prefix_.driveCPath("sin.mdb");
    CliResult r = RunCli({"import", patched.string(), without.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("8 consultas"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("Se omiten 1 consultas ocultas"), std::string::npos) << r.err;
    EXPECT_FALSE(engine::OpenDatabase(without.string())->QueryDefs().Contains("~sq_cSelect"));

    fs::path with = prefix_.driveCPath("con.mdb");
    r = RunCli({"import", "--all-queries", patched.string(), with.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("9 consultas"), std::string::npos) << r.out;
    auto db = engine::OpenDatabase(with.string());
    ASSERT_TRUE(db->QueryDefs().Contains("~sq_cSelect"));
    EXPECT_EQ(db->QueryDefs()["~sq_cSelect"]->SQL().rfind("SELECT DISTINCT Table1.*", 0), 0u);
}

TEST_F(ImportCli, ErrorsAndWrongArguments) {
    REQUIRE_JET_READER();
    fs::path out = prefix_.driveCPath("salida.mdb");
    CliResult missing = RunCli({"import", prefix_.driveCPath("falta.mdb").string(), out.string()});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err.rfind("Error 3024: ", 0), 0u) << missing.err;
    EXPECT_FALSE(fs::exists(out));

    fs::path garbage = prefix_.writeFile("basura.mdb", std::string(3000, 'g'));
    CliResult foreign = RunCli({"import", garbage.string(), out.string()});
    EXPECT_EQ(foreign.status, 1);
    EXPECT_EQ(foreign.err.rfind("Error 3343: ", 0), 0u) << foreign.err;
    EXPECT_FALSE(fs::exists(out));

    fs::path taken = prefix_.writeFile("ocupada.mdb", "contenido");
    CliResult exists = RunCli({"import", Sample("testV1997.mdb").string(), taken.string()});
    EXPECT_EQ(exists.status, 1);
    EXPECT_EQ(exists.err.rfind("Error 3204: ", 0), 0u) << exists.err;
    EXPECT_EQ(ReadWhole(taken), "contenido");

    EXPECT_EQ(RunCli({"import"}).status, 2);
    EXPECT_EQ(RunCli({"import", Sample("testV1997.mdb").string()}).status, 2);
    EXPECT_EQ(RunCli({"import", "--no-such-flag", "a.mdb", "b.mdb"}).status, 2);
}

// What the query harness says of each stored query of the query sample, once imported: the select
// query opens; action queries and the DDL and pass-through texts fail with 3219 on purpose (a
// record set only reads); the sample's crosstab puts Avg() in its WHERE clause (3096) and its
// union query names columns without a FROM (3061), which no engine can read.
TEST_F(ImportCli, EveryStoredQueryOfTheSampleOpensOrFailsDeliberately) {
    REQUIRE_JET_READER();
    fs::path file = prefix_.driveCPath("consultas.mdb");
    ASSERT_EQ(
        RunCli({"import", "--all-queries", Sample("queryTestV2000.mdb").string(), file.string()})
            .status,
        0);
    CliResult all = RunCli({"query", file.string(), "--all"});
    EXPECT_EQ(all.status, 1);
    const std::pair<const char*, const char*> expected[] = {{"AppendQuery", "Error 3219"},
                                                            {"CrosstabQuery", "Error 3096"},
                                                            {"DataDefinitionQuery", "Error 3219"},
                                                            {"DeleteQuery", "Error 3219"},
                                                            {"MakeTableQuery", "Error 3219"},
                                                            {"PassthroughQuery", "Error 3219"},
                                                            {"SelectQuery", "0 filas"},
                                                            {"UnionQuery", "Error 3061"},
                                                            {"UpdateQuery", "Error 3219"}};
    for (const auto& [name, start] : expected)
        EXPECT_NE(all.out.find(std::string(name) + ": " + start), std::string::npos)
            << name << " in\n"
            << all.out;

    CliResult one = RunCli({"query", file.string(), "SelectQuery", "--json"});
    EXPECT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(one.out, "[]\n");
}

TEST_F(ImportCli, QueryPrintsRowsAsCsvOrJsonWithParameters) {
    fs::path file = prefix_.driveCPath("pedidos.mdb");
    {
        auto db = engine::CreateDatabase(file.string());
        auto t = db->CreateTableDef("Pedidos");
        t->Fields().Append(t->CreateField("Id", engine::dbLong));
        t->Fields().Append(t->CreateField("Cliente", engine::dbText, 20));
        t->Fields().Append(t->CreateField("Fecha", engine::dbDate));
        t->Fields().Append(t->CreateField("Foto", engine::dbLongBinary));
        t->Fields().Append(t->CreateField("Notas", engine::dbMemo));
        db->TableDefs().Append(t);
        for (const auto& [id, client, date, photo, notes] : std::vector<
                 std::tuple<long long, std::string, std::string, engine::Value, std::string>>{
                 {1, "Ana, \"la\" primera", "1995-03-01 00:00:00",
                  std::vector<unsigned char>{0, 0xff, '\n', 'G'}, std::string("a\r\nb\x1b[2J\x7f")},
                 {2, "Bea", "1996-05-02 00:00:00", engine::Value(), "c"}}) {
            auto rs = db->OpenRecordset("Pedidos");
            rs->AddNew();
            rs->Fields()[0]->SetValue(id);
            rs->Fields()[1]->SetValue(client);
            rs->Fields()[2]->SetValue(date);
            rs->Fields()[3]->SetValue(photo);
            rs->Fields()[4]->SetValue(notes);
            rs->Update();
        }
        db->CreateQueryDef("Desde",
                           "PARAMETERS Desde DateTime; SELECT Id, Cliente FROM Pedidos "
                           "WHERE Fecha >= Desde;");
        db->Close();
    }
    CliResult csv = RunCli({"query", file.string(), "SELECT Id, Cliente FROM Pedidos ORDER BY 1"});
    EXPECT_EQ(csv.status, 0) << csv.err;
    EXPECT_EQ(csv.out, "Id,Cliente\n1,\"Ana, \"\"la\"\" primera\"\n2,Bea\n");
    CliResult json =
        RunCli({"query", file.string(), "Desde", "--param", "Desde=1/1/1996", "--json"});
    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(nlohmann::json::parse(json.out),
              nlohmann::json::parse(R"([{"Id":2,"Cliente":"Bea"}])"));
    CliResult notDate =
        RunCli({"query", file.string(), "Desde", "--param", "Desde=31/02/1996", "--json"});
    EXPECT_EQ(notDate.status, 1);
    EXPECT_EQ(notDate.err.rfind("Error 3464: ", 0), 0u) << notDate.err;

    // Binary values: base64 in JSON; their size, or their hex, in the CSV, which holds no
    // control bytes whatever a memo holds.
    const std::string binary = "SELECT Id, Foto, Notas FROM Pedidos ORDER BY 1";
    CliResult binaryJson = RunCli({"query", file.string(), binary, "--json"});
    EXPECT_EQ(binaryJson.status, 0) << binaryJson.err;
    EXPECT_EQ(nlohmann::json::parse(binaryJson.out),
              nlohmann::json::parse(R"([{"Id":1,"Foto":"AP8KRw==","Notas":"a\r\nb\u001b[2J\u007f"},
                                        {"Id":2,"Foto":null,"Notas":"c"}])"));
    CliResult binaryCsv = RunCli({"query", file.string(), binary});
    EXPECT_EQ(binaryCsv.status, 0) << binaryCsv.err;
    EXPECT_EQ(binaryCsv.out,
              "Id,Foto,Notas\n1,\"<binario, 4 bytes>\",a\u240d\u240ab\u241b[2J\u2421\n2,,c\n");
    CliResult hex = RunCli({"query", file.string(), binary, "--hex"});
    EXPECT_EQ(hex.out.substr(0, hex.out.find("\n2,")),
              "Id,Foto,Notas\n1,00ff0a47,a\u240d\u240ab\u241b[2J\u2421");

    CliResult missing = RunCli({"query", file.string(), "Desde"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err.rfind("Error 3061: ", 0), 0u) << missing.err;
    EXPECT_EQ(RunCli({"query", file.string(), "Desde", "--param", "sin igual"}).status, 2);
    EXPECT_EQ(RunCli({"query", file.string()}).status, 2);
}

// A document the engine refuses halfway (a relation to a missing table): the half-built file goes
// again, whatever the path looked like, and the engine's own error is the one reported.
TEST_F(ImportCli, AFailedCreateLeavesNoFileAndTellsItsOwnError) {
    const fs::path folder =
        fs::temp_directory_path() / ("actualiz-crear-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    {
        std::ofstream(folder / "doc.json")
            << R"({"tables": [{"name": "t", "fields": [{"name": "a", "type": 4}]}],
                  "relations": [{"name": "r", "table": "t", "foreignTable": "falta",
                                 "fields": [{"name": "a"}]}]})";
    }
    const fs::path before = fs::current_path();
    fs::current_path(folder);
    CliResult r = RunCli({"create", "nueva.mdb", "--from", "doc.json"});
    fs::current_path(before);

    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("3265"), std::string::npos) << r.err;
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(folder)) left.push_back(e.path().filename());
    EXPECT_EQ(left, std::vector<std::string>{"doc.json"});
    fs::remove_all(folder);
}

// A damaged (truncated) Access file: the reading ends, and what the reader had to say arrives as
// a note or an error of a line or two, not as its own lines on the terminal.
TEST_F(ImportCli, ATruncatedFileEndsWithoutFloodingTheTerminal) {
    const std::string whole = ReadWhole(Sample("testIndexCodesV1997.mdb"));
    const fs::path folder =
        fs::temp_directory_path() / ("actualiz-truncado-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    std::ofstream(folder / "truncado.mdb", std::ios::binary)
        << whole.substr(0, whole.size() * 2 / 3);

    CliResult r =
        RunCli({"import", (folder / "truncado.mdb").string(), (folder / "x.mdb").string()});

    EXPECT_TRUE(r.status == 0 || r.status == 1) << r.status;
    EXPECT_LE(std::count(r.err.begin(), r.err.end(), '\n'), 3) << r.err;
    fs::remove_all(folder);
}

TEST_F(ImportCli, WindowsPathsThroughTheDriveMapping) {
    REQUIRE_JET_READER();
    prefix_.makeDir("Modelos");
    fs::copy_file(Sample("indexTestV2000.mdb"), prefix_.driveCPath("Modelos/clientes.mdb"));
    CliResult r = RunCli({"import", "C:\\Modelos\\clientes.mdb", "C:\\Modelos\\clientes2.mdb"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto db = engine::OpenDatabase(prefix_.driveCPath("Modelos/clientes2.mdb").string());
    EXPECT_TRUE(db->Updatable());
    EXPECT_EQ(db->Relations().Count(), 2);
}

}  // namespace
}  // namespace actualiz::testing
