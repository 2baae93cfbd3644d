#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "support/TempPrefix.h"

namespace fs = std::filesystem;
using actualiz::Error;
using actualiz::platform::FindEntries;
using actualiz::testing::TempPrefix;
using Names = std::vector<std::string>;

TEST(FolderSearch, FoldersAndFilesMatchInAnyCaseAndKeepTheirStoredNames) {
    TempPrefix prefix;
    prefix.makeDir("bases/x.mdb");  // a folder that looks like a database is listed like one
    prefix.writeFile("bases/CLIENTES.MDB", "x");
    prefix.writeFile("bases/almacen.mdb", "x");
    prefix.writeFile("bases/notas.txt", "x");
    prefix.writeFile("bases/clientes.mdb.bak", "x");
    prefix.writeFile("bases/mdb", "x");

    EXPECT_EQ(FindEntries("c:\\bases\\*.mdb"), (Names{"almacen.mdb", "CLIENTES.MDB", "x.mdb"}));
    EXPECT_EQ(FindEntries("C:\\BASES\\*.MDB"), (Names{"almacen.mdb", "CLIENTES.MDB", "x.mdb"}));
    EXPECT_EQ(FindEntries("c:\\bases\\clientes.mdb"), (Names{"CLIENTES.MDB"}));
}

TEST(FolderSearch, QuestionMarkStandsForOneCharacter) {
    TempPrefix prefix;
    prefix.writeFile("bases/a.mdb", "x");
    prefix.writeFile("bases/ñ.mdb", "x");  // two bytes, one character
    prefix.writeFile("bases/ab.mdb", "x");
    prefix.writeFile("bases/.mdb", "x");
    EXPECT_EQ(FindEntries("c:\\bases\\?.mdb"), (Names{"a.mdb", "ñ.mdb"}));
    EXPECT_EQ(FindEntries("c:\\bases\\a?.MDB"), (Names{"ab.mdb"}));
}

TEST(FolderSearch, DotAndDotDotComeFirstExceptAtADriveRoot) {
    TempPrefix prefix;
    prefix.writeFile("bases/clientes.mdb", "x");
    prefix.writeFile("raiz.mdb", "x");
    EXPECT_EQ(FindEntries("c:\\bases\\*"), (Names{".", "..", "clientes.mdb"}));
    EXPECT_EQ(FindEntries("c:\\bases\\*.*"), (Names{".", "..", "clientes.mdb"}));
    EXPECT_EQ(FindEntries("c:\\bases\\*.mdb"), (Names{"clientes.mdb"}));
    EXPECT_EQ(FindEntries("c:\\*"), (Names{"bases", "raiz.mdb"}));
    EXPECT_EQ(FindEntries("c:\\bases\\..\\*.mdb"), (Names{"raiz.mdb"}));
}

TEST(FolderSearch, OrderIsCaseInsensitiveNameOrderWhateverTheCreationOrder) {
    TempPrefix prefix;
    const Names created = {"b.mdb", "Z.mdb", "a2.mdb", "Ábaco.mdb", "C.MDB", "A.mdb", "z.mdb"};
    for (const std::string& name : created) prefix.writeFile("uno/" + name, "x");
    for (auto it = created.rbegin(); it != created.rend(); ++it)
        prefix.writeFile("dos/" + *it, "x");

    // Names equal but for case fall back to byte order ("Z" before "z"); accented letters sort
    // after the plain ones, by code point.
    const Names expected = {"A.mdb", "a2.mdb", "b.mdb", "C.MDB", "Z.mdb", "z.mdb", "Ábaco.mdb"};
    EXPECT_EQ(FindEntries("c:\\uno\\*.mdb"), expected);
    EXPECT_EQ(FindEntries("c:\\dos\\*.mdb"), expected);
}

TEST(FolderSearch, DoubledBackslashAtARootStillSearchesTheRoot) {
    TempPrefix prefix;
    prefix.writeFile("modelos/clientes.mdb", "x");
    EXPECT_EQ(FindEntries("C:\\\\modelos\\*.mdb"), (Names{"clientes.mdb"}));
    EXPECT_EQ(FindEntries("c:*.mdb"), Names{});
    prefix.writeFile("almacen.mdb", "x");
    EXPECT_EQ(FindEntries("c:*.mdb"), (Names{"almacen.mdb"}));
}

TEST(FolderSearch, AMissingFolderYieldsNothingButAnUnmappablePathIsAnError) {
    TempPrefix prefix;
    EXPECT_EQ(FindEntries("c:\\no existe\\*.mdb"), Names{});
    EXPECT_EQ(FindEntries("c:\\bases\\"), Names{});
    try {
        FindEntries("q:\\bases\\*.mdb");
        ADD_FAILURE() << "an unknown drive was searched";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), 68);
    }
    try {
        FindEntries("*.mdb");
        ADD_FAILURE() << "a pattern without a drive was searched";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), 76);
    }
}
