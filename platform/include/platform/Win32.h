// The Win32 functions, types and constants that the system calls. On Windows
// these are the real ones; elsewhere the project's own substitutes, with the
// same signatures, return values and last-error behaviour.
#pragma once

#if defined(_WIN32)
#  ifndef WIN32_LEAN_AND_MEAN
#    define WIN32_LEAN_AND_MEAN
#  endif
#  ifndef NOMINMAX
#    define NOMINMAX
#  endif
#  include <windows.h>
#else
#  include <platform/posix/Win32Api.h>
#endif
