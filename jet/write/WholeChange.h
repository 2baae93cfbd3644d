#pragma once

// Every change the writer makes is all or nothing on the bytes in memory: one that fails part
// way leaves them as they were before it began.

#include <utility>

#include "jet/format/PageFile.h"

namespace actualiz::engine::jet::write {

// Runs the change and gives back what it gives; when it throws, the bytes are put back as they
// were and the error goes on.
template <typename Change>
auto Whole(format::PageFile& file, Change change) {
    format::PageFile before = file;
    try {
        return change();
    } catch (...) {
        file = std::move(before);
        throw;
    }
}

}  // namespace actualiz::engine::jet::write
