// The helpers are inline in the header; this unit stays for the programs that list it.
#include "ServiceTestSupport.h"
