// Marks the names that Brenlix exports to the program and to other clients.
#pragma once

#if defined(_WIN32)
#  if defined(BRENLIX_BUILDING)
#    define BRENLIX_API __declspec(dllexport)
#  else
#    define BRENLIX_API __declspec(dllimport)
#  endif
#else
#  define BRENLIX_API __attribute__((visibility("default")))
#endif
