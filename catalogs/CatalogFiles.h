#pragma once

// Creating the three empty catalog databases. The window never creates them (it expects them to
// be there when it loads); `actualiz-cli catalogs init`, the tests and the demo do, through this.

#include <string>
#include <vector>

#include "platform/Error.h"

namespace actualiz::catalogs {

// The catalog databases, in the order they are created: indices, relacion, consulta.
std::vector<std::string> CatalogPaths();

// Creates the folder C:\ActMirto and in it the three catalogs, each with its one table: indices
// (nombreind, tabla, campo, unico, primaria, ignoranulos, requerido, descendente), relacion
// (nombrerel, tabla, tablafor, atributos, campo, campofor), all text, and consulta (nombrecon as
// text, consulta as a memo so that a whole SQL text fits). Text fields accept the empty text.
//
// Without replaceExisting nothing is created when any of the three already exists (58, "file
// already exists", naming it); with it, existing catalogs are replaced by empty ones. Other
// failures are the file layer's and the engine's errors.
void CreateCatalogs(bool replaceExisting);

// What keeps the catalogs from serving an upgrade, one failure per catalog at fault, each naming
// its file; empty when all three can serve. A catalog is at fault when it is missing or does not
// open (the engine's error), when it cannot be written (3027: the file or its folder, where the
// journal goes, is read-only), or when its table or a field the commands read and write is
// missing (3265). The index catalog's four flags beyond unico are not needed. Changes nothing.
std::vector<Error> CatalogProblems();

}  // namespace actualiz::catalogs
