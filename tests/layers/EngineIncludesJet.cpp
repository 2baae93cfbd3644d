// Must not compile: the reading of Jet files sits on the engine, which reaches it only through
// the hook each program fills (engine/ForeignFiles.h).
#include "jet/JetReader.h"
