#include "KelEdsXMLParser.h"

#include <cstdio>
#include <initializer_list>
#include <vector>

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
  const char* attribute;
  const KelUnicodeString& value;
};

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
    result = element->setAttribute(KelUnicodeString(setting.attribute), setting.value);
    first = false;
  }
  return result;
}

// Creates a `tag` element with its attributes and appends it to `parent`.
// The append happens even after a failed attribute set; its code is the
// result. A failed creation is the result, and nothing is appended.
long AppendElement(const KelIDOMDocument_var& document, const KelIDOMNode_var& parent, const char* tag,
                   std::initializer_list<Setting> settings, bool skipEmpty) {
  KelIDOMElement_var element;
  long result = document->createElement(KelUnicodeString(tag), element);
  if (result < 0 || element == NULL_var) return result;
  SetAttributes(element, settings, skipEmpty);
  KelIDOMNode_var appended;
  return parent->appendChild(element, appended);
}

}  // namespace

KelEdsXMLParser::KelEdsXMLParser() = default;

KelEdsXMLParser::~KelEdsXMLParser() = default;

// --- Element lookups ------------------------------------------------------------

long KelEdsXMLParser::FindJob(const KelUnicodeString& jobId, KelIDOMElement** job) const {
  return GetDOMElemByTagName(KelUnicodeString("EDB_Job"), KelUnicodeString("EDB_Id"), jobId, job);
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
        result = write(document, job);
      })) {
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
        result = AppendElement(document, root, "EDB_Job",
                               {{"EDB_Id", jobId}, {"EDB_Type", jobType}, {"EDB_JobInput", jobInput}}, false);
      })) {
    result = Failure(__LINE__);
  }
  return result;
}

long KelEdsXMLParser::InsertJobInput(const KelUnicodeString& jobId, const KelUnicodeString& name,
                                     const KelUnicodeString& value, const KelUnicodeString& type) {
  return OnJob(jobId, [&](const KelIDOMDocument_var& document, const KelIDOMElement_var& job) {
    return AppendElement(document, job, "EDB_JobInData",
                         {{"EDB_iAttrName", name}, {"EDB_iAttrValue", value}, {"EDB_iAttrType", type}}, true);
  });
}

long KelEdsXMLParser::InsertJobContextInput(const KelUnicodeString& jobId, const KelUnicodeString& name,
                                            const KelUnicodeString& value, const KelUnicodeString& type) {
  return OnJob(jobId, [&](const KelIDOMDocument_var& document, const KelIDOMElement_var& job) {
    return AppendElement(document, job, "EDB_JobContextInData",
                         {{"EDB_Ctxt_iAttrName", name}, {"EDB_Ctxt_iAttrValue", value}, {"EDB_Ctxt_iAttrType", type}},
                         true);
  });
}

long KelEdsXMLParser::InsertJobOutput(const KelUnicodeString& jobId, const KelUnicodeString& name,
                                      const KelUnicodeString& value, const KelUnicodeString& type) {
  return OnJob(jobId, [&](const KelIDOMDocument_var& document, const KelIDOMElement_var& job) {
    return AppendElement(document, job, "EDB_JobOutData",
                         {{"EDB_oAttrName", name}, {"EDB_oAttrValue", value}, {"EDB_oAttrType", type}}, false);
  });
}

long KelEdsXMLParser::InsertJobDeleteErrOutput(const KelUnicodeString& jobId, const KelUnicodeString& className,
                                               const KelUnicodeString& constraintName, const KelUnicodeString& object) {
  return OnJob(jobId, [&](const KelIDOMDocument_var& document, const KelIDOMElement_var& job) {
    return AppendElement(
        document, job, "EDB_JobDeleteErrOutData",
        {{"EDB_oRefClassName", className}, {"EDB_oRefCstName", constraintName}, {"EDB_oRefObject", object}}, false);
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
