// The checker of Jet 4 files: every file Access wrote passes, and copies damaged in one place
// each are reported for that damage.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "jet/JetTestSupport.h"
#include "jet/check/FileCheck.h"
#include "jet/format/DataPage.h"
#include "jet/format/IndexPage.h"
#include "jet/format/TableDef.h"
#include "jet/format/Text.h"
#include "jet/format/UsageMap.h"
#include "jet/read/RowReader.h"
#include "jet/write/PageAllocation.h"

namespace actualiz::engine::testing {
namespace {

using namespace jet::format;
using jet::check::CheckFile;
using jet::check::CheckResult;

const std::vector<std::string>& Jet4Samples() {
    static const std::vector<std::string> names = {
        "blankV2000.mdb",           "compIndexTestV2000.mdb", "delColTestV2000.mdb",
        "fixedTextTestV2000.mdb",   "indexTestV2000.mdb",     "indexTestV2003.mdb",
        "overflowTestV2000.mdb",    "queryTestV2000.mdb",     "testIndexPropertiesV2000.mdb",
        "testUnicodeCompV2003.mdb", "testV2000.mdb"};
    return names;
}

std::string Problems(const CheckResult& result) {
    std::string text;
    for (const auto& problem : result.problems) text += problem.where + ": " + problem.text + "\n";
    return text;
}

class JetCheckSampleTest : public ::testing::TestWithParam<std::string> {};

TEST_P(JetCheckSampleTest, AccessWrittenFileIsSound) {
    PageFile file = PageFile::Open(JetSample(GetParam()));
    ASSERT_TRUE(file.IsJet4());
    CheckResult result = CheckFile(file);
    EXPECT_TRUE(result.Sound()) << Problems(result);
    EXPECT_GE(result.tables, 5);  // MSysObjects, MSysACEs, MSysQueries, MSysRelationships ...
    EXPECT_GT(result.entries, 0);
    EXPECT_GT(result.keysCompared, 0) << "no index key was compared with its row";
}

INSTANTIATE_TEST_SUITE_P(Samples, JetCheckSampleTest, ::testing::ValuesIn(Jet4Samples()),
                         [](const auto& info) {
                             std::string name = info.param;
                             return name.substr(0, name.find('.'));
                         });

// The byte of the file at a span's position, for changing it.
unsigned char& ByteAt(PageFile& file, const unsigned char* where) {
    std::size_t offset = static_cast<std::size_t>(where - file.Bytes().data());
    return file.MutablePage(static_cast<std::uint32_t>(offset / kPageSize))[offset % kPageSize];
}

// Sets or clears the bit of a page in a type 0 usage map.
void MarkPage(PageFile& file, std::uint32_t packedMap, std::uint32_t page, bool marked) {
    UsageMap map = ReadUsageMap(file, PageRow::From(packedMap));
    ASSERT_EQ(map.type, 0);
    std::span<const unsigned char> row = RowBytes(file, PageRow::From(packedMap));
    std::uint32_t bit = page - map.firstPage;
    ASSERT_LT(5 + bit / 8, row.size());
    unsigned char& b = ByteAt(file, row.data() + 5 + bit / 8);
    b = static_cast<unsigned char>(marked ? b | (1u << (bit % 8)) : b & ~(1u << (bit % 8)));
}

// The table of 512 rows with a descending index over two leaves, its definition on page 15.
constexpr std::uint32_t kTable1 = 15;

IndexPage FirstLeaf(const PageFile& file, std::uint32_t table, std::size_t index) {
    std::uint32_t page = ReadTableDef(file, table).realIndexes.at(index).rootPage;
    IndexPage read = ReadIndexPage(file, page);
    while (read.Intermediate()) read = ReadIndexPage(file, read.entries.front().child);
    return read;
}

// The flags byte of the table's first index, in its definition on the table's page; nullptr when
// the definition is not found there.
unsigned char* FirstIndexFlags(PageFile& file) {
    const TableDef def = ReadTableDef(file, kTable1);
    const std::vector<unsigned char>& raw = def.realIndexes.at(0).raw;
    std::span<const unsigned char> page = file.Page(kTable1);
    auto at = std::search(page.begin(), page.end(), raw.begin(), raw.end());
    return at == page.end() ? nullptr : &ByteAt(file, &*at + 46);
}

struct Damage {
    const char* id;
    const char* name;
    const char* sample;
    std::function<void(PageFile&)> damage;
    const char* expected;  // in one of the problems reported
};

void PrintTo(const Damage& damage, std::ostream* out) {
    *out << damage.id;
}

class JetCheckDamageTest : public ::testing::TestWithParam<Damage> {};

TEST_P(JetCheckDamageTest, DamageIsReported) {
    const Damage& damage = GetParam();
    PageFile file = PageFile::Open(JetSample(damage.sample));
    damage.damage(file);
    if (HasFatalFailure()) return;
    CheckResult result = CheckFile(file);
    EXPECT_FALSE(result.Sound()) << damage.name << " went unnoticed";
    EXPECT_NE(Problems(result).find(damage.expected), std::string::npos)
        << damage.name << ": expected «" << damage.expected << "» among\n"
        << Problems(result);
}

const Damage kDamages[] = {
    {"TableMapLosesPage", "a table's map loses one of its data pages", "compIndexTestV2000.mdb",
     [](PageFile& file) {
         TableDef def = ReadTableDef(file, kTable1);
         MarkPage(file, def.usageMap, ReadUsageMap(file, PageRow::From(def.usageMap)).pages[0],
                  false);
     },
     "pero no está en su mapa de uso"},
    {"TableMapClaimsIndexPage", "a table's map claims an index page", "compIndexTestV2000.mdb",
     [](PageFile& file) {
         TableDef def = ReadTableDef(file, kTable1);
         MarkPage(file, def.usageMap, def.realIndexes[0].rootPage, true);
     },
     "tiene varios dueños"},
    {"FreeMapFreesDataPage", "the free-page map frees a data page", "compIndexTestV2000.mdb",
     [](PageFile& file) {
         TableDef def = ReadTableDef(file, kTable1);
         MarkPage(file, kFreePagesMap.Packed(),
                  ReadUsageMap(file, PageRow::From(def.usageMap)).pages[1], true);
     },
     "figura como libre"},
    {"ReferenceMapPointsAtADataPage", "a type 1 map naming a data page as its 0x05 page",
     "compIndexTestV2000.mdb",
     [](PageFile& file) {
         PageRow map = PageRow::From(ReadTableDef(file, kTable1).usageMap);
         const std::uint32_t dataPage = ReadUsageMap(file, map).pages[0];
         jet::write::MakeReferenceMap(file, map);
         ByteAt(file, RowBytes(file, map).data() + 1) = static_cast<unsigned char>(dataPage);
         ByteAt(file, RowBytes(file, map).data() + 2) = static_cast<unsigned char>(dataPage >> 8);
     },
     "no es de mapa"},
    {"BitmapPageOfTwoMaps", "two type 1 maps naming the same 0x05 page", "compIndexTestV2000.mdb",
     [](PageFile& file) {
         const TableDef def = ReadTableDef(file, kTable1);
         jet::write::MakeReferenceMap(file, PageRow::From(def.usageMap));
         jet::write::MakeReferenceMap(file, PageRow::From(def.freeMap));
         std::span<const unsigned char> usage = RowBytes(file, PageRow::From(def.usageMap));
         std::span<const unsigned char> free = RowBytes(file, PageRow::From(def.freeMap));
         for (int i = 1; i < 5; ++i) ByteAt(file, free.data() + i) = usage[i];
     },
     "es página de mapa de"},
    {"ReferenceMapClaimsIndexPage", "a type 1 map marking an index page", "compIndexTestV2000.mdb",
     [](PageFile& file) {
         const TableDef def = ReadTableDef(file, kTable1);
         PageRow map = PageRow::From(def.usageMap);
         jet::write::MakeReferenceMap(file, map);
         const std::uint32_t root = def.realIndexes[0].rootPage;
         const std::uint32_t bitmap = ReadUsageMap(file, map).bitmapPages[0];
         ByteAt(file, file.Page(bitmap).data() + 4 + root / 8) |=
             static_cast<unsigned char>(1u << (root % 8));
     },
     "que no es una página de datos suya"},
    {"IndexMapClaimsDataPage", "an index's map marking a page outside its tree",
     "compIndexTestV2000.mdb",
     [](PageFile& file) {
         const TableDef def = ReadTableDef(file, kTable1);
         MarkPage(file, def.realIndexes[0].usageMap,
                  ReadUsageMap(file, PageRow::From(def.usageMap)).pages.back(), true);
     },
     "que no es de su árbol"},
    {"WrongRowCount", "a wrong row count", "compIndexTestV2000.mdb",
     [](PageFile& file) { ByteAt(file, file.Page(kTable1).data() + 16) ^= 0x01; },
     "filas, su definición dice"},
    {"EntriesSwapped", "two index entries swapped", "compIndexTestV2000.mdb",
     [](PageFile& file) {
         IndexPage leaf = FirstLeaf(file, kTable1, 0);
         const IndexEntry& a = leaf.entries.at(1);
         const IndexEntry& b = leaf.entries.at(2);
         std::size_t stored = leaf.entries.at(2).start - a.start;
         ASSERT_EQ(stored, leaf.entries.at(3).start - b.start);
         const unsigned char* page = file.Page(leaf.number).data();
         for (std::size_t i = 0; i < stored; ++i)
             std::swap(ByteAt(file, page + a.start + i), ByteAt(file, page + b.start + i));
     },
     "entradas fuera de orden"},
    {"EntryWithoutRow", "an index entry pointing at no row", "compIndexTestV2000.mdb",
     [](PageFile& file) {
         IndexPage leaf = FirstLeaf(file, kTable1, 0);
         const unsigned char* page = file.Page(leaf.number).data();
         ByteAt(file, page + leaf.entries.at(5).start + 5) = 0xF0;  // its row number
     },
     "donde no hay fila"},
    {"TextKeyNotTheRows", "a text key that is not its row's", "testV2000.mdb",
     [](PageFile& file) {
         // Table1 (definition on page 24): index B, whose keys are the text "b", "hijklmnop".
         IndexPage leaf = FirstLeaf(file, 24, 1);
         const unsigned char* page = file.Page(leaf.number).data();
         ByteAt(file, page + leaf.entries.at(0).start + 1) ^= 0x01;
     },
     "sus valores dan"},
    {"IndexTreeLoops", "an intermediate index page whose entry leads back to itself",
     "compIndexTestV2000.mdb",
     [](PageFile& file) {
         std::uint32_t root = ReadTableDef(file, kTable1).realIndexes.at(0).rootPage;
         IndexPage page = ReadIndexPage(file, root);
         ASSERT_TRUE(page.Intermediate());
         const IndexEntry& first = page.entries.at(0);
         const unsigned char* child = file.Page(root).data() + first.start + first.bytes.size() - 4;
         for (int i = 0; i < 4; ++i)
             ByteAt(file, child + i) = static_cast<unsigned char>(root >> (8 * (3 - i)));
     },
     "vuelve sobre sí"},
    {"IntermediateEntryNotChildsLast", "an intermediate entry that is not its child's last",
     "compIndexTestV2000.mdb",
     [](PageFile& file) {
         std::uint32_t root = ReadTableDef(file, kTable1).realIndexes.at(0).rootPage;
         IndexPage page = ReadIndexPage(file, root);
         ASSERT_TRUE(page.Intermediate());
         ByteAt(file, file.Page(root).data() + page.entries.at(0).start + 4) ^= 0x01;
     },
     "no es la última que cuelga"},
    {"TreeLosesItsTail", "an intermediate page that no longer names its tail leaf",
     "compIndexTestV2000.mdb",
     [](PageFile& file) {
         std::uint32_t root = ReadTableDef(file, kTable1).realIndexes.at(0).rootPage;
         ASSERT_NE(ReadIndexPage(file, root).tail, 0u);
         ByteAt(file, file.Page(root).data() + 20) = 0;
     },
     "no es la que sigue en el árbol"},
    {"LeafChainBroken", "a leaf naming the wrong previous leaf", "compIndexTestV2000.mdb",
     [](PageFile& file) {
         IndexPage leaf = FirstLeaf(file, kTable1, 0);
         ASSERT_NE(leaf.next, 0u);
         ByteAt(file, file.Page(leaf.next).data() + 12) ^= 0x01;
     },
     "dice que la anterior"},
    {"PrefixLengthWrong", "a leaf's shared prefix one byte short", "compIndexTestV2000.mdb",
     [](PageFile& file) {
         IndexPage leaf = FirstLeaf(file, kTable1, 0);
         ASSERT_EQ(leaf.prefixLength, 3);
         ByteAt(file, file.Page(leaf.number).data() + 24) = 2;
     },
     "sus valores dan"},
    {"BitmapLosesAnEntry", "an entry's start cleared from a leaf's bitmap",
     "compIndexTestV2000.mdb",
     [](PageFile& file) {
         IndexPage leaf = FirstLeaf(file, kTable1, 0);
         std::size_t bit = leaf.entries.at(7).start - kIndexEntriesStart;
         ByteAt(file, file.Page(leaf.number).data() + kIndexBitmapStart + bit / 8) ^=
             static_cast<unsigned char>(1u << (bit % 8));
     },
     "no tiene entrada"},
    {"IndexFreeSpaceWrong", "a leaf's free space one byte off", "compIndexTestV2000.mdb",
     [](PageFile& file) {
         IndexPage leaf = FirstLeaf(file, kTable1, 0);
         ByteAt(file, file.Page(leaf.number).data() + 2) ^= 0x01;
     },
     "bytes libres"},
    {"IgnoreNullsWithNullEntries", "an index that ignores Nulls but holds their entries",
     "compIndexTestV2000.mdb",
     [](PageFile& file) {
         unsigned char* flags = FirstIndexFlags(file);
         ASSERT_NE(flags, nullptr);
         *flags |= kIndexIgnoreNulls;
     },
     "ignora los Null"},
    {"EntryNamesAnotherRow", "an index entry naming the row of the entry after it",
     "compIndexTestV2000.mdb",
     [](PageFile& file) {
         IndexPage leaf = FirstLeaf(file, kTable1, 0);
         // An entry's row (3 bytes of page, 1 of row) ends where the next entry starts.
         const unsigned char* page = file.Page(leaf.number).data();
         for (int i = 1; i <= 4; ++i)
             ByteAt(file, page + leaf.entries.at(6).start - i) = page[leaf.entries.at(7).start - i];
     },
     "tiene 2 entradas"},
    {"UniqueIndexRepeatsAKey", "an index said unique where two entries have one key",
     "compIndexTestV2000.mdb",
     [](PageFile& file) {
         unsigned char* flags = FirstIndexFlags(file);
         ASSERT_NE(flags, nullptr);
         *flags |= kIndexUnique;
         // The key of entry 6 becomes that of entry 5 (past the prefix they share on the leaf).
         IndexPage leaf = FirstLeaf(file, kTable1, 0);
         const IndexEntry& fifth = leaf.entries.at(5);
         const IndexEntry& sixth = leaf.entries.at(6);
         ASSERT_EQ(fifth.bytes.size(), sixth.bytes.size());
         ASSERT_GT(fifth.Key(false).size(), std::size_t{leaf.prefixLength});
         const unsigned char* page = file.Page(leaf.number).data();
         for (std::size_t i = leaf.prefixLength; i < fifth.Key(false).size(); ++i)
             ByteAt(file, page + sixth.start + i - leaf.prefixLength) = fifth.bytes[i];
     },
     "clave repetida"},
    {"LongValueOffItsPages", "a long value whose reference points at a definition page",
     "indexTestV2000.mdb",
     [](PageFile& file) {
         TableDef catalog = ReadTableDef(file, 2);
         const ColumnDef* properties = nullptr;
         for (const ColumnDef& column : catalog.columns)
             if (column.name == "LvProp") properties = &column;
         ASSERT_TRUE(properties);
         UsageMap pages = ReadUsageMap(file, PageRow::From(catalog.usageMap));
         for (const StoredRow& row : TableRows(file, catalog, pages)) {
             auto value = RowValues(file, catalog, row.bytes).Value(*properties);
             if (!value || ReadLongValueRef(*value).kind & kLongValueInline) continue;
             // The page of the reference (bytes 5 to 7, after its row) becomes page 2.
             ByteAt(file, value->data() + 5) = 2;
             ByteAt(file, value->data() + 6) = 0;
             ByteAt(file, value->data() + 7) = 0;
             return;
         }
         FAIL() << "no long value on a long-value page in MSysObjects";
     },
     "no es de valores largos"},
    {"CatalogNamesNoDefinition", "a table of MSysObjects whose definition page is a data page",
     "testV2000.mdb",
     [](PageFile& file) {
         TableDef catalog = ReadTableDef(file, 2);
         const ColumnDef* id = nullptr;
         const ColumnDef* name = nullptr;
         for (const ColumnDef& column : catalog.columns) {
             if (column.name == "Id") id = &column;
             if (column.name == "Name") name = &column;
         }
         ASSERT_TRUE(id && name);
         UsageMap pages = ReadUsageMap(file, PageRow::From(catalog.usageMap));
         for (const StoredRow& row : TableRows(file, catalog, pages)) {
             RowValues values(file, catalog, row.bytes);
             auto rowName = values.Value(*name);
             if (!rowName || Utf8(StoredText(*rowName)) != "Table1") continue;
             ByteAt(file, values.Value(*id)->data()) = 1;  // page 1: the free-page map's
             return;
         }
         FAIL() << "no row of Table1 in MSysObjects";
     },
     "no es de definición"},
};

INSTANTIATE_TEST_SUITE_P(Damages, JetCheckDamageTest, ::testing::ValuesIn(kDamages),
                         [](const auto& info) { return std::string(info.param.id); });

}  // namespace
}  // namespace actualiz::engine::testing
