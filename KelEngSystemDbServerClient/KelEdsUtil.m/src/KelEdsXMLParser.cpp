#include "KelEdsXMLParser.h"

#include <climits>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <initializer_list>

#include "KelEdsJobFormat.h"
#include "KelEdsJobIndex.h"
#include "KelEdsResultCodes.h"
#include "KelEnvironment.h"
#include "KelError.h"
#include "KelGuard.h"

namespace {

constexpr const char kSourceFile[] = "KelEngSystemDbServerClient/KelEdsUtil.m/src/KelEdsXMLParser";

constexpr auto Failure = KelEdsResultCodes<kSourceFile>::Failure;
constexpr auto Success = KelEdsResultCodes<kSourceFile>::Success;

// Gives up the reference of a raw out pointer after a failure.
template <class T>
void ReleaseOnFailure(long result, T** out) {
  if (result < 0 && *out != nullptr) {
    (*out)->Release();
    *out = nullptr;
  }
}

// The format table's names as platform strings, made once on first use
// rather than per element (and never destroyed, so that they outlive any
// static parser).
struct FormatNames {
  KelUnicodeString tags[kKelEdsJobKinds];
  KelUnicodeString attributes[kKelEdsJobKinds][4];
};

const FormatNames& Names() {
  static const FormatNames* const names = [] {
    auto* made = new FormatNames;
    for (std::size_t k = 0; k < kKelEdsJobKinds; ++k) {
      made->tags[k] = kKelEdsJobFormat[k].tag;
      for (std::size_t a = 0; a < kKelEdsJobFormat[k].count; ++a) {
        made->attributes[k][a] = kKelEdsJobFormat[k].attributes[a].name;
      }
    }
    return made;
  }();
  return *names;
}

const KelUnicodeString& TagOf(KelEdsJobData kind) { return Names().tags[static_cast<std::size_t>(kind)]; }
const KelUnicodeString& AttributeOf(KelEdsJobData kind, std::size_t attribute) {
  return Names().attributes[static_cast<std::size_t>(kind)][attribute];
}

// The node as an element, or empty when it is not one. A refused allocation
// raises (KelCheckMemory) rather than passing the node over: what a reader
// skips is what is not there, never what memory could not hold.
KelIDOMElement_var ElementOf(const KelIDOMNode_var& node) {
  long code = S_OK;
  KelIDOMElement_var element = KelQuery<KelIDOMElement>(node, IID_KelIDOMElement, &code);
  KelCheckMemory(code);
  return element;
}

// The element walk of the list readers: every element of the list gives one
// entry to each list, in the table's attribute order (a missing attribute
// reads as empty), under the table's read rule. Returns the code of the last
// item or recorded read.
long WalkElements(const KelIDOMNodeList_var& list, KelEdsJobData kind,
                  std::initializer_list<KelListValKelUnicodeString*> lists, long result) {
  const KelEdsReadRule rule = KelEdsJobFormat(kind).read;
  unsigned int length = 0;
  if (KelCheckMemory(list->getLength(length)) < 0) length = 0;
  // Room for every item at once in an empty list; a list that already holds
  // some keeps growing by doubling.
  for (KelListValKelUnicodeString* values : lists) {
    if (values->Size() == 0 && length <= static_cast<unsigned int>(INT_MAX)) values->Reserve(static_cast<int>(length));
  }
  for (unsigned int index = 0; index < length; ++index) {
    KelIDOMNode_var node;
    result = KelCheckMemory(list->item(index, node));
    if (result < 0 || node == NULL_var) continue;
    const KelIDOMElement_var element = ElementOf(node);
    if (element == NULL_var) continue;
    std::size_t a = 0;
    for (KelListValKelUnicodeString* values : lists) {
      KelUnicodeString value;
      const long read = KelCheckMemory(element->getAttribute(AttributeOf(kind, a), value));
      const bool counts = rule == KelEdsReadRule::StopOnFailure || a == 0;
      if (counts) result = read;
      if (read < 0) {
        if (counts) return result;
        break;
      }
      values->Append(std::move(value));
      ++a;
    }
  }
  return result;
}

// The one writer: creates a `kind` element, sets its attributes from
// `values` (one per attribute that the table writes, in table order), each
// only while the sets before it succeed and leaving out the empty values the
// table says to, and appends it to `parent`. Whether a failed set still
// appends is the table's; otherwise the append's code is the result. A failed
// creation is the result, and nothing is appended. `appended` receives the
// element once it is in place.
long WriteJobData(const KelIDOMDocument_var& document, const KelIDOMNode_var& parent, KelEdsJobData kind,
                  std::initializer_list<std::reference_wrapper<const KelUnicodeString>> values,
                  KelIDOMElement_var* appended = nullptr) {
  const KelEdsJobElement& format = KelEdsJobFormat(kind);
  KelIDOMElement_var element;
  long result = document->createElement(TagOf(kind), element);
  if (result < 0 || element == NULL_var) return result;
  long set = S_OK;
  auto value = values.begin();
  for (std::size_t a = 0; a < format.count && set >= 0 && value != values.end(); ++a) {
    const KelEdsWrite write = format.attributes[a].write;
    if (write == KelEdsWrite::Never) continue;
    const KelUnicodeString& text = *value++;
    if (write == KelEdsWrite::UnlessEmpty && text.IsEmpty()) continue;
    set = element->setAttribute(AttributeOf(kind, a), text);
  }
  if (set < 0 && !format.appendAfterFailedSet) return set;
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
  // Failure codes are made where they are returned: this runs for every job
  // operation.
  if (job == nullptr) return Failure(__LINE__);
  *job = nullptr;
  const KelIDOMDocument_var document = GetDocument();
  if (document == NULL_var) return Failure(__LINE__);
  long result = S_OK;
  bool indexed = false;
  if (!KelGuard([&] { indexed = _jobIndex->IsCurrent(document) || _jobIndex->Rebuild(document); })) {
    _jobIndex->Clear();
    indexed = false;
  }
  if (!indexed) return GetDOMElemByTagName(TagOf(KelEdsJobData::Job), AttributeOf(KelEdsJobData::Job, 0), jobId, job);
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

// Unguarded: it runs inside its caller's error guard, and records the code of
// each step in `result` as it goes, so that the caller knows the last code
// recorded before a raised error.
void KelEdsXMLParser::JobDataList(const KelUnicodeString& jobId, const KelUnicodeString& tag,
                                  KelIDOMNodeList_var& list, long& result) const {
  KelIDOMElement_var job;
  result = FindJob(jobId, job.Out());
  if (result < 0 || job == NULL_var) return;
  result = job->getElementsByTagName(tag, list);
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
        if (KelCheckMemory(list->getLength(length)) < 0) length = 0;
        KelUnicodeString value;
        for (unsigned int index = 0; index < length; ++index) {
          value = KelUnicodeString("");
          KelIDOMNode_var node;
          if (KelCheckMemory(list->item(index, node)) < 0 || node == NULL_var) continue;
          const KelIDOMElement_var candidate = ElementOf(node);
          if (candidate == NULL_var) continue;
          result = KelCheckMemory(candidate->getAttribute(attrName, value));
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
  // After a platform error the code recorded before it stands.
  KelGuard([&] {
    KelIDOMNodeList_var found;
    JobDataList(jobId, tag, found, result);
    if (result >= 0 && found != NULL_var) {
      result = found->QueryInterface(IID_KelIDOMNodeList, reinterpret_cast<void**>(list));
    }
  });
  ReleaseOnFailure(result, list);
  return result;
}

long KelEdsXMLParser::GetJobInputNodeList(const KelUnicodeString& jobId, KelIDOMNodeList** list,
                                          const KelUnicodeString& tag) const {
  return GetNodeListUnderJobId(jobId, tag.IsEmpty() ? TagOf(KelEdsJobData::Input) : tag, list);
}

long KelEdsXMLParser::GetJobOutputNodeList(const KelUnicodeString& jobId, KelIDOMNodeList** list) const {
  return GetNodeListUnderJobId(jobId, TagOf(KelEdsJobData::Output), list);
}

// --- Readers ----------------------------------------------------------------------

// The one list reader: the elements of `kind`, the document's jobs for
// KelEdsJobData::Job (`jobId` is then not used) and otherwise the data of the
// job of `jobId`, walked in one error guard into `lists`.
long KelEdsXMLParser::ReadJobData(const KelUnicodeString& jobId, KelEdsJobData kind,
                                  std::initializer_list<KelListValKelUnicodeString*> lists) const {
  long result = Failure(__LINE__);
  const KelIDOMDocument_var document = GetDocument();
  if (document == NULL_var) return result;
  if (!KelGuard([&] {
        KelIDOMNodeList_var list;
        if (kind == KelEdsJobData::Job) {
          result = document->getElementsByTagName(TagOf(kind), list);
        } else {
          JobDataList(jobId, TagOf(kind), list, result);
        }
        if (result < 0 || list == NULL_var) return;
        result = WalkElements(list, kind, lists, result);
      })) {
    result = Failure(__LINE__);
  }
  return result;
}

long KelEdsXMLParser::GetJobDefinition(KelListValKelUnicodeString& ids, KelListValKelUnicodeString& types,
                                       KelListValKelUnicodeString& inputs) const {
  return ReadJobData(KelUnicodeString(""), KelEdsJobData::Job, {&ids, &types, &inputs});
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
  return ReadJobData(jobId, KelEdsJobData::Input, {&names, &values, &types});
}

long KelEdsXMLParser::GetJobContextInput(const KelUnicodeString& jobId, KelListValKelUnicodeString& names,
                                         KelListValKelUnicodeString& values, KelListValKelUnicodeString& types) const {
  return ReadJobData(jobId, KelEdsJobData::ContextInput, {&names, &values, &types});
}

long KelEdsXMLParser::GetJobOutput(const KelUnicodeString& jobId, KelListValKelUnicodeString& names,
                                   KelListValKelUnicodeString& values, KelListValKelUnicodeString& types) const {
  return ReadJobData(jobId, KelEdsJobData::Output, {&names, &values, &types});
}

long KelEdsXMLParser::GetJobDeleteErrOutput(const KelUnicodeString& jobId, KelListValKelUnicodeString& classNames,
                                            KelListValKelUnicodeString& constraintNames,
                                            KelListValKelUnicodeString& objects) const {
  return ReadJobData(jobId, KelEdsJobData::DeleteError, {&classNames, &constraintNames, &objects});
}

long KelEdsXMLParser::GetJobReportOutput(const KelUnicodeString& jobId, KelListValKelUnicodeString& rows) const {
  return ReadJobData(jobId, KelEdsJobData::Report, {&rows});
}

long KelEdsXMLParser::GetJobError(const KelUnicodeString& jobId, KelUnicodeString& key, KelUnicodeString& file,
                                  KelUnicodeString& type, KelUnicodeString& parameters) const {
  long result = Failure(__LINE__);
  if (GetDocument() == NULL_var) return result;
  if (!KelGuard([&] {
        // Unlike the list readers, an unknown job is a failure here.
        KelIDOMNodeList_var errors;
        long listed = S_OK;
        JobDataList(jobId, TagOf(KelEdsJobData::Error), errors, listed);
        if (listed < 0 || errors == NULL_var) return;
        unsigned int length = 0;
        if (errors->getLength(length) < 0 || length < 1) return;
        KelIDOMNode_var node;
        if (errors->item(0, node) < 0 || node == NULL_var) return;
        const KelIDOMElement_var error = KelQuery<KelIDOMElement>(node, IID_KelIDOMElement);
        if (error == NULL_var) return;
        // Straight into the outputs, in table order; every read but the last
        // (the parameters) must succeed.
        KelUnicodeString* const outputs[] = {&key, &file, &type, &parameters};
        constexpr std::size_t count = KelEdsJobFormat(KelEdsJobData::Error).count;
        static_assert(count == sizeof outputs / sizeof outputs[0], "one output per attribute");
        for (std::size_t a = 0; a < count; ++a) {
          if (error->getAttribute(AttributeOf(KelEdsJobData::Error, a), *outputs[a]) < 0 && a + 1 < count) return;
        }
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
  const KelIDOMDocument_var document = GetDocument();
  if (document == NULL_var) return Failure(__LINE__);
  long result = S_OK;
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
        result = WriteJobData(document, root, KelEdsJobData::Job, {jobId, jobType, jobInput}, &job);
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
    return WriteJobData(document, job, KelEdsJobData::Input, {name, value, type});
  });
}

long KelEdsXMLParser::InsertJobContextInput(const KelUnicodeString& jobId, const KelUnicodeString& name,
                                            const KelUnicodeString& value, const KelUnicodeString& type) {
  return OnJob(jobId, [&](const KelIDOMDocument_var& document, const KelIDOMElement_var& job) {
    return WriteJobData(document, job, KelEdsJobData::ContextInput, {name, value, type});
  });
}

long KelEdsXMLParser::InsertJobOutput(const KelUnicodeString& jobId, const KelUnicodeString& name,
                                      const KelUnicodeString& value, const KelUnicodeString& type) {
  return OnJob(jobId, [&](const KelIDOMDocument_var& document, const KelIDOMElement_var& job) {
    return WriteJobData(document, job, KelEdsJobData::Output, {name, value, type});
  });
}

long KelEdsXMLParser::InsertJobDeleteErrOutput(const KelUnicodeString& jobId, const KelUnicodeString& className,
                                               const KelUnicodeString& constraintName, const KelUnicodeString& object) {
  return OnJob(jobId, [&](const KelIDOMDocument_var& document, const KelIDOMElement_var& job) {
    return WriteJobData(document, job, KelEdsJobData::DeleteError, {className, constraintName, object});
  });
}

long KelEdsXMLParser::InsertJobReportOutput(const KelUnicodeString& jobId, const KelListValKelUnicodeString& rows) {
  if (rows.Size() < 1) return Failure(__LINE__);
  return OnJob(jobId, [&](const KelIDOMDocument_var& document, const KelIDOMElement_var& job) {
    long result = S_OK;
    // The first failure stops; rows already appended stay.
    for (int position = 1; position <= rows.Size() && result >= 0; ++position) {
      result = WriteJobData(document, job, KelEdsJobData::Report, {rows[position]});
    }
    return result;
  });
}

long KelEdsXMLParser::InsertJobErrorMsg(const KelUnicodeString& jobId, const KelUnicodeString& key,
                                        const KelUnicodeString& file, const KelListValKelUnicodeString* parameters) {
  return OnJob(jobId, [&](const KelIDOMDocument_var& document, const KelIDOMElement_var& job) {
    KelUnicodeString joined("");
    const int count = parameters != nullptr ? parameters->Size() : 0;
    for (int position = 1; position <= count; ++position) {
      joined.Append((*parameters)[position]);
      if (position < count) joined.Append(KelUnicodeString("@"));
    }
    return WriteJobData(document, job, KelEdsJobData::Error, {key, file, joined});
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
