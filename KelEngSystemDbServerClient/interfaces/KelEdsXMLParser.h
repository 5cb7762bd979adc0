// KelEdsXMLParser: the job exchange document through which the cable-routing
// client and the database server pass jobs.
//
// The document is created, loaded and written as any KelEdsDomParser
// document (Init, LoadFile, LoadStream, GenerateFile, GenerateStream). Under
// its root element it holds one "EDB_Job" element per job (attributes
// "EDB_Id", "EDB_Type", "EDB_JobInput"), and under each job its data
// elements, every value in an attribute:
//   "EDB_JobInData"           "EDB_iAttrName", "EDB_iAttrValue", "EDB_iAttrType"
//   "EDB_JobContextInData"    "EDB_Ctxt_iAttrName", "EDB_Ctxt_iAttrValue", "EDB_Ctxt_iAttrType"
//   "EDB_JobOutData"          "EDB_oAttrName", "EDB_oAttrValue", "EDB_oAttrType"
//   "EDB_JobDeleteErrOutData" "EDB_oRefClassName", "EDB_oRefCstName", "EDB_oRefObject"
//   "EDB_JobReportOutData"    "EDB_JobReportOneRow"
//   "EDB_JobError"            "EDB_JobErrorKey", "EDB_JobErrorFile", "EDB_JobErrorParm"
//                             (parameters joined with "@"; "EDB_JobErrorType" is read too)
// Input and context-input elements leave out an empty value or type; a
// missing attribute reads as the empty string. A job is found by its
// "EDB_Id" (whole text, case-sensitive); with several jobs of one id, the
// first in document order is the job. Readers accept jobs anywhere below the
// root and data elements anywhere below their job; writers only ever append
// (job under the root, data as the job's last child) and never change or
// remove anything.
//
// Results: codes from KelError::GetReturn for this class's source; a code is
// a success when it is not negative. An unknown job id is not an error: the
// operation does nothing and succeeds (the "not-found success"), except
// GetJobError, which fails. Readers append to the lists they are given
// (parallel lists, one entry per element) and never clear them. Platform
// errors raised inside an operation are caught and turned into its failure
// code; anything else raised passes through. Messages about a missing
// document or root go through KelSysLogAbend.
//
// Cost: an operation on one job costs the same whatever the number of jobs.
// Jobs are found through an index by id, which the object keeps up to date
// through its own writers; any other change to the document (a host's, through
// GetDocument) is noticed, and the next job operation rebuilds the index with
// one walk of the document. The public GetDOMElemByTagName lookups search
// the document as they always do.
//
// Layout: the KelEdsDomParser base (its three handles), then the two reserved
// string lists, then one pointer to the job index. That pointer came after
// the lists and made the object one pointer larger than the two lists alone:
// a host that embeds or allocates the object must be compiled against this
// header. Whatever the parser keeps about its document from now on lives
// behind that pointer, so the layout stays as it is.
//
// Ownership: the document lives in the KelEdsDomParser base; the job index
// holds references on the document and its job elements, and is dropped when
// the document is replaced. Raw interface pointers handed out by the lookups
// carry one reference that the caller releases; on a failure they are null. A
// copy's source is only read.
//
// Threading: no locks. One object is used by one thread at a time, its const
// readers included (they bring the job index up to date); the source of a
// copy must not change during the copy, nor be used by another thread.
#pragma once

#include <initializer_list>
#include <memory>

#include "ExportedByKelEdsUtil.h"
#include "KelEdsDomParser.h"
#include "KelIDOMElement.h"
#include "KelIDOMNodeList.h"
#include "KelListValKelUnicodeString.h"
#include "KelUnicodeString.h"

class KelEdsJobIndex;
enum class KelEdsJobData : int;

class ExportedByKelEdsUtil KelEdsXMLParser : public KelEdsDomParser {
 public:
  KelEdsXMLParser();
  ~KelEdsXMLParser() override;

  // --- Element lookups -------------------------------------------------------

  // Every element of the document with the tag, in document order (an empty
  // list when none has it).
  long GetDOMElemByTagName(const KelUnicodeString& tag, KelIDOMNodeList** list) const;
  // The first element with the tag whose attribute equals `attrValue`; null
  // with a success code when there is none.
  long GetDOMElemByTagName(const KelUnicodeString& tag, const KelUnicodeString& attrName,
                           const KelUnicodeString& attrValue, KelIDOMElement** element) const;
  // The elements with the tag below the job; null with a success code for an
  // unknown job.
  long GetNodeListUnderJobId(const KelUnicodeString& jobId, const KelUnicodeString& tag, KelIDOMNodeList** list) const;
  // The job's "EDB_JobInData" elements, or those of `tag` when it is not empty.
  long GetJobInputNodeList(const KelUnicodeString& jobId, KelIDOMNodeList** list,
                           const KelUnicodeString& tag = KelUnicodeString("")) const;
  // The job's "EDB_JobOutData" elements.
  long GetJobOutputNodeList(const KelUnicodeString& jobId, KelIDOMNodeList** list) const;

  // --- Readers -----------------------------------------------------------------

  // Appends the id, type and input of every job, in document order.
  long GetJobDefinition(KelListValKelUnicodeString& ids, KelListValKelUnicodeString& types,
                        KelListValKelUnicodeString& inputs) const;
  // The definition of the document's only job; fails (outputs untouched)
  // unless the document holds exactly one.
  long GetSingleJobDefinition(KelUnicodeString& id, KelUnicodeString& type, KelUnicodeString& input) const;
  long GetJobInput(const KelUnicodeString& jobId, KelListValKelUnicodeString& names, KelListValKelUnicodeString& values,
                   KelListValKelUnicodeString& types) const;
  long GetJobContextInput(const KelUnicodeString& jobId, KelListValKelUnicodeString& names,
                          KelListValKelUnicodeString& values, KelListValKelUnicodeString& types) const;
  long GetJobOutput(const KelUnicodeString& jobId, KelListValKelUnicodeString& names,
                    KelListValKelUnicodeString& values, KelListValKelUnicodeString& types) const;
  long GetJobDeleteErrOutput(const KelUnicodeString& jobId, KelListValKelUnicodeString& classNames,
                             KelListValKelUnicodeString& constraintNames, KelListValKelUnicodeString& objects) const;
  long GetJobReportOutput(const KelUnicodeString& jobId, KelListValKelUnicodeString& rows) const;
  // The job's first error; parameters come back joined with "@". Fails for an
  // unknown job or a job without error.
  long GetJobError(const KelUnicodeString& jobId, KelUnicodeString& key, KelUnicodeString& file, KelUnicodeString& type,
                   KelUnicodeString& parameters) const;
  // Prints the document to standard output when the environment variable
  // "ECDBClientTraces" is set (to any value); otherwise does nothing.
  void DumpXML() const;

  // --- Writers -----------------------------------------------------------------

  // Appends a job under the root (also when the id is already there).
  long AppendJobDefinition(const KelUnicodeString& jobId, const KelUnicodeString& jobType,
                           const KelUnicodeString& jobInput);
  // An empty value or type is left out of the element.
  long InsertJobInput(const KelUnicodeString& jobId, const KelUnicodeString& name, const KelUnicodeString& value,
                      const KelUnicodeString& type);
  long InsertJobContextInput(const KelUnicodeString& jobId, const KelUnicodeString& name, const KelUnicodeString& value,
                             const KelUnicodeString& type);
  // All three attributes are written, empty ones included.
  long InsertJobOutput(const KelUnicodeString& jobId, const KelUnicodeString& name, const KelUnicodeString& value,
                       const KelUnicodeString& type);
  long InsertJobDeleteErrOutput(const KelUnicodeString& jobId, const KelUnicodeString& className,
                                const KelUnicodeString& constraintName, const KelUnicodeString& object);
  // One element per row, in list order; fails at once for an empty list.
  long InsertJobReportOutput(const KelUnicodeString& jobId, const KelListValKelUnicodeString& rows);
  // `parameters` may be null; they are stored joined with "@" (not escaped).
  long InsertJobErrorMsg(const KelUnicodeString& jobId, const KelUnicodeString& key, const KelUnicodeString& file,
                         const KelListValKelUnicodeString* parameters);

  // --- Copies from a single-job document -------------------------------------

  // Copies the inputs of the source's only job into this document's job of
  // the same id (which must exist here already).
  long InsertSingleJobInputFromParser(const KelEdsXMLParser* source);
  // Copies the report rows, then the outputs, of the source's only job.
  long InsertSingleJobOutputFromParser(const KelEdsXMLParser* source);

 private:
  friend class KelEdsXMLParserTestPeer;

  // Lets go of the job index of a document about to be replaced.
  void ForgetDocument() override;

  // The one place where a job is looked up by its id: every job operation
  // goes through it. It finds what GetDOMElemByTagName("EDB_Job", "EDB_Id",
  // id) finds, through the job index.
  long FindJob(const KelUnicodeString& jobId, KelIDOMElement** job) const;
  // The job's elements with `tag`, in document order; a null list for an
  // unknown job. Runs in its caller's error guard (it has none of its own)
  // and leaves the code of its last step in `result`.
  void JobDataList(const KelUnicodeString& jobId, const KelUnicodeString& tag, KelIDOMNodeList_var& list,
                   long& result) const;
  // The list readers' one body: the elements of one kind of the job format
  // (the document's jobs, or one job's data), read into `lists` in the
  // format's attribute order inside one error guard.
  long ReadJobData(const KelUnicodeString& jobId, KelEdsJobData kind,
                   std::initializer_list<KelListValKelUnicodeString*> lists) const;
  // The writers' frame: finds the job and runs `write` on it in the error
  // guard (defined and used in this class's source only).
  template <class Write>
  long OnJob(const KelUnicodeString& jobId, Write&& write);

  // Reserved lists: no operation uses them.
  KelListValKelUnicodeString _ReservedNames;
  KelListValKelUnicodeString _ReservedValues;
  // The jobs by id, trusted while the document's change counter stands still.
  // The class's only other state; keep new state behind this one pointer.
  std::unique_ptr<KelEdsJobIndex> _jobIndex;
};
