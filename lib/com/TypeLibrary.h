// The declarations widl (or MIDL) generates from Brenlix.idl. Its enumerations
// keep the Win32 names that <windows.h> defines as macros; the macros are set
// aside while the generated header is read.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <brenlix/detail/Win32NamesBegin.h>

#if defined(__GNUC__)
#  pragma GCC diagnostic push
// The generated default arguments give string literals to BSTR parameters.
#  pragma GCC diagnostic ignored "-Wwrite-strings"
#endif
#include "Brenlix_h.h"
#if defined(__GNUC__)
#  pragma GCC diagnostic pop
#endif

#include <brenlix/detail/Win32NamesEnd.h>
