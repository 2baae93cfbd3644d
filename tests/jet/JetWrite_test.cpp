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
#include "jet/write/PageAllocation.h"
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

}  // namespace
}  // namespace actualiz::engine::testing
