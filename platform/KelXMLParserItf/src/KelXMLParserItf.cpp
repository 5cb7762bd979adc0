// Placeholder until the DOM and SAX stand-ins land.
#include "ExportedByKelXMLParserItf.h"
