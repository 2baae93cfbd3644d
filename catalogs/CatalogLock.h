#pragma once

// The three catalogs in C:\ActMirto are one set shared by every run, whatever its data folder:
// an upgrade empties them and fills them afresh for each database, so two runs working through
// them at once would each read the other's indexes, relations and queries. Whoever works through
// them (an upgrade from the command line, the window's and the form runner's index, relation and
// query commands, the creation of the catalogs) holds the lock of the catalog folder for as long
// as it works.

#include <chrono>
#include <memory>

#include "platform/FolderLock.h"

namespace actualiz::catalogs {

// How long a run waits for another to give the catalogs back before it gives up: long enough for
// a command of the window to end, short enough that nobody takes the wait for a hang.
inline constexpr std::chrono::milliseconds kCatalogWait{2000};

// Takes the lock of the catalog folder, waiting up to `wait`. Raises 3045 naming the run that
// holds it when it stays held. Where the catalog folder cannot be mapped or opened nothing is
// locked (and nothing can work through the catalogs either): the result is then an empty lock.
std::unique_ptr<platform::FolderLock> LockCatalogs(std::chrono::milliseconds wait = kCatalogWait);

}  // namespace actualiz::catalogs
