// The class, interface and library identifiers of the type library, defined once.
#include "TypeLibrary.h"

#include "Brenlix_i.c"
