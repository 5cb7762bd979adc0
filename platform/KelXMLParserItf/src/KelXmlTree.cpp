#include "KelXmlTree.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>

#include "KelXmlText.h"

namespace kelxml {

namespace {

// The text of every empty value: never written to.
const char kEmpty[] = "";

// Nodes and attributes hold pointers and views only.
constexpr std::size_t kAlign = 8;
static_assert(alignof(Node) <= kAlign && alignof(Attribute) <= kAlign, "arena blocks are 8-aligned");

constexpr std::size_t RoundUp(std::size_t size) { return (size + kAlign - 1) & ~(kAlign - 1); }

// The room a stored text of `size` bytes was given: the text, its NUL, and
// the padding up to the next block. A text shortened in place keeps at
// least the room its new size would have been given.
constexpr std::size_t RoomOf(std::size_t size) { return RoundUp(size + 1); }

// Chunks grow from 4 KiB to 1 MiB, so that a small document stays small and
// a large one takes few chunks; a block larger than a quarter of the next
// chunk gets a chunk of its own.
constexpr std::size_t kFirstChunk = 4096;
constexpr std::size_t kLargestChunk = 1 << 20;

// GCC says it is sanitizing addresses one way, clang another.
#if defined(__SANITIZE_ADDRESS__)
#define KEL_XML_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KEL_XML_SANITIZED 1
#endif
#endif

#if defined(KEL_XML_SANITIZED)
constexpr std::size_t kKeptChunks = 0;  // a kept chunk would hide a use after free
#else
constexpr std::size_t kKeptChunks = 32;
#endif
constexpr std::size_t kKeptBytes = 8 << 20;

// Freed arena chunks kept for the next trees of the process: 32 chunks and
// 8 MiB at most, each taken again only for a chunk of its own size. A host
// loads document after document; given back to the C library, the memory of
// each was returned to the system (glibc trims the top of its heap) and the
// next document's nodes faulted every page in afresh: a third of the time of
// loading a 1 000-job document. Only the chunks of the growth series (powers
// of two) are kept; a block's own chunk is freed. Any thread; constant-
// initialised, so nothing runs at load; what is kept at exit stays reachable.
class KeptChunks {
 public:
  static void* Take(std::size_t size) {
    if (kKeptChunks == 0) return nullptr;
    std::lock_guard<std::mutex> hold(mutex_);
    for (std::size_t i = count_; i-- > 0;) {
      if (kept_[i].size != size) continue;
      void* chunk = kept_[i].chunk;
      kept_[i] = kept_[--count_];
      bytes_ -= size;
      return chunk;
    }
    return nullptr;
  }
  // False when the chunk was not kept: the caller frees it.
  static bool Keep(void* chunk, std::size_t size) {
    if (kKeptChunks == 0 || (size & (size - 1)) != 0) return false;
    std::lock_guard<std::mutex> hold(mutex_);
    if (count_ == kKeptChunks || bytes_ + size > kKeptBytes) return false;
    kept_[count_++] = {chunk, size};
    bytes_ += size;
    return true;
  }

 private:
  struct Kept {
    void* chunk;
    std::size_t size;  // the chunk's data, after its header
  };
  static std::mutex mutex_;
  static Kept kept_[kKeptChunks == 0 ? 1 : kKeptChunks];
  static std::size_t count_;
  static std::size_t bytes_;
};

std::mutex KeptChunks::mutex_;
KeptChunks::Kept KeptChunks::kept_[kKeptChunks == 0 ? 1 : kKeptChunks] = {};
std::size_t KeptChunks::count_ = 0;
std::size_t KeptChunks::bytes_ = 0;

// A bump allocator over a list of chunks, freed all at once.
class Arena {
 public:
  explicit Arena(std::size_t first) : next_size_(first) {}
  ~Arena() {
    while (chunks_ != nullptr) {
      Chunk* prev = chunks_->prev;
      if (!KeptChunks::Keep(chunks_, chunks_->size)) ::operator delete(chunks_);
      chunks_ = prev;
    }
  }
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;

  // `size` bytes aligned for any node, attribute or text.
  char* Allocate(std::size_t size) {
    size = RoundUp(size);
    if (static_cast<std::size_t>(end_ - top_) >= size) {
      char* block = top_;
      top_ += size;
      return block;
    }
    return AllocateSlow(size);
  }

  // Whether the `size` bytes at `block` were the last taken from the current
  // chunk and it has `more` bytes left after them: then they can grow.
  bool CanGrow(const char* block, std::size_t size, std::size_t more) const {
    return block + size == top_ && static_cast<std::size_t>(end_ - top_) >= more;
  }
  void Grow(std::size_t more) { top_ += more; }

  // Whether the `size` bytes at `p` lie in one of the chunks: a search among
  // their addresses, as a large document has hundreds of chunks.
  bool Holds(const char* p, std::size_t size) const {
    const auto at = reinterpret_cast<std::uintptr_t>(p);
    auto after = std::upper_bound(ranges_.begin(), ranges_.end(), at,
                                  [](std::uintptr_t a, const Range& range) { return a < range.begin; });
    if (after == ranges_.begin()) return false;
    --after;
    return at < after->end && size <= after->end - at;
  }

  std::size_t Bytes() const { return bytes_; }

 private:
  struct Chunk {
    Chunk* prev;
    std::size_t size;  // bytes after the header
  };
  static constexpr std::size_t kHeader = RoundUp(sizeof(Chunk));

  struct Range {
    std::uintptr_t begin, end;  // the data of one chunk
  };

  char* NewChunk(std::size_t size) {
    void* memory = KeptChunks::Take(size);
    auto* chunk = static_cast<Chunk*>(memory != nullptr ? memory : ::operator new(kHeader + size));
    char* data = reinterpret_cast<char*>(chunk) + kHeader;
    const Range range{reinterpret_cast<std::uintptr_t>(data), reinterpret_cast<std::uintptr_t>(data) + size};
    try {
      ranges_.insert(std::upper_bound(ranges_.begin(), ranges_.end(), range,
                                      [](const Range& a, const Range& b) { return a.begin < b.begin; }),
                     range);
    } catch (...) {
      ::operator delete(chunk);
      throw;
    }
    chunk->size = size;
    bytes_ += kHeader + size;
    return data;
  }

  char* AllocateSlow(std::size_t size) {
    if (size > next_size_ / 4) {
      // A chunk of its own, behind the current one, which stays in use.
      char* data = NewChunk(size);
      Chunk* chunk = reinterpret_cast<Chunk*>(data - kHeader);
      if (chunks_ == nullptr) {
        chunk->prev = nullptr;
        chunks_ = chunk;
      } else {
        chunk->prev = chunks_->prev;
        chunks_->prev = chunk;
      }
      return data;
    }
    char* data = NewChunk(next_size_);
    Chunk* chunk = reinterpret_cast<Chunk*>(data - kHeader);
    chunk->prev = chunks_;
    chunks_ = chunk;
    top_ = data + size;
    end_ = data + next_size_;
    next_size_ = std::min(next_size_ * 2, kLargestChunk);
    return data;
  }

  Chunk* chunks_ = nullptr;  // the current chunk first
  std::vector<Range> ranges_;  // every chunk's, by address
  char* top_ = nullptr;
  char* end_ = nullptr;
  std::size_t next_size_;
  std::size_t bytes_ = 0;
};

// Names are hashed on every attribute set or read, and most have 4 to 16
// bytes: a name is taken as its first and its last word (overlapping when it
// is shorter than two), each multiplied apart so that the two products are
// made side by side; the middle words of a longer one are folded into the
// first.
std::uint64_t Hash(std::string_view text) {
  const char* p = text.data();
  const std::size_t n = text.size();
  std::uint64_t first = 0;
  std::uint64_t last = 0;
  if (n >= 8) {
    std::memcpy(&first, p, 8);
    std::memcpy(&last, p + n - 8, 8);
    for (std::size_t i = 8; i + 8 < n; i += 8) {
      std::uint64_t word;
      std::memcpy(&word, p + i, 8);
      first = (first ^ word) * 0x9E3779B97F4A7C15ULL;
      first ^= first >> 32;
    }
  } else if (n >= 4) {
    std::uint32_t low, high;
    std::memcpy(&low, p, 4);
    std::memcpy(&high, p + n - 4, 4);
    first = low;
    last = high;
  } else {
    for (std::size_t k = 0; k < n; ++k) first |= std::uint64_t{static_cast<unsigned char>(p[k])} << (8 * k);
  }
  const std::uint64_t hash =
      ((first ^ 0x9E3779B97F4A7C15ULL) * 0xFF51AFD7ED558CCDULL) ^ ((last ^ n) * 0xC4CEB9FE1A85EC53ULL);
  return hash ^ (hash >> 32);
}

}  // namespace

struct Tree::Impl {
  Arena arena{kFirstChunk};
  // Names live apart from values, so that no value reuse can touch one.
  Arena names{1024};
  // Open addressing, a power of two slots, at most half of them used.
  std::vector<std::string_view> slots;
  std::size_t used = 0;
  struct Dtd {
    xmlDtdPtr dtd;
    xmlDocPtr holder;
  };
  std::vector<Dtd> dtds;

  char* Copy(Arena& into, std::string_view text) {
    char* block = into.Allocate(text.size() + 1);
    if (!text.empty()) std::memcpy(block, text.data(), text.size());
    block[text.size()] = '\0';
    return block;
  }

  // The slot of `name`: where it is, or the empty slot where it would go.
  std::size_t SlotOf(std::string_view name) const {
    const std::size_t mask = slots.size() - 1;
    std::size_t i = static_cast<std::size_t>(Hash(name)) & mask;
    while (slots[i].data() != nullptr && !Same(slots[i], name)) i = (i + 1) & mask;
    return i;
  }

  // Equality of two names without a call for the common lengths: from 8 to
  // 16 bytes, as the first eight and the last eight.
  static bool Same(std::string_view a, std::string_view b) {
    const std::size_t n = a.size();
    if (n != b.size()) return false;
    if (n >= 8 && n <= 16) {
      std::uint64_t a0, a1, b0, b1;
      std::memcpy(&a0, a.data(), 8);
      std::memcpy(&b0, b.data(), 8);
      std::memcpy(&a1, a.data() + n - 8, 8);
      std::memcpy(&b1, b.data() + n - 8, 8);
      return ((a0 ^ b0) | (a1 ^ b1)) == 0;
    }
    return std::memcmp(a.data(), b.data(), n) == 0;
  }

  void Rehash() {
    std::vector<std::string_view> old(slots.empty() ? 64 : slots.size() * 2);
    old.swap(slots);
    for (std::string_view name : old) {
      if (name.data() != nullptr) slots[SlotOf(name)] = name;
    }
  }
};

Tree::Tree() : impl_(new Impl) {}

Tree::~Tree() {
  // A DTD's names may live in its holder's dictionary: the DTDs go first.
  for (const Impl::Dtd& held : impl_->dtds) {
    if (held.dtd == nullptr) continue;
    if (held.holder != nullptr) {
      if (held.dtd->parent == held.holder) xmlUnlinkNode(reinterpret_cast<xmlNodePtr>(held.dtd));
      if (held.holder->intSubset == held.dtd) held.holder->intSubset = nullptr;
      if (held.holder->extSubset == held.dtd) held.holder->extSubset = nullptr;
    }
    xmlFreeDtd(held.dtd);
  }
  for (std::size_t i = 0; i < impl_->dtds.size(); ++i) {
    xmlDocPtr holder = impl_->dtds[i].holder;
    if (holder == nullptr) continue;
    bool freed = false;
    for (std::size_t j = 0; j < i && !freed; ++j) freed = impl_->dtds[j].holder == holder;
    if (!freed) xmlFreeDoc(holder);
  }
}

Node* Tree::NewNode(Kind kind) { return new (impl_->arena.Allocate(sizeof(Node))) Node(kind); }

Attribute* Tree::NewAttribute() { return new (impl_->arena.Allocate(sizeof(Attribute))) Attribute; }

Attribute* Tree::NewAttribute(std::string_view value) {
  static_assert(sizeof(Attribute) % kAlign == 0, "a value after its attribute starts aligned");
  if (value.empty()) {
    Attribute* attribute = NewAttribute();
    attribute->value = std::string_view(kEmpty, 0);
    return attribute;
  }
  char* block = impl_->arena.Allocate(sizeof(Attribute) + value.size() + 1);
  auto* attribute = new (block) Attribute;
  char* text = block + sizeof(Attribute);
  std::memcpy(text, value.data(), value.size());
  text[value.size()] = '\0';
  attribute->value = std::string_view(text, value.size());
  return attribute;
}

std::string_view Tree::Intern(std::string_view name) {
  Impl& impl = *impl_;
  if ((impl.used + 1) * 2 > impl.slots.size()) impl.Rehash();
  const std::size_t slot = impl.SlotOf(name);
  if (impl.slots[slot].data() != nullptr) return impl.slots[slot];
  const std::string_view stored(impl.Copy(impl.names, name), name.size());
  impl.slots[slot] = stored;
  ++impl.used;
  return stored;
}

std::string_view Tree::Find(std::string_view name) const {
  if (impl_->slots.empty()) return {};
  const std::string_view found = impl_->slots[impl_->SlotOf(name)];
  return found.data() != nullptr ? found : std::string_view();
}

std::string_view Tree::Store(std::string_view text) {
  if (text.empty()) return std::string_view(kEmpty, 0);
  return std::string_view(impl_->Copy(impl_->arena, text), text.size());
}

std::string_view Tree::Replace(std::string_view old, std::string_view text) {
  Arena& arena = impl_->arena;
  const char* at = old.data();
  // A value Store gave starts a block and ends with its NUL: a view that
  // does not (a part of a value) is never written over, nor is one outside
  // the arena.
  const bool whole = at != nullptr && at != kEmpty && reinterpret_cast<std::uintptr_t>(at) % kAlign == 0;
  if (whole && arena.Holds(at, old.size() + 1) && at[old.size()] == '\0') {
    char* room = const_cast<char*>(at);
    const std::size_t have = RoomOf(old.size());
    const std::size_t need = RoomOf(text.size());
    if (need <= have || arena.CanGrow(at, have, need - have)) {
      if (need > have) arena.Grow(need - have);
      if (!text.empty()) std::memmove(room, text.data(), text.size());
      room[text.size()] = '\0';
      return std::string_view(room, text.size());
    }
  }
  return Store(text);
}

void Tree::AdoptDtd(xmlDtdPtr dtd, xmlDocPtr holder) { impl_->dtds.push_back({dtd, holder}); }

void Tree::ReleaseDtd(xmlDtdPtr dtd) {
  auto& dtds = impl_->dtds;
  dtds.erase(std::remove_if(dtds.begin(), dtds.end(),
                            [dtd](const Impl::Dtd& held) { return held.dtd == dtd && held.holder == nullptr; }),
             dtds.end());
}

std::size_t Tree::NameBytes() const { return impl_->names.Bytes(); }

std::size_t Tree::ArenaBytes() const { return impl_->arena.Bytes() + impl_->names.Bytes(); }

void LinkLast(Node* parent, Node* node) {
  node->parent = parent;
  node->next = nullptr;
  node->prev = parent->last;
  if (parent->last != nullptr) {
    parent->last->next = node;
  } else {
    parent->first = node;
  }
  parent->last = node;
}

void LinkBefore(Node* ref, Node* node) {
  Node* parent = ref->parent;
  node->parent = parent;
  node->next = ref;
  node->prev = ref->prev;
  if (ref->prev != nullptr) {
    ref->prev->next = node;
  } else {
    parent->first = node;
  }
  ref->prev = node;
}

void Unlink(Node* node) {
  Node* parent = node->parent;
  if (node->prev != nullptr) {
    node->prev->next = node->next;
  } else if (parent != nullptr && parent->first == node) {
    parent->first = node->next;
  }
  if (node->next != nullptr) {
    node->next->prev = node->prev;
  } else if (parent != nullptr && parent->last == node) {
    parent->last = node->prev;
  }
  node->parent = nullptr;
  node->prev = nullptr;
  node->next = nullptr;
}

bool InEntityContent(const Node* node) {
  for (const Node* up = node; up != nullptr; up = up->parent) {
    if (up->kind == Kind::Entity) return true;
  }
  return false;
}

namespace {

// One node without its children, detached. Values are copied, so that each
// value has one owner and Replace may reuse its room; names are the tree's
// interned ones already, and `written` is only ever replaced whole.
Node* CopyOne(Tree& tree, const Node* source) {
  Node* copy = tree.NewNode(source->kind);
  copy->name = source->name;
  copy->value = source->value.data() != nullptr ? tree.Store(source->value) : std::string_view();
  copy->entity = source->entity;
  copy->bound = source->bound;
  Attribute* last = nullptr;
  for (const Attribute* attribute = source->attributes; attribute != nullptr; attribute = attribute->next) {
    Attribute* made = tree.NewAttribute();
    made->name = attribute->name;
    made->value = tree.Store(attribute->value);
    made->written = attribute->written;
    made->written_has_references = attribute->written_has_references;
    made->bound = attribute->bound;
    made->declaration = attribute->declaration;
    if (last != nullptr) {
      last->next = made;
    } else {
      copy->attributes = made;
    }
    last = made;
  }
  return copy;
}

}  // namespace

Node* CopyTree(Tree& tree, const Node* source, bool deep) {
  Node* top = CopyOne(tree, source);
  if (!deep || source->kind != Kind::Element || source->first == nullptr) return top;
  struct Level {
    const Node* next;  // next source node to copy at this level
    Node* target;      // the copy its copies go under
  };
  std::vector<Level> levels;
  levels.push_back({source->first, top});
  while (!levels.empty()) {
    Level& level = levels.back();
    const Node* node = level.next;
    if (node == nullptr) {
      levels.pop_back();
      continue;
    }
    level.next = node->next;
    Node* copy = CopyOne(tree, node);
    LinkLast(level.target, copy);
    // An entity reference's content is its entity's: not copied.
    if (node->kind == Kind::Element && node->first != nullptr) levels.push_back({node->first, copy});
  }
  return top;
}

// The names the memo does not know (yet).
std::string_view FindNewName(Tree& tree, const KelUnicodeString& name) {
  const Utf8Text utf8(name);
  const std::string_view interned = tree.Find(utf8.View());
  if (interned.data() != nullptr) tree.Remember(name.View(), interned);
  return interned;
}

bool InternNewName(Tree& tree, const KelUnicodeString& name, std::string_view& interned) {
  const Utf8Text utf8(name);
  // A name the tree holds already is known to be an XML name.
  interned = tree.Find(utf8.View());
  if (interned.data() == nullptr) {
    if (!IsXmlName(name.View())) return false;
    interned = tree.Intern(utf8.View());
  }
  tree.Remember(name.View(), interned);
  return true;
}

}  // namespace kelxml
