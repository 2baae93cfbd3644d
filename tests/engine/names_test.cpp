#include <gtest/gtest.h>

#include "engine/Engine.h"

namespace actualiz::engine {
namespace {

TEST(NamesTest, SameNameIgnoresCaseOfPlainAndAccentedLetters) {
    EXPECT_TRUE(SameName("Clientes", "clientes"));
    EXPECT_TRUE(SameName("Categoría", "CATEGORÍA"));
    EXPECT_TRUE(SameName("AÑO", "año"));
    EXPECT_FALSE(SameName("Categoria", "Categoría"));
    EXPECT_FALSE(SameName("clientes ", "clientes"));  // no trimming
    EXPECT_FALSE(SameName("a", "b"));
}

TEST(NamesTest, NameOrderIsCaseInsensitive) {
    EXPECT_TRUE(NameLess("alfa", "Beta"));
    EXPECT_TRUE(NameLess("Alfa", "beta"));
    EXPECT_FALSE(NameLess("beta", "Alfa"));
    // Compared as folded (lower-case) text: "_" stands between upper and lower case letters.
    EXPECT_TRUE(NameLess("a_b", "aB"));
    EXPECT_TRUE(NameLess("T10", "t2"));
    EXPECT_TRUE(NameLess("ab", "ABC"));   // a folded beginning comes first
    EXPECT_TRUE(NameLess("ABC", "abc"));  // the same folded name: by its bytes
    EXPECT_FALSE(NameLess("abc", "abc"));
    EXPECT_TRUE(NameLess("Zeta", "ábaco"));  // accented letters after the plain ones
    EXPECT_TRUE(NameLess("cañón", "CAÑÓNES"));
    EXPECT_TRUE(NameLess("Año", "año"));
}

TEST(NamesTest, SystemNamesStartWithMSysExactly) {
    EXPECT_TRUE(IsSystemName("MSysObjects"));
    EXPECT_TRUE(IsSystemName("MSys"));
    EXPECT_FALSE(IsSystemName("msysObjects"));
    EXPECT_FALSE(IsSystemName("MSy"));
    EXPECT_FALSE(IsSystemName("XMSys"));
}

TEST(NamesTest, CheckNameFollowsTheClassicRules) {
    auto number = [](std::string_view n) {
        try {
            CheckName(n, "tabla");
        } catch (const EngineError& e) {
            return e.number();
        }
        return 0;
    };
    EXPECT_EQ(number("Detalles de pedidos"), 0);
    EXPECT_EQ(number(std::string(64, 'a')), 0);
    EXPECT_EQ(number(std::string(64, 'a').replace(0, 2, "ñ")), 0);  // characters, not bytes
    EXPECT_EQ(number(std::string(65, 'a')), err::kInvalidName);
    EXPECT_EQ(number(""), err::kInvalidName);
    EXPECT_EQ(number(" a"), err::kInvalidName);
    for (const char* bad : {"a.b", "a!b", "a`b", "a[b", "a]b", "a\nb"})
        EXPECT_EQ(number(bad), err::kInvalidName) << bad;
}

TEST(NamesTest, QuotingDoublesTheQuoteCharacter) {
    EXPECT_EQ(QuoteIdentifier("a\"b"), "\"a\"\"b\"");
    EXPECT_EQ(QuoteLiteral("O'Hara"), "'O''Hara'");
}

TEST(TypesTest, ValueToTextIsHowABoundTextBoxShowsIt) {
    EXPECT_EQ(ValueToText(std::monostate{}), "");
    EXPECT_EQ(ValueToText(Value(42LL)), "42");
    EXPECT_EQ(ValueToText(Value(-1LL)), "-1");
    EXPECT_EQ(ValueToText(Value(2.5)), "2.5");
    EXPECT_EQ(ValueToText(Value(3.0)), "3");
    EXPECT_EQ(ValueToText(Value(std::string("Verdadero"))), "Verdadero");
    EXPECT_EQ(ValueToText(Value(std::vector<unsigned char>{'a', 'b'})), "ab");
}

TEST(TypesTest, ClassicSizesAndDeclaredTypes) {
    EXPECT_EQ(FixedSize(dbBoolean), 1);
    EXPECT_EQ(FixedSize(dbInteger), 2);
    EXPECT_EQ(FixedSize(dbLong), 4);
    EXPECT_EQ(FixedSize(dbDouble), 8);
    EXPECT_EQ(FixedSize(dbDate), 8);
    EXPECT_EQ(FixedSize(dbMemo), 0);
    EXPECT_EQ(FixedSize(dbGUID), 16);
    EXPECT_FALSE(FixedSize(dbText).has_value());
    EXPECT_FALSE(IsKnownType(13));
    EXPECT_EQ(SqliteDeclaredType(dbText, 50), "VARCHAR(50)");
    EXPECT_EQ(SqliteDeclaredType(dbMemo, 0), "TEXT");
    EXPECT_EQ(SqliteDeclaredType(dbLong, 4), "INTEGER");
}

TEST(CollectionTest, AppendOrderLookupAndDelete) {
    Collection<Field> fields;
    fields.Append(std::make_shared<Field>("b", dbText, 10));
    fields.Append(std::make_shared<Field>("A", dbText, 10));
    EXPECT_EQ(fields.Count(), 2);
    EXPECT_EQ(fields[0]->Name(), "b");
    EXPECT_EQ(fields["a"]->Name(), "A");
    fields.Delete("B");
    EXPECT_EQ(fields.Count(), 1);
    try {
        fields.Delete("b");
        FAIL();
    } catch (const EngineError& e) {
        EXPECT_EQ(e.number(), err::kItemNotFound);
        EXPECT_NE(e.description().find("'b'"), std::string::npos);
    }
}

TEST(CollectionTest, RefusedAppendLeavesTheCollectionAsItWas) {
    Collection<Field> fields;
    Collection<Field>::Hooks hooks;
    hooks.beforeAppend = [](const std::shared_ptr<Field>& f) {
        if (f->Name() == "malo") throw MakeError(err::kInvalidName, f->Name());
    };
    fields.SetHooks(hooks);
    fields.Append(std::make_shared<Field>("bueno", dbText, 10));
    EXPECT_THROW(fields.Append(std::make_shared<Field>("malo", dbText, 10)), EngineError);
    EXPECT_EQ(fields.Count(), 1);
}

}  // namespace
}  // namespace actualiz::engine
