#include "KelEdsXMLParser.h"

#include <cstdio>
#include <initializer_list>
#include <vector>

#include "KelEdsJobIndex.h"
#include "KelEnvironment.h"
#include "KelError.h"
#include "KelGuard.h"

namespace {

constexpr const char kSourceFile[] = "KelEngSystemDbServerClient/KelEdsUtil.m/src/KelEdsXMLParser";

long Failure(int line) { return KelError::GetReturn(0, nullptr, nullptr, kSourceFile, line); }
long Success(int line) { return KelError::GetReturn(1, nullptr, nullptr, kSourceFile, line); }

// Gives up the reference of a raw out pointer after a failure.
template <class T>
void ReleaseOnFailure(long result, T** out) {
  if (result < 0 && *out != nullptr) {
    (*out)->Release();
    *out = nullptr;
  }
}

// One attribute that a reader reads into a list.
struct Column {
  const char* attribute;
  KelListValKelUnicodeString* values;
};

// How a reader treats an attribute read that fails.
enum class ReadRule {
  StopOnFailure,  // the walk stops; every read's code is the result
  InputRule,      // only the first read stops the walk and counts; a failed later read skips the rest of the element
};

// The element walk shared by the list readers: every element of the list
// gives one entry to each column (a missing attribute reads as empty).
// Returns the code of the last item or recorded read.
long WalkElements(const KelIDOMNodeList_var& list, std::initializer_list<Column> columns, ReadRule rule, long result) {
  unsigned int length = 0;
  if (list->getLength(length) < 0) length = 0;
  std::vector<KelUnicodeString> names;
  names.reserve(columns.size());
  for (const Column& column : columns) names.emplace_back(column.attribute);

  for (unsigned int index = 0; index < length; ++index) {
    KelIDOMNode_var node;
    result = list->item(index, node);
    if (result < 0 || node == NULL_var) continue;
    const KelIDOMElement_var element = KelQuery<KelIDOMElement>(node, IID_KelIDOMElement);
    if (element == NULL_var) continue;
    std::size_t k = 0;
    for (const Column& column : columns) {
      KelUnicodeString value;
      const long read = element->getAttribute(names[k], value);
      const bool counts = rule == ReadRule::StopOnFailure || k == 0;
      if (counts) result = read;
      if (read < 0) {
        if (counts) return result;
        break;
      }
      column.values->Append(value);
      ++k;
    }
  }
  return result;
}

// One attribute that a writer sets.
struct Setting {
  const KelUnicodeString& attribute;
  const KelUnicodeString& value;
};

// The names the writers use at every call, made once rather than per element
// (and never destroyed, so that they outlive any static parser).
struct WriterNames {
  const KelUnicodeString job{"EDB_Job"}, id{"EDB_Id"}, type{"EDB_Type"}, input{"EDB_JobInput"};
  const KelUnicodeString inData{"EDB_JobInData"}, inName{"EDB_iAttrName"}, inValue{"EDB_iAttrValue"},
      inType{"EDB_iAttrType"};
  const KelUnicodeString contextData{"EDB_JobContextInData"}, contextName{"EDB_Ctxt_iAttrName"},
      contextValue{"EDB_Ctxt_iAttrValue"}, contextType{"EDB_Ctxt_iAttrType"};
  const KelUnicodeString outData{"EDB_JobOutData"}, outName{"EDB_oAttrName"}, outValue{"EDB_oAttrValue"},
      outType{"EDB_oAttrType"};
  const KelUnicodeString deleteData{"EDB_JobDeleteErrOutData"}, deleteClass{"EDB_oRefClassName"},
      deleteConstraint{"EDB_oRefCstName"}, deleteObject{"EDB_oRefObject"};
};

const WriterNames& Names() {
  static const WriterNames* names = new WriterNames;
  return *names;
}

// Sets the attributes in order, each only while the previous sets succeed.
// With `skipEmpty`, an empty value after the first is left out.
long SetAttributes(const KelIDOMElement_var& element, std::initializer_list<Setting> settings, bool skipEmpty) {
  long result = S_OK;
  bool first = true;
  for (const Setting& setting : settings) {
    if (!first) {
      if (result < 0) break;
      if (skipEmpty && setting.value.IsEmpty()) continue;
    }
    result = element->setAttribute(setting.attribute, setting.value);
    first = false;
  }
  return result;
}

// Creates a `tag` element with its attributes and appends it to `parent`.
// The append happens even after a failed attribute set; its code is the
// result. A failed creation is the result, and nothing is appended.
// `appended` receives the element once it is in place.
long AppendElement(const KelIDOMDocument_var& document, const KelIDOMNode_var& parent, const KelUnicodeString& tag,
                   std::initializer_list<Setting> settings, bool skipEmpty, KelIDOMElement_var* appended = nullptr) {
  KelIDOMElement_var element;
  long result = document->createElement(tag, element);
  if (result < 0 || element == NULL_var) return result;
  SetAttributes(element, settings, skipEmpty);
  KelIDOMNode_var added;
  result = parent->appendChild(element, added);
  if (result >= 0 && appended != nullptr) *appended = element;
  return result;
}

}  // namespace

KelEdsXMLParser::KelEdsXMLParser() : _jobIndex(std::make_unique<KelEdsJobIndex>()) {}

KelEdsXMLParser::~KelEdsXMLParser() = default;

void KelEdsXMLParser::ForgetDocument() { _jobIndex->Clear(); }

// --- Element lookups ------------------------------------------------------------

// Answers from the job index, which finds what the document-wide search
// (GetDOMElemByTagName on "EDB_Job" and "EDB_Id") would find, in constant time
// while the document does not change behind the parser's back, and after one
// walk when it does. Should the index fail to build, the search itself runs.
long KelEdsXMLParser::FindJob(const KelUnicodeString& jobId, KelIDOMElement** job) const {
  long result = Failure(__LINE__);
  if (job == nullptr) return result;
  *job = nullptr;
  const KelIDOMDocument_var document = GetDocument();
  if (document == NULL_var) return result;
  bool indexed = false;
  if (!KelGuard([&] { indexed = _jobIndex->IsCurrent(document) || _jobIndex->Rebuild(document); })) {
    _jobIndex->Clear();
    indexed = false;
  }
  if (!indexed) return GetDOMElemByTagName(KelUnicodeString("EDB_Job"), KelUnicodeString("EDB_Id"), jobId, job);
  if (!KelGuard([&] {
        const KelIDOMElement_var found = _jobIndex->Find(jobId);
        // Not found: the search's success, with no element.
        result = found == NULL_var ? S_OK : found->QueryInterface(IID_KelIDOMElement, reinterpret_cast<void**>(job));
      })) {
    result = Failure(__LINE__);
  }
  ReleaseOnFailure(result, job);
  return result;
}

long KelEdsXMLParser::GetDOMElemByTagName(const KelUnicodeString& tag, KelIDOMNodeList** list) const {
  long result = Failure(__LINE__);
  if (list == nullptr) return result;
  *list = nullptr;
  const KelIDOMDocument_var document = GetDocument();
  if (document == NULL_var) return result;
  if (!KelGuard([&] {
        KelIDOMNodeList_var found;
        result = document->getElementsByTagName(tag, found);
        if (result >= 0 && found != NULL_var) {
          result = found->QueryInterface(IID_KelIDOMNodeList, reinterpret_cast<void**>(list));
        }
      })) {
    result = Failure(__LINE__);
  }
  ReleaseOnFailure(result, list);
  return result;
}

long KelEdsXMLParser::GetDOMElemByTagName(const KelUnicodeString& tag, const KelUnicodeString& attrName,
                                          const KelUnicodeString& attrValue, KelIDOMElement** element) const {
  long result = Failure(__LINE__);
  if (element == nullptr) return result;
  *element = nullptr;
  if (GetDocument() == NULL_var) return result;
  if (!KelGuard([&] {
        KelIDOMNodeList_var list;
        result = GetDOMElemByTagName(tag, list.Out());
        if (result < 0 || list == NULL_var) return;
        unsigned int length = 0;
        if (list->getLength(length) < 0) length = 0;
        KelUnicodeString value;
        for (unsigned int index = 0; index < length; ++index) {
          value = KelUnicodeString("");
          KelIDOMNode_var node;
          if (list->item(index, node) < 0 || node == NULL_var) continue;
          const KelIDOMElement_var candidate = KelQuery<KelIDOMElement>(node, IID_KelIDOMElement);
          if (candidate == NULL_var) continue;
          result = candidate->getAttribute(attrName, value);
          if (value == attrValue) {
            result = candidate->QueryInterface(IID_KelIDOMElement, reinterpret_cast<void**>(element));
            if (result >= 0) break;
          }
        }
      })) {
    result = Failure(__LINE__);
  }
  ReleaseOnFailure(result, element);
  return result;
}

long KelEdsXMLParser::GetNodeListUnderJobId(const KelUnicodeString& jobId, const KelUnicodeString& tag,
                                            KelIDOMNodeList** list) const {
  long result = Failure(__LINE__);
  if (list == nullptr) return result;
  *list = nullptr;
  if (GetDocument() == NULL_var) return result;
  KelIDOMElement_var job;
  // After a platform error the code recorded before it stands.
  KelGuard([&] {
    result = FindJob(jobId, job.Out());
    if (result < 0 || job == NULL_var) return;
    KelIDOMNodeList_var found;
    result = job->getElementsByTagName(tag, found);
    if (result >= 0 && found != NULL_var) {
      result = found->QueryInterface(IID_KelIDOMNodeList, reinterpret_cast<void**>(list));
    }
  });
  job = nullptr;
  ReleaseOnFailure(result, list);
  return result;
}

long KelEdsXMLParser::GetJobInputNodeList(const KelUnicodeString& jobId, KelIDOMNodeList** list,
                                          const KelUnicodeString& tag) const {
  return GetNodeListUnderJobId(jobId, tag.IsEmpty() ? KelUnicodeString("EDB_JobInData") : tag, list);
}

long KelEdsXMLParser::GetJobOutputNodeList(const KelUnicodeString& jobId, KelIDOMNodeList** list) const {
  return GetNodeListUnderJobId(jobId, KelUnicodeString("EDB_JobOutData"), list);
}

// --- Readers ----------------------------------------------------------------------

long KelEdsXMLParser::GetJobDefinition(KelListValKelUnicodeString& ids, KelListValKelUnicodeString& types,
                                       KelListValKelUnicodeString& inputs) const {
  long result = Failure(__LINE__);
  if (GetDocument() == NULL_var) return result;
  if (!KelGuard([&] {
        KelIDOMNodeList_var list;
        result = GetDOMElemByTagName(KelUnicodeString("EDB_Job"), list.Out());
        if (result < 0 || list == NULL_var) return;
        result = WalkElements(list, {{"EDB_Id", &ids}, {"EDB_Type", &types}, {"EDB_JobInput", &inputs}},
                              ReadRule::StopOnFailure, result);
      })) {
    result = Failure(__LINE__);
  }
  return result;
}

long KelEdsXMLParser::GetSingleJobDefinition(KelUnicodeString& id, KelUnicodeString& type,
                                             KelUnicodeString& input) const {
  KelListValKelUnicodeString ids, types, inputs;
  if (GetJobDefinition(ids, types, inputs) < 0) return Failure(__LINE__);
  if (ids.Size() != 1 || types.Size() != 1 || inputs.Size() != 1) return Failure(__LINE__);
  id = ids[1];
  type = types[1];
  input = inputs[1];
  return Success(__LINE__);
}

long KelEdsXMLParser::GetJobInput(const KelUnicodeString& jobId, KelListValKelUnicodeString& names,
                                  KelListValKelUnicodeString& values, KelListValKelUnicodeString& types) const {
  long result = Failure(__LINE__);
  if (!KelGuard([&] {
        KelIDOMNodeList_var list;
        result = GetJobInputNodeList(jobId, list.Out(), KelUnicodeString(""));
        if (result < 0 || list == NULL_var) return;
        result = WalkElements(list, {{"EDB_iAttrName", &names}, {"EDB_iAttrValue", &values}, {"EDB_iAttrType", &types}},
                              ReadRule::InputRule, result);
      })) {
    result = Failure(__LINE__);
  }
  return result;
}

long KelEdsXMLParser::GetJobContextInput(const KelUnicodeString& jobId, KelListValKelUnicodeString& names,
                                         KelListValKelUnicodeString& values, KelListValKelUnicodeString& types) const {
  long result = Failure(__LINE__);
  if (!KelGuard([&] {
        KelIDOMNodeList_var list;
        result = GetJobInputNodeList(jobId, list.Out(), KelUnicodeString("EDB_JobContextInData"));
        if (result < 0 || list == NULL_var) return;
        result = WalkElements(
            list, {{"EDB_Ctxt_iAttrName", &names}, {"EDB_Ctxt_iAttrValue", &values}, {"EDB_Ctxt_iAttrType", &types}},
            ReadRule::InputRule, result);
      })) {
    result = Failure(__LINE__);
  }
  return result;
}

long KelEdsXMLParser::GetJobOutput(const KelUnicodeString& jobId, KelListValKelUnicodeString& names,
                                   KelListValKelUnicodeString& values, KelListValKelUnicodeString& types) const {
  long result = Failure(__LINE__);
  if (!KelGuard([&] {
        KelIDOMNodeList_var list;
        result = GetJobOutputNodeList(jobId, list.Out());
        if (result < 0 || list == NULL_var) return;
        result = WalkElements(list, {{"EDB_oAttrName", &names}, {"EDB_oAttrValue", &values}, {"EDB_oAttrType", &types}},
                              ReadRule::StopOnFailure, result);
      })) {
    result = Failure(__LINE__);
  }
  return result;
}

long KelEdsXMLParser::GetJobDeleteErrOutput(const KelUnicodeString& jobId, KelListValKelUnicodeString& classNames,
                                            KelListValKelUnicodeString& constraintNames,
                                            KelListValKelUnicodeString& objects) const {
  long result = Failure(__LINE__);
  if (!KelGuard([&] {
        KelIDOMNodeList_var list;
        result = GetNodeListUnderJobId(jobId, KelUnicodeString("EDB_JobDeleteErrOutData"), list.Out());
        if (result < 0 || list == NULL_var) return;
        result = WalkElements(
            list,
            {{"EDB_oRefClassName", &classNames}, {"EDB_oRefCstName", &constraintNames}, {"EDB_oRefObject", &objects}},
            ReadRule::StopOnFailure, result);
      })) {
    result = Failure(__LINE__);
  }
  return result;
}

long KelEdsXMLParser::GetJobReportOutput(const KelUnicodeString& jobId, KelListValKelUnicodeString& rows) const {
  long result = Failure(__LINE__);
  if (!KelGuard([&] {
        KelIDOMNodeList_var list;
        result = GetNodeListUnderJobId(jobId, KelUnicodeString("EDB_JobReportOutData"), list.Out());
        if (result < 0 || list == NULL_var) return;
        result = WalkElements(list, {{"EDB_JobReportOneRow", &rows}}, ReadRule::StopOnFailure, result);
      })) {
    result = Failure(__LINE__);
  }
  return result;
}

long KelEdsXMLParser::GetJobError(const KelUnicodeString& jobId, KelUnicodeString& key, KelUnicodeString& file,
                                  KelUnicodeString& type, KelUnicodeString& parameters) const {
  long result = Failure(__LINE__);
  if (GetDocument() == NULL_var) return result;
  if (!KelGuard([&] {
        KelIDOMElement_var job;
        // Unlike the list readers, an unknown job is a failure here.
        if (FindJob(jobId, job.Out()) < 0 || job == NULL_var) return;
        KelIDOMNodeList_var errors;
        if (job->getElementsByTagName(KelUnicodeString("EDB_JobError"), errors) < 0 || errors == NULL_var) return;
        unsigned int length = 0;
        if (errors->getLength(length) < 0 || length < 1) return;
        KelIDOMNode_var node;
        if (errors->item(0, node) < 0 || node == NULL_var) return;
        const KelIDOMElement_var error = KelQuery<KelIDOMElement>(node, IID_KelIDOMElement);
        if (error == NULL_var) return;
        if (error->getAttribute(KelUnicodeString("EDB_JobErrorKey"), key) < 0) return;
        if (error->getAttribute(KelUnicodeString("EDB_JobErrorFile"), file) < 0) return;
        if (error->getAttribute(KelUnicodeString("EDB_JobErrorType"), type) < 0) return;
        error->getAttribute(KelUnicodeString("EDB_JobErrorParm"), parameters);
        result = Success(__LINE__);
      })) {
    result = Failure(__LINE__);
  }
  return result;
}

void KelEdsXMLParser::DumpXML() const {
  const KelIDOMDocument_var document = GetDocument();
  const KelIXMLDOMDocumentBuilder_var builder = GetDOMDocumentBuilder();
  if (document == NULL_var || builder == NULL_var) return;
  KelGuard([&] {
    if (KelGetEnvValue("ECDBClientTraces", nullptr) != 0) return;
    // Empty option lists: the builder's own defaults, not the write options.
    const KelListValKelUnicodeString none;
    KelUnicodeString text;
    builder->writeToString(document, text, none, none);
    std::printf("------------------------------------------------------------ \n");
    std::printf("----------- XML Dump --------------------------------------- \n");
    std::printf("%s \n", text.ConvertToChar());
    std::printf("----------- XML Dump --------------------------------------- \n");
    std::fflush(stdout);
  });
}

// --- Writers ----------------------------------------------------------------------

// The writers' common frame: the job of `jobId`, found inside the error
// guard, is handed to `write` with the document. An unknown job gives the
// lookup's (non-negative) code and nothing is written.
template <class Write>
long KelEdsXMLParser::OnJob(const KelUnicodeString& jobId, Write&& write) {
  long result = Failure(__LINE__);
  const KelIDOMDocument_var document = GetDocument();
  if (document == NULL_var) return result;
  if (!KelGuard([&] {
        KelIDOMElement_var job;
        result = FindJob(jobId, job.Out());
        if (result < 0 || job == NULL_var) return;
        // Data below a job moves no job and changes no id: the index stays
        // true through the write.
        const bool tracked = _jobIndex->IsCurrent(document);
        result = write(document, job);
        if (tracked) _jobIndex->Confirm(document);
      })) {
    _jobIndex->Clear();
    result = Failure(__LINE__);
  }
  return result;
}

long KelEdsXMLParser::AppendJobDefinition(const KelUnicodeString& jobId, const KelUnicodeString& jobType,
                                          const KelUnicodeString& jobInput) {
  long result = Failure(__LINE__);
  const KelIDOMDocument_var document = GetDocument();
  const KelIDOMNode_var root = GetRoot();
  if (document == NULL_var || root == NULL_var) return result;
  if (!KelGuard([&] {
        // A new or changed document gets its index now (one walk; for a
        // document made by Init, an empty one), so that the jobs appended
        // from here on keep it current and the lookups never walk.
        const bool tracked = _jobIndex->IsCurrent(document) || _jobIndex->Rebuild(document);
        KelIDOMElement_var job;
        const WriterNames& names = Names();
        result = AppendElement(document, root, names.job,
                               {{names.id, jobId}, {names.type, jobType}, {names.input, jobInput}}, false, &job);
        if (!tracked) return;
        if (job != NULL_var) {
          _jobIndex->AddAppended(document, job);
        } else {
          _jobIndex->Confirm(document);  // nothing reached the document
        }
      })) {
    _jobIndex->Clear();
    result = Failure(__LINE__);
  }
  return result;
}

long KelEdsXMLParser::InsertJobInput(const KelUnicodeString& jobId, const KelUnicodeString& name,
                                     const KelUnicodeString& value, const KelUnicodeString& type) {
  return OnJob(jobId, [&](const KelIDOMDocument_var& document, const KelIDOMElement_var& job) {
    const WriterNames& names = Names();
    return AppendElement(document, job, names.inData,
                         {{names.inName, name}, {names.inValue, value}, {names.inType, type}}, true);
  });
}

long KelEdsXMLParser::InsertJobContextInput(const KelUnicodeString& jobId, const KelUnicodeString& name,
                                            const KelUnicodeString& value, const KelUnicodeString& type) {
  return OnJob(jobId, [&](const KelIDOMDocument_var& document, const KelIDOMElement_var& job) {
    const WriterNames& names = Names();
    return AppendElement(document, job, names.contextData,
                         {{names.contextName, name}, {names.contextValue, value}, {names.contextType, type}}, true);
  });
}

long KelEdsXMLParser::InsertJobOutput(const KelUnicodeString& jobId, const KelUnicodeString& name,
                                      const KelUnicodeString& value, const KelUnicodeString& type) {
  return OnJob(jobId, [&](const KelIDOMDocument_var& document, const KelIDOMElement_var& job) {
    const WriterNames& names = Names();
    return AppendElement(document, job, names.outData,
                         {{names.outName, name}, {names.outValue, value}, {names.outType, type}}, false);
  });
}

long KelEdsXMLParser::InsertJobDeleteErrOutput(const KelUnicodeString& jobId, const KelUnicodeString& className,
                                               const KelUnicodeString& constraintName, const KelUnicodeString& object) {
  return OnJob(jobId, [&](const KelIDOMDocument_var& document, const KelIDOMElement_var& job) {
    const WriterNames& names = Names();
    return AppendElement(
        document, job, names.deleteData,
        {{names.deleteClass, className}, {names.deleteConstraint, constraintName}, {names.deleteObject, object}},
        false);
  });
}

long KelEdsXMLParser::InsertJobReportOutput(const KelUnicodeString& jobId, const KelListValKelUnicodeString& rows) {
  if (rows.Size() < 1) return Failure(__LINE__);
  return OnJob(jobId, [&](const KelIDOMDocument_var& document, const KelIDOMElement_var& job) {
    const KelUnicodeString tag("EDB_JobReportOutData");
    const KelUnicodeString attribute("EDB_JobReportOneRow");
    long result = S_OK;
    // The first failure stops; rows already appended stay.
    for (int position = 1; position <= rows.Size() && result >= 0; ++position) {
      KelIDOMElement_var element;
      result = document->createElement(tag, element);
      if (result < 0 || element == NULL_var) continue;
      result = element->setAttribute(attribute, rows[position]);
      if (result < 0) continue;
      KelIDOMNode_var appended;
      result = job->appendChild(element, appended);
    }
    return result;
  });
}

long KelEdsXMLParser::InsertJobErrorMsg(const KelUnicodeString& jobId, const KelUnicodeString& key,
                                        const KelUnicodeString& file, const KelListValKelUnicodeString* parameters) {
  return OnJob(jobId, [&](const KelIDOMDocument_var& document, const KelIDOMElement_var& job) {
    KelIDOMElement_var error;
    long result = document->createElement(KelUnicodeString("EDB_JobError"), error);
    if (result < 0 || error == NULL_var) return result;
    result = error->setAttribute(KelUnicodeString("EDB_JobErrorKey"), key);
    if (result >= 0) result = error->setAttribute(KelUnicodeString("EDB_JobErrorFile"), file);
    if (result >= 0) {
      KelUnicodeString joined("");
      const int count = parameters != nullptr ? parameters->Size() : 0;
      for (int position = 1; position <= count; ++position) {
        joined.Append((*parameters)[position]);
        if (position < count) joined.Append(KelUnicodeString("@"));
      }
      error->setAttribute(KelUnicodeString("EDB_JobErrorParm"), joined);
    }
    KelIDOMNode_var appended;
    return job->appendChild(error, appended);
  });
}

// --- Copies -------------------------------------------------------------------------

long KelEdsXMLParser::InsertSingleJobInputFromParser(const KelEdsXMLParser* source) {
  long result = Failure(__LINE__);
  if (source == nullptr) return result;
  KelUnicodeString id, type, input;
  if (source->GetSingleJobDefinition(id, type, input) < 0) return result;
  KelListValKelUnicodeString names, values, types;
  if (source->GetJobInput(id, names, values, types) < 0) return result;
  for (int position = 1; position <= values.Size(); ++position) {
    if (position > names.Size() || position > types.Size()) break;
    result = InsertJobInput(id, names[position], values[position], types[position]);
  }
  return result;
}

long KelEdsXMLParser::InsertSingleJobOutputFromParser(const KelEdsXMLParser* source) {
  long result = Failure(__LINE__);
  if (source == nullptr) return result;
  KelUnicodeString id, type, input;
  if (source->GetSingleJobDefinition(id, type, input) < 0) return result;
  KelListValKelUnicodeString rows;
  if (source->GetJobReportOutput(id, rows) >= 0 && rows.Size() >= 1) result = InsertJobReportOutput(id, rows);
  KelListValKelUnicodeString names, values, types;
  if (source->GetJobOutput(id, names, values, types) >= 0) {
    for (int position = 1; position <= values.Size(); ++position) {
      if (position > names.Size() || position > types.Size()) break;
      result = InsertJobOutput(id, names[position], values[position], types[position]);
    }
  }
  return result;
}
