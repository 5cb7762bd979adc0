// Export macro of the KelEdsUtil library.
#pragma once

#if defined(_WIN32)
#if defined(KelEdsUtil_BUILDING)
#define ExportedByKelEdsUtil __declspec(dllexport)
#else
#define ExportedByKelEdsUtil __declspec(dllimport)
#endif
#else
#define ExportedByKelEdsUtil __attribute__((visibility("default")))
#endif
