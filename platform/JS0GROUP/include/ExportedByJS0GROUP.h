// Export macro of the JS0GROUP platform library.
//
// The platform libraries are built with hidden visibility; only what carries
// this macro appears in the dynamic symbol table.
#pragma once

#if defined(_WIN32)
#if defined(JS0GROUP_BUILDING)
#define ExportedByJS0GROUP __declspec(dllexport)
#else
#define ExportedByJS0GROUP __declspec(dllimport)
#endif
#else
#define ExportedByJS0GROUP __attribute__((visibility("default")))
#endif
