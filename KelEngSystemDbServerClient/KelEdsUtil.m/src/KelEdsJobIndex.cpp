#include "KelEdsJobIndex.h"

#include <functional>

#include "KelEdsJobFormat.h"
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
  if (document->getElementsByTagName(KelUnicodeString(kKelEdsJobTag), list) < 0 || list == NULL_var) return false;
  unsigned int length = 0;
  if (list->getLength(length) < 0) return false;
  entries_.reserve(length);
  const KelUnicodeString attribute(kKelEdsJobIdAttribute);
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
    Add(id.View(), job);
  }
  document_ = document;
  changes_ = count;
  return true;
}

KelIDOMElement_var KelEdsJobIndex::Find(const KelUnicodeString& id) const {
  const std::u16string_view wanted = id.View();
  if (last_ != kEmpty && entries_[last_ - 1].id == wanted) return entries_[last_ - 1].job;
  const Entry* found = Lookup(wanted, std::hash<std::u16string_view>()(wanted));
  if (found == nullptr) return KelIDOMElement_var();
  last_ = static_cast<std::uint32_t>(found - entries_.data()) + 1;
  return found->job;
}

const KelEdsJobIndex::Entry* KelEdsJobIndex::Lookup(std::u16string_view id, std::size_t hash) const {
  if (slots_.empty()) return nullptr;
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
    const std::uint32_t at = slots_[slot];
    if (at == kEmpty) return nullptr;
    const Entry& entry = entries_[at - 1];
    if (entry.hash == hash && entry.id == id) return &entry;
  }
}

void KelEdsJobIndex::Add(std::u16string_view id, const KelIDOMElement_var& job) {
  const std::size_t hash = std::hash<std::u16string_view>()(id);
  if (Lookup(id, hash) != nullptr) return;
  if (2 * (entries_.size() + 1) > slots_.size()) Grow();
  entries_.push_back(Entry{std::u16string(id), hash, job});
  const std::size_t mask = slots_.size() - 1;
  std::size_t slot = hash & mask;
  while (slots_[slot] != kEmpty) slot = (slot + 1) & mask;
  slots_[slot] = static_cast<std::uint32_t>(entries_.size());
  last_ = slots_[slot];  // a job just added is the likeliest next
}

void KelEdsJobIndex::Grow() {
  std::size_t size = slots_.empty() ? 16 : 2 * slots_.size();
  while (size < 2 * (entries_.size() + 1)) size *= 2;
  slots_.assign(size, kEmpty);
  const std::size_t mask = size - 1;
  for (std::size_t k = 0; k < entries_.size(); ++k) {
    std::size_t slot = entries_[k].hash & mask;
    while (slots_[slot] != kEmpty) slot = (slot + 1) & mask;
    slots_[slot] = static_cast<std::uint32_t>(k + 1);
  }
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
  static const KelUnicodeString* const attribute = new KelUnicodeString(kKelEdsJobIdAttribute);  // read at every append
  KelUnicodeString id;
  if (job->getAttribute(*attribute, id) < 0) {
    Clear();
    return;
  }
  Add(id.View(), job);
  Confirm(document);
}

void KelEdsJobIndex::Clear() {
  last_ = kEmpty;
  std::vector<Entry>().swap(entries_);  // gives the memory back too
  std::vector<std::uint32_t>().swap(slots_);
  document_ = nullptr;
  changes_ = 0;
}
