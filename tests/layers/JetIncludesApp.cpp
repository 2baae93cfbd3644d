// Must not compile: the reading of Jet files sits below the form and its commands.
#include "app/Actualiz.h"
