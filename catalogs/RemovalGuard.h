#pragma once

// What a step must know before it removes anything from the old database: that what is to
// replace it can be read and recorded, and that the old database itself is sound. Removing first
// and finding out afterwards would leave the old database without its primary key, its unique
// indexes or its relations, with nothing to put back. Each check raises the failure it found,
// naming the file at fault (the model, the catalog or the old database), and changes nothing.

namespace actualiz::app {
class Actualiz;
}

namespace actualiz::catalogs {

// Before the index removal: the model (Text3) opens and its indexes can be listed, every row the
// model's listing will write fits the index catalog's fields (a name longer than its field is
// refused with 3163 here rather than after the removal), the catalog can be written, the old
// database (Text4) passes SQLite's quick_check where the change reads it, and its folder has room
// for the change (61).
void CheckBeforeIndexRemoval(app::Actualiz& form);

// Before relations are deleted: the old database (Text4) is not damaged (3049) in its schema, its
// system tables and the tables of its relations and of the model's (Text3). A database that
// cannot be opened at all is left to the command's own first step.
void CheckBeforeRelationRemoval(const app::Actualiz& form);

// Before queries are deleted: the old database's schema and system tables are not damaged (3049).
void CheckBeforeQueryRemoval(const app::Actualiz& form);

}  // namespace actualiz::catalogs
