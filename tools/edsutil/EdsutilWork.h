// The work behind commands that another command reuses: the demo writes the
// same SQL script as `edsutil sql --script` and the same metadata dictionary
// document as `edsutil metadata`.
//
// Failures are edsutil::Failure with one line naming what went wrong.
// Threading: the tool is single-threaded.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace edsutil {

// The SQL statements that create the database: as the library generates
// them, or (`script`) as a plain script for psql. SqlCommand.cpp.
std::string SqlText(bool script);

// One metadata dictionary document to generate. MetadataCommand.cpp.
struct MetadataRequest {
  std::string uuidFile;                                    // empty: edsutil makes a uuid file with enough uuids
  std::string uuidFileLabel;                               // how messages name the uuid file, when not by its path
  std::vector<std::pair<std::string, std::string>> fixes;  // item name, uuid (in the document's form)
  std::string out;                                         // the file to write
};

struct MetadataOutcome {
  std::string printed;                   // what the library printed while generating
  int uuidsInFile = 0;                   // "Number of existing uuid"
  int classes = 0;                       // classes written (the package not counted)
  int uuidsUsed = 0;                     // "IndUiid": uuids given out, fixed ones included
  std::vector<std::string> unusedFixes;  // fixed names that named no item
};

// Generates the document through KelEdsMetadataTool::GenerateNorvaleMetaData,
// keeping what the library prints off standard output.
MetadataOutcome GenerateMetadata(const MetadataRequest& request);

// The uuid in the form the document uses (8-4-4-16, as the library makes of
// a uuid file's 8-4-4-4-12 uuids), or "" when `text` is neither form.
std::string DocumentUuid(const std::string& text);

// A count of uuids that serves every item of the schema's document.
int UuidsForEveryItem();

}  // namespace edsutil
