#pragma once

// Every change the writer makes is all or nothing on the bytes in memory: one that fails part
// way leaves them as they were before it began.

#include <type_traits>
#include <utility>

#include "jet/format/PageFile.h"

namespace actualiz::engine::jet::write {

// Runs the change and gives back what it gives; when it throws, the pages it changed are put back
// as they were, pages it added go, and the error goes on. Only the pages changed are kept aside.
template <typename Change>
auto Whole(format::PageFile& file, Change change) {
    struct Undoing {
        format::PageFile& file;
        bool kept = false;
        ~Undoing() {
            if (!kept) file.UndoChange();
        }
    } undoing{file};
    file.BeginChange();
    if constexpr (std::is_void_v<decltype(change())>) {
        change();
        file.KeepChange();
        undoing.kept = true;
    } else {
        auto result = change();
        file.KeepChange();
        undoing.kept = true;
        return result;
    }
}

}  // namespace actualiz::engine::jet::write
