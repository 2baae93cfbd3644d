#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "app/Actualiz.h"

namespace actualiz::app {

// The two clients-database migrations build their indexes with every step run through
// SkipOnError, so that one index that cannot be made does not keep the others from being tried.
// Passing those failures over in silence, though, had the user read "Terminado" over a table
// that lacks indexes. This watches what the skip-on-error runner records in form.Skipped() while
// the index phase runs, and words the message shown instead of "Terminado" when anything went
// wrong: every index that was not made, each with the engine's number and text.
//
// Use: Mark... after the steps of each part of the phase, in order.
//
//     IndexPhaseReport report(*this);
//     step([&] { db = engine::OpenDatabase(Text4.Text()); });
//     report.MarkOpen();
//     ... the steps of index "codcli" ...
//     report.MarkIndex("codcli");
//     step([&] { Require(db)->Close(); });
//     report.MarkClose();
//     if (!report.Clean()) host().MsgBox(report.Message("histoprod"), MsgIcon::Critical, ...);
class IndexPhaseReport {
  public:
    explicit IndexPhaseReport(const Actualiz& form);

    // The steps run since the last mark opened the database.
    void MarkOpen();
    // The steps run since the last mark built the index `name`. If any of them failed, or the
    // database could not be opened at all, the index counts as not made.
    void MarkIndex(const std::string& name);
    // The steps run since the last mark closed the database.
    void MarkClose();

    // True when no step of the phase failed: the run ends with "Terminado" as always.
    bool Clean() const { return !openFailure_ && missing_.empty() && !closeFailure_; }
    // Names of the indexes not made, in the order they were attempted.
    std::vector<std::string> MissingIndexes() const;
    // The text of the critical message that replaces "Terminado".
    std::string Message(const std::string& table) const;

  private:
    struct Failure {
        int number;
        std::string description;
    };
    struct Missing {
        std::string index;
        Failure cause;
    };

    // The first failure recorded since the last mark, and moves the mark past all of them.
    std::optional<Failure> TakeFirst();

    const Actualiz& form_;
    std::size_t mark_;
    std::optional<Failure> openFailure_;
    std::optional<Failure> closeFailure_;
    std::vector<Missing> missing_;
};

}  // namespace actualiz::app
