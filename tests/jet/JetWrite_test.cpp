// The writer's pages: handed out and taken back through the usage maps of a copy in memory, and
// the copy saved beside; the checker and libmdb read the result, the sample stays as it was.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "engine/EngineError.h"
#include "jet/JetTestSupport.h"
#include "jet/check/FileCheck.h"
#include "jet/format/TableDef.h"
#include "jet/format/UsageMap.h"
#include "jet/read/Catalog.h"
#include "jet/write/NewTable.h"
#include "jet/write/PageAllocation.h"
#include "jet/write/Rows.h"
#include "support/TempPrefix.h"

namespace actualiz::engine::testing {
namespace {

using namespace jet::format;
using namespace jet::write;
using jet::check::CheckFile;

std::string Problems(const PageFile& file) {
    std::string text;
    for (const auto& problem : CheckFile(file).problems)
        text += problem.where + ": " + problem.text + "\n";
    return text;
}

bool MarkedFree(const PageFile& file, std::uint32_t page) {
    return ReadUsageMap(file, kFreePagesMap).Contains(page);
}

TEST(JetPageAllocation, ReusesTheLowestFreePageInsideTheFile) {
    PageFile file = PageFile::Open(JetSample("indexTestV2003.mdb"));
    std::uint32_t pages = file.PageCount();
    ASSERT_TRUE(MarkedFree(file, 38));  // Access left pages 38 and 39 free
    EXPECT_EQ(AllocatePage(file), 38u);
    EXPECT_EQ(file.PageCount(), pages);
    EXPECT_FALSE(MarkedFree(file, 38));
    std::span<const unsigned char> page = file.Page(38);
    EXPECT_TRUE(std::all_of(page.begin(), page.end(), [](unsigned char b) { return b == 0; }));
    EXPECT_EQ(AllocatePage(file), 39u);
    EXPECT_EQ(Problems(file), "");
}

TEST(JetPageAllocation, GrowsTheFileWhenNoPageInsideIsFree) {
    PageFile file = PageFile::Open(JetSample("blankV2000.mdb"));
    ASSERT_EQ(file.PageCount(), 24u);
    EXPECT_EQ(AllocatePage(file), 24u);
    EXPECT_EQ(file.PageCount(), 25u);
    EXPECT_FALSE(MarkedFree(file, 24));
    FreePage(file, 24);
    EXPECT_TRUE(MarkedFree(file, 24));
    EXPECT_EQ(AllocatePage(file), 24u) << "a page given back is the first taken again";
    EXPECT_EQ(file.PageCount(), 25u);
    EXPECT_EQ(Problems(file), "");
}

TEST(JetPageAllocation, RefusesWhatTheMapsCannotReachAndLeavesTheFileAsItWas) {
    PageFile file = PageFile::Open(JetSample("blankV2000.mdb"));
    // The free-page map of a blank file covers 512 pages.
    while (file.PageCount() < 512) AllocatePage(file);
    std::vector<unsigned char> before = file.Bytes();
    try {
        AllocatePage(file);
        ADD_FAILURE() << "a page past the free-page map was handed out";
    } catch (const EngineError& e) {
        EXPECT_EQ(e.number(), err::kInvalidOperation);
    }
    EXPECT_EQ(file.Bytes(), before);

    TableDef def = ReadTableDef(file, 15);  // MSysAccessObjects
    EXPECT_THROW(SetMapped(file, PageRow::From(def.usageMap), 100000, true), EngineError);
    EXPECT_EQ(file.Bytes(), before);
}

// A data page joins a table through its maps and leaves it again. (An empty data page must not be
// left in a table: libmdb reads it as one row of Nulls.)
TEST(JetPageAllocation, DataPageJoinsAndLeavesItsTableAndLibmdbReadsTheSavedCopy) {
    const std::filesystem::path sample = JetSample("compIndexTestV2000.mdb");
    std::ifstream in(sample, std::ios::binary);
    const std::vector<unsigned char> original((std::istreambuf_iterator<char>(in)),
                                              std::istreambuf_iterator<char>());
    PageFile file = PageFile::Open(sample);
    constexpr std::uint32_t kTable1 = 15;
    TableDef def = ReadTableDef(file, kTable1);
    std::uint32_t reused = AllocatePage(file);
    std::uint32_t added = AllocatePage(file);
    EXPECT_LT(reused, original.size() / kPageSize);
    EXPECT_EQ(added, original.size() / kPageSize);
    for (bool joined : {true, false}) {
        SetMapped(file, PageRow::From(def.usageMap), added, joined);
        SetMapped(file, PageRow::From(def.freeMap), added, joined);
        if (joined) InitDataPage(file, added, kTable1);
        EXPECT_EQ(ReadUsageMap(file, PageRow::From(def.usageMap)).Contains(added), joined);
        EXPECT_EQ(Problems(file), "") << (joined ? "joined" : "left");
    }
    FreePage(file, added);
    FreePage(file, reused);
    EXPECT_EQ(Problems(file), "");

    ::actualiz::testing::TempPrefix prefix;
    std::filesystem::path copy = prefix.root() / "copia.mdb";
    file.Save(copy);
    EXPECT_EQ(PageFile::Open(copy).Bytes(), file.Bytes());
    std::ifstream again(sample, std::ios::binary);
    EXPECT_EQ(std::vector<unsigned char>((std::istreambuf_iterator<char>(again)),
                                         std::istreambuf_iterator<char>()),
              original)
        << "the sample was changed";
    if (!HaveMdbTools()) GTEST_SKIP() << "mdbtools not installed";
    auto rows = ExportTable(copy, "Table1");
    EXPECT_EQ(rows.size(), 513u);  // the header and 512 rows
    EXPECT_EQ(rows, ExportTable(sample, "Table1"));
}

// Rows of the catalog written, read back by our reader, the checker and libmdb, then deleted.
constexpr std::uint32_t kCatalog = 2;
constexpr std::int32_t kRootParent = 251658240;

StoredValues CatalogRow(std::int32_t id, std::u16string name) {
    return {{"Id", LongBytes(id)},
            {"ParentId", LongBytes(kRootParent)},
            {"Name", TextBytes(name)},
            {"Type", IntegerBytes(5)},
            {"DateCreate", DoubleBytes(37924.5)},
            {"DateUpdate", DoubleBytes(37924.75)},
            {"Flags", LongBytes(0)},
            {"Database", TextBytes(std::u16string(60, u'x'))}};
}

TEST(JetRows, CatalogRowsGoInAndOutWithTheirIndexesAndLibmdbReadsTheCopy) {
    const std::filesystem::path sample = JetSample("blankV2000.mdb");
    PageFile file = PageFile::Open(sample);
    std::size_t catalogRows = ReadCatalog(file).size();
    std::uint32_t catalogPages = static_cast<std::uint32_t>(
        ReadUsageMap(file, PageRow::From(ReadTableDef(file, kCatalog).usageMap)).pages.size());
    std::vector<PageRow> inserted;
    for (int i = 0; i < 45; ++i) {
        std::u16string name = u"Consulta ñandú " +
                              std::u16string(1, static_cast<char16_t>(u'A' + i % 26)) +
                              std::u16string(1, static_cast<char16_t>(u'0' + i / 26));
        inserted.push_back(InsertRow(file, kCatalog, CatalogRow(300000 + (i * 7919) % 45, name)));
    }
    TableDef def = ReadTableDef(file, kCatalog);
    EXPECT_EQ(def.rowCount, catalogRows + 45);
    EXPECT_GT(ReadUsageMap(file, PageRow::From(def.usageMap)).pages.size(), catalogPages)
        << "the rows did not need a new page";
    std::vector<CatalogObject> catalog = ReadCatalog(file);
    ASSERT_EQ(catalog.size(), catalogRows + 45);
    EXPECT_EQ(std::count_if(
                  catalog.begin(), catalog.end(),
                  [](const CatalogObject& o) { return o.name.rfind("Consulta ñandú ", 0) == 0; }),
              45);
    EXPECT_EQ(Problems(file), "");

    ::actualiz::testing::TempPrefix prefix;
    std::filesystem::path copy = prefix.root() / "filas.mdb";
    file.Save(copy);
    if (HaveMdbTools()) {
        auto rows = ExportTable(copy, "MSysObjects");
        auto before = ExportTable(sample, "MSysObjects");
        ASSERT_EQ(rows.size(), before.size() + 45);
        EXPECT_EQ(std::count_if(rows.begin(), rows.end(),
                                [](const auto& row) {
                                    return row.at(2).rfind("Consulta ñandú ", 0) == 0 &&
                                           row.at(3) == "5";
                                }),
                  45);
    }

    for (PageRow where : inserted) DeleteRow(file, kCatalog, where);
    EXPECT_EQ(ReadTableDef(file, kCatalog).rowCount, catalogRows);
    EXPECT_EQ(ReadCatalog(file).size(), catalogRows);
    EXPECT_EQ(Problems(file), "");
    EXPECT_THROW(DeleteRow(file, kCatalog, inserted.front()), EngineError) << "deleted twice";
    file.Save(copy);
    if (!HaveMdbTools()) GTEST_SKIP() << "mdbtools not installed";
    for (const char* table : {"MSysObjects", "MSysACEs", "MSysQueries", "MSysRelationships"})
        EXPECT_EQ(ExportTable(copy, table), ExportTable(sample, table)) << table;
}

// A row whose key cannot be made, or that repeats a unique key, changes nothing.
TEST(JetRows, RefusedRowsLeaveTheFileAsItWas) {
    PageFile file = PageFile::Open(JetSample("blankV2000.mdb"));
    const std::vector<unsigned char> before = file.Bytes();
    auto refusal = [&](const StoredValues& row) {
        try {
            InsertRow(file, kCatalog, row);
        } catch (const EngineError& e) {
            EXPECT_EQ(file.Bytes(), before);
            return e.number();
        }
        ADD_FAILURE() << "the row was written";
        return 0;
    };
    EXPECT_EQ(refusal(CatalogRow(300001, u"カタカナ")), err::kInvalidArgument)
        << "a character whose sort weight is not known";
    std::int32_t taken = ReadCatalog(file).front().id;
    EXPECT_EQ(refusal(CatalogRow(taken, u"Otra")), err::kDuplicateInIndex);
    StoredValues wrongSize = CatalogRow(300002, u"Otra");
    wrongSize["Type"] = LongBytes(5);
    EXPECT_EQ(refusal(wrongSize), err::kInvalidOperation);
    StoredValues tooLong = CatalogRow(300003, std::u16string(256, u'a'));
    EXPECT_EQ(refusal(tooLong), err::kInvalidOperation);
    StoredValues unknownColumn = CatalogRow(300004, u"Otra");
    unknownColumn["Nada"] = LongBytes(1);
    EXPECT_EQ(refusal(unknownColumn), err::kInvalidOperation);

    // 512 rows whose indexes span several leaves: a tree of several pages is not written.
    PageFile large = PageFile::Open(JetSample("compIndexTestV2000.mdb"));
    const std::vector<unsigned char> largeBefore = large.Bytes();
    try {
        InsertRow(large, 15, {{"CD_AGENTE", LongBytes(999999)}, {"RS_AGENTE", TextBytes(u"Z")}});
        ADD_FAILURE() << "an index of several pages was rewritten";
    } catch (const EngineError& e) {
        EXPECT_EQ(e.number(), err::kInvalidOperation);
    }
    EXPECT_EQ(large.Bytes(), largeBefore);
}

// A new empty table of every type written so far: our reader, the checker and libmdb see it,
// and it takes rows.
NewTable Clientes() {
    return {u"Clientes",
            {{u"Nombre", kText, 50},
             {u"Cantidad", kLong},
             {u"Precio", kCurrency},
             {u"Alta", kDateTime},
             {u"Activo", kBoolean},
             {u"Nivel", kByte},
             {u"Orden", kInteger},
             {u"Peso", kDouble},
             {u"Nota", kText, 255},
             // After every variable column: its row holds no place for it (readers that count
             // the fixed columns from the row's counts lost the columns after it).
             {u"Baja", kBoolean},
             {u"Pedidos", kLong}},
            45000.25};
}

TEST(JetNewTable, ANewTableIsReadByOurReaderTheCheckerAndLibmdbAndTakesRows) {
    PageFile file = PageFile::Open(JetSample("indexTestV2003.mdb"));
    std::uint32_t page = CreateTable(file, Clientes());
    EXPECT_EQ(Problems(file), "");
    TableDef def = ReadTableDef(file, page);
    ASSERT_EQ(def.columns.size(), 11u);
    EXPECT_EQ(def.columns[0].name, "Nombre");
    EXPECT_EQ(def.columns[8].name, "Nota");
    EXPECT_EQ(def.varColumns, 2);
    EXPECT_EQ(def.length, def.parsedLength);
    std::vector<CatalogObject> catalog = ReadCatalog(file);
    auto found = std::find_if(catalog.begin(), catalog.end(),
                              [](const CatalogObject& o) { return o.name == "Clientes"; });
    ASSERT_NE(found, catalog.end());
    EXPECT_TRUE(found->LocalTable());
    EXPECT_EQ(found->DefinitionPage(), page);

    ::actualiz::testing::TempPrefix prefix;
    std::filesystem::path copy = prefix.root() / "nueva.mdb";
    file.Save(copy);
    if (HaveMdbTools()) {
        EXPECT_NE(Capture("mdb-tables -1 " + ShellQuoted(copy.string())).find("Clientes\n"),
                  std::string::npos);
        std::string schema = Capture("mdb-schema -T Clientes " + ShellQuoted(copy.string()));
        for (const char* field :
             {"[Nombre]\t\t\tText (50)", "[Cantidad]\t\t\tLong Integer", "[Precio]\t\t\tCurrency",
              "[Alta]\t\t\tDateTime", "[Activo]\t\t\tBoolean", "[Nivel]\t\t\tByte",
              "[Orden]\t\t\tInteger", "[Peso]\t\t\tDouble", "[Nota]\t\t\tText (255)",
              "[Baja]\t\t\tBoolean", "[Pedidos]\t\t\tLong Integer"})
            EXPECT_NE(schema.find(field), std::string::npos) << field << "\n" << schema;
        EXPECT_EQ(ExportTable(copy, "Clientes").size(), 1u) << "only the header";
    }

    InsertRow(file, page,
              {{"Nombre", TextBytes(u"Peña")},
               {"Cantidad", LongBytes(-7)},
               {"Activo", {1}},
               {"Orden", IntegerBytes(300)},
               {"Peso", DoubleBytes(2.5)},
               {"Baja", {1}},
               {"Pedidos", LongBytes(12)}});
    EXPECT_EQ(ReadTableDef(file, page).rowCount, 1u);
    EXPECT_EQ(Problems(file), "");
    file.Save(copy);
    if (!HaveMdbTools()) GTEST_SKIP() << "mdbtools not installed";
    auto rows = ExportTable(copy, "Clientes");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1], (std::vector<std::string>{"Peña", "-7", kNullMark, kNullMark, "1", kNullMark,
                                                 "300", "2.5", kNullMark, "1", "12"}));
    for (const char* table : {"Table1", "Table2", "Table3", "MSysACEs", "MSysQueries"})
        EXPECT_EQ(ExportTable(copy, table), ExportTable(JetSample("indexTestV2003.mdb"), table))
            << table;
}

TEST(JetNewTable, RefusedTablesLeaveTheFileAsItWas) {
    PageFile file = PageFile::Open(JetSample("blankV2000.mdb"));
    const std::vector<unsigned char> before = file.Bytes();
    auto refused = [&](const NewTable& table) {
        try {
            CreateTable(file, table);
        } catch (const EngineError& e) {
            EXPECT_EQ(file.Bytes(), before);
            return e.number();
        }
        ADD_FAILURE() << "the table was written";
        return 0;
    };
    NewTable taken = Clientes();
    taken.name = u"msysaccessobjects";
    EXPECT_EQ(refused(taken), err::kInvalidOperation) << "a name in use, case aside";
    for (std::uint8_t type : {kMemo, kLongBinary, kSingle, kGuid, kBinary, kNumeric}) {
        NewTable other = Clientes();
        other.columns.push_back({u"Otro", type});
        EXPECT_EQ(refused(other), err::kInvalidOperation) << int(type);
    }
    NewTable twice = Clientes();
    twice.columns.push_back({u"NOMBRE", kLong});
    EXPECT_EQ(refused(twice), err::kInvalidOperation);
    NewTable wide = Clientes();
    wide.columns[0].textLength = 256;
    EXPECT_EQ(refused(wide), err::kInvalidOperation);
    NewTable unknown = Clientes();
    unknown.name = u"テーブル";
    EXPECT_EQ(refused(unknown), err::kInvalidArgument);

    PageFile queries = PageFile::Open(JetSample("queryTestV2000.mdb"));
    const std::vector<unsigned char> queriesBefore = queries.Bytes();
    NewTable query = Clientes();
    query.name = u"SelectQuery";
    EXPECT_THROW(CreateTable(queries, query), EngineError) << "tables and queries share names";
    EXPECT_EQ(queries.Bytes(), queriesBefore);
}

}  // namespace
}  // namespace actualiz::engine::testing
