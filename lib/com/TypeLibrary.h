// The declarations widl (or MIDL) generates from Brenlix.idl. Its enumerations
// keep the Win32 names that <windows.h> defines as macros; the macros are set
// aside while the generated header is read.
#pragma once

#include <windows.h>
#include <ole2.h>

#pragma push_macro("HKEY_CLASSES_ROOT")
#pragma push_macro("HKEY_CURRENT_USER")
#pragma push_macro("HKEY_LOCAL_MACHINE")
#pragma push_macro("HKEY_USERS")
#pragma push_macro("REG_NONE")
#pragma push_macro("REG_SZ")
#pragma push_macro("REG_EXPAND_SZ")
#pragma push_macro("REG_BINARY")
#pragma push_macro("REG_DWORD")
#pragma push_macro("REG_DWORD_LITTLE_ENDIAN")
#pragma push_macro("REG_DWORD_BIG_ENDIAN")
#pragma push_macro("REG_LINK")
#pragma push_macro("REG_MULTI_SZ")
#pragma push_macro("REG_RESOURCE_LIST")
#pragma push_macro("REG_FULL_RESOURCE_DESCRIPTOR")
#pragma push_macro("REG_RESOURCE_REQUIREMENTS_LIST")
#pragma push_macro("EVENTLOG_ERROR_TYPE")
#pragma push_macro("EVENTLOG_WARNING_TYPE")
#pragma push_macro("EVENTLOG_INFORMATION_TYPE")
#pragma push_macro("EVENTLOG_AUDIT_SUCCESS")
#pragma push_macro("EVENTLOG_AUDIT_FAILURE")
#undef HKEY_CLASSES_ROOT
#undef HKEY_CURRENT_USER
#undef HKEY_LOCAL_MACHINE
#undef HKEY_USERS
#undef REG_NONE
#undef REG_SZ
#undef REG_EXPAND_SZ
#undef REG_BINARY
#undef REG_DWORD
#undef REG_DWORD_LITTLE_ENDIAN
#undef REG_DWORD_BIG_ENDIAN
#undef REG_LINK
#undef REG_MULTI_SZ
#undef REG_RESOURCE_LIST
#undef REG_FULL_RESOURCE_DESCRIPTOR
#undef REG_RESOURCE_REQUIREMENTS_LIST
#undef EVENTLOG_ERROR_TYPE
#undef EVENTLOG_WARNING_TYPE
#undef EVENTLOG_INFORMATION_TYPE
#undef EVENTLOG_AUDIT_SUCCESS
#undef EVENTLOG_AUDIT_FAILURE

#if defined(__GNUC__)
#  pragma GCC diagnostic push
// The generated default arguments give string literals to BSTR parameters.
#  pragma GCC diagnostic ignored "-Wwrite-strings"
#endif
#include "Brenlix_h.h"
#if defined(__GNUC__)
#  pragma GCC diagnostic pop
#endif

#pragma pop_macro("HKEY_CLASSES_ROOT")
#pragma pop_macro("HKEY_CURRENT_USER")
#pragma pop_macro("HKEY_LOCAL_MACHINE")
#pragma pop_macro("HKEY_USERS")
#pragma pop_macro("REG_NONE")
#pragma pop_macro("REG_SZ")
#pragma pop_macro("REG_EXPAND_SZ")
#pragma pop_macro("REG_BINARY")
#pragma pop_macro("REG_DWORD")
#pragma pop_macro("REG_DWORD_LITTLE_ENDIAN")
#pragma pop_macro("REG_DWORD_BIG_ENDIAN")
#pragma pop_macro("REG_LINK")
#pragma pop_macro("REG_MULTI_SZ")
#pragma pop_macro("REG_RESOURCE_LIST")
#pragma pop_macro("REG_FULL_RESOURCE_DESCRIPTOR")
#pragma pop_macro("REG_RESOURCE_REQUIREMENTS_LIST")
#pragma pop_macro("EVENTLOG_ERROR_TYPE")
#pragma pop_macro("EVENTLOG_WARNING_TYPE")
#pragma pop_macro("EVENTLOG_INFORMATION_TYPE")
#pragma pop_macro("EVENTLOG_AUDIT_SUCCESS")
#pragma pop_macro("EVENTLOG_AUDIT_FAILURE")
