// Must not compile: the engine sits below the form and its commands and cannot see them. The
// build checks that an upward include like this one fails (test "layers.UpwardIncludeFails").
#include "app/Actualiz.h"
