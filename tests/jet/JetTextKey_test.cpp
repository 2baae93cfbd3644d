// Index keys of Jet 4 files: every key of every index entry Access wrote in the sample files is
// the one our key functions give for the row's values, byte for byte; a text whose characters'
// weights are not known is refused, naming the character, never given a guessed key.
#include <gtest/gtest.h>

#include <map>

#include "engine/EngineError.h"
#include "jet/JetTestSupport.h"
#include "jet/format/IndexKey.h"
#include "jet/format/IndexPage.h"
#include "jet/format/TableDef.h"
#include "jet/format/TextKey.h"
#include "jet/format/UsageMap.h"
#include "jet/read/Catalog.h"
#include "jet/read/RowReader.h"

namespace actualiz::engine::testing {
namespace {

using namespace jet::format;

struct KeyCounts {
    long textKeys = 0;   // entries with a text column, compared
    long otherKeys = 0;  // entries of other types, compared
    std::vector<std::string> refused;
    std::vector<std::string> wrong;
};

bool HasText(const TableDef& def, const RealIndexDef& index) {
    for (const IndexKeyColumn& key : index.keys)
        if (const ColumnDef* column = def.ColumnByNumber(key.column);
            column && column->type == kText)
            return true;
    return false;
}

// Walks the leaves of every index of every table of a sample.
KeyCounts WalkKeys(const std::string& sample) {
    KeyCounts counts;
    PageFile file = PageFile::Open(JetSample(sample));
    for (const CatalogObject& table : ReadCatalog(file)) {
        if (!table.LocalTable()) continue;
        TableDef def = ReadTableDef(file, table.DefinitionPage());
        UsageMap pages = ReadUsageMap(file, PageRow::From(def.usageMap));
        std::map<std::uint32_t, std::span<const unsigned char>> rows;
        for (const StoredRow& row : TableRows(file, def, pages))
            rows[row.where.Packed()] = row.bytes;
        for (const RealIndexDef& index : def.realIndexes) {
            IndexPage leaf = ReadIndexPage(file, index.rootPage);
            while (leaf.Intermediate())
                leaf = ReadIndexPage(file,
                                     leaf.entries.empty() ? leaf.tail : leaf.entries.front().child);
            for (;;) {
                for (const IndexEntry& entry : leaf.entries) {
                    RowValues values(file, def, rows.at(entry.row.Packed()));
                    std::vector<std::optional<std::span<const unsigned char>>> keyValues;
                    for (const IndexKeyColumn& key : index.keys)
                        keyValues.push_back(values.Value(*def.ColumnByNumber(key.column)));
                    std::optional<std::vector<unsigned char>> key;
                    try {
                        key = EntryKey(def, index, keyValues);
                    } catch (const EngineError& e) {
                        counts.refused.push_back(table.name + ": " + e.what());
                        continue;
                    }
                    if (!key) continue;  // a type whose key is not known
                    std::span<const unsigned char> stored = entry.Key(false);
                    if (!std::equal(key->begin(), key->end(), stored.begin(), stored.end()))
                        counts.wrong.push_back(table.name + ", physical index " +
                                               std::to_string(&index - def.realIndexes.data()) +
                                               ", row on page " + std::to_string(entry.row.page));
                    (HasText(def, index) ? counts.textKeys : counts.otherKeys)++;
                }
                if (leaf.next == 0) break;
                leaf = ReadIndexPage(file, leaf.next);
            }
        }
    }
    return counts;
}

TEST(JetIndexKeys, EveryKeyAccessWroteIsTheOneTheRowGives) {
    long textKeys = 0, otherKeys = 0;
    for (const char* sample :
         {"blankV2000.mdb", "compIndexTestV2000.mdb", "delColTestV2000.mdb",
          "fixedTextTestV2000.mdb", "indexTestV2000.mdb", "indexTestV2003.mdb",
          "overflowTestV2000.mdb", "queryTestV2000.mdb", "testIndexPropertiesV2000.mdb",
          "testUnicodeCompV2003.mdb", "testV2000.mdb"}) {
        KeyCounts counts = WalkKeys(sample);
        for (const std::string& wrong : counts.wrong)
            ADD_FAILURE() << sample << ": a key differs from Access's in " << wrong;
        // The only text of the samples refused: Japanese with kana, whose sort-key sections
        // (beyond the weights) are not known from one value.
        for (const std::string& refused : counts.refused)
            EXPECT_NE(refused.find("(U+30"), std::string::npos) << sample << ": " << refused;
        textKeys += counts.textKeys;
        otherKeys += counts.otherKeys;
    }
    EXPECT_GT(textKeys, 400);  // the names of MSysObjects' objects, the samples' text indexes
    EXPECT_GT(otherKeys, 1000);
}

TEST(JetIndexKeys, UnknownCharacterIsRefusedByName) {
    const std::u16string cases[] = {u"abc\u3058", u"\u0900", u""};
    const char* named[] = {"«じ» (U+3058)", "U+0900", "texto vacío"};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        try {
            TextKey(cases[i]);
            ADD_FAILURE() << named[i] << " was given a key";
        } catch (const EngineError& e) {
            EXPECT_EQ(e.number(), err::kInvalidArgument);
            EXPECT_NE(std::string(e.what()).find(named[i]), std::string::npos) << e.what();
        }
    }
}

}  // namespace
}  // namespace actualiz::engine::testing
