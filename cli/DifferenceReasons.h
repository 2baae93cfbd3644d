#pragma once

// Why a difference from the model is still there after an upgrade: a choice the upgrade makes on
// purpose, or rows of the old database that stand in the way.

#include <optional>
#include <string>

#include "cli/DiffCommand.h"
#include "cli/Report.h"

namespace actualiz::engine {
class Database;
}

namespace actualiz::cli {

// The reason for one difference left after the run on the old database `old`; nullopt when
// there is none to give. `report` says what the run created and appended.
std::optional<DifferenceReason> ExplainDifference(const Difference& difference,
                                                  engine::Database& old,
                                                  const DatabaseReport& report);

}  // namespace actualiz::cli
