#include "engine/TextKey.h"

#include "engine/Field.h"
#include "engine/Names.h"
#include "engine/Types.h"

namespace actualiz::engine::detail {

namespace {

// The accented capitals of Spanish, Catalan, Galician, Portuguese and French and their small
// letters; lower() then folds the ASCII ones. SQLite's parser takes about 28 nested calls, so
// the list stays short of that.
std::string FoldedExpression(const std::string& column) {
    static const char* const kPairs[][2] = {
        {"Á", "á"}, {"É", "é"}, {"Í", "í"}, {"Ó", "ó"}, {"Ú", "ú"}, {"Ü", "ü"}, {"Ñ", "ñ"},
        {"Ç", "ç"}, {"À", "à"}, {"È", "è"}, {"Ì", "ì"}, {"Ò", "ò"}, {"Ù", "ù"}, {"Â", "â"},
        {"Ê", "ê"}, {"Î", "î"}, {"Ô", "ô"}, {"Û", "û"}, {"Ã", "ã"}, {"Õ", "õ"}};
    std::string expression = column;
    for (const auto& [capital, small] : kPairs)
        expression = "replace(" + expression + ", '" + capital + "', '" + small + "')";
    return "lower(" + expression + ")";
}

}  // namespace

std::string IndexKeyTerm(const Field& field, bool unique) {
    const std::string column = QuoteIdentifier(field.Name());
    if (!unique || !IsTextType(field.Type())) return column;
    return FoldedExpression(column);
}

}  // namespace actualiz::engine::detail
