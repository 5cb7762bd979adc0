#include "KelEdsJobIndex.h"

#include "KelIDOMNodeList.h"

namespace {

// The document's change counter; false when it cannot be read.
bool ChangeCount(const KelIDOMDocument_var& document, unsigned long long& count) {
  return document != NULL_var && document->getChangeCount(count) >= 0;
}

}  // namespace

bool KelEdsJobIndex::IsCurrent(const KelIDOMDocument_var& document) const {
  unsigned long long count = 0;
  return document_ != NULL_var && document_ == document && ChangeCount(document, count) && count == changes_;
}

bool KelEdsJobIndex::Rebuild(const KelIDOMDocument_var& document) {
  Clear();
  ++rebuilds_;
  unsigned long long count = 0;
  if (!ChangeCount(document, count)) return false;
  KelIDOMNodeList_var list;
  if (document->getElementsByTagName(KelUnicodeString("EDB_Job"), list) < 0 || list == NULL_var) return false;
  unsigned int length = 0;
  if (list->getLength(length) < 0) return false;
  jobs_.reserve(length);
  const KelUnicodeString attribute("EDB_Id");
  KelUnicodeString id;
  for (unsigned int index = 0; index < length; ++index) {
    KelIDOMNode_var node;
    if (list->item(index, node) < 0 || node == NULL_var) {
      Clear();
      return false;
    }
    KelIDOMElement_var job = KelQuery<KelIDOMElement>(node, IID_KelIDOMElement);
    if (job == NULL_var || job->getAttribute(attribute, id) < 0) {
      Clear();
      return false;
    }
    // The first job of an id in document order is its job.
    jobs_.try_emplace(id.Data(), std::move(job));
  }
  document_ = document;
  changes_ = count;
  return true;
}

KelIDOMElement_var KelEdsJobIndex::Find(const KelUnicodeString& id) const {
  if (last_ != nullptr && last_->first == id.Data()) return last_->second;
  const auto found = jobs_.find(id.Data());
  if (found == jobs_.end()) return KelIDOMElement_var();
  last_ = &*found;  // entries never move, and none is removed before Clear
  return found->second;
}

void KelEdsJobIndex::Confirm(const KelIDOMDocument_var& document) {
  if (document_ != document || !ChangeCount(document, changes_)) Clear();
}

void KelEdsJobIndex::AddAppended(const KelIDOMDocument_var& document, const KelIDOMElement_var& job) {
  if (document_ != document || job == NULL_var) {
    Clear();
    return;
  }
  // Appended under the document element, the job follows every element of
  // the document: nothing comes after the document element but comments and
  // processing instructions.
  KelIDOMNode_var parent;
  KelIDOMElement_var top;
  bool underTop = false;
  if (job->getParentNode(parent) < 0 || parent == NULL_var || document->getDocumentElement(top) < 0 ||
      top == NULL_var || top->isSameNode(parent, underTop) < 0 || !underTop) {
    Clear();
    return;
  }
  static const KelUnicodeString* const attribute = new KelUnicodeString("EDB_Id");  // read at every append
  KelUnicodeString id;
  if (job->getAttribute(*attribute, id) < 0) {
    Clear();
    return;
  }
  jobs_.try_emplace(id.Data(), job);
  Confirm(document);
}

void KelEdsJobIndex::Clear() {
  last_ = nullptr;
  std::unordered_map<std::u16string, KelIDOMElement_var>().swap(jobs_);  // gives the buckets back too
  document_ = nullptr;
  changes_ = 0;
}
