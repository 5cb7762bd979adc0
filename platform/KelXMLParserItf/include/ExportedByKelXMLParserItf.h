// Export macro of the KelXMLParserItf platform library.
#pragma once

#if defined(_WIN32)
#if defined(KelXMLParserItf_BUILDING)
#define ExportedByKelXMLParserItf __declspec(dllexport)
#else
#define ExportedByKelXMLParserItf __declspec(dllimport)
#endif
#else
#define ExportedByKelXMLParserItf __attribute__((visibility("default")))
#endif
