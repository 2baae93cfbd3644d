#include <gtest/gtest.h>

#include "platform/NameFold.h"

using namespace actualiz::platform;

TEST(NameFolding, LettersOfAnyCaseAreOneName) {
    EXPECT_TRUE(EqualsIgnoringCase("CLIENTES.MDB", "clientes.mdb"));
    EXPECT_TRUE(EqualsIgnoringCase("Categoría", "CATEGORÍA"));
    EXPECT_TRUE(EqualsIgnoringCase("ñandú", "ÑANDÚ"));
    EXPECT_TRUE(EqualsIgnoringCase("Łódź", "ŁÓDŹ"));
    EXPECT_EQ(FoldCase("ÁRBOL.MDB"), "árbol.mdb");
}

TEST(NameFolding, DifferentLettersStayDifferent) {
    EXPECT_FALSE(EqualsIgnoringCase("a", "á"));
    EXPECT_FALSE(EqualsIgnoringCase("clientes.mdb", "clientes.mdb "));
    EXPECT_FALSE(EqualsIgnoringCase("×", "÷"));  // signs, not letters
    // Bytes that are not UTF-8 compare as themselves.
    EXPECT_TRUE(EqualsIgnoringCase("\xC1", "\xC1"));
    EXPECT_FALSE(EqualsIgnoringCase("\xC1", "\xE1"));
}

TEST(NameFolding, OrderIgnoresCaseThenFallsBackToBytes) {
    EXPECT_LT(CompareIgnoringCase("a.mdb", "B.mdb"), 0);
    EXPECT_GT(CompareIgnoringCase("b.mdb", "A.mdb"), 0);
    EXPECT_LT(CompareIgnoringCase("Z.mdb", "z.mdb"), 0);
    EXPECT_EQ(CompareIgnoringCase("z.mdb", "z.mdb"), 0);
}

TEST(Wildcards, StarAndQuestionMark) {
    EXPECT_TRUE(WildcardMatch("*.mdb", "Clientes.MDB"));
    EXPECT_FALSE(WildcardMatch("*.mdb", "clientes.mdbx"));
    EXPECT_FALSE(WildcardMatch("*.mdb", "clientes.mdb.bak"));
    EXPECT_TRUE(WildcardMatch("*.mdb", ".mdb"));
    EXPECT_TRUE(WildcardMatch("*", ""));
    EXPECT_TRUE(WildcardMatch("a*b*c", "aXbYbZc"));
    EXPECT_FALSE(WildcardMatch("a*b*c", "aXbYbZ"));
    EXPECT_TRUE(WildcardMatch("?", "ñ"));
    EXPECT_FALSE(WildcardMatch("??", "ñ"));
    EXPECT_TRUE(WildcardMatch("categoría*", "CATEGORÍAS.mdb"));
    EXPECT_TRUE(WildcardMatch("*.*", "LEEME"));
    EXPECT_FALSE(WildcardMatch("*.m*", "LEEME"));
}
