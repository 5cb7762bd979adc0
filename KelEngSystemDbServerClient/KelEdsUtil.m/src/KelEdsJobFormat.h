// KelEdsJobFormat: the job exchange document's elements and attributes, in
// one table that the job readers, the job writers and the job index all use.
//
// Each row names a tag and its attributes in reading and writing order, says
// which of them the writer leaves out when the value is empty (or never
// writes), how the reader treats a failed attribute read, and whether the
// writer appends an element whose attributes could not all be set. Changing
// a name here changes it for every reader and writer at once.
//
// Internal to the module. Constant data: nothing runs at load, any thread.
#pragma once

#include <cstddef>

// The kinds of element, in table order.
enum class KelEdsJobData : int { Job, Input, ContextInput, Output, DeleteError, Report, Error };

// How a reader treats an attribute read that fails.
enum class KelEdsReadRule {
  StopOnFailure,  // the walk stops; every read's code is the result
  InputRule,      // only the name read counts and stops the walk; a failed later read skips the rest of the element
  FirstElement,   // only the first element is read, each read directly into its output (the error reader)
};

// Whether the writer sets an attribute.
enum class KelEdsWrite {
  Always,       // whatever the value, empty included
  UnlessEmpty,  // left out when the value is empty
  Never,        // read only
};

struct KelEdsJobAttribute {
  const char* name;
  KelEdsWrite write;
};

struct KelEdsJobElement {
  KelEdsJobData kind;
  const char* tag;
  std::size_t count;  // attributes used in `attributes`
  KelEdsJobAttribute attributes[4];
  KelEdsReadRule read;
  // True: the element is appended even after a failed attribute set, and the
  // append's code is the result. False (report rows): a failed set is the
  // result and the element is not appended.
  bool appendAfterFailedSet;
};

inline constexpr std::size_t kKelEdsJobKinds = 7;

inline constexpr KelEdsJobElement kKelEdsJobFormat[kKelEdsJobKinds] = {
    {KelEdsJobData::Job,
     "EDB_Job",
     3,
     {{"EDB_Id", KelEdsWrite::Always}, {"EDB_Type", KelEdsWrite::Always}, {"EDB_JobInput", KelEdsWrite::Always}},
     KelEdsReadRule::StopOnFailure,
     true},
    {KelEdsJobData::Input,
     "EDB_JobInData",
     3,
     {{"EDB_iAttrName", KelEdsWrite::Always},
      {"EDB_iAttrValue", KelEdsWrite::UnlessEmpty},
      {"EDB_iAttrType", KelEdsWrite::UnlessEmpty}},
     KelEdsReadRule::InputRule,
     true},
    {KelEdsJobData::ContextInput,
     "EDB_JobContextInData",
     3,
     {{"EDB_Ctxt_iAttrName", KelEdsWrite::Always},
      {"EDB_Ctxt_iAttrValue", KelEdsWrite::UnlessEmpty},
      {"EDB_Ctxt_iAttrType", KelEdsWrite::UnlessEmpty}},
     KelEdsReadRule::InputRule,
     true},
    {KelEdsJobData::Output,
     "EDB_JobOutData",
     3,
     {{"EDB_oAttrName", KelEdsWrite::Always},
      {"EDB_oAttrValue", KelEdsWrite::Always},
      {"EDB_oAttrType", KelEdsWrite::Always}},
     KelEdsReadRule::StopOnFailure,
     true},
    {KelEdsJobData::DeleteError,
     "EDB_JobDeleteErrOutData",
     3,
     {{"EDB_oRefClassName", KelEdsWrite::Always},
      {"EDB_oRefCstName", KelEdsWrite::Always},
      {"EDB_oRefObject", KelEdsWrite::Always}},
     KelEdsReadRule::StopOnFailure,
     true},
    {KelEdsJobData::Report,
     "EDB_JobReportOutData",
     1,
     {{"EDB_JobReportOneRow", KelEdsWrite::Always}},
     KelEdsReadRule::StopOnFailure,
     false},
    // No writer sets "EDB_JobErrorType"; the reader gives it empty then.
    {KelEdsJobData::Error,
     "EDB_JobError",
     4,
     {{"EDB_JobErrorKey", KelEdsWrite::Always},
      {"EDB_JobErrorFile", KelEdsWrite::Always},
      {"EDB_JobErrorType", KelEdsWrite::Never},
      {"EDB_JobErrorParm", KelEdsWrite::Always}},
     KelEdsReadRule::FirstElement,
     true},
};

constexpr const KelEdsJobElement& KelEdsJobFormat(KelEdsJobData kind) {
  return kKelEdsJobFormat[static_cast<std::size_t>(kind)];
}

// The job element and the attribute by which every job operation finds it.
inline constexpr const char* kKelEdsJobTag = KelEdsJobFormat(KelEdsJobData::Job).tag;
inline constexpr const char* kKelEdsJobIdAttribute = KelEdsJobFormat(KelEdsJobData::Job).attributes[0].name;

// The rows stand in enum order.
static_assert(KelEdsJobFormat(KelEdsJobData::Job).kind == KelEdsJobData::Job);
static_assert(KelEdsJobFormat(KelEdsJobData::Input).kind == KelEdsJobData::Input);
static_assert(KelEdsJobFormat(KelEdsJobData::ContextInput).kind == KelEdsJobData::ContextInput);
static_assert(KelEdsJobFormat(KelEdsJobData::Output).kind == KelEdsJobData::Output);
static_assert(KelEdsJobFormat(KelEdsJobData::DeleteError).kind == KelEdsJobData::DeleteError);
static_assert(KelEdsJobFormat(KelEdsJobData::Report).kind == KelEdsJobData::Report);
static_assert(KelEdsJobFormat(KelEdsJobData::Error).kind == KelEdsJobData::Error);
