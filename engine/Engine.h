#pragma once

// The whole engine: open or create a database and work with its definitions and record sets.
#include "engine/Collection.h"
#include "engine/Database.h"
#include "engine/EngineError.h"
#include "engine/Field.h"
#include "engine/Index.h"
#include "engine/Names.h"
#include "engine/QueryDef.h"
#include "engine/Recordset.h"
#include "engine/Relation.h"
#include "engine/TableDef.h"
#include "engine/Types.h"
