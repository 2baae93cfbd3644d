#pragma once

// The permission rows (MSysACEs) of a table the writer creates, as Access writes them for a table
// it creates: for each entry of the "Tables" container that its objects inherit (FInheritable),
// an entry of the table with the same SID and rights, not inheritable; the container's entry
// with the rights 0xF00FE (in every sample a SID that holds rights on the containers only) is
// not inherited. So it is for every table Access created in ten of the eleven Jet 4 samples; in
// compIndexTestV2000.mdb, whose system tables carry extra entries of a third SID, the owner's
// entry has 0xF00FE instead: that file's rights were changed by hand, and it is not followed.
//
// Refused (3219, the bytes as they were): a page that is no table of MSysObjects, a table that
// already has entries, a file without the "Tables" container or without inheritable entries,
// and what InsertRow refuses.

#include <cstdint>

#include "jet/format/PageFile.h"

namespace actualiz::engine::jet::write {

// Writes the table's entries; how many.
int AddTablePermissions(format::PageFile& file, std::uint32_t tablePage);

// The same for any object of the "Tables" container by its MSysObjects Id (a query: Access
// gives its queries the same entries as its tables).
int AddObjectPermissions(format::PageFile& file, std::int32_t objectId);

// Takes out every entry of the object (its rows deleted as DeleteRow deletes them); how many.
int RemoveObjectPermissions(format::PageFile& file, std::int32_t objectId);

}  // namespace actualiz::engine::jet::write
