#pragma once

// The checker of a Jet 4 file: reads every structure from the file's own bytes and says what
// does not hold together. Access-written files pass; a file the writer produced must pass too.
//   pages        every page is free, or structural (the database page, the free-page map, a
//                table definition, a page holding usage maps), or owned by exactly one usage map
//                (a table's rows, an index, a column's long values), and of the type its owner
//                needs (an index's map marks only its tree); the 0x05 pages of a type 1 map are
//                of that type and named by that map alone
//   tables       every table of MSysObjects has a definition; its rows decode; their number is
//                the definition's row count; every long value's chain is whole
//   indexes      every index's pages form one ordered chain of leaves under its tree; every row
//                has its entry and every entry a row; each key is the one the row's values give,
//                where those keys are known (text keys need every character's weight)

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "jet/format/PageFile.h"

namespace actualiz::engine::jet::check {

struct CheckProblem {
    std::string where;  // "página 12", "tabla «Clientes»", "tabla «Clientes», índice «Nombre»"
    std::string text;
};

struct CheckResult {
    std::vector<CheckProblem> problems;
    std::vector<std::string> notes;  // what could not be checked, and why
    std::uint32_t pages = 0;
    int tables = 0;
    int indexes = 0;
    long rows = 0;
    long entries = 0;
    long keysCompared = 0;

    bool Sound() const { return problems.empty(); }
};

// The file must be a Jet 4 file (the caller refuses others). Structures that cannot be read are
// problems of the file, not failures of the check.
CheckResult CheckFile(const format::PageFile& file);

nlohmann::json CheckJson(const CheckResult& result);
std::string CheckText(const CheckResult& result);

}  // namespace actualiz::engine::jet::check
