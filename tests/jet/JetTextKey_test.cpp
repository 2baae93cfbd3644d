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

std::vector<unsigned char> FromHex(std::string_view hex) {
    std::vector<unsigned char> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(
            static_cast<unsigned char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    return bytes;
}

std::string ToHex(const std::vector<unsigned char>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

// Keys of one value of one column, ascending or descending: the stored value (as the row holds
// it) and the whole key. Rows marked "Access" are entries Access wrote (the Jet 3 sample of one
// index per type keeps numbers as Jet 4 does: every non-text key of its 29 tables is the one these
// rules give); the others follow from them (Binary of more than eight bytes is the GUID's rule, a
// descending text key the format notes' closing 0x00) or are refusals.
TEST(JetIndexKeys, EveryTypeGivesTheKeyAccessWrites) {
    struct Row {
        std::uint8_t type;
        bool ascending;
        const char* stored;  // hex; "" for Null
        const char* key;     // hex; nullptr: no key
    } rows[] = {
        {kInteger, true, "0000", "7f8000"},                            // Access
        {kInteger, true, "e9ff", "7f7fe9"},                            // Access, -23
        {kInteger, false, "e9ff", "808016"},                           // Access
        {kCurrency, true, "0000000000000000", "7f8000000000000000"},   // Access
        {kCurrency, true, "e4268e0efeffffff", "7f7ffffffe0e8e26e4"},   // Access
        {kCurrency, false, "e4268e0efeffffff", "8080000001f171d91b"},  // Access
        {kSingle, true, "00000000", "7f80000000"},                     // Access
        {kSingle, true, "0e34b8b9", "7f4647cbf1"},                     // Access
        {kDouble, false, "0000000000000000", "807fffffffffffffff"},    // Access
        {kDouble, false, "9a854dcf810637bf", "80bf370681cf4d859a"},    // Access
        {kDateTime, true, "0000000050a3f4c0", "7f3f0b5cafffffffff"},   // Access, 1668
        {kBoolean, true, "01", "7f00"},                                // Access
        {kBoolean, true, "00", "7fff"},                                // Access
        {kBoolean, false, "01", "80ff"},                               // Access
        {kBoolean, false, "00", "8000"},                               // Access
        {kByte, false, "00", "80ff"},                                  // Access
        {kGuid, true, "6a27398ea8bcc44a891e49911d8438dd",
         "7f8e39276abca84ac409891e49911d8438dd08"},  // Access
        {kGuid, false, "6a27398ea8bcc44a891e49911d8438dd",
         "8071c6d8954357b53b0976e1b66ee27bc722f7"},  // Access
        {kBinary, true, "0102030405060708090a", "7f010203040506070809090a00000000000002"},
        {kBinary, false, "0102030405060708090a", "80fefdfcfbfaf9f8f709f6f5fffffffffffffd"},
        {kBinary, true, "0102", "7f010200000000000002"},
        {kText, true, "6100", "7f4a0100"},
        {kText, true, "61002000200020002000", "7f4a0100"},  // trailing spaces do not count
        {kText, false, "6100", "80b5feff00"},
        {kLong, true, "", "00"},
        {kLong, false, "", "ff"},
        {kLong, true, "010000", nullptr},  // a value of the wrong size
        {kNumeric, true, "0000000000000000000000000000000000", nullptr},
    };
    for (const Row& row : rows) {
        TableDef def;
        ColumnDef column;
        column.type = row.type;
        column.number = 0;
        column.name = "c";
        def.columns.push_back(column);
        RealIndexDef index;
        index.keys.push_back({0, row.ascending});
        std::vector<unsigned char> stored = FromHex(row.stored);
        std::vector<std::optional<std::span<const unsigned char>>> values;
        if (std::string_view(row.stored).empty())
            values.push_back(std::nullopt);
        else
            values.push_back(std::span<const unsigned char>(stored));
        std::optional<std::vector<unsigned char>> key = EntryKey(def, index, values);
        SCOPED_TRACE(std::string("type ") + std::to_string(row.type) + " value " + row.stored);
        if (!row.key) {
            EXPECT_FALSE(key.has_value()) << ToHex(*key);
            continue;
        }
        ASSERT_TRUE(key.has_value());
        EXPECT_EQ(ToHex(*key), row.key);
    }
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
