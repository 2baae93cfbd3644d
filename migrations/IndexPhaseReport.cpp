#include "migrations/IndexPhaseReport.h"

namespace actualiz::app {

namespace {

std::string Describe(int number, const std::string& description) {
    return "error " + std::to_string(number) + ", " + description;
}

}  // namespace

IndexPhaseReport::IndexPhaseReport(const Actualiz& form)
    : form_(form), mark_(form.Skipped().size()) {}

std::optional<IndexPhaseReport::Failure> IndexPhaseReport::TakeFirst() {
    const auto& skipped = form_.Skipped();
    std::optional<Failure> first;
    if (skipped.size() > mark_) first = Failure{skipped[mark_].number, skipped[mark_].description};
    mark_ = skipped.size();
    return first;
}

void IndexPhaseReport::MarkOpen() {
    openFailure_ = TakeFirst();
}

void IndexPhaseReport::MarkIndex(const std::string& name) {
    std::optional<Failure> first = TakeFirst();
    // Without an open database every step of the index fails for want of the object; what the
    // user needs to read is why the database did not open.
    if (openFailure_)
        missing_.push_back({name, *openFailure_});
    else if (first)
        missing_.push_back({name, *first});
}

void IndexPhaseReport::MarkClose() {
    // With no database open, the close fails only because of the open: already told.
    std::optional<Failure> first = TakeFirst();
    if (!openFailure_) closeFailure_ = first;
}

std::vector<std::string> IndexPhaseReport::MissingIndexes() const {
    std::vector<std::string> names;
    for (const Missing& m : missing_) names.push_back(m.index);
    return names;
}

std::string IndexPhaseReport::Message(const std::string& table) const {
    std::string text;
    if (!missing_.empty()) {
        text = "La tabla " + table + " se ha creado, pero no se han podido crear estos índices:";
        for (const Missing& m : missing_)
            text += "\n" + m.index + ": " + Describe(m.cause.number, m.cause.description);
        if (closeFailure_)
            text += "\nAdemás, al cerrar la base de datos: " +
                    Describe(closeFailure_->number, closeFailure_->description);
    } else if (closeFailure_) {
        text = "La tabla " + table +
               " y sus índices se han creado, pero al cerrar la base de datos: " +
               Describe(closeFailure_->number, closeFailure_->description);
    }
    return text;
}

}  // namespace actualiz::app
