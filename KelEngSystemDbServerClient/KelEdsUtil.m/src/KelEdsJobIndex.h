// KelEdsJobIndex: the jobs of one job exchange document by id, so that finding
// a job costs the same whatever the number of jobs in the document.
//
// For every "EDB_Id" value it keeps the first "EDB_Job" element in document
// order (anywhere in the document) with that value, exactly the job that a
// document-wide search would find. It is trusted only while the document is
// the one it was made for and the document's change counter has the value it
// recorded: any change through any handle (a host's included) makes it stale,
// and the next lookup rebuilds it with one walk. The parser's own writers keep
// it current themselves, as they know what they changed: a job appended last,
// or data added below a job, which moves no job and changes no id.
//
// Internal to the module (used by KelEdsXMLParser only).
//
// Ownership: holds a reference on the document and on each job it lists, so
// its entries never dangle; Clear lets go of all of them (the parser calls it
// before its document is replaced, so that the old one is freed at once).
// Not copyable.
//
// Threading: as its parser, one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "KelIDOMDocument.h"
#include "KelIDOMElement.h"
#include "KelUnicodeString.h"

class KelEdsJobIndex {
 public:
  KelEdsJobIndex() = default;
  KelEdsJobIndex(const KelEdsJobIndex&) = delete;
  KelEdsJobIndex& operator=(const KelEdsJobIndex&) = delete;

  // Whether the index stands for `document` as it is now.
  bool IsCurrent(const KelIDOMDocument_var& document) const;

  // Makes the index stand for `document`, walking its "EDB_Job" elements in
  // document order. False when a DOM call fails: the index is then empty and
  // not current, and the caller searches the document itself.
  bool Rebuild(const KelIDOMDocument_var& document);

  // The job of `id`, or an empty handle when no job has it. Meaningful only
  // while the index is current.
  KelIDOMElement_var Find(const KelUnicodeString& id) const;

  // The following two record a change the parser has just made itself; they
  // may be called only when the index was current just before that change.

  // The change moved no job and changed no id (data appended below a job, or
  // an element that never reached the document).
  void Confirm(const KelIDOMDocument_var& document);
  // `job` has just been appended as a last child. When its parent is the
  // document element, the job is the last element of the document and becomes
  // the job of its id if that id is new. Otherwise the index cannot tell where
  // the job stands and goes stale.
  void AddAppended(const KelIDOMDocument_var& document, const KelIDOMElement_var& job);

  // Forgets the document and every job.
  void Clear();

  // How many times the index was rebuilt (a walk of the whole document).
  unsigned long Rebuilds() const { return rebuilds_; }

 private:
  // One job per distinct id, in the order the ids were first met (document
  // order, for a document built by the parser): the jobs of neighbouring
  // lookups are neighbours in memory.
  struct Entry {
    std::u16string id;
    std::size_t hash;
    KelIDOMElement_var job;
  };
  static constexpr std::uint32_t kEmpty = 0;

  // The entry of `id` (with its hash), or null.
  const Entry* Lookup(std::u16string_view id, std::size_t hash) const;
  // Adds `job` as the job of `id` unless the id has one already.
  void Add(std::u16string_view id, const KelIDOMElement_var& job);
  void Grow();

  unsigned long rebuilds_ = 0;
  KelIDOMDocument_var document_;
  unsigned long long changes_ = 0;
  std::vector<Entry> entries_;
  // Open addressing over `entries_`: entry position + 1, or kEmpty; a power of
  // two in size, at most half full.
  std::vector<std::uint32_t> slots_;
  // The entry found last (position + 1, or kEmpty): a job's operations come
  // one after another.
  mutable std::uint32_t last_ = kEmpty;
};
