// Reading real Jet files: every table, field, index, relation, query and row, checked against
// what the mdbtools programs read from the same files, and against the file's own system tables.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <set>

#include "engine/Engine.h"
#include "engine/EngineFixture.h"
#include "jet/JetQueryRows.h"
#include "jet/JetReader.h"
#include "jet/JetTestSupport.h"
#include "support/TempPrefix.h"

namespace actualiz::engine::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

#define REQUIRE_MDB_TOOLS() \
    if (!HaveMdbTools()) GTEST_SKIP() << "the mdbtools programs are not installed"

const json& TableOf(const json& doc, const std::string& name) {
    for (const auto& t : doc.at("tables"))
        if (t.at("name") == name) return t;
    static const json none;
    ADD_FAILURE() << "no table " << name;
    return none;
}

std::string FieldName(const json& indexField) {
    return indexField.is_string() ? indexField.get<std::string>()
                                  : indexField.at("name").get<std::string>();
}

// The index as one line: "name(field, field DESC) unique primary required".
std::string IndexLine(const json& index) {
    std::string line = index.at("name").get<std::string>() + "(";
    bool first = true;
    for (const auto& f : index.at("fields")) {
        if (!first) line += ", ";
        first = false;
        line += FieldName(f);
        if (f.is_object() && f.value("descending", false)) line += " DESC";
    }
    line += ")";
    if (index.value("unique", false)) line += " unique";
    if (index.value("primary", false)) line += " primary";
    if (index.value("ignoreNulls", false)) line += " ignoreNulls";
    if (index.value("required", false)) line += " required";
    return line;
}

std::vector<std::string> IndexLines(const json& table) {
    std::vector<std::string> lines;
    for (const auto& i : table.at("indexes")) lines.push_back(IndexLine(i));
    return lines;
}

// -----------------------------------------------------------------------------------------------

TEST(JetFileRecognition, SamplesAreJetFilesOthersAreNot) {
    for (const auto& name : JetSampleNames()) EXPECT_TRUE(IsJetFile(JetSample(name))) << name;
    actualiz::testing::TempPrefix prefix;
    EXPECT_FALSE(IsJetFile(prefix.writeFile("vacio.mdb", "")));
    EXPECT_FALSE(IsJetFile(prefix.writeFile("basura.mdb", std::string(4000, 'x'))));
    EXPECT_FALSE(IsJetFile(prefix.driveCPath("no-existe.mdb")));
    auto db = CreateDatabase(prefix.driveCPath("motor.mdb").string());
    db->Close();
    EXPECT_FALSE(IsJetFile(prefix.driveCPath("motor.mdb")));
    std::string ace("\x00\x01\x00\x00Standard ACE DB\x00", 20);
    EXPECT_TRUE(IsJetFile(prefix.writeFile("ace.accdb", ace + std::string(100, '\0'))));
}

TEST(JetFileRecognition, ErrorsForMissingAndForeignFiles) {
    REQUIRE_JET_READER();
    actualiz::testing::TempPrefix prefix;
    EXPECT_EQ(ErrorOf([&] { ReadJetFile(prefix.driveCPath("falta.mdb")); }), err::kFileNotFound);
    EXPECT_EQ(ErrorOf([&] { ReadJetFile(prefix.writeFile("x.mdb", std::string(5000, 'x'))); }),
              err::kUnrecognizedFormat);
    // A Jet header with nothing behind it: refused, never a crash.
    std::string header("\x00\x01\x00\x00Standard Jet DB\x00", 20);
    fs::path broken = prefix.writeFile("roto.mdb", header + std::string(4096, '\0'));
    EXPECT_EQ(ErrorOf([&] { ReadJetFile(broken); }), err::kUnrecognizedFormat);
    EXPECT_EQ(ErrorOf([&] { ReadJetFile(prefix.driveC()); }), err::kCannotOpenFile);
}

// Damage that once made the reader spend its whole memory budget before giving up (libmdb follows
// long-value chains and property records without checking them): refused at once, naming the
// damage.
TEST(JetFileRecognition, ImpossibleChainsAndPropertyRecordsAreRefusedNamingTheDamage) {
    REQUIRE_JET_READER();
    struct Damage {
        const char* what;
        std::function<void(std::string&)> apply;
        const char* named;
    };
    const std::size_t page = 2048;  // a Jet 3 file
    const std::vector<Damage> damages = {
        {"four bytes of an object's property block changed",
         [](std::string& bytes) { bytes.replace(0x180cc, 4, std::string("\x24\0\0\0", 4)); },
         "propiedades de objetos dañadas"},
        {"a long-value page copied over another: a chain that loops",
         [&](std::string& bytes) { bytes.replace(46 * page, page, bytes.substr(29 * page, page)); },
         "valor largo ilegible en MSysObjects.LvProp"},
    };
    actualiz::testing::TempPrefix prefix;
    std::ifstream in(JetSample("testV1997.mdb"), std::ios::binary);
    const std::string sound((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (const auto& d : damages) {
        std::string bytes = sound;
        d.apply(bytes);
        fs::path file = prefix.writeFile("dañado.mdb", bytes);
        try {
            ReadJetFile(file);
            ADD_FAILURE() << d.what << ": read";
        } catch (const EngineError& e) {
            EXPECT_EQ(e.number(), err::kUnrecognizedFormat) << d.what;
            EXPECT_NE(e.description().find(d.named), std::string::npos)
                << d.what << ": " << e.description();
        }
    }
}

// -----------------------------------------------------------------------------------------------
// Tables and fields against mdb-tables, mdb-schema and mdb-prop.

class JetSampleTest : public ::testing::TestWithParam<std::string> {};

TEST_P(JetSampleTest, TablesAreTheUserTablesMdbToolsList) {
    REQUIRE_JET_READER();
    REQUIRE_MDB_TOOLS();
    fs::path file = JetSample(GetParam());
    json doc = ReadJetFile(file).document;
    std::set<std::string> ours, theirs;
    for (const auto& t : doc.at("tables")) ours.insert(t.at("name").get<std::string>());
    std::string listed = Capture("mdb-tables -1 " + ShellQuoted(file.string()));
    std::size_t pos = 0;
    while (pos < listed.size()) {
        std::size_t end = listed.find('\n', pos);
        if (end == std::string::npos) end = listed.size();
        std::string name = listed.substr(pos, end - pos);
        if (!name.empty() && name.rfind("MSys", 0) != 0) theirs.insert(name);
        pos = end + 1;
    }
    EXPECT_FALSE(ours.empty());
    EXPECT_EQ(ours, theirs);
}

TEST_P(JetSampleTest, FieldsInOrderWithTypesAndSizesAsMdbSchemaReadsThem) {
    REQUIRE_JET_READER();
    REQUIRE_MDB_TOOLS();
    fs::path file = JetSample(GetParam());
    json doc = ReadJetFile(file).document;
    auto schema = SchemaColumns(file);
    // mdb-schema's type words for the engine's type codes.
    auto word = [](int type, long size) -> std::string {
        switch (type) {
            case 1:
                return "Boolean";
            case 2:
                return "Byte";
            case 3:
                return "Integer";
            case 4:
                return "Long Integer";
            case 5:
                return "Currency";
            case 6:
                return "Single";
            case 7:
                return "Double";
            case 8:
                return "DateTime";
            case 10:
                return "Text (" + std::to_string(size) + ")";
            case 15:
                return "Replication ID";
            default:
                return "type " + std::to_string(type);
        }
    };
    for (const auto& t : doc.at("tables")) {
        std::string name = t.at("name");
        ASSERT_TRUE(schema.count(name)) << name;
        const auto& columns = schema.at(name);
        ASSERT_EQ(t.at("fields").size(), columns.size()) << name;
        for (std::size_t i = 0; i < columns.size(); ++i) {
            const json& f = t.at("fields")[i];
            EXPECT_EQ(f.at("name"), columns[i].first) << name << " " << i;
            EXPECT_EQ(word(f.at("type"), f.at("size")), columns[i].second)
                << name << "." << columns[i].first;
        }
    }
}

TEST_P(JetSampleTest, RequiredAndAllowZeroLengthAsTheColumnPropertiesSay) {
    REQUIRE_JET_READER();
    REQUIRE_MDB_TOOLS();
    fs::path file = JetSample(GetParam());
    json doc = ReadJetFile(file).document;
    int checked = 0;
    for (const auto& t : doc.at("tables")) {
        auto props = ColumnProperties(file, t.at("name"));
        for (const auto& f : t.at("fields")) {
            auto column = props.find(f.at("name").get<std::string>());
            bool required = column != props.end() && column->second.count("Required") &&
                            column->second.at("Required") == "yes";
            bool azl = column != props.end() && column->second.count("AllowZeroLength") &&
                       column->second.at("AllowZeroLength") == "yes";
            EXPECT_EQ(f.at("required").get<bool>(), required)
                << t.at("name") << "." << f.at("name");
            EXPECT_EQ(f.at("allowZeroLength").get<bool>(), azl)
                << t.at("name") << "." << f.at("name");
            ++checked;
        }
    }
    EXPECT_GT(checked, 0);
}

// Every row and every value against mdb-export, in the file's order.
TEST_P(JetSampleTest, RowsAndValuesAsMdbExportReadsThem) {
    REQUIRE_JET_READER();
    REQUIRE_MDB_TOOLS();
    fs::path file = JetSample(GetParam());
    json doc = ReadJetFile(file).document;
    long compared = 0;
    for (const auto& t : doc.at("tables")) {
        std::string name = t.at("name");
        auto exported = ExportTable(file, name);
        ASSERT_FALSE(exported.empty()) << name;
        ASSERT_EQ(exported.size() - 1, t.at("rows").size()) << name;
        for (std::size_t r = 0; r < t.at("rows").size(); ++r) {
            const json& row = t.at("rows")[r];
            const auto& theirs = exported[r + 1];
            ASSERT_EQ(row.size(), theirs.size()) << name << " row " << r;
            for (std::size_t c = 0; c < row.size(); ++c) {
                const json& ours = row[c];
                const std::string& text = theirs[c];
                int type = t.at("fields")[c].at("type");
                std::string where = name + " row " + std::to_string(r) + " " +
                                    t.at("fields")[c].at("name").get<std::string>();
                ++compared;
                if (type == dbBoolean) {
                    EXPECT_EQ(ours.get<long long>(), text == "1" ? -1 : 0) << where;
                    continue;
                }
                if (text == kNullMark) {
                    EXPECT_TRUE(ours.is_null()) << where << ": " << ours.dump();
                    continue;
                }
                ASSERT_FALSE(ours.is_null()) << where << " is " << text;
                switch (type) {
                    case dbByte:
                    case dbInteger:
                    case dbLong:
                        EXPECT_EQ(ours.get<long long>(), std::stoll(text)) << where;
                        break;
                    case dbSingle:
                        // mdb-export rounds a Single to 8 digits; as a Single both are one value.
                        EXPECT_EQ(static_cast<float>(ours.get<double>()),
                                  static_cast<float>(std::stod(text)))
                            << where;
                        break;
                    case dbDouble:
                    case dbCurrency: {
                        double expected = std::stod(text);
                        double got = ours.get<double>();
                        EXPECT_NEAR(got, expected, 1e-9 * std::max(1.0, std::fabs(expected)))
                            << where;
                        break;
                    }
                    case dbGUID: {
                        // mdb-export writes the GUID's text in hexadecimal with -b hex.
                        std::string guid;
                        for (std::size_t i = 0; i + 1 < text.size(); i += 2)
                            guid += static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16));
                        // mdbtools groups the digits 8-4-4-16; the classic text is 8-4-4-4-12.
                        std::string plain = ours.get<std::string>();
                        EXPECT_EQ(plain.size(), 38u) << where;
                        EXPECT_EQ(plain[24], '-') << where;
                        plain.erase(24, 1);
                        EXPECT_EQ(plain, guid) << where;
                        break;
                    }
                    case dbDate:
                        // mdb-export cannot show dates before 30 December 1899 (stored as
                        // negative numbers) and writes day 0 of 1900 for them.
                        if (text.rfind("1900-01-00", 0) == 0) {
                            EXPECT_LT(ours.get<std::string>(), "1899-12-30") << where;
                        } else {
                            EXPECT_EQ(ours.get<std::string>(), text) << where;
                        }
                        break;
                    default:
                        EXPECT_EQ(ours.get<std::string>(), text) << where;
                }
            }
        }
    }
    if (GetParam() != "queryTestV2000.mdb") {
        EXPECT_GT(compared, 0);
    }  // its tables are empty
}

INSTANTIATE_TEST_SUITE_P(Samples, JetSampleTest, ::testing::ValuesIn(JetSampleNames()),
                         [](const auto& info) {
                             std::string name = info.param;
                             return name.substr(0, name.find('.'));
                         });

// The file's own bookkeeping, read through the same row reader: its memo and long binary columns
// (stored in the row when short, on long-value pages when not) against mdb-export.
TEST_P(JetSampleTest, SystemTablesAsMdbExportReadsThem) {
    REQUIRE_JET_READER();
    REQUIRE_MDB_TOOLS();
    fs::path file = JetSample(GetParam());
    long longValues = 0;
    for (const char* name : {"MSysObjects", "MSysQueries", "MSysRelationships"}) {
        JetTableRows ours = ReadJetTable(file, name);
        auto theirs = ExportTable(file, name);
        ASSERT_FALSE(theirs.empty()) << name;
        EXPECT_EQ(ours.columns, theirs[0]) << name;
        ASSERT_EQ(ours.rows.size() + 1, theirs.size()) << name;
        for (std::size_t r = 0; r < ours.rows.size(); ++r) {
            for (std::size_t c = 0; c < ours.columns.size(); ++c) {
                const Value& v = ours.rows[r][c];
                const std::string& text = theirs[r + 1][c];
                std::string where =
                    std::string(name) + " row " + std::to_string(r) + " " + ours.columns[c];
                auto* bytes = std::get_if<std::vector<unsigned char>>(&v);
                if (text == kNullMark && bytes && !bytes->empty() && bytes->front() == 0) {
                    // mdb-export takes a binary value starting with a zero byte for Null (the
                    // 4-byte sequence numbers of MSysQueries' Order column, for one).
                    EXPECT_EQ(ours.columns[c], "Order") << where;
                } else if (text == kNullMark) {
                    EXPECT_TRUE(IsNull(v)) << where;
                } else if (auto* i = std::get_if<long long>(&v)) {
                    EXPECT_EQ(*i, std::stoll(text)) << where;
                } else if (auto* d = std::get_if<double>(&v)) {
                    EXPECT_NEAR(*d, std::stod(text), 1e-9 * std::max(1.0, std::fabs(*d))) << where;
                } else if (auto* t = std::get_if<std::string>(&v)) {
                    // mdb-export stops a text at its first NUL.
                    EXPECT_EQ(t->substr(0, t->find('\0')), text) << where;
                    if (t->size() > 200) ++longValues;
                } else if (auto* b = std::get_if<std::vector<unsigned char>>(&v)) {
                    static const char* digits = "0123456789ABCDEF";
                    std::string hex;
                    for (unsigned char byte : *b) {
                        hex += digits[byte >> 4];
                        hex += digits[byte & 15];
                    }
                    EXPECT_EQ(hex, text) << where;
                    if (b->size() > 200) ++longValues;
                } else {
                    ADD_FAILURE() << where << " is Null, mdb-export says " << text;
                }
            }
        }
    }
    EXPECT_GT(longValues, 0);  // some values came from long-value pages
    EXPECT_EQ(ErrorOf([&] { ReadJetTable(file, "NoExiste"); }), err::kItemNotFound);
}

// -----------------------------------------------------------------------------------------------
// Indexes, as the table definitions hold them (read by hand with a page dump of each sample).

TEST(JetIndexes, PrimaryKeysAndPlainIndexesOfTheJet3Sample) {
    REQUIRE_JET_READER();
    json doc = ReadJetFile(JetSample("testV1997.mdb")).document;
    EXPECT_EQ(IndexLines(TableOf(doc, "Table1")),
              (std::vector<std::string>{"B(B)", "PrimaryKey(A) unique primary required"}));
    EXPECT_EQ(
        IndexLines(TableOf(doc, "Table2")),
        (std::vector<std::string>{"column10(column10)", "column14(column14)", "column75(column75)",
                                  "id(column1)", "PrimaryKey(column1) unique primary required"}));
    EXPECT_EQ(IndexLines(TableOf(doc, "Table3")),
              (std::vector<std::string>{"id(a)", "PrimaryKey(a) unique primary required"}));
    EXPECT_EQ(IndexLines(TableOf(doc, "Table4")),
              (std::vector<std::string>{"PrimaryKey(data) unique primary required"}));
}

TEST(JetIndexes, DescendingFieldsAndEveryMixOfTwoFields) {
    REQUIRE_JET_READER();
    json doc = ReadJetFile(JetSample("testIndexCodesV1997.mdb")).document;
    EXPECT_EQ(IndexLines(TableOf(doc, "Table12")),
              (std::vector<std::string>{"DataIndex(data1, data2)",
                                        "PrimaryKey(name) unique primary required"}));
    EXPECT_EQ(IndexLines(TableOf(doc, "Table12_asc_desc"))[0], "DataIndex(data1, data2 DESC)");
    EXPECT_EQ(IndexLines(TableOf(doc, "Table12_desc_asc"))[0], "DataIndex(data1 DESC, data2)");
    EXPECT_EQ(IndexLines(TableOf(doc, "Table12_desc_desc"))[0],
              "DataIndex(data1 DESC, data2 DESC)");
    EXPECT_EQ(IndexLines(TableOf(doc, "Table11")),
              (std::vector<std::string>{"data(data)", "dataDesc(data DESC)",
                                        "PrimaryKey(id) unique primary required"}));
    EXPECT_EQ(IndexLines(TableOf(doc, "Table1_desc")),
              (std::vector<std::string>{"DataIndex(data)",
                                        "PrimaryKey(name DESC) unique primary required"}));
    // Every other table: one index on data, descending in the "_desc" tables, and the key.
    int checked = 0;
    for (const auto& t : doc.at("tables")) {
        std::string name = t.at("name");
        if (name.rfind("Table12", 0) == 0 || name == "Table11" || name == "Table1_desc") continue;
        bool desc = name.size() > 5 && name.compare(name.size() - 5, 5, "_desc") == 0;
        EXPECT_EQ(IndexLines(t),
                  (std::vector<std::string>{desc ? "DataIndex(data DESC)" : "DataIndex(data)",
                                            "PrimaryKey(name) unique primary required"}))
            << name;
        ++checked;
    }
    EXPECT_EQ(checked, 23);
}

TEST(JetIndexes, TheForeignTableKeepsTheRelationIndexesTheOtherSideHidesThem) {
    REQUIRE_JET_READER();
    json doc = ReadJetFile(JetSample("indexTestV2000.mdb")).document;
    EXPECT_EQ(IndexLines(TableOf(doc, "Table1")),
              (std::vector<std::string>{"id(id)", "PrimaryKey(id) unique primary required",
                                        "Table2Table1(otherfk1)", "Table3Table1(otherfk2)"}));
    EXPECT_EQ(IndexLines(TableOf(doc, "Table2")),
              (std::vector<std::string>{"id(id)", "PrimaryKey(id) unique primary required"}));
    EXPECT_EQ(IndexLines(TableOf(doc, "Table3")),
              (std::vector<std::string>{"id(id)", "PrimaryKey(id) unique primary required"}));
}

// -----------------------------------------------------------------------------------------------
// Relations against the file's MSysRelationships.

TEST(JetRelations, EveryUserRelationWithItsFieldsAndExactBits) {
    REQUIRE_JET_READER();
    REQUIRE_MDB_TOOLS();
    fs::path file = JetSample("indexTestV2000.mdb");
    json doc = ReadJetFile(file).document;
    auto rows = ExportTable(file, "MSysRelationships");
    ASSERT_FALSE(rows.empty());
    const auto& header = rows[0];
    auto col = [&](const std::string& name) {
        return static_cast<std::size_t>(std::find(header.begin(), header.end(), name) -
                                        header.begin());
    };
    int userRows = 0;
    for (std::size_t r = 1; r < rows.size(); ++r) {
        const auto& row = rows[r];
        std::string name = row[col("szRelationship")];
        if (name.rfind("MSys", 0) == 0) continue;
        ++userRows;
        const json* found = nullptr;
        for (const auto& rel : doc.at("relations"))
            if (rel.at("name") == name) found = &rel;
        ASSERT_NE(found, nullptr) << name;
        EXPECT_EQ(found->at("table"), row[col("szReferencedObject")]);
        EXPECT_EQ(found->at("foreignTable"), row[col("szObject")]);
        EXPECT_EQ(found->at("attributes").get<long long>(), std::stoll(row[col("grbit")]));
        std::size_t position = std::stoul(row[col("icolumn")]);
        ASSERT_LT(position, found->at("fields").size());
        EXPECT_EQ(found->at("fields")[position].at("name"), row[col("szReferencedColumn")]);
        EXPECT_EQ(found->at("fields")[position].at("foreignName"), row[col("szColumn")]);
    }
    EXPECT_EQ(userRows, 2);
    EXPECT_EQ(doc.at("relations").size(), 2u);
    // The relations of the system tables the file also holds are not the application's.
    for (const auto& rel : doc.at("relations"))
        EXPECT_NE(rel.at("name").get<std::string>().rfind("MSys", 0), 0u);
}

TEST(JetRelations, CascadeBitsAsStored) {
    REQUIRE_JET_READER();
    json doc = ReadJetFile(JetSample("indexTestV2000.mdb")).document;
    ASSERT_EQ(doc.at("relations").size(), 2u);
    EXPECT_EQ(doc.at("relations")[0].dump(),
              json({{"name", "Table2Table1"},
                    {"table", "Table2"},
                    {"foreignTable", "Table1"},
                    {"attributes", 4096},
                    {"fields", {{{"name", "id"}, {"foreignName", "otherfk1"}}}}})
                  .dump());
    EXPECT_EQ(doc.at("relations")[1].at("attributes"), 256);
    EXPECT_EQ(doc.at("relations")[1].at("table"), "Table3");
}

// -----------------------------------------------------------------------------------------------
// Queries: one of each type, the SQL rebuilt from MSysQueries (checked by hand against its rows).

std::map<std::string, std::string> QueriesOf(const json& doc) {
    std::map<std::string, std::string> out;
    for (const auto& q : doc.at("queries")) out[q.at("name")] = q.at("sql");
    return out;
}

TEST(JetQueries, EveryStoredQueryOfTheSampleIsThere) {
    REQUIRE_JET_READER();
    REQUIRE_MDB_TOOLS();
    fs::path file = JetSample("queryTestV2000.mdb");
    auto queries = QueriesOf(ReadJetFile(file).document);
    std::set<std::string> stored;
    auto objects = ExportTable(file, "MSysObjects");
    ASSERT_FALSE(objects.empty());
    auto col = [&](const std::string& name) {
        return static_cast<std::size_t>(std::find(objects[0].begin(), objects[0].end(), name) -
                                        objects[0].begin());
    };
    for (std::size_t r = 1; r < objects.size(); ++r)
        if (objects[r][col("Type")] == "5") stored.insert(objects[r][col("Name")]);
    std::set<std::string> ours;
    for (const auto& [name, sql] : queries) ours.insert(name);
    EXPECT_EQ(ours, stored);
    EXPECT_EQ(ours.size(), 9u);
}

class JetQueryTextTest : public ::testing::TestWithParam<std::pair<std::string, std::string>> {};

TEST_P(JetQueryTextTest, SqlRebuiltFromTheRows) {
    REQUIRE_JET_READER();
    static const auto queries = QueriesOf(ReadJetFile(JetSample("queryTestV2000.mdb")).document);
    const auto& [name, sql] = GetParam();
    ASSERT_TRUE(queries.count(name)) << name;
    EXPECT_EQ(queries.at(name), sql);
}

// The rows the writer makes of each query's SQL are those Access wrote, attribute by attribute in
// the order of their Order column (which is the storage order in this file), but for two things
// the SQL does not say: the order in which a select query's tables were added (its FROM clause
// lists them in the order of its joins), and a pass-through query, whose SQL reads as the text
// of a data-definition query (its connection string is not in the SQL), so it is stored as one.
TEST_P(JetQueryTextTest, RowsWrittenFromTheSqlAreThoseAccessWrote) {
    REQUIRE_MDB_TOOLS();
    const auto& [name, sql] = GetParam();
    static const fs::path file = JetSample("queryTestV2000.mdb");
    static const auto objects = ExportTable(file, "MSysObjects");
    static const auto stored = ExportTable(file, "MSysQueries");
    auto at = [](const std::vector<std::string>& header, const char* column) {
        return static_cast<std::size_t>(std::find(header.begin(), header.end(), column) -
                                        header.begin());
    };
    std::string id;
    for (const auto& row : objects)
        if (row[at(objects[0], "Name")] == name) id = row[at(objects[0], "Id")];
    ASSERT_FALSE(id.empty());
    auto text = [](const std::string& value) { return value == kNullMark ? "" : value; };
    // "attribute: name1 | name2 | expression | flag", by attribute in order.
    std::map<int, std::vector<std::string>> access, ours;
    for (std::size_t r = 1; r < stored.size(); ++r) {
        const auto& row = stored[r];
        if (row[at(stored[0], "ObjectId")] != id) continue;
        int attribute = std::stoi(row[at(stored[0], "Attribute")]);
        if (attribute == 0 || attribute == 255) continue;
        access[attribute].push_back(
            text(row[at(stored[0], "Name1")]) + " | " + text(row[at(stored[0], "Name2")]) + " | " +
            text(row[at(stored[0], "Expression")]) + " | " + text(row[at(stored[0], "Flag")]));
    }
    actualiz::engine::jet::QueryRowsResult written = actualiz::engine::jet::QueryRowsFor(sql);
    ASSERT_EQ(written.problem, "");
    for (const auto& row : written.rows)
        ours[row.attribute].push_back(row.name1 + " | " + row.name2 + " | " + row.expression +
                                      " | " + (row.flag ? std::to_string(*row.flag) : ""));
    if (name == "SelectQuery") {
        EXPECT_EQ(ours[5], (std::vector<std::string>{"Table1 |  |  | ", "Table3 |  |  | ",
                                                     "Table2 |  |  | "}));
        ours.erase(5);
        access.erase(5);
    }
    if (name == "PassthroughQuery") {
        EXPECT_EQ(access[1], std::vector<std::string>{"ODBC; |  | " + sql + " | 8"});
        EXPECT_EQ(ours[1], std::vector<std::string>{" |  | " + sql + " | 7"});
        return;
    }
    EXPECT_EQ(ours, access);
}

INSTANTIATE_TEST_SUITE_P(
    QueryTestV2000, JetQueryTextTest,
    ::testing::Values(
        std::make_pair(
            "SelectQuery",
            "SELECT DISTINCT Table1.*, Table2.col1, Table2.col2, Table3.col3\r\n"
            "FROM (Table1 LEFT JOIN Table3 ON Table1.col1 = Table3.col1) INNER JOIN Table2 ON "
            "(Table3.col1 = Table2.col1) AND (Table3.col1 = Table2.col2)\r\n"
            "WHERE (((Table2.col2)=\"foo\" Or (Table2.col2) In (\"buzz\",\"bazz\")))\r\n"
            "ORDER BY Table2.col1;"),
        std::make_pair("UpdateQuery",
                       "PARAMETERS [User Name] Text ( 255 );\r\n"
                       "UPDATE Table1\r\n"
                       "SET Table1.col1 = \"foo\", Table1.col2 = [Table2].[col3], [Table2].[col1] "
                       "= [User Name]\r\n"
                       "WHERE ((([Table2].[col1]) Is Not Null));"),
        std::make_pair("AppendQuery",
                       "INSERT INTO Table3 ( col2, col2, col3 )\r\n"
                       "SELECT [Table1].[col2], [Table2].[col2], [Table2].[col3]\r\n"
                       "FROM Table3, Table1 INNER JOIN Table2 ON [Table1].[col1]=[Table2].[col1];"),
        std::make_pair("DeleteQuery",
                       "DELETE Table1.col1, Table1.col2, Table1.col3\r\n"
                       "FROM Table1\r\n"
                       "WHERE (((Table1.col1)>\"blah\"));"),
        std::make_pair("MakeTableQuery",
                       "SELECT Max(Table2.col1) AS MaxOfcol1, Table2.col2, Table3.col2 INTO "
                       "Table4\r\n"
                       "FROM (Table2 INNER JOIN Table1 ON Table2.col1 = Table1.col2) RIGHT JOIN "
                       "Table3 ON Table1.col2 = Table3.col3\r\n"
                       "GROUP BY Table2.col2, Table3.col2\r\n"
                       "HAVING (((Max(Table2.col1))=\"buzz\") AND ((Table2.col2)<>\"blah\"));"),
        std::make_pair("CrosstabQuery",
                       "TRANSFORM Count([Table2].[col2]) AS CountOfcol2\r\n"
                       "SELECT Table2_1.col1, [Table2].[col3], Avg(Table2_1.col2) AS AvgOfcol2\r\n"
                       "FROM (Table1 INNER JOIN Table2 ON [Table1].[col1]=[Table2].[col1]) INNER "
                       "JOIN Table2 AS Table2_1 ON [Table2].[col1]=Table2_1.col3\r\n"
                       "WHERE ((([Table1].[col1])>\"10\") And ((Table2_1.col1) Is Not Null) And "
                       "((Avg(Table2_1.col2))>\"10\"))\r\n"
                       "GROUP BY Table2_1.col1, [Table2].[col3]\r\n"
                       "ORDER BY [Table2].[col3]\r\n"
                       "PIVOT [Table1].[col1];"),
        std::make_pair("UnionQuery",
                       "Select Table1.col1, Table1.col2\r\n"
                       "where Table1.col1 = \"foo\"\r\n"
                       "UNION\r\n"
                       "Select Table2.col1, Table2.col2\r\n"
                       "UNION ALL Select Table3.col1, Table3.col2\r\n"
                       "where Table3.col3 > \"blah\";"),
        std::make_pair("PassthroughQuery", "ALTER TABLE Table4 DROP COLUMN col5;"),
        std::make_pair("DataDefinitionQuery", "CREATE TABLE Table5 (col1 CHAR, col2 CHAR);")),
    [](const auto& info) { return info.param.first; });

// The rows of a query are put in the order their Order column gives, whatever their storage
// order: a copy of the sample whose select query has the sequence numbers of two output columns
// swapped (patched in their MSysQueries rows) lists those columns the other way round.
TEST(JetQueries, ColumnsFollowTheirSequenceNumbers) {
    REQUIRE_JET_READER();
    std::string bytes = ReadBytes(JetSample("queryTestV2000.mdb"));
    // A row of SelectQuery (object -2147483640) for an output column (attribute 6): the fixed
    // part, then the 4-byte Order, then the expression's memo header and its compressed text.
    const std::string rowStart("\x08\x00\x00\x80\x06", 5);
    auto orderByteOf = [&](const std::string& expression) -> std::size_t {
        std::string text = "\xff\xfe" + expression;
        for (std::size_t at = bytes.find(text); at != std::string::npos;
             at = bytes.find(text, at + 1))
            if (at >= 27 && bytes.compare(at - 27, 5, rowStart) == 0) return at - 13;
        return std::string::npos;
    };
    std::size_t col1 = orderByteOf("Table2.col1"), col2 = orderByteOf("Table2.col2");
    ASSERT_NE(col1, std::string::npos);
    ASSERT_NE(col2, std::string::npos);
    ASSERT_EQ(bytes[col1], 2);
    ASSERT_EQ(bytes[col2], 3);
    std::swap(bytes[col1], bytes[col2]);
    actualiz::testing::TempPrefix prefix;
    fs::path patched = prefix.writeFile("orden.mdb", bytes);
    auto queries = QueriesOf(ReadJetFile(patched).document);
    EXPECT_EQ(
        queries.at("SelectQuery")
            .rfind("SELECT DISTINCT Table1.*, Table2.col2, Table2.col1, Table3.col3\r\nFROM ", 0),
        0u);
}

// -----------------------------------------------------------------------------------------------
// What cannot be carried over is said.

bool HasNote(const std::vector<std::string>& notes, const std::string& part1,
             const std::string& part2 = {}) {
    for (const auto& n : notes)
        if (n.find(part1) != std::string::npos && n.find(part2) != std::string::npos) return true;
    return false;
}

// Only a Long numbers itself: Jet 3 files set the autonumber bits on other columns too.
TEST(JetCounters, OnlyLongColumnsMarkedAsAutonumberAreCounters) {
    REQUIRE_JET_READER();
    std::vector<std::string> counters;
    for (const char* file :
         {"testV1997.mdb", "testIndexCodesV1997.mdb", "queryTestV2000.mdb", "indexTestV2000.mdb"}) {
        JetReadOptions options;
        options.includeRows = false;
        const auto doc = ReadJetFile(JetSample(file), options).document;
        for (const auto& t : doc.at("tables"))
            for (const auto& f : t.at("fields"))
                if (f.value("attributes", 0L) & dbAutoIncrField) {
                    EXPECT_EQ(f.at("type"), dbLong) << file;
                    counters.push_back(t.at("name").get<std::string>() + "." +
                                       f.at("name").get<std::string>());
                }
    }
    EXPECT_EQ(counters, (std::vector<std::string>{"Table3.a", "Table11.id"}));
}

TEST(JetNotes, WhatTheEngineCannotHoldIsReported) {
    REQUIRE_JET_READER();
    auto basic = ReadJetFile(JetSample("testV1997.mdb")).notCarried;
    // The counter of Table3 and the constant defaults of Table1 are carried; the GUID that
    // numbers itself and its GenGUID() default are not.
    EXPECT_FALSE(HasNote(basic, "«Table3»"));
    EXPECT_FALSE(HasNote(basic, "«Table1»"));
    EXPECT_TRUE(HasNote(basic, "«Table4»", "generación automática del GUID de «data»"));
    EXPECT_TRUE(HasNote(basic, "«Table4»", "valores predeterminados de «data»"));
    auto queries = ReadJetFile(JetSample("queryTestV2000.mdb")).notCarried;
    ASSERT_EQ(queries.size(), 1u);
    EXPECT_TRUE(HasNote(queries, "«PassthroughQuery»", "\"ODBC;\""));
    // Nothing is reported of a file whose every part is carried.
    auto indexes = ReadJetFile(JetSample("indexTestV2000.mdb")).notCarried;
    for (const auto& n : indexes)
        EXPECT_NE(n.find("valores predeterminados"), std::string::npos) << n;
}

TEST(JetOptions, StructureOnlyLeavesTheRowsOut) {
    REQUIRE_JET_READER();
    JetReadOptions options;
    options.includeRows = false;
    json doc = ReadJetFile(JetSample("testIndexCodesV1997.mdb"), options).document;
    ASSERT_EQ(doc.at("tables").size(), 29u);
    for (const auto& t : doc.at("tables")) EXPECT_FALSE(t.contains("rows")) << t.at("name");
    json full = ReadJetFile(JetSample("testIndexCodesV1997.mdb")).document;
    std::size_t rows = 0;
    for (const auto& t : full.at("tables")) rows += t.at("rows").size();
    EXPECT_EQ(rows, 1536u);
}

TEST(JetOptions, TheFileIsOnlyRead) {
    REQUIRE_JET_READER();
    actualiz::testing::TempPrefix prefix;
    fs::path copy = prefix.driveCPath("copia.mdb");
    fs::copy_file(JetSample("queryTestV2000.mdb"), copy);
    std::string before = ReadBytes(copy);
    auto mtime = fs::last_write_time(copy);
    ReadJetFile(copy);
    EXPECT_EQ(ReadBytes(copy), before);
    EXPECT_EQ(fs::last_write_time(copy), mtime);
}

}  // namespace
}  // namespace actualiz::engine::testing
