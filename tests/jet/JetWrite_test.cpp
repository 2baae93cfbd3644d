// The writer's pages: handed out and taken back through the usage maps of a copy in memory, and
// the copy saved beside; the checker and libmdb read the result, the sample stays as it was.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <set>

#include "engine/EngineError.h"
#include "jet/JetReader.h"
#include "jet/JetTestSupport.h"
#include "jet/check/FileCheck.h"
#include "jet/format/DataPage.h"
#include "jet/format/IndexPage.h"
#include "jet/format/Properties.h"
#include "jet/format/TableDef.h"
#include "jet/format/Text.h"
#include "jet/format/TextKey.h"
#include "jet/format/UsageMap.h"
#include "jet/mdb/Bytes.h"
#include "jet/read/Catalog.h"
#include "jet/read/RowReader.h"
#include "jet/write/Columns.h"
#include "jet/write/Indexes.h"
#include "jet/write/LongValues.h"
#include "jet/write/NewTable.h"
#include "jet/write/PageAllocation.h"
#include "jet/write/Permissions.h"
#include "jet/write/Properties.h"
#include "jet/write/Relations.h"
#include "jet/write/Rows.h"
#include "jet/write/TableDefWrite.h"
#include "jet/write/WholeChange.h"
#include "support/TempPrefix.h"

namespace actualiz::engine::testing {
namespace {

using namespace jet::format;
using namespace jet::write;
using jet::check::CheckFile;
using jet::format::TableDef;  // the engine has one too (jet/JetReader.h)

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

// Past what the free-page map reaches, it grows inline a word (32 pages) at a time, as Access grew
// testV2000.mdb's (96 bytes for 743 pages, the pages past the end marked free), and the other row
// of page 1 moves down to make room.
TEST(JetPageAllocation, TheFreePageMapGrowsInlineWithTheFile) {
    const std::filesystem::path sample = JetSample("blankV2000.mdb");
    PageFile file = PageFile::Open(sample);
    while (file.PageCount() < 600) AllocatePage(file);
    EXPECT_EQ(RowBytes(file, kFreePagesMap).size(), 5u + 76u);
    EXPECT_EQ(ReadUsageMap(file, kFreePagesMap).pages,
              (std::vector<std::uint32_t>{600, 601, 602, 603, 604, 605, 606, 607}));
    const std::span<const unsigned char> other = RowBytes(file, {1, 1});
    EXPECT_EQ(other.size(), 69u);
    EXPECT_TRUE(std::all_of(other.begin(), other.end(), [](unsigned char b) { return b == 0; }));
    EXPECT_EQ(ReadDataPageHeader(file.Page(1)).freeSpace, 4096u - 14 - 4 - 81 - 69);
    FreePage(file, 550);
    EXPECT_TRUE(MarkedFree(file, 550));
    EXPECT_EQ(AllocatePage(file), 550u);
    EXPECT_EQ(Problems(file), "");

    ::actualiz::testing::TempPrefix prefix;
    const std::filesystem::path copy = prefix.root() / "crecido.mdb";
    file.Save(copy);
    if (!HaveMdbTools()) GTEST_SKIP() << "mdbtools not installed";
    EXPECT_EQ(ExportTable(copy, "MSysObjects"), ExportTable(sample, "MSysObjects"));
}

TEST(JetPageAllocation, RefusesAPagePastTheEndOfTheFileAndLeavesTheFileAsItWas) {
    PageFile file = PageFile::Open(JetSample("blankV2000.mdb"));
    const std::vector<unsigned char> before(file.Bytes().begin(), file.Bytes().end());
    TableDef def = ReadTableDef(file, 15);  // MSysAccessObjects
    try {
        SetMapped(file, PageRow::From(def.usageMap), 100000, true);
        ADD_FAILURE() << "a page past the end of the file was mapped";
    } catch (const EngineError& e) {
        EXPECT_EQ(e.number(), err::kInvalidOperation);
    }
    EXPECT_TRUE(std::ranges::equal(file.Bytes(), before));
}

std::uint32_t TablePage(const PageFile& file, const std::string& name);

// Rows that need pages past what a table's or an index's usage map reaches: the map grows inline
// while its page has room, as Access grows its maps, or becomes a type 1 map (its 0x05 pages
// taken from the file). The checker passes, every row reads back, libmdb exports them all.
struct MapGrowthCase {
    const char* what;
    const char* table;
    std::function<void(PageFile&, std::uint32_t table)> before;
    int rows;
    int dataMapType;   // the table's map of pages afterwards
    int indexMapType;  // the map of some index of the table afterwards (-1: not looked at)
};

void PrintTo(const MapGrowthCase& c, std::ostream* out) {
    *out << c.what;
}

class JetUsageMapGrowthTest : public ::testing::TestWithParam<MapGrowthCase> {};

// A row of testV2000.mdb's Table2 (89 Text(50) fields, indexed on column1, 10, 14 and 75) or of
// its Table3 (a counter and a Text(50), indexed on the counter).
StoredValues GrowthRow(const std::string& table, int n) {
    auto text = [&](int field) {
        std::string value = "fila " + std::to_string(n) + " campo " + std::to_string(field) + " ";
        value.resize(50, 'x');
        return TextBytes(std::u16string(value.begin(), value.end()));
    };
    if (table == "Table3") {
        const std::string value = "f" + std::to_string(n);
        return {{"a", LongBytes(n + 1)},
                {"b", TextBytes(std::u16string(value.begin(), value.end()))}};
    }
    StoredValues row;
    for (int field : {1, 2, 3, 4, 10, 14, 40, 75})
        row["column" + std::to_string(field)] = text(field);
    return row;
}

// Gives what room is left on a page of maps to one more row (an empty map no table names).
void FillPage(PageFile& file, std::uint32_t number) {
    const std::vector<RowSlot> slots = ReadRowSlots(file, number);
    const std::size_t slot = 14 + 2 * slots.size();
    const std::size_t lowest = slots.back().start;
    ASSERT_GT(lowest, slot + 2 + 5);
    std::span<unsigned char> page = file.MutablePage(number);
    std::fill(page.begin() + static_cast<std::ptrdiff_t>(slot + 2), page.begin() + lowest, 0);
    page[slot] = static_cast<unsigned char>(slot + 2);
    page[slot + 1] = static_cast<unsigned char>((slot + 2) >> 8);
    page[12] = static_cast<unsigned char>(slots.size() + 1);
    page[2] = page[3] = 0;
}

TEST_P(JetUsageMapGrowthTest, RowsPastAMapsReachAreKept) {
    const MapGrowthCase& c = GetParam();
    PageFile file = PageFile::Open(JetSample("testV2000.mdb"));
    const std::uint32_t page = TablePage(file, c.table);
    if (c.before) c.before(file, page);
    const std::size_t had = ReadTableDef(file, page).rowCount;
    for (int i = 0; i < c.rows; ++i) InsertRow(file, page, GrowthRow(c.table, i));
    EXPECT_EQ(Problems(file), "");
    const TableDef def = ReadTableDef(file, page);
    const UsageMap data = ReadUsageMap(file, PageRow::From(def.usageMap));
    EXPECT_EQ(data.type, c.dataMapType);
    EXPECT_GT(data.pages.back(), 742u) << "the table took pages the file did not have";
    EXPECT_EQ(TableRows(file, def, data).size(), had + c.rows);
    if (c.indexMapType >= 0) {
        bool found = false;
        for (const RealIndexDef& index : def.realIndexes)
            found =
                found || ReadUsageMap(file, PageRow::From(index.usageMap)).type == c.indexMapType;
        EXPECT_TRUE(found) << "no index map of type " << c.indexMapType;
    }
    for (const UsageMap& map : {data, ReadUsageMap(file, PageRow::From(def.freeMap))})
        for (std::uint32_t bitmap : map.bitmapPages) {
            if (bitmap != 0) {
                EXPECT_EQ(file.Page(bitmap)[0], kUsageBitmapPage);
            }
        }

    ::actualiz::testing::TempPrefix prefix;
    const std::filesystem::path copy = prefix.root() / "mapas.mdb";
    file.Save(copy);
    if (!HaveMdbTools()) GTEST_SKIP() << "mdbtools not installed";
    EXPECT_EQ(ExportTable(copy, c.table).size(), had + c.rows + 1) << "libmdb reads every row";
}

INSTANTIATE_TEST_SUITE_P(
    Maps, JetUsageMapGrowthTest,
    ::testing::Values(
        MapGrowthCase{"a table's maps grow inline past the 512 pages they reached", "Table2",
                      nullptr, 60, 0, -1},
        MapGrowthCase{"maps already of type 1 take the new pages", "Table2",
                      [](PageFile& file, std::uint32_t table) {
                          const TableDef def = ReadTableDef(file, table);
                          MakeReferenceMap(file, PageRow::From(def.usageMap));
                          MakeReferenceMap(file, PageRow::From(def.freeMap));
                      },
                      60, 1, -1},
        MapGrowthCase{"a map whose page has no room to grow becomes type 1", "Table2",
                      [](PageFile& file, std::uint32_t table) {
                          FillPage(file, PageRow::From(ReadTableDef(file, table).usageMap).page);
                      },
                      60, 1, -1},
        MapGrowthCase{"an index map must mark a page before its first: it becomes type 1", "Table3",
                      [](PageFile& file, std::uint32_t) {
                          // The indexes of Table1 and Table2 go, so that low pages are free
                          // again.
                          for (const char* name : {"Table1", "Table2"}) {
                              const std::uint32_t other = TablePage(file, name);
                              for (const LogicalIndexDef& index :
                                   ReadTableDef(file, other).logicalIndexes)
                                  DeleteIndex(file, other,
                                              std::u16string(index.name.begin(), index.name.end()));
                          }
                      },
                      900, 0, 1}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

// A data page joins a table through its maps and leaves it again. (An empty data page must not be
// left in a table: libmdb reads it as one row of Nulls.)
// A change keeps aside only the pages it changes: one kept inside another that then fails is
// undone with it, pages changed by either and pages added by either.
TEST(JetPageAllocation, AChangeKeptInsideAFailingOneIsUndoneWithIt) {
    PageFile file = PageFile::Open(JetSample("blankV2000.mdb"));
    const std::vector<unsigned char> before(file.Bytes().begin(), file.Bytes().end());
    try {
        Whole(file, [&] {
            file.MutablePage(3)[100] ^= 0xFF;
            Whole(file, [&] {
                file.MutablePage(3)[200] ^= 0xFF;
                file.MutablePage(4)[100] ^= 0xFF;
                file.MutablePage(file.AppendPage())[0] = 1;
            });
            file.MutablePage(file.AppendPage())[0] = 1;
            throw EngineError(err::kInvalidOperation, "rechazado");
        });
        ADD_FAILURE() << "the change did not fail";
    } catch (const EngineError& e) {
        EXPECT_EQ(e.number(), err::kInvalidOperation);
    }
    EXPECT_TRUE(std::ranges::equal(file.Bytes(), before));
}

// A private copy opened mapped lets its unchanged pages go as it reads and reads them again from
// the file: never a changed page, and a page an undone change had added comes again as zeros.
// Whatever it does, it must hold and save the bytes the same changes leave in a file held whole.
TEST(JetPageAllocation, AMappedFileLetsGoOnlyWhatItCanReadAgain) {
    ::actualiz::testing::TempPrefix prefix;
    const std::filesystem::path copy = prefix.root() / "privada.mdb";
    std::filesystem::copy_file(JetSample("compIndexTestV2000.mdb"), copy);
    PageFile held = PageFile::Open(copy);
    PageFile mapped = PageFile::OpenPrivate(copy, "C:\\datos\\mostrada.mdb");
    for (PageFile* file : {&held, &mapped}) {
        file->MutablePage(3)[100] ^= 0xFF;
        try {
            Whole(*file, [&] {
                file->MutablePage(file->AppendPage())[0] = 7;
                throw EngineError(err::kInvalidOperation, "rechazado");
            });
        } catch (const EngineError&) {
        }
        const std::uint32_t added = file->AppendPage();
        EXPECT_EQ(file->Page(added)[0], 0) << "an added page starts as zeros";
        file->MutablePage(added)[1] = 9;
        for (std::uint32_t i = 0; i < 5000; ++i) file->Page(i % file->PageCount());
    }
    EXPECT_TRUE(std::ranges::equal(mapped.Bytes(), held.Bytes()));
    const std::filesystem::path saved = prefix.root() / "guardada.mdb";
    mapped.Save(saved);
    EXPECT_TRUE(FileHolds(saved, held));
    EXPECT_EQ(DigestOf(mapped), DigestOfFile(saved)) << "a version of a file is known again";
    try {
        mapped.Page(mapped.PageCount());
        ADD_FAILURE() << "a page past the end was read";
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("mostrada.mdb"), std::string::npos) << e.what();
    }
}

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
    EXPECT_TRUE(std::ranges::equal(PageFile::Open(copy).Bytes(), file.Bytes()));
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
    const std::vector<unsigned char> before(file.Bytes().begin(), file.Bytes().end());
    auto refusal = [&](const StoredValues& row) {
        try {
            InsertRow(file, kCatalog, row);
        } catch (const EngineError& e) {
            EXPECT_TRUE(std::ranges::equal(file.Bytes(), before));
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

    // 512 rows whose index spans several leaves: a row more rewrites the tree, sound (refusals
    // on trees of several levels: JetIndexTree).
    PageFile large = PageFile::Open(JetSample("compIndexTestV2000.mdb"));
    InsertRow(large, 15, {{"CD_AGENTE", LongBytes(999999)}, {"RS_AGENTE", TextBytes(u"Z")}});
    EXPECT_EQ(Problems(large), "");
    EXPECT_EQ(ReadTableDef(large, 15).rowCount, 513u);
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
    const std::vector<unsigned char> before(file.Bytes().begin(), file.Bytes().end());
    auto refused = [&](const NewTable& table) {
        try {
            CreateTable(file, table);
        } catch (const EngineError& e) {
            EXPECT_TRUE(std::ranges::equal(file.Bytes(), before));
            return e.number();
        }
        ADD_FAILURE() << "the table was written";
        return 0;
    };
    NewTable taken = Clientes();
    taken.name = u"msysaccessobjects";
    EXPECT_EQ(refused(taken), err::kInvalidOperation) << "a name in use, case aside";
    // Details no sample or format note settles, and sizes out of range.
    NewTable unknownType = Clientes();
    unknownType.columns.push_back({u"Otro", 0x11});
    EXPECT_EQ(refused(unknownType), err::kInvalidType);
    for (NewColumn column :
         {NewColumn{u"Otro", kBinary, 0}, NewColumn{u"Otro", kBinary, 511},
          NewColumn{u"Otro", kNumeric, 0, false, 0, 0},
          NewColumn{u"Otro", kNumeric, 0, false, 29, 0},
          NewColumn{u"Otro", kNumeric, 0, false, 10, 11}, NewColumn{u"Otro", kText, 20, true}}) {
        NewTable other = Clientes();
        other.columns.push_back(column);
        EXPECT_EQ(refused(other), err::kInvalidOperation) << Utf8(column.name) << int(column.type);
    }
    auto indexed = [](std::vector<NewIndex> indexes) {
        NewTable table = Clientes();
        table.columns.push_back({u"Texto", kMemo});
        table.indexes = std::move(indexes);
        return table;
    };
    for (const NewTable& table :
         {indexed({{u"A", {{u"NoEsta"}}}}), indexed({{u"A", {{u"Texto"}}}}),
          indexed({{u"A", {{u"Nombre"}, {u"nombre"}}}}), indexed({{u"", {{u"Nombre"}}}}),
          indexed({{u"A", {}}}), indexed({{u"A", {{u"Nombre"}}}, {u"a", {{u"Cantidad"}}}}),
          indexed({{u"A", {{u"Nombre"}}, true}, {u"B", {{u"Cantidad"}}, true}}),
          indexed({{u"A", {{u"Nombre"}}}, {u"B", {{u"Nombre"}}, false, true}}),
          indexed({{u"A", std::vector<NewIndexField>(11, NewIndexField{u"Nombre"})}})})
        EXPECT_EQ(refused(table), err::kInvalidOperation) << Utf8(table.indexes.back().name);
    NewTable twoCounters = Clientes();
    twoCounters.columns.push_back({u"Uno", kLong, 0, true});
    twoCounters.columns.push_back({u"Dos", kGuid, 0, true});
    EXPECT_EQ(refused(twoCounters), err::kInvalidOperation);
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
    const std::vector<unsigned char> queriesBefore(queries.Bytes().begin(), queries.Bytes().end());
    NewTable query = Clientes();
    query.name = u"SelectQuery";
    EXPECT_THROW(CreateTable(queries, query), EngineError) << "tables and queries share names";
    EXPECT_TRUE(std::ranges::equal(queries.Bytes(), queriesBefore));
}

// Every Jet 4 sample in tests/data/jet.
std::vector<std::string> Jet4Samples() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(JetSample("")))
        if (entry.path().extension() == ".mdb" && PageFile::Open(entry.path()).IsJet4())
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::uint32_t TablePage(const PageFile& file, const std::string& name) {
    if (auto page = LocalTablePage(ReadCatalog(file), name)) return *page;
    ADD_FAILURE() << "no table " << name;
    return 0;
}

// Every definition of every Jet 4 sample (system tables, user tables, the one continued on a
// second page, the one with deleted columns) encodes to the very bytes it was read from, bytes
// not understood included, and written over its own pages it leaves the file as it was.
TEST(JetTableDef, EveryDefinitionOfEverySampleEncodesToItsOwnBytes) {
    int definitions = 0, continued = 0, orderedPairs = 0;
    std::vector<std::string> samples = Jet4Samples();
    EXPECT_GE(samples.size(), 11u);
    for (const std::string& sample : samples) {
        PageFile file = PageFile::Open(JetSample(sample));
        const std::vector<unsigned char> original(file.Bytes().begin(), file.Bytes().end());
        for (const CatalogObject& table : ReadCatalog(file)) {
            if (!table.LocalTable()) continue;
            TableDef def = ReadTableDef(file, table.DefinitionPage());
            std::vector<unsigned char> stored;
            for (std::size_t i = 0; i < def.pages.size(); ++i) {
                std::span<const unsigned char> page = file.Page(def.pages[i]);
                stored.insert(stored.end(), page.begin() + (i == 0 ? 0 : 8), page.end());
            }
            stored.resize(def.length);
            EXPECT_EQ(EncodeTableDef(def), stored) << sample << ": " << table.name;
            // Access keeps the logical indexes in the order of their names' sort keys: the new
            // tables' indexes follow it.
            for (std::size_t i = 1; i < def.logicalIndexes.size(); ++i) {
                EXPECT_LT(TextKey(Utf16(def.logicalIndexes[i - 1].name)),
                          TextKey(Utf16(def.logicalIndexes[i].name)))
                    << sample << ": " << table.name;
                ++orderedPairs;
            }
            WriteTableDef(file, def);
            ++definitions;
            if (def.pages.size() > 1) ++continued;
        }
        EXPECT_TRUE(std::ranges::equal(file.Bytes(), original)) << sample;
    }
    EXPECT_GE(definitions, 90);
    EXPECT_GE(continued, 1);
    EXPECT_GE(orderedPairs, 50);
}

// A new table of every type the engine has: the checker, our reader and libmdb read it, and it
// takes a row with a value in every field.
TEST(JetNewTable, EveryTypeIsWrittenAndReadBack) {
    const std::filesystem::path sample = JetSample("indexTestV2003.mdb");
    PageFile file = PageFile::Open(sample);
    NewTable table{u"Tipos",
                   {{u"Id", kLong, 0, true},
                    {u"Activo", kBoolean},
                    {u"Nivel", kByte},
                    {u"Orden", kInteger},
                    {u"Cantidad", kLong},
                    {u"Precio", kCurrency},
                    {u"Ratio", kSingle},
                    {u"Peso", kDouble},
                    {u"Alta", kDateTime},
                    {u"Firma", kBinary, 16},
                    {u"Nombre", kText, 40},
                    {u"Foto", kLongBinary},
                    {u"Notas", kMemo},
                    {u"Clave", kGuid},
                    {u"Importe", kNumeric, 0, false, 18, 4}},
                   45000.5};
    std::uint32_t page = CreateTable(file, table);
    EXPECT_EQ(Problems(file), "");
    TableDef def = ReadTableDef(file, page);
    ASSERT_EQ(def.columns.size(), 15u);
    EXPECT_EQ(def.varColumns, 4);
    EXPECT_EQ(def.longValueMaps.size(), 2u);
    EXPECT_EQ(def.columns[0].flags, 0x07) << "a counter, as testV2000.mdb's Table3 has it";
    EXPECT_EQ(def.columns[14].misc, 18 | (4 << 8));
    EXPECT_EQ(def.columns[14].length, 17);
    for (const LongValueMaps& maps : def.longValueMaps) {
        EXPECT_TRUE(ReadUsageMap(file, PageRow::From(maps.usageMap)).pages.empty());
        EXPECT_TRUE(ReadUsageMap(file, PageRow::From(maps.freeMap)).pages.empty());
    }

    std::vector<unsigned char> single = {0x00, 0x00, 0xC0, 0x3F};  // 1.5f
    std::vector<unsigned char> guid(16);
    for (std::size_t i = 0; i < guid.size(); ++i) guid[i] = static_cast<unsigned char>(i + 1);
    // 12.3456: the sign byte, then four words, the most significant first.
    std::vector<unsigned char> decimal(17, 0);
    decimal[13] = 0x40;
    decimal[14] = 0xE2;
    decimal[15] = 0x01;
    InsertRow(file, page,
              {{"Id", LongBytes(1)},
               {"Activo", {1}},
               {"Nivel", {7}},
               {"Orden", IntegerBytes(-3)},
               {"Cantidad", LongBytes(123456)},
               {"Precio", {0x10, 0x27, 0, 0, 0, 0, 0, 0}},
               {"Ratio", single},
               {"Peso", DoubleBytes(2.25)},
               {"Alta", DoubleBytes(36526.5)},
               {"Firma", {0xDE, 0xAD}},
               {"Nombre", TextBytes(u"Año")},
               {"Foto", {0xAB, 0xCD, 0xEF}},
               {"Notas", TextBytes(u"hol")},
               {"Clave", guid},
               {"Importe", decimal}});
    EXPECT_EQ(Problems(file), "");

    ::actualiz::testing::TempPrefix prefix;
    std::filesystem::path copy = prefix.root() / "tipos.mdb";
    file.Save(copy);
    if (!HaveMdbTools()) GTEST_SKIP() << "mdbtools not installed";
    std::string schema = Capture("mdb-schema -T Tipos " + ShellQuoted(copy.string()));
    for (const char* field :
         {"[Id]\t\t\tLong Integer", "[Activo]\t\t\tBoolean", "[Nivel]\t\t\tByte",
          "[Orden]\t\t\tInteger", "[Cantidad]\t\t\tLong Integer", "[Precio]\t\t\tCurrency",
          "[Ratio]\t\t\tSingle", "[Peso]\t\t\tDouble", "[Alta]\t\t\tDateTime",
          "[Firma]\t\t\tBinary", "[Nombre]\t\t\tText (40)", "[Foto]\t\t\tOLE",
          "[Notas]\t\t\tMemo/Hyperlink", "[Clave]\t\t\tReplication ID", "[Importe]\t\t\tNumeric"})
        EXPECT_NE(schema.find(field), std::string::npos) << field << "\n" << schema;
    auto rows = ExportTable(copy, "Tipos");
    ASSERT_EQ(rows.size(), 2u);
    // libmdb gives a GUID as its text, which its binary mode then writes in hexadecimal.
    std::string guidText;
    for (unsigned char ch : std::string("{04030201-0605-0807-090A0B0C0D0E0F10}")) {
        static const char digits[] = "0123456789ABCDEF";
        guidText += digits[ch >> 4];
        guidText += digits[ch & 15];
    }
    EXPECT_EQ(rows[1], (std::vector<std::string>{"1", "1", "7", "-3", "123456", "1.0000", "1.5",
                                                 "2.25", "2000-01-01 12:00:00", "DEAD", "Año",
                                                 "ABCDEF", "hol", guidText, "12.3456"}));
    for (const char* other : {"Table1", "Table2", "Table3", "MSysACEs", "MSysQueries"})
        EXPECT_EQ(ExportTable(copy, other), ExportTable(sample, other)) << other;
}

// A new empty table with a primary key and indexes of one and two fields, ascending and
// descending, IgnoreNulls: each gets its entries, its map and an empty root leaf; the checker,
// libmdb and the row writer (which keeps the indexes) take them.
TEST(JetNewTable, IndexesOfANewTableAreWrittenAndKeptByTheRows) {
    PageFile file = PageFile::Open(JetSample("indexTestV2003.mdb"));
    NewTable table{u"Pedidos",
                   {{u"Id", kLong},
                    {u"Cliente", kText, 30},
                    {u"Fecha", kDateTime},
                    {u"Importe", kCurrency},
                    {u"Nota", kMemo}},
                   45000,
                   {{u"PrimaryKey", {{u"Id"}}, true},
                    {u"PorCliente", {{u"Cliente"}, {u"Fecha", true}}},
                    {u"Fecha", {{u"fecha"}}, false, false, true}}};
    std::uint32_t page = CreateTable(file, table);
    EXPECT_EQ(Problems(file), "");
    TableDef def = ReadTableDef(file, page);
    ASSERT_EQ(def.realIndexes.size(), 3u);
    ASSERT_EQ(def.logicalIndexes.size(), 3u);
    std::vector<std::string> names;
    for (const LogicalIndexDef& logical : def.logicalIndexes) {
        names.push_back(logical.name);
        const RealIndexDef& real = def.realIndexes.at(logical.realNumber);
        EXPECT_EQ(ReadUsageMap(file, PageRow::From(real.usageMap)).pages,
                  std::vector<std::uint32_t>{real.rootPage});
        std::span<const unsigned char> root = file.Page(real.rootPage);
        EXPECT_EQ(root[0], kLeafIndexPage);
        EXPECT_EQ(jet::U32(root.data() + 4), page);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Fecha", "PorCliente", "PrimaryKey"}))
        << "the logical entries in the order of their names, as Access keeps them";
    EXPECT_EQ(def.logicalIndexes[2].type, 1);
    EXPECT_EQ(def.realIndexes[0].flags, 0x89) << "a primary key is unique and required";
    EXPECT_EQ(def.realIndexes[2].flags, 0x82);
    ASSERT_EQ(def.realIndexes[1].keys.size(), 2u);
    EXPECT_FALSE(def.realIndexes[1].keys[1].ascending);

    for (int i = 0; i < 3; ++i)
        InsertRow(file, page,
                  {{"Id", LongBytes(10 - i)},
                   {"Cliente", TextBytes(i == 1 ? u"Bravo" : u"Alfa")},
                   {"Fecha", DoubleBytes(40000.0 + i)}});
    EXPECT_EQ(Problems(file), "");
    try {
        InsertRow(file, page, {{"Id", LongBytes(9)}, {"Cliente", TextBytes(u"Otra")}});
        ADD_FAILURE() << "a repeated primary key was written";
    } catch (const EngineError& e) {
        EXPECT_EQ(e.number(), err::kDuplicateInIndex);
    }

    ::actualiz::testing::TempPrefix prefix;
    std::filesystem::path copy = prefix.root() / "indices.mdb";
    file.Save(copy);
    if (!HaveMdbTools()) GTEST_SKIP() << "mdbtools not installed";
    std::string schema =
        Capture("mdb-schema -T Pedidos " + ShellQuoted(copy.string()) + " postgres");
    for (const char* line : {"PRIMARY KEY (\"id\")", "ON \"pedidos\" (\"cliente\", \"fecha\" DESC)",
                             "\"pedidos_fecha_idx\" ON \"pedidos\" (\"fecha\")"})
        EXPECT_NE(schema.find(line), std::string::npos) << line << "\n" << schema;
    EXPECT_EQ(ExportTable(copy, "Pedidos").size(), 4u);
}

// The one index of the samples that Access wrote over several pages (512 rows, a descending
// Long): rebuilt from the table's rows, it takes Access's shape: a root holding the first leaf's
// last entry and naming the second leaf as its tail; 510 entries on the first leaf with their
// shared three bytes left out, its bitmap and entries byte for byte Access's; the two Null entries
// on the second. What differs, and why: Access's pages keep remnants of older entries past their
// last one (ours are zeros), and its second leaf, added by a later insert, shares no prefix
// (ours leaves out the key byte its two entries share).
TEST(JetIndexTree, TheSamplesMultiPageIndexIsRebuiltInAccesssShape) {
    PageFile original = PageFile::Open(JetSample("compIndexTestV2000.mdb"));
    PageFile file = original;
    constexpr std::uint32_t kTable = 15, kRoot = 29, kFirstLeaf = 32, kSecondLeaf = 33;
    RebuildIndexes(file, kTable);
    EXPECT_EQ(Problems(file), "");
    IndexPage root = ReadIndexPage(file, kRoot);
    IndexPage accessRoot = ReadIndexPage(original, kRoot);
    ASSERT_TRUE(root.Intermediate());
    ASSERT_EQ(root.entries.size(), 1u);
    EXPECT_EQ(root.entries[0].bytes, accessRoot.entries[0].bytes);
    EXPECT_EQ(root.tail, kSecondLeaf);
    auto head = [](const PageFile& f, std::uint32_t page, std::size_t end) {
        std::span<const unsigned char> bytes = f.Page(page);
        return std::vector<unsigned char>(bytes.begin(), bytes.begin() + static_cast<long>(end));
    };
    EXPECT_EQ(head(file, kRoot, kIndexEntriesStart + root.used),
              head(original, kRoot, kIndexEntriesStart + accessRoot.used));
    IndexPage leaf = ReadIndexPage(file, kFirstLeaf);
    ASSERT_EQ(leaf.entries.size(), 510u);
    EXPECT_EQ(leaf.prefixLength, 3);
    EXPECT_EQ(head(file, kFirstLeaf, kIndexEntriesStart + leaf.used),
              head(original, kFirstLeaf, kIndexEntriesStart + leaf.used));
    IndexPage second = ReadIndexPage(file, kSecondLeaf);
    IndexPage accessSecond = ReadIndexPage(original, kSecondLeaf);
    ASSERT_EQ(second.entries.size(), 2u);
    EXPECT_EQ(second.previous, kFirstLeaf);
    EXPECT_EQ(second.prefixLength, 1);
    EXPECT_EQ(accessSecond.prefixLength, 0);
    for (std::size_t i = 0; i < 2; ++i)
        EXPECT_EQ(second.entries[i].bytes, accessSecond.entries[i].bytes);
}

// Trees of two and three levels grow from rows and shrink back to one leaf as they go, each step
// sound for the checker, the pages given back to the free pages.
TEST(JetIndexTree, TreesGrowToThreeLevelsAndShrinkBack) {
    PageFile file = PageFile::Open(JetSample("indexTestV2003.mdb"));
    std::uint32_t page =
        CreateTable(file, {u"Largos",
                           {{u"Id", kLong}, {u"Texto", kText, 255}},
                           45000,
                           {{u"PrimaryKey", {{u"Id"}}, true}, {u"PorTexto", {{u"Texto", true}}}}});
    auto depth = [&](std::size_t index) {
        TableDef def = ReadTableDef(file, page);
        int levels = 1;
        for (IndexPage at = ReadIndexPage(file, def.realIndexes.at(index).rootPage);
             at.Intermediate(); ++levels)
            at = ReadIndexPage(file, at.entries.empty() ? at.tail : at.entries.front().child);
        return levels;
    };
    // Texts of 250 letters that share little: about fourteen to a leaf.
    auto text = [](int i) {
        std::u16string value;
        for (int j = 0; j < 250; ++j)
            value += static_cast<char16_t>(u'a' + (i * 7 + j * (i % 5 + 1)) % 26);
        return value;
    };
    std::vector<PageRow> rows;
    for (int i = 0; i < 260; ++i)
        rows.push_back(
            InsertRow(file, page, {{"Id", LongBytes(i)}, {"Texto", TextBytes(text(i))}}));
    EXPECT_EQ(Problems(file), "");
    EXPECT_EQ(depth(1), 3);
    EXPECT_EQ(depth(0), 1);
    const std::vector<unsigned char> grown(file.Bytes().begin(), file.Bytes().end());
    try {
        InsertRow(file, page, {{"Id", LongBytes(5)}, {"Texto", TextBytes(text(5))}});
        ADD_FAILURE() << "a repeated primary key was written";
    } catch (const EngineError& e) {
        EXPECT_EQ(e.number(), err::kDuplicateInIndex);
    }
    EXPECT_TRUE(std::ranges::equal(file.Bytes(), grown))
        << "a refused row leaves every page of the trees as it was";
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (i % 37 != 0) DeleteRow(file, page, rows[i]);
    EXPECT_EQ(Problems(file), "");
    EXPECT_EQ(depth(1), 1);
    TableDef def = ReadTableDef(file, page);
    for (const RealIndexDef& index : def.realIndexes)
        EXPECT_EQ(ReadUsageMap(file, PageRow::From(index.usageMap)).pages,
                  std::vector<std::uint32_t>{index.rootPage})
            << "the pages of a smaller tree are given back";
}

// A definition that outgrows its page continues on new pages, and gives them back when it
// shrinks again.
TEST(JetTableDef, ADefinitionGrowsOntoNewPagesAndGivesThemBack) {
    PageFile file = PageFile::Open(JetSample("blankV2000.mdb"));
    std::uint32_t page = CreateTable(file, {u"Larga", {{u"Primero", kText, 10}}, 45000});
    const std::vector<unsigned char> small(file.Bytes().begin(), file.Bytes().end());
    std::vector<std::u16string> names;
    for (int i = 0; i < 120; ++i) {
        names.push_back(u"Un nombre de campo bastante largo número " +
                        Utf16(std::to_string(1000 + i)));
        AppendColumn(file, page, {names.back(), i % 2 ? kLong : kText, 30});
    }
    TableDef def = ReadTableDef(file, page);
    EXPECT_EQ(def.columns.size(), 121u);
    EXPECT_GE(def.pages.size(), 4u);
    EXPECT_EQ(def.length, def.parsedLength);
    EXPECT_EQ(Problems(file), "");
    std::vector<std::uint32_t> continuation(def.pages.begin() + 1, def.pages.end());
    ::actualiz::testing::TempPrefix prefix;
    std::filesystem::path copy = prefix.root() / "larga.mdb";
    file.Save(copy);
    if (HaveMdbTools()) {
        std::string schema = Capture("mdb-schema -T Larga " + ShellQuoted(copy.string()));
        EXPECT_NE(schema.find("[Un nombre de campo bastante largo número 1119]"), std::string::npos)
            << schema;
    }

    for (const std::u16string& name : names) DeleteColumn(file, page, name);
    def = ReadTableDef(file, page);
    EXPECT_EQ(def.pages.size(), 1u);
    EXPECT_EQ(def.columns.size(), 1u);
    EXPECT_EQ(def.maxColumns, 121) << "deleted columns keep their numbers";
    for (std::uint32_t given : continuation) EXPECT_TRUE(MarkedFree(file, given)) << given;
    EXPECT_EQ(Problems(file), "");
}

// Fields appended to tables that hold rows: the rows are not rewritten, every old row reads the
// new fields as Null (a Boolean as False) in our reader and in libmdb, and the old fields as they
// were; the table then takes a row with the new fields.
struct AppendCase {
    const char* sample;
    const char* table;
};

class JetAppendColumn : public ::testing::TestWithParam<AppendCase> {};

TEST_P(JetAppendColumn, OldRowsReadTheNewFieldsAsNull) {
    const AppendCase& c = GetParam();
    const std::filesystem::path sample = JetSample(c.sample);
    PageFile file = PageFile::Open(sample);
    std::uint32_t page = TablePage(file, c.table);
    TableDef before = ReadTableDef(file, page);
    std::vector<StoredRow> oldRows = TableRows(file, before);
    ASSERT_FALSE(oldRows.empty());
    std::vector<std::vector<std::optional<std::vector<unsigned char>>>> oldValues;
    for (const StoredRow& row : oldRows) {
        RowValues values(file, before, row.bytes);
        auto& out = oldValues.emplace_back();
        for (const ColumnDef& column : before.columns) {
            auto value = values.Value(column);
            out.push_back(
                value ? std::optional(std::vector<unsigned char>(value->begin(), value->end()))
                      : std::nullopt);
        }
    }
    const std::vector<NewColumn> added = {
        {u"NuevoSiNo", kBoolean},      {u"NuevoByte", kByte},
        {u"NuevoEntero", kInteger},    {u"NuevoLargo", kLong},
        {u"NuevoMoneda", kCurrency},   {u"NuevoSimple", kSingle},
        {u"NuevoDoble", kDouble},      {u"NuevaFecha", kDateTime},
        {u"NuevoBinario", kBinary, 8}, {u"NuevoTexto", kText, 20},
        {u"NuevoOle", kLongBinary},    {u"NuevoMemo", kMemo},
        {u"NuevoGuid", kGuid},         {u"NuevoDecimal", kNumeric, 0, false, 10, 2}};
    for (const NewColumn& column : added) AppendColumn(file, page, column);
    EXPECT_EQ(Problems(file), "");
    TableDef after = ReadTableDef(file, page);
    ASSERT_EQ(after.columns.size(), before.columns.size() + added.size());
    EXPECT_EQ(after.maxColumns, before.maxColumns + added.size());
    EXPECT_EQ(after.rowCount, before.rowCount);
    std::vector<StoredRow> rows = TableRows(file, after);
    ASSERT_EQ(rows.size(), oldRows.size());
    for (std::size_t r = 0; r < rows.size(); ++r) {
        RowValues values(file, after, rows[r].bytes);
        for (std::size_t i = 0; i < before.columns.size(); ++i) {
            auto value = values.Value(after.columns[i]);
            EXPECT_EQ(value.has_value(), oldValues[r][i].has_value());
            if (value && oldValues[r][i]) {
                EXPECT_EQ(std::vector<unsigned char>(value->begin(), value->end()),
                          *oldValues[r][i]);
            }
        }
        for (std::size_t i = before.columns.size(); i < after.columns.size(); ++i) {
            auto value = values.Value(after.columns[i]);
            if (after.columns[i].type == kBoolean) {
                ASSERT_TRUE(value);
                EXPECT_EQ((*value)[0], 0) << "an old row's new Boolean is False";
            } else {
                EXPECT_FALSE(value) << after.columns[i].name << " of old row " << r;
            }
        }
    }

    ::actualiz::testing::TempPrefix prefix;
    std::filesystem::path copy = prefix.root() / "campos.mdb";
    file.Save(copy);
    if (!HaveMdbTools()) GTEST_SKIP() << "mdbtools not installed";
    auto was = ExportTable(sample, c.table);
    auto now = ExportTable(copy, c.table);
    ASSERT_EQ(now.size(), was.size());
    ASSERT_EQ(now[0].size(), was[0].size() + added.size());
    for (std::size_t r = 0; r < now.size(); ++r) {
        EXPECT_EQ(std::vector<std::string>(now[r].begin(), now[r].begin() + was[r].size()), was[r])
            << "row " << r;
        if (r == 0) continue;
        for (std::size_t i = was[r].size(); i < now[r].size(); ++i)
            EXPECT_EQ(now[r][i], now[0][i] == "NuevoSiNo" ? "0" : kNullMark)
                << now[0][i] << " of row " << r;
    }
    for (const char* other : {"MSysObjects", "MSysACEs", "MSysQueries"})
        EXPECT_EQ(ExportTable(copy, other), ExportTable(sample, other)) << other;
    std::string schema =
        Capture("mdb-schema -T " + ShellQuoted(c.table) + " " + ShellQuoted(copy.string()));
    for (const NewColumn& column : added)
        EXPECT_NE(schema.find("[" + Utf8(column.name) + "]"), std::string::npos) << schema;
    EXPECT_EQ(Capture("mdb-prop " + ShellQuoted(copy.string()) + " " + ShellQuoted(c.table)),
              Capture("mdb-prop " + ShellQuoted(sample.string()) + " " + ShellQuoted(c.table)))
        << "the table's properties are untouched";
}

INSTANTIATE_TEST_SUITE_P(
    Samples, JetAppendColumn,
    ::testing::Values(AppendCase{"testV2000.mdb", "Table1"},
                      AppendCase{"delColTestV2000.mdb", "Table1"},
                      AppendCase{"overflowTestV2000.mdb", "Table1"},
                      AppendCase{"fixedTextTestV2000.mdb", "users"},
                      AppendCase{"indexTestV2003.mdb", "Table1"},
                      AppendCase{"compIndexTestV2000.mdb", "Table1"},
                      AppendCase{"testIndexPropertiesV2000.mdb", "TableIgnoreNulls2"}),
    [](const auto& info) {
        std::string name = std::string(info.param.sample) + "_" + info.param.table;
        std::replace_if(
            name.begin(), name.end(), [](char ch) { return !std::isalnum(ch); }, '_');
        return name;
    });

// On every Jet 4 sample: a new table with a primary key and two indexes, a field of each type
// appended to every user table, then one field deleted from each where one is free of indexes and
// relations; the checker passes and every old table exports from libmdb as before, its new fields
// empty.
TEST(JetFieldsOnEverySample, TablesAndFieldsAreAddedAndTheOldRowsExportAsBefore) {
    for (const std::string& name : Jet4Samples()) {
        SCOPED_TRACE(name);
        const std::filesystem::path sample = JetSample(name);
        PageFile file = PageFile::Open(sample);
        std::vector<std::pair<std::string, std::uint32_t>> tables;
        for (const CatalogObject& object : ReadCatalog(file))
            if (object.LocalTable() &&
                ReadTableDef(file, object.DefinitionPage()).tableType == kUserTable)
                tables.emplace_back(object.name, object.DefinitionPage());
        CreateTable(file, {u"NuevaTabla",
                           {{u"Id", kLong, 0, true}, {u"Nombre", kText, 40}, {u"Alta", kDateTime}},
                           45000,
                           {{u"PrimaryKey", {{u"Id"}}, true},
                            {u"PorNombre", {{u"Nombre"}}, false, false, true},
                            {u"PorAlta", {{u"Alta", true}, {u"Nombre"}}}}});
        const std::vector<NewColumn> added = {{u"NuevoSiNo", kBoolean},
                                              {u"NuevoLargo", kLong},
                                              {u"NuevoSimple", kSingle},
                                              {u"NuevaFecha", kDateTime},
                                              {u"NuevoTexto", kText, 20},
                                              {u"NuevoMemo", kMemo},
                                              {u"NuevoOle", kLongBinary},
                                              {u"NuevoGuid", kGuid},
                                              {u"NuevoDecimal", kNumeric, 0, false, 12, 3}};
        std::map<std::string, std::string> deleted;
        for (const auto& [table, page] : tables) {
            for (const NewColumn& column : added) AppendColumn(file, page, column);
            for (const ColumnDef& column : ReadTableDef(file, page).columns) {
                if (column.name.rfind("Nuevo", 0) == 0 || column.name.rfind("Nueva", 0) == 0)
                    continue;
                try {
                    DeleteColumn(file, page, Utf16(column.name));
                    deleted[table] = column.name;
                    break;
                } catch (const EngineError& e) {
                    EXPECT_TRUE(e.number() == err::kFieldInIndex ||
                                e.number() == err::kInRelationship)
                        << table << "." << column.name << ": " << e.what();
                }
            }
        }
        EXPECT_EQ(Problems(file), "");
        ::actualiz::testing::TempPrefix prefix;
        std::filesystem::path copy = prefix.root() / "todo.mdb";
        file.Save(copy);
        if (!HaveMdbTools()) continue;
        EXPECT_EQ(ExportTable(copy, "NuevaTabla").size(), 1u);
        for (const auto& [table, page] : tables) {
            auto was = ExportTable(sample, table);
            auto now = ExportTable(copy, table);
            ASSERT_EQ(now.size(), was.size()) << table;
            std::size_t gone = was[0].size();
            if (deleted.count(table))
                gone = static_cast<std::size_t>(
                    std::find(was[0].begin(), was[0].end(), deleted[table]) - was[0].begin());
            for (std::size_t r = 0; r < was.size(); ++r) {
                std::vector<std::string> expected = was[r];
                if (gone < expected.size())
                    expected.erase(expected.begin() + static_cast<std::ptrdiff_t>(gone));
                for (const NewColumn& column : added)
                    expected.push_back(r == 0                    ? Utf8(column.name)
                                       : column.type == kBoolean ? "0"
                                                                 : kNullMark);
                EXPECT_EQ(now[r], expected) << table << " row " << r;
            }
        }
    }
}

// A deleted field leaves the definition; the rows keep their bytes and every other field its
// number, as delColTestV2000.mdb shows; a field an index uses, a name the table does not have
// and an appended name the table has are refused, the bytes left as they were.
TEST(JetDeleteColumn, TheFieldLeavesTheDefinitionAndTheRowsKeepTheirBytes) {
    const std::filesystem::path sample = JetSample("testV2000.mdb");
    PageFile file = PageFile::Open(sample);
    std::uint32_t page = TablePage(file, "Table1");
    TableDef before = ReadTableDef(file, page);
    std::set<std::uint16_t> indexed;
    for (const RealIndexDef& index : before.realIndexes)
        for (const IndexKeyColumn& key : index.keys) indexed.insert(key.column);
    auto unindexed = std::find_if(before.columns.begin(), before.columns.end(),
                                  [&](const ColumnDef& c) { return !indexed.count(c.number); });
    ASSERT_NE(unindexed, before.columns.end());
    auto inIndex = std::find_if(before.columns.begin(), before.columns.end(),
                                [&](const ColumnDef& c) { return indexed.count(c.number) > 0; });
    ASSERT_NE(inIndex, before.columns.end());
    std::vector<unsigned char> untouched(file.Bytes().begin(), file.Bytes().end());
    auto refusal = [&](auto change) {
        try {
            change();
        } catch (const EngineError& e) {
            EXPECT_TRUE(std::ranges::equal(file.Bytes(), untouched));
            return e.number();
        }
        ADD_FAILURE() << "the change was made";
        return 0;
    };
    EXPECT_EQ(refusal([&] { DeleteColumn(file, page, Utf16(inIndex->name)); }), err::kFieldInIndex);
    EXPECT_EQ(refusal([&] { DeleteColumn(file, page, u"NoExiste"); }), err::kItemNotFound);
    EXPECT_EQ(refusal([&] {
                  AppendColumn(file, page, {u"a", kLong});
              }),
              err::kFieldDefinedTwice)
        << "names are compared case aside";
    EXPECT_EQ(refusal([&] {
                  AppendColumn(file, page, {u"Contador", kLong, 0, true});
              }),
              err::kInvalidOperation)
        << "old rows would hold no number";
    EXPECT_EQ(refusal([&] { DeleteColumn(file, TablePage(file, "MSysObjects"), u"Flags"); }),
              err::kInvalidOperation);

    // A field a relation names (here a relation without an index of its own) goes after it.
    PageFile related = PageFile::Open(JetSample("indexTestV2003.mdb"));
    std::uint32_t relatedTable = TablePage(related, "Table1");
    InsertRow(related, TablePage(related, "MSysRelationships"),
              {{"szRelationship", TextBytes(u"SinIndice")},
               {"grbit", LongBytes(2)},
               {"ccolumn", LongBytes(1)},
               {"icolumn", LongBytes(0)},
               {"szObject", TextBytes(u"Table2")},
               {"szColumn", TextBytes(u"data")},
               {"szReferencedObject", TextBytes(u"table1")},
               {"szReferencedColumn", TextBytes(u"DATA")}});
    const std::vector<unsigned char> relatedBefore(related.Bytes().begin(), related.Bytes().end());
    try {
        DeleteColumn(related, relatedTable, u"data");
        ADD_FAILURE() << "a field of a relation was deleted";
    } catch (const EngineError& e) {
        EXPECT_EQ(e.number(), err::kInRelationship);
    }
    EXPECT_TRUE(std::ranges::equal(related.Bytes(), relatedBefore));
    DeleteColumn(related, relatedTable, u"otherfk3");
    EXPECT_EQ(Problems(related), "");

    // A Jet 3 file is only read.
    PageFile jet3 = PageFile::Open(JetSample("testV1997.mdb"));
    const std::vector<unsigned char> jet3Before(jet3.Bytes().begin(), jet3.Bytes().end());
    for (auto change :
         std::vector<std::function<void()>>{[&] { CreateTable(jet3, Clientes()); },
                                            [&] {
                                                AppendColumn(jet3, 2, {u"Nuevo", kLong});
                                            },
                                            [&] { DeleteColumn(jet3, 2, u"Flags"); }}) {
        try {
            change();
            ADD_FAILURE() << "a Jet 3 file was changed";
        } catch (const EngineError& e) {
            EXPECT_EQ(e.number(), err::kReadOnly);
        }
        EXPECT_TRUE(std::ranges::equal(jet3.Bytes(), jet3Before));
    }

    // A table of fixed columns only, said to hold a row: a first variable column is refused.
    PageFile fixedOnly = PageFile::Open(JetSample("blankV2000.mdb"));
    std::uint32_t numbers = CreateTable(fixedOnly, {u"Numeros", {{u"N", kLong}}, 45000});
    TableDef counted = ReadTableDef(fixedOnly, numbers);
    counted.rowCount = 1;
    WriteTableDef(fixedOnly, counted);
    const std::vector<unsigned char> fixedBefore(fixedOnly.Bytes().begin(),
                                                 fixedOnly.Bytes().end());
    EXPECT_THROW(AppendColumn(fixedOnly, numbers, {u"T", kText, 5}), EngineError);
    EXPECT_TRUE(std::ranges::equal(fixedOnly.Bytes(), fixedBefore));
    AppendColumn(fixedOnly, numbers, {u"M", kLong});
    EXPECT_EQ(ReadTableDef(fixedOnly, numbers).columns.size(), 2u);

    std::string gone = unindexed->name;
    DeleteColumn(file, page, Utf16(gone));
    TableDef after = ReadTableDef(file, page);
    EXPECT_EQ(after.columns.size(), before.columns.size() - 1);
    EXPECT_EQ(after.maxColumns, before.maxColumns);
    EXPECT_EQ(after.varColumns, before.varColumns);
    for (const ColumnDef& column : after.columns) {
        const ColumnDef* was = before.ColumnByNumber(column.number);
        ASSERT_TRUE(was);
        EXPECT_EQ(column.name, was->name);
        EXPECT_EQ(column.fixedOffset, was->fixedOffset);
        EXPECT_EQ(column.varIndex, was->varIndex);
    }
    EXPECT_EQ(Problems(file), "");
    AppendColumn(file, page, {u"Después", kText, 10});
    EXPECT_EQ(ReadTableDef(file, page).columns.back().number, before.maxColumns)
        << "a deleted field's number is not taken again";

    ::actualiz::testing::TempPrefix prefix;
    std::filesystem::path copy = prefix.root() / "borrado.mdb";
    file.Save(copy);
    if (!HaveMdbTools()) GTEST_SKIP() << "mdbtools not installed";
    auto was = ExportTable(sample, "Table1");
    auto now = ExportTable(copy, "Table1");
    ASSERT_EQ(now.size(), was.size());
    auto column = std::find(was[0].begin(), was[0].end(), gone);
    ASSERT_NE(column, was[0].end());
    std::size_t at = static_cast<std::size_t>(column - was[0].begin());
    for (std::size_t r = 0; r < was.size(); ++r) {
        std::vector<std::string> expected = was[r];
        expected.erase(expected.begin() + static_cast<std::ptrdiff_t>(at));
        expected.push_back(r == 0 ? "Después" : kNullMark);
        EXPECT_EQ(now[r], expected) << "row " << r;
    }
}

// Rows of exactly eight columns have a one-byte null mask: fields appended past it (numbers 8 to
// 13) read as Null, Booleans as False, in our reader and in libmdb, though the byte after the mask
// is another row's.
TEST(JetAppendColumnMask, FieldsPastAFullNullMaskReadAsNull) {
    PageFile file = PageFile::Open(JetSample("blankV2000.mdb"));
    NewTable eight{u"Ocho", {}, 45000};
    for (int i = 0; i < 8; ++i)
        eight.columns.push_back({u"c" + Utf16(std::to_string(i)), kText, 10});
    std::uint32_t page = CreateTable(file, eight);
    for (int r = 0; r < 3; ++r)
        InsertRow(file, page, {{"c0", TextBytes(u"x")}, {"c7", TextBytes(u"yz")}});
    for (const NewColumn& column :
         {NewColumn{u"b", kBoolean}, NewColumn{u"l", kLong}, NewColumn{u"t", kText, 5},
          NewColumn{u"b2", kBoolean}, NewColumn{u"l2", kLong}, NewColumn{u"b3", kBoolean}})
        AppendColumn(file, page, column);
    EXPECT_EQ(Problems(file), "");
    TableDef def = ReadTableDef(file, page);
    std::vector<StoredRow> rows = TableRows(file, def);
    ASSERT_EQ(rows.size(), 3u);
    for (const StoredRow& row : rows) {
        RowValues values(file, def, row.bytes);
        for (std::size_t i = 8; i < def.columns.size(); ++i) {
            auto value = values.Value(def.columns[i]);
            if (def.columns[i].type == kBoolean)
                EXPECT_TRUE(value && (*value)[0] == 0) << def.columns[i].name;
            else
                EXPECT_FALSE(value) << def.columns[i].name;
        }
    }
    ::actualiz::testing::TempPrefix prefix;
    std::filesystem::path copy = prefix.root() / "ocho.mdb";
    file.Save(copy);
    if (!HaveMdbTools()) GTEST_SKIP() << "mdbtools not installed";
    auto exported = ExportTable(copy, "Ocho");
    ASSERT_EQ(exported.size(), 4u);
    for (std::size_t r = 1; r < exported.size(); ++r)
        EXPECT_EQ(exported[r],
                  (std::vector<std::string>{"x", kNullMark, kNullMark, kNullMark, kNullMark,
                                            kNullMark, kNullMark, "yz", "0", kNullMark, kNullMark,
                                            "0", kNullMark, "0"}));
}

// Rows written between appended fields of a table with deleted fixed fields: each row has the
// fields appended before it and reads those appended after it as Null (a Boolean as False), in
// our reader and in the import, which reads rows through libmdb. libmdb counts a row's fixed
// fields as its columns less its variable ones, deleted ones included, and so would read a later
// field from the bytes past the row's fixed part and its null bit past the row's mask.
struct RowsBetweenCase {
    const char* sample;
    const char* table;
};

class JetRowsBetweenAppends : public ::testing::TestWithParam<RowsBetweenCase> {};

TEST_P(JetRowsBetweenAppends, EachRowReadsTheFieldsAppendedAfterItAsNull) {
    const RowsBetweenCase& c = GetParam();
    PageFile file = PageFile::Open(JetSample(c.sample));
    const std::uint32_t page = TablePage(file, c.table);
    const std::size_t oldRows = ReadTableDef(file, page).rowCount;
    // Each step appends a field and then writes a row that gives every appended field a value.
    const std::vector<std::pair<NewColumn, std::vector<unsigned char>>> steps = {
        {{u"NuevoEntero", kInteger}, IntegerBytes(5)},
        {{u"NuevaFecha", kDateTime}, DoubleBytes(43831.5)},
        {{u"NuevoDoble", kDouble}, DoubleBytes(2.5)},
        {{u"NuevoSiNo", kBoolean}, {1}},
        {{u"NuevaMoneda", kCurrency}, std::vector<unsigned char>(8, 0x11)},
        {{u"NuevoLargo", kLong}, LongBytes(-7)}};
    StoredValues given;
    for (const auto& [column, value] : steps) {
        AppendColumn(file, page, column);
        given[Utf8(column.name)] = value;
        InsertRow(file, page, given);
    }
    EXPECT_EQ(Problems(file), "");
    // Row k (after the sample's rows) was written with the first k + 1 appended fields.
    auto appendedBefore = [&](std::size_t row, std::size_t field) {
        return row >= oldRows && field <= row - oldRows;
    };
    TableDef def = ReadTableDef(file, page);
    std::vector<StoredRow> rows = TableRows(file, def);
    ASSERT_EQ(rows.size(), oldRows + steps.size());
    for (std::size_t r = 0; r < rows.size(); ++r) {
        RowValues values(file, def, rows[r].bytes);
        for (std::size_t f = 0; f < steps.size(); ++f) {
            const ColumnDef* column = nullptr;
            for (const ColumnDef& candidate : def.columns)
                if (candidate.name == Utf8(steps[f].first.name)) column = &candidate;
            ASSERT_TRUE(column);
            auto value = values.Value(*column);
            std::optional<std::vector<unsigned char>> want;
            if (appendedBefore(r, f))
                want = steps[f].second;
            else if (column->type == kBoolean)
                want = std::vector<unsigned char>{0};
            ASSERT_EQ(value.has_value(), want.has_value()) << column->name << " of row " << r;
            if (value) {
                EXPECT_EQ(std::vector<unsigned char>(value->begin(), value->end()), *want);
            }
        }
    }

    ::actualiz::testing::TempPrefix prefix;
    const std::filesystem::path copy = prefix.root() / "entre.mdb";
    file.Save(copy);
    if (!CanReadJetFiles()) GTEST_SKIP() << "built without libmdb";
    JetTableRows imported = ReadJetTable(copy, c.table);
    ASSERT_EQ(imported.rows.size(), rows.size());
    for (std::size_t f = 0; f < steps.size(); ++f) {
        const std::string name = Utf8(steps[f].first.name);
        auto at = std::find(imported.columns.begin(), imported.columns.end(), name);
        ASSERT_NE(at, imported.columns.end()) << name;
        const std::size_t i = static_cast<std::size_t>(at - imported.columns.begin());
        for (std::size_t r = 0; r < imported.rows.size(); ++r) {
            const Value& value = imported.rows[r][i];
            if (appendedBefore(r, f)) {
                EXPECT_FALSE(std::holds_alternative<std::monostate>(value))
                    << name << " of row " << r;
            } else if (steps[f].first.type == kBoolean) {
                EXPECT_EQ(value, Value(0LL)) << name << " of row " << r;
            } else {
                EXPECT_TRUE(std::holds_alternative<std::monostate>(value))
                    << name << " of row " << r;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Samples, JetRowsBetweenAppends,
                         ::testing::Values(RowsBetweenCase{"delColTestV2000.mdb", "Table1"},
                                           RowsBetweenCase{"indexTestV2000.mdb", "Table1"},
                                           RowsBetweenCase{"testV2000.mdb", "Table1"}),
                         [](const auto& info) {
                             std::string name =
                                 std::string(info.param.sample) + "_" + info.param.table;
                             std::replace_if(
                                 name.begin(), name.end(),
                                 [](char ch) { return !std::isalnum(ch); }, '_');
                             return name;
                         });

// Property blocks: every block of every Jet 4 sample decodes and encodes to the same bytes.
TEST(JetProperties, EveryBlockOfEverySampleEncodesToItsOwnBytes) {
    int blocks = 0, properties = 0;
    for (const char* name :
         {"blankV2000.mdb", "compIndexTestV2000.mdb", "delColTestV2000.mdb",
          "fixedTextTestV2000.mdb", "indexTestV2000.mdb", "indexTestV2003.mdb",
          "overflowTestV2000.mdb", "queryTestV2000.mdb", "testIndexPropertiesV2000.mdb",
          "testUnicodeCompV2003.mdb", "testV2000.mdb"}) {
        PageFile file = PageFile::Open(JetSample(name));
        TableDef catalog = ReadTableDef(file, kCatalog);
        auto column = std::find_if(catalog.columns.begin(), catalog.columns.end(),
                                   [](const ColumnDef& c) { return c.name == "LvProp"; });
        ASSERT_NE(column, catalog.columns.end());
        for (const StoredRow& row : TableRows(file, catalog)) {
            auto field = RowValues(file, catalog, row.bytes).Value(*column);
            if (!field) continue;
            std::vector<unsigned char> bytes = ReadLongValue(file, *field).bytes;
            PropertyBlocks decoded = DecodeProperties(bytes, name);
            EXPECT_EQ(EncodeProperties(decoded), bytes) << name << " row " << row.where.Packed();
            ++blocks;
            for (const PropertyChunk& chunk : decoded.chunks) {
                properties += static_cast<int>(chunk.properties.size());
                for (const Property& property : chunk.properties)
                    EXPECT_LT(property.nameIndex, decoded.names.size());
            }
        }
    }
    EXPECT_EQ(blocks, 92);
    EXPECT_EQ(properties, 1818);
}

TEST(JetProperties, DamagedBlocksAreRefused) {
    PropertyBlocks blocks;
    blocks.hasNames = true;
    blocks.names = {u"Required"};
    PropertyChunk chunk;
    chunk.name = u"Nombre";
    chunk.kind = kPropertyColumnChunk;
    chunk.properties.push_back({kPropertyDdl, kBoolean, 0, {1}});
    blocks.chunks.push_back(chunk);
    std::vector<unsigned char> bytes = EncodeProperties(blocks);
    EXPECT_EQ(EncodeProperties(DecodeProperties(bytes, "prueba")), bytes);
    std::vector<unsigned char> cut(bytes.begin(), bytes.end() - 3);
    EXPECT_THROW(DecodeProperties(cut, "prueba"), EngineError) << "a chunk longer than the bytes";
    std::vector<unsigned char> unnamed = bytes;
    unnamed[bytes.size() - 5] = 7;  // the property names the eighth name of one
    EXPECT_THROW(DecodeProperties(unnamed, "prueba"), EngineError);
    std::vector<unsigned char> other = bytes;
    other[0] = 'K';
    EXPECT_THROW(DecodeProperties(other, "prueba"), EngineError) << "no MR2";
}

// Long values written out of their row: inside it up to 64 bytes, one row on a shared page up
// to a page, a chain of pages beyond; their pages given back when the row goes. Each long column
// of the samples has usage maps of its own (MSysObjects, MSysQueries).
struct LongValueCase {
    const char* table;
    const char* key;     // a Long column given the row's number
    const char* column;  // the memo or long binary column
    std::size_t size;    // bytes; a memo gets text of half as many characters
    std::uint8_t kind;
    bool memo = false;
};

void PrintTo(const LongValueCase& c, std::ostream* out) {
    *out << c.table << "." << c.column << " " << c.size;
}

StoredValues LongValueRow(const LongValueCase& c, std::int32_t number,
                          const std::vector<unsigned char>& value) {
    if (std::string(c.table) == "MSysObjects") {
        StoredValues row =
            CatalogRow(400000 + number,
                       u"Valor largo " + std::u16string(1, static_cast<char16_t>(u'A' + number)));
        row[c.column] = value;
        return row;
    }
    return {{c.key, LongBytes(900 + number)}, {c.column, value}};
}

std::u16string LongText(std::size_t characters, int seed) {
    const std::u16string letters = u"abcdefghijklmnñopqrstuvwxyz áéíóú ÀÉÎÕÜ 0123456789.";
    std::u16string text;
    for (std::size_t i = 0; i < characters; ++i)
        text += letters[(i * 7 + static_cast<std::size_t>(seed)) % letters.size()];
    return text;
}

class JetLongValueTest : public ::testing::TestWithParam<LongValueCase> {};

TEST_P(JetLongValueTest, WrittenReadBackAndGivenBack) {
    const LongValueCase& c = GetParam();
    const std::filesystem::path sample = JetSample("blankV2000.mdb");
    PageFile file = PageFile::Open(sample);
    std::uint32_t table = 0;
    for (const CatalogObject& object : ReadCatalog(file))
        if (object.name == c.table) table = object.DefinitionPage();
    if (std::string(c.table) == "Notas")  // a table of our own, its long columns' maps with it
        table = CreateTable(
            file, {u"Notas", {{u"Id", kLong}, {u"Texto", kMemo}, {u"Datos", kLongBinary}}, 45000});
    ASSERT_NE(table, 0u);
    auto tablePages = [&] {
        return ReadUsageMap(file, PageRow::From(ReadTableDef(file, table).usageMap)).pages.size();
    };
    std::size_t freePages = ReadUsageMap(file, kFreePagesMap).pages.size();
    std::size_t dataPages = tablePages();
    std::vector<PageRow> rows;
    std::vector<std::vector<unsigned char>> values;
    std::vector<std::string> exportedValues;
    for (std::int32_t i = 0; i < 3; ++i) {
        std::vector<unsigned char> value(c.size);
        for (std::size_t b = 0; b < value.size(); ++b)
            value[b] = static_cast<unsigned char>((b * 7 + static_cast<std::size_t>(i)) % 251);
        if (c.memo) value = TextBytes(LongText(c.size / 2, i));
        values.push_back(value);
        std::string hex;
        for (unsigned char b : value) {
            static const char digits[] = "0123456789ABCDEF";
            hex += digits[b >> 4];
            hex += digits[b & 15];
        }
        exportedValues.push_back(c.memo ? Utf8(LongText(c.size / 2, i)) : hex);
        rows.push_back(InsertRow(file, table, LongValueRow(c, i, value)));
    }
    EXPECT_EQ(Problems(file), "");
    TableDef def = ReadTableDef(file, table);
    auto column = std::find_if(def.columns.begin(), def.columns.end(),
                               [&](const ColumnDef& col) { return col.name == c.column; });
    ASSERT_NE(column, def.columns.end());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        auto field = RowValues(file, def, RowBytes(file, rows[i])).Value(*column);
        ASSERT_TRUE(field);
        EXPECT_EQ(ReadLongValueRef(*field).kind, c.kind);
        EXPECT_EQ(ReadLongValue(file, *field).bytes, values[i]);
    }

    ::actualiz::testing::TempPrefix prefix;
    std::filesystem::path copy = prefix.root() / "largos.mdb";
    file.Save(copy);
    if (HaveMdbTools()) {
        auto exported = ExportTable(copy, c.table);
        auto header = exported.front();
        auto at = std::find(header.begin(), header.end(), c.column) - header.begin();
        std::size_t found = 0;
        for (const std::string& value : exportedValues)
            found += static_cast<std::size_t>(
                std::count_if(exported.begin(), exported.end(),
                              [&](const auto& row) { return row.at(at) == value; }));
        EXPECT_EQ(found, values.size()) << "libmdb reads every value whole";
        for (const char* other : {"MSysObjects", "MSysACEs", "MSysQueries", "MSysRelationships"})
            if (other != std::string(c.table) &&
                (other != std::string("MSysObjects") || std::string(c.table) != "Notas")) {
                EXPECT_EQ(ExportTable(copy, other), ExportTable(sample, other)) << other;
            }
    }

    std::vector<unsigned char> changed(c.size / 2 + 1, 0x5A);
    PageRow moved = UpdateRow(file, table, rows[1], {{c.column, changed}});
    auto field = RowValues(file, ReadTableDef(file, table), RowBytes(file, moved)).Value(*column);
    ASSERT_TRUE(field);
    EXPECT_EQ(ReadLongValue(file, *field).bytes, changed);
    rows[1] = moved;
    EXPECT_EQ(Problems(file), "");
    for (PageRow where : rows) DeleteRow(file, table, where);
    EXPECT_EQ(Problems(file), "");
    EXPECT_EQ(ReadUsageMap(file, kFreePagesMap).pages.size() + (tablePages() - dataPages),
              freePages)
        << "the long values' pages went back to the free pages";
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, JetLongValueTest,
    ::testing::Values(
        LongValueCase{"MSysObjects", "", "LvExtra", 64, kLongValueInline},
        LongValueCase{"MSysObjects", "", "LvExtra", 65, kLongValueSingle},
        LongValueCase{"MSysObjects", "", "LvExtra", 4080, kLongValueSingle},
        LongValueCase{"MSysObjects", "", "LvExtra", 4081, kLongValueChain},
        LongValueCase{"MSysObjects", "", "LvProp", 20000, kLongValueChain},
        LongValueCase{"MSysQueries", "ObjectId", "Expression", 100, kLongValueSingle, true},
        LongValueCase{"MSysQueries", "ObjectId", "Expression", 12000, kLongValueChain, true},
        LongValueCase{"Notas", "Id", "Texto", 3000, kLongValueSingle, true},
        LongValueCase{"Notas", "Id", "Datos", 9000, kLongValueChain}),
    [](const auto& info) {
        return std::string(info.param.table) + info.param.column + std::to_string(info.param.size);
    });

// Table and column properties set and removed in the catalog's property blocks: our reader,
// libmdb's mdb-prop and the checker see them, everything else stays as it was.
PropertyBlocks BlocksOf(const PageFile& file, const std::string& table) {
    TableDef catalog = ReadTableDef(file, kCatalog);
    const ColumnDef* name = nullptr;
    const ColumnDef* props = nullptr;
    for (const ColumnDef& c : catalog.columns) {
        if (c.name == "Name") name = &c;
        if (c.name == "LvProp") props = &c;
    }
    for (const StoredRow& row : TableRows(file, catalog)) {
        RowValues values(file, catalog, row.bytes);
        auto text = values.Value(*name);
        if (!text || Utf8(StoredText(*text)) != table) continue;
        auto field = values.Value(*props);
        if (!field) return {};
        return DecodeProperties(ReadLongValue(file, *field).bytes, table);
    }
    ADD_FAILURE() << table << " not in the catalog";
    return {};
}

TEST(JetProperties, SetAndRemovedAsAccessKeepsThemAndLibmdbShowsThem) {
    const std::filesystem::path sample = JetSample("indexTestV2003.mdb");
    PageFile file = PageFile::Open(sample);
    const PropertyBlocks before = BlocksOf(file, "Table1");
    SetProperty(file, u"table1", u"DATA", u"Description", PropertyValue::Text(u"Texto libre"));
    SetProperty(file, u"Table1", u"data", u"ValidationRule", PropertyValue::Text(u"Like 'a*'"));
    SetProperty(file, u"Table1", u"data", u"ValidationText", PropertyValue::Text(u"Empieza por a"));
    SetProperty(file, u"Table1", u"data", u"Required", PropertyValue::Boolean(true));
    SetProperty(file, u"Table1", u"data", u"AllowZeroLength", PropertyValue::Boolean(false));
    SetProperty(file, u"Table1", u"id", u"DefaultValue", PropertyValue::Text(u"7"));
    SetProperty(file, u"Table1", u"", u"Description", PropertyValue::Text(u"Tabla de prueba"));
    SetProperty(file, u"Table1", u"", u"ValidationRule", PropertyValue::Text(u"[id]>0"));
    EXPECT_EQ(Problems(file), "");
    auto got = GetProperty(file, u"Table1", u"data", u"Required");
    ASSERT_TRUE(got);
    EXPECT_EQ(got->bytes, std::vector<unsigned char>{1});
    ASSERT_TRUE(GetProperty(file, u"Table1", u"data", u"ValidationText"));
    EXPECT_EQ(GetProperty(file, u"Table1", u"data", u"ValidationText")->bytes,
              TextBytes(u"Empieza por a"));

    // Only the properties set changed: names appended, every other block and property as it was.
    PropertyBlocks after = BlocksOf(file, "Table1");
    ASSERT_GE(after.names.size(), before.names.size());
    EXPECT_TRUE(std::equal(before.names.begin(), before.names.end(), after.names.begin()));
    ASSERT_EQ(after.chunks.size(), before.chunks.size());
    for (std::size_t i = 0; i < before.chunks.size(); ++i) {
        const PropertyChunk& old = before.chunks[i];
        const PropertyChunk& now = after.chunks[i];
        EXPECT_EQ(now.name, old.name);
        for (const Property& property : old.properties) {
            std::u16string name = before.names[property.nameIndex];
            const Property* kept = after.Get(now, name);
            ASSERT_TRUE(kept) << Utf8(name);
            bool set =
                (old.name == u"data" && (name == u"Required" || name == u"AllowZeroLength")) ||
                (old.name == u"id" && name == u"DefaultValue");
            if (!set) {
                EXPECT_EQ(kept->value, property.value) << Utf8(old.name) << Utf8(name);
            }
        }
    }
    const PropertyChunk* data = after.Find(u"data");
    ASSERT_TRUE(data);
    EXPECT_EQ(after.Get(*data, u"ValidationRule")->flags, kPropertyDdl);
    EXPECT_EQ(after.Get(*data, u"Description")->flags, 0);

    ::actualiz::testing::TempPrefix prefix;
    std::filesystem::path copy = prefix.root() / "propiedades.mdb";
    file.Save(copy);
    if (HaveMdbTools()) {
        auto columns = ColumnProperties(copy, "Table1");
        EXPECT_EQ(columns["data"]["Description"], "Texto libre");
        EXPECT_EQ(columns["data"]["ValidationRule"], "Like 'a*'");
        EXPECT_EQ(columns["data"]["ValidationText"], "Empieza por a");
        EXPECT_EQ(columns["data"]["Required"], "yes");
        EXPECT_EQ(columns["data"]["AllowZeroLength"], "no");
        EXPECT_EQ(columns["id"]["DefaultValue"], "7");
        EXPECT_EQ(columns["(none)"]["Description"], "Tabla de prueba");
        for (const char* table :
             {"Table1", "Table2", "Table3", "MSysACEs", "MSysQueries", "MSysRelationships"})
            EXPECT_EQ(ExportTable(copy, table), ExportTable(sample, table)) << table;
    }

    // Rewritten again and again, the catalog row and the blocks reuse the room they leave.
    std::uint32_t pages = file.PageCount();
    std::size_t freePages = ReadUsageMap(file, kFreePagesMap).pages.size();
    for (int i = 0; i < 40; ++i)
        SetProperty(file, u"Table1", u"data", u"Format",
                    PropertyValue::Text(std::u16string(static_cast<std::size_t>(i % 7), u'#')));
    EXPECT_EQ(file.PageCount(), pages);
    EXPECT_EQ(ReadUsageMap(file, kFreePagesMap).pages.size(), freePages);
    EXPECT_EQ(Problems(file), "");

    const std::vector<unsigned char> set(file.Bytes().begin(), file.Bytes().end());
    SetProperty(file, u"Table1", u"data", u"Required", PropertyValue::Boolean(true));
    EXPECT_TRUE(std::ranges::equal(file.Bytes(), set))
        << "a property set to what it is changes nothing";
    EXPECT_TRUE(RemoveProperty(file, u"Table1", u"data", u"ValidationText"));
    EXPECT_FALSE(GetProperty(file, u"Table1", u"data", u"ValidationText"));
    const std::vector<unsigned char> removed(file.Bytes().begin(), file.Bytes().end());
    EXPECT_FALSE(RemoveProperty(file, u"Table1", u"data", u"ValidationText"));
    EXPECT_TRUE(std::ranges::equal(file.Bytes(), removed));
    EXPECT_EQ(Problems(file), "");
    file.Save(copy);
    if (HaveMdbTools()) {
        EXPECT_EQ(ColumnProperties(copy, "Table1")["data"].count("ValidationText"), 0u);
    }

    for (auto [object, column] : {std::pair<std::u16string, std::u16string>{u"Nada", u""},
                                  {u"Table1", u"nada"},
                                  {u"MSysDb", u""}}) {
        try {
            SetProperty(file, object, column, u"Description", PropertyValue::Text(u"x"));
            ADD_FAILURE() << Utf8(object) << "." << Utf8(column) << " was found";
        } catch (const EngineError& e) {
            EXPECT_EQ(e.number(), err::kItemNotFound);
        }
        EXPECT_TRUE(std::ranges::equal(file.Bytes(), removed));
    }
}

// Every sample with a table of its own takes a property of its table and of a field, which
// mdb-prop shows, the checker passing and every table but the catalog exporting as before. A
// table's blocks rewritten reuse the room their old value leaves on its page. In testV2000.mdb
// (743 pages, none free) a description of 6000 characters needs a chain of new pages that the
// column's map did not reach (its 92 bytes of bitmap end at page 736): the map grows, as Access
// grew it to those 92 bytes.
struct PropertySampleCase {
    const char* file;
    std::size_t descriptionLength = 0;  // 0: a short one
    bool refused = false;
};

void PrintTo(const PropertySampleCase& c, std::ostream* out) {
    *out << c.file << " " << c.descriptionLength;
}

class JetPropertySampleTest : public ::testing::TestWithParam<PropertySampleCase> {};

TEST_P(JetPropertySampleTest, TableAndFieldPropertiesSet) {
    const std::filesystem::path sample = JetSample(GetParam().file);
    PageFile file = PageFile::Open(sample);
    std::string table, column;
    std::vector<std::string> tables;
    for (const CatalogObject& object : ReadCatalog(file)) {
        if (!object.LocalTable() || object.name.rfind("MSys", 0) == 0 ||
            object.name.rfind("f_", 0) == 0)
            continue;
        tables.push_back(object.name);
        if (table.empty()) {
            table = object.name;
            column = ReadTableDef(file, object.DefinitionPage()).columns.front().name;
        }
    }
    ASSERT_FALSE(table.empty());
    auto u16 = [](const std::string& text) { return std::u16string(text.begin(), text.end()); };
    const std::u16string description = GetParam().descriptionLength
                                           ? LongText(GetParam().descriptionLength, 1)
                                           : std::u16string(u"Campo ñ");
    for (int round = 0; round < 3; ++round) {
        std::u16string field = round == 1 ? std::u16string() : u16(column);
        std::u16string text = round == 1 ? u"Mal" : description + std::u16string(round, u'!');
        const std::vector<unsigned char> before(file.Bytes().begin(), file.Bytes().end());
        try {
            SetProperty(file, u16(table), field, round == 1 ? u"ValidationText" : u"Description",
                        PropertyValue::Text(text));
        } catch (const EngineError& e) {
            EXPECT_TRUE(GetParam().refused) << e.what();
            EXPECT_TRUE(std::ranges::equal(file.Bytes(), before));
            return;
        }
    }
    EXPECT_FALSE(GetParam().refused);
    EXPECT_EQ(Problems(file), "");
    ::actualiz::testing::TempPrefix prefix;
    std::filesystem::path copy = prefix.root() / "propiedad.mdb";
    file.Save(copy);
    if (!HaveMdbTools()) GTEST_SKIP() << "mdbtools not installed";
    auto shown = ColumnProperties(copy, table);
    EXPECT_EQ(shown[column]["Description"], Utf8(description + u"!!"));
    EXPECT_EQ(shown["(none)"]["ValidationText"], "Mal");
    tables.insert(tables.end(), {"MSysACEs", "MSysQueries", "MSysRelationships"});
    for (const std::string& other : tables)
        EXPECT_EQ(ExportTable(copy, other), ExportTable(sample, other)) << other;
}

INSTANTIATE_TEST_SUITE_P(
    Samples, JetPropertySampleTest,
    ::testing::Values(
        PropertySampleCase{"compIndexTestV2000.mdb"}, PropertySampleCase{"delColTestV2000.mdb"},
        PropertySampleCase{"fixedTextTestV2000.mdb"}, PropertySampleCase{"indexTestV2000.mdb"},
        PropertySampleCase{"indexTestV2003.mdb"}, PropertySampleCase{"overflowTestV2000.mdb"},
        PropertySampleCase{"queryTestV2000.mdb"},
        PropertySampleCase{"testIndexPropertiesV2000.mdb"},
        PropertySampleCase{"testUnicodeCompV2003.mdb"}, PropertySampleCase{"testV2000.mdb"},
        PropertySampleCase{"indexTestV2003.mdb", 6000}, PropertySampleCase{"testV2000.mdb", 6000}),
    [](const auto& info) {
        std::string name = info.param.file;
        return name.substr(0, name.find('.')) + std::to_string(info.param.descriptionLength);
    });

// A table the writer creates: its first properties, and its permissions as Access gives a table
// it creates (those of the file's own user tables).
std::multiset<std::string> AcesOf(const PageFile& file, std::int32_t object) {
    std::uint32_t page = 0;
    for (const CatalogObject& o : ReadCatalog(file))
        if (o.name == "MSysACEs") page = o.DefinitionPage();
    TableDef def = ReadTableDef(file, page);
    std::multiset<std::string> aces;
    for (const StoredRow& row : TableRows(file, def)) {
        RowValues values(file, def, row.bytes);
        std::string text;
        for (const ColumnDef& column : def.columns) {
            auto value = values.Value(column);
            if (column.name == "ObjectId" &&
                (!value ||
                 LongBytes(object) != std::vector<unsigned char>(value->begin(), value->end()))) {
                text.clear();
                break;
            }
            text += column.name + "=";
            if (value)
                for (unsigned char b : *value) text += std::to_string(b) + ".";
            text += " ";
        }
        if (!text.empty()) aces.insert(text);
    }
    return aces;
}

TEST(JetPermissions, ANewTableGetsWhatAccessGivesTheTablesItCreates) {
    const std::filesystem::path sample = JetSample("indexTestV2003.mdb");
    PageFile file = PageFile::Open(sample);
    std::uint32_t page = CreateTable(file, Clientes());
    EXPECT_EQ(AddTablePermissions(file, page), 3);
    EXPECT_EQ(Problems(file), "");
    std::multiset<std::string> created = AcesOf(file, static_cast<std::int32_t>(page));
    std::multiset<std::string> table1 = AcesOf(file, 24);
    ASSERT_EQ(created.size(), 3u);
    // The same entries but for the ObjectId.
    auto withoutObject = [](const std::multiset<std::string>& aces) {
        std::multiset<std::string> out;
        for (const std::string& ace : aces) out.insert(ace.substr(ace.find("SID=")));
        return out;
    };
    EXPECT_EQ(withoutObject(created), withoutObject(table1));

    for (const NewColumn& column : Clientes().columns)
        SetProperties(file, u"Clientes", column.name, NewColumnProperties());
    SetProperty(file, u"Clientes", u"Nombre", u"Required", PropertyValue::Boolean(true));
    SetProperty(file, u"Clientes", u"", u"Description", PropertyValue::Text(u"Nueva"));
    EXPECT_EQ(Problems(file), "");
    PropertyBlocks blocks = BlocksOf(file, "Clientes");
    EXPECT_EQ(blocks.chunks.size(), Clientes().columns.size() + 1)
        << "the table's and each column's";
    EXPECT_EQ(blocks.chunks.front().kind, kPropertyObjectChunk);
    const std::vector<unsigned char> shown(file.Bytes().begin(), file.Bytes().end());
    SetProperties(file, u"Clientes", u"Peso", NewColumnProperties());
    EXPECT_TRUE(std::ranges::equal(file.Bytes(), shown)) << "properties already so write nothing";

    const std::vector<unsigned char> before(file.Bytes().begin(), file.Bytes().end());
    EXPECT_THROW(AddTablePermissions(file, page), EngineError) << "twice";
    EXPECT_THROW(AddTablePermissions(file, 999), EngineError) << "no table";
    EXPECT_TRUE(std::ranges::equal(file.Bytes(), before));

    ::actualiz::testing::TempPrefix prefix;
    std::filesystem::path copy = prefix.root() / "permisos.mdb";
    file.Save(copy);
    if (!HaveMdbTools()) GTEST_SKIP() << "mdbtools not installed";
    EXPECT_EQ(ExportTable(copy, "MSysACEs").size(), ExportTable(sample, "MSysACEs").size() + 3);
    auto columns = ColumnProperties(copy, "Clientes");
    EXPECT_EQ(columns["Nombre"]["Required"], "yes");
    for (const NewColumn& column : Clientes().columns) {
        auto& shownProperties = columns[Utf8(column.name)];
        EXPECT_EQ(shownProperties["ColumnWidth"], "-1") << Utf8(column.name);
        EXPECT_EQ(shownProperties["ColumnOrder"], "0");
        EXPECT_EQ(shownProperties["ColumnHidden"], "no");
    }
    EXPECT_EQ(columns["(none)"]["Description"], "Nueva");
    for (const char* table : {"Table1", "Table2", "Table3", "MSysQueries", "MSysRelationships"})
        EXPECT_EQ(ExportTable(copy, table), ExportTable(sample, table)) << table;
}

// Indexes added to and taken from tables that hold rows (indexTestV2003.mdb: Table1 has four
// rows and the two relations' entries, Table2 and Table3 the hidden ones on their side). Each
// case is one change on a fresh copy: made, the checker passes, every row of every table exports
// as before, the definition has what libmdb and our reader rely on; refused, the bytes are as
// they were and the error says why.
struct IndexCase {
    const char* what;
    const char* table;
    std::optional<NewIndex> create;  // else delete `drop`
    std::u16string drop;
    int number;  // 0: made
    const char* says = "";
};

void PrintTo(const IndexCase& c, std::ostream* out) {
    *out << c.what;
}

class JetIndexTest : public ::testing::TestWithParam<IndexCase> {};

// The logical entry of that name, or nullptr.
const LogicalIndexDef* Logical(const TableDef& def, const std::string& name) {
    for (const LogicalIndexDef& logical : def.logicalIndexes)
        if (logical.name == name) return &logical;
    return nullptr;
}

// Every relation entry of every table names its partner in the other table, and the partner
// names it back.
void ExpectRelationEntriesPaired(const PageFile& file) {
    for (const CatalogObject& object : ReadCatalog(file)) {
        if (!object.LocalTable()) continue;
        const TableDef def = ReadTableDef(file, object.DefinitionPage());
        for (const LogicalIndexDef& logical : def.logicalIndexes) {
            if (logical.type != 2) continue;
            const TableDef other = ReadTableDef(file, logical.relatedTablePage);
            const LogicalIndexDef* partner = nullptr;
            for (const LogicalIndexDef& l : other.logicalIndexes)
                if (l.number == logical.relatedIndex) partner = &l;
            if (!partner) {
                ADD_FAILURE() << object.name << "." << logical.name << ": no partner";
                continue;
            }
            EXPECT_EQ(partner->type, 2) << object.name << "." << logical.name;
            EXPECT_EQ(partner->relatedTablePage, object.DefinitionPage());
            EXPECT_EQ(partner->relatedIndex, logical.number);
        }
    }
}

TEST_P(JetIndexTest, MadeOnATableWithRowsOrRefusedWithTheBytesAsTheyWere) {
    const IndexCase& c = GetParam();
    const std::filesystem::path sample = JetSample("indexTestV2003.mdb");
    PageFile file = PageFile::Open(sample);
    const std::uint32_t page = TablePage(file, c.table);
    const TableDef before = ReadTableDef(file, page);
    const PageFile untouched = file;
    try {
        if (c.create)
            CreateIndex(file, page, *c.create);
        else
            DeleteIndex(file, page, c.drop);
        EXPECT_EQ(c.number, 0) << "not refused";
    } catch (const EngineError& e) {
        EXPECT_EQ(e.number(), c.number) << e.what();
        EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
        EXPECT_TRUE(std::equal(file.Bytes().begin(), file.Bytes().end(), untouched.Bytes().begin(),
                               untouched.Bytes().end()));
        return;
    }
    EXPECT_EQ(Problems(file), "");
    const TableDef after = ReadTableDef(file, page);
    // Every physical index is numbered as a logical entry that no relation uses (libmdb pairs
    // them so), and every relation entry, here or in the other table, names its partner.
    for (std::size_t r = 0; r < after.realIndexes.size(); ++r) {
        bool own = false;
        for (const LogicalIndexDef& logical : after.logicalIndexes)
            own = own || (logical.type != 2 && logical.number == r && logical.realNumber == r);
        bool used = false;
        for (const LogicalIndexDef& logical : after.logicalIndexes)
            used = used || logical.realNumber == r;
        EXPECT_TRUE(own || used) << "physical index " << r;
    }
    ExpectRelationEntriesPaired(file);
    if (c.create) {
        const LogicalIndexDef* made = Logical(after, Utf8(c.create->name));
        ASSERT_NE(made, nullptr);
        EXPECT_EQ(made->number, made->realNumber);
        const RealIndexDef& real = after.realIndexes.at(made->realNumber);
        EXPECT_EQ(real.rowCountField, after.rowCount);
        // Its leaf holds an entry for every row (none is Null here).
        const IndexPage leaf = ReadIndexPage(file, real.rootPage);
        EXPECT_EQ(leaf.entries.size(), after.rowCount);
    } else {
        const LogicalIndexDef* gone = Logical(before, Utf8(c.drop));
        ASSERT_NE(gone, nullptr);
        EXPECT_EQ(Logical(after, Utf8(c.drop)), nullptr);
        EXPECT_EQ(after.realIndexes.size() + 1, before.realIndexes.size());
        EXPECT_TRUE(MarkedFree(file, before.realIndexes[gone->realNumber].rootPage));
    }
    ::actualiz::testing::TempPrefix prefix;
    const std::filesystem::path copy = prefix.root() / "indices.mdb";
    file.Save(copy);
    if (!HaveMdbTools()) GTEST_SKIP() << "mdbtools not installed";
    for (const char* table : {"Table1", "Table2", "Table3", "MSysRelationships"})
        EXPECT_EQ(ExportTable(copy, table), ExportTable(sample, table)) << table;
    if (c.create) {
        // libmdb names an index after its table and its own name, in lower case.
        std::string schema = Capture("mdb-schema -T " + std::string(c.table) + " " +
                                     ShellQuoted(copy.string()) + " postgres");
        std::string name = Utf8(c.create->name);
        for (char& ch : name) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        EXPECT_NE(schema.find("_" + name + "_idx"), std::string::npos) << schema;
    }
}

INSTANTIATE_TEST_SUITE_P(
    IndexesOfTablesWithRows, JetIndexTest,
    ::testing::Values(
        IndexCase{"a plain index on a text field", "Table1", NewIndex{u"PorDato", {{u"data"}}}, u"",
                  0},
        IndexCase{"a unique index of two fields, one descending", "Table1",
                  NewIndex{u"Doble", {{u"otherfk3"}, {u"DATA", true}}, false, true}, u"", 0},
        IndexCase{"a Required index the rows satisfy", "Table1",
                  NewIndex{u"Requerido", {{u"otherfk2"}}, false, false, false, true}, u"", 0},
        IndexCase{"an index where a relation's hidden entry held the number", "Table2",
                  NewIndex{u"PorDato", {{u"data"}}}, u"", 0},
        IndexCase{"an index taken out: the relations' entries move down", "Table1", std::nullopt,
                  u"id", 0},
        IndexCase{"a unique index the rows repeat", "Table1",
                  NewIndex{u"Unico", {{u"otherfk1"}}, false, true}, u"", err::kDuplicateInIndex,
                  "las filas 2 y 3"},
        IndexCase{"a second primary key", "Table1", NewIndex{u"Otra", {{u"data"}}, true}, u"",
                  err::kPrimaryKeyExists},
        IndexCase{"a name the table already has", "Table1", NewIndex{u"ID", {{u"data"}}}, u"",
                  err::kIndexExists},
        IndexCase{"a field the table lacks", "Table1", NewIndex{u"Falta", {{u"nada"}}}, u"",
                  err::kItemNotFound},
        IndexCase{"the fields and flags of another index", "Table1", NewIndex{u"Igual", {{u"id"}}},
                  u"", err::kInvalidOperation, "mismos campos"},
        IndexCase{"a primary key a relation uses", "Table2", std::nullopt, u"PrimaryKey",
                  err::kInRelationship},
        IndexCase{"a relation's own entry is no index to take out", "Table1", std::nullopt,
                  u"Table2Table1", err::kItemNotFound},
        IndexCase{"an index the table lacks", "Table1", std::nullopt, u"Nada",
                  err::kItemNotFound}));

// Relations created and taken out on indexTestV2003.mdb, whose Table1 holds rows pointing at
// Table2 and Table3 through two enforced relations. Made: the checker passes, the rows export as
// before, both definitions' entries name each other, and libmdb reads the relation's rows (or
// no longer finds them); refused: the bytes as they were and the error says why.
struct RelationCase {
    const char* what;
    std::optional<NewRelation> create;  // else delete `drop`
    std::u16string drop;
    int number;  // 0: made
    const char* says = "";
};

void PrintTo(const RelationCase& c, std::ostream* out) {
    *out << c.what;
}

class JetRelationTest : public ::testing::TestWithParam<RelationCase> {};

NewRelation Relation(std::u16string name, std::u16string table, std::u16string foreign,
                     std::int32_t attributes,
                     std::vector<std::pair<std::u16string, std::u16string>> fields) {
    return {std::move(name), std::move(table),  std::move(foreign),
            attributes,      std::move(fields), 45000.5};
}

TEST_P(JetRelationTest, MadeOrTakenOutOrRefusedWithTheBytesAsTheyWere) {
    const RelationCase& c = GetParam();
    const std::filesystem::path sample = JetSample("indexTestV2003.mdb");
    PageFile file = PageFile::Open(sample);
    const PageFile untouched = file;
    try {
        if (c.create)
            CreateRelation(file, *c.create);
        else
            DeleteRelation(file, c.drop);
        EXPECT_EQ(c.number, 0) << "not refused";
    } catch (const EngineError& e) {
        EXPECT_EQ(e.number(), c.number) << e.what();
        EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
        EXPECT_TRUE(std::ranges::equal(file.Bytes(), untouched.Bytes())) << "the bytes changed";
        return;
    }
    EXPECT_EQ(Problems(file), "");
    ExpectRelationEntriesPaired(file);
    const std::string name = Utf8(c.create ? c.create->name : c.drop);
    const bool enforced = c.create && (c.create->attributes & 2) == 0;
    // The foreign table's entry named like the relation, there only while an enforced one is.
    const TableDef table1 = ReadTableDef(file, TablePage(file, "Table1"));
    const LogicalIndexDef* entry = Logical(table1, name);
    EXPECT_EQ(entry != nullptr, enforced);
    if (entry) {
        EXPECT_EQ(entry->type, 2);
        EXPECT_EQ(entry->cascadeDeletes, (c.create->attributes & 0x1000) != 0);
        EXPECT_EQ(entry->cascadeUpdates, (c.create->attributes & 0x100) != 0);
    }
    ::actualiz::testing::TempPrefix prefix;
    const std::filesystem::path copy = prefix.root() / "relaciones.mdb";
    file.Save(copy);
    if (!HaveMdbTools()) GTEST_SKIP() << "mdbtools not installed";
    for (const char* t : {"Table1", "Table2", "Table3"})
        EXPECT_EQ(ExportTable(copy, t), ExportTable(sample, t)) << t;
    // libmdb reads the relation's rows: name, attributes, field count and place, the tables.
    const std::string relations =
        Capture("mdb-export " + ShellQuoted(copy.string()) + " MSysRelationships");
    if (c.create) {
        const std::string row = "\"" + name + "\"," + std::to_string(c.create->attributes) +
                                ",1,0,\"" + Utf8(c.create->foreignTable) + "\",\"" +
                                Utf8(c.create->fields.front().second) + "\"";
        EXPECT_NE(relations.find(row), std::string::npos) << row << "\n" << relations;
    } else {
        EXPECT_EQ(relations.find("\"" + name + "\""), std::string::npos) << relations;
    }
}

INSTANTIATE_TEST_SUITE_P(
    RelationsOfTablesWithRows, JetRelationTest,
    ::testing::Values(
        RelationCase{"an enforced relation with cascading deletes",
                     Relation(u"Table2Nueva", u"Table2", u"Table1", 0x1000, {{u"id", u"otherfk3"}}),
                     u"", 0},
        RelationCase{"an enforced relation sharing the foreign table's index",
                     Relation(u"Table3Otra", u"Table3", u"Table1", 0x100, {{u"ID", u"otherfk2"}}),
                     u"", 0},
        RelationCase{"a relation not enforced",
                     Relation(u"Libre", u"Table2", u"Table1", 2, {{u"data", u"data"}}), u"", 0},
        RelationCase{"a relation taken out", std::nullopt, u"Table2Table1", 0},
        RelationCase{"rows of the foreign table without their row",
                     Relation(u"Huerfanas", u"Table2", u"Table1", 0, {{u"id", u"otherfk2"}}), u"",
                     err::kRelatedRecordRequired, "las filas 1, 2, 3 y 4"},
        RelationCase{"no unique index on the primary fields",
                     Relation(u"SinIndice", u"Table1", u"Table2", 0, {{u"data", u"data"}}), u"",
                     err::kInvalidOperation, "no tiene un índice único"},
        RelationCase{"a name a relation has",
                     Relation(u"table3table1", u"Table3", u"Table1", 2, {{u"id", u"otherfk2"}}),
                     u"", err::kObjectExists},
        RelationCase{"fields of different types",
                     Relation(u"Tipos", u"Table2", u"Table1", 2, {{u"id", u"data"}}), u"",
                     err::kRelationTypeMismatch},
        RelationCase{"cascades without enforcement",
                     Relation(u"Cascada", u"Table2", u"Table1", 2 | 0x1000, {{u"id", u"otherfk3"}}),
                     u"", err::kInvalidOperation, "cascadas"},
        RelationCase{"a relation the file does not have", std::nullopt, u"Nada",
                     err::kItemNotFound}));

}  // namespace
}  // namespace actualiz::engine::testing
