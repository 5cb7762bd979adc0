#include "KelXmlDocument.h"

#include <string_view>
#include <utility>

#include "KelXmlCall.h"
#include "KelXmlText.h"

KelImplementClass(KelXmlDocument, KelImplementationKind, KelBaseUnknown, "KelNull", "KelXMLParserItf")

namespace {

kelxml::Node* ChildOfKind(const kelxml::Node* parent, kelxml::Kind kind) {
  for (kelxml::Node* child = parent->first; child != nullptr; child = child->next) {
    if (child->kind == kind) return child;
  }
  return nullptr;
}

}  // namespace

KelXmlDocument* KelXmlDocument::Create(std::unique_ptr<kelxml::Tree> tree, bool referencesKept) {
  if (tree == nullptr) return nullptr;
  // Made with the platform's operator new, which gives null instead of
  // raising: the tree is then freed here.
  return new KelXmlDocument(std::move(tree), referencesKept);
}

KelXmlDocument::KelXmlDocument(std::unique_ptr<kelxml::Tree> tree, bool referencesKept)
    : KelXmlNodeBase(this, tree->Root(), false),
      tree_(std::move(tree)),
      references_kept_(referencesKept),
      may_hold_references_(referencesKept && ChildOfKind(tree_->Root(), kelxml::Kind::DocumentType) != nullptr) {}

KelXmlDocument::~KelXmlDocument() = default;

kelxml::Node* KelXmlDocument::DocumentElement() const { return ChildOfKind(tree_->Root(), kelxml::Kind::Element); }

kelxml::Node* KelXmlDocument::DocumentType() const { return ChildOfKind(tree_->Root(), kelxml::Kind::DocumentType); }

long KelXmlDocument::QueryInterface(const IID& iid, void** object) { return Answer(iid, IID_KelIDOMDocument, object); }

long KelXmlDocument::getDoctype(KelIDOMDocumentType_var& doctype) {
  doctype = nullptr;
  kelxml::Node* node = DocumentType();
  if (node == nullptr) return S_OK;
  KelIDOMNode_var made;
  const long result = kelxml::MakeNode(this, node, made);
  if (result < 0) return result;
  doctype = KelIDOMDocumentType_var::Adopt(static_cast<KelIDOMDocumentType*>(made.Detach()));
  return S_OK;
}

long KelXmlDocument::getDocumentElement(KelIDOMElement_var& element) {
  element = nullptr;
  kelxml::Node* root = DocumentElement();
  if (root == nullptr) return S_OK;
  return kelxml::MakeElement(this, root, element);
}

long KelXmlDocument::createElement(const KelUnicodeString& tagName, KelIDOMElement_var& element) {
  element = nullptr;
  return kelxml::Call([&]() -> long {
    std::string_view name;
    if (!kelxml::InternName(*tree_, tagName, name)) return E_INVALIDARG;
    kelxml::Node* node = tree_->NewNode(kelxml::Kind::Element);
    node->name = name;
    return kelxml::MakeElement(this, node, element);
  });
}

long KelXmlDocument::createTextNode(const KelUnicodeString& data, KelIDOMNode_var& text) {
  text = nullptr;
  return kelxml::Call([&]() -> long {
    const kelxml::Utf8Text content(data);
    if (!content.Plain() && !kelxml::IsXmlText(data.View())) return E_INVALIDARG;
    if (content.View().size() > kelxml::kMaxTextBytes) return E_INVALIDARG;
    const std::string_view stored = tree_->Store(content.View());
    kelxml::Node* node = tree_->NewNode(kelxml::Kind::Text);
    node->value = stored;
    return kelxml::MakeNode(this, node, text);
  });
}

long KelXmlDocument::getElementsByTagName(const KelUnicodeString& tagName, KelIDOMNodeList_var& list) {
  return kelxml::ElementsByTagName(this, tree_->Root(), tagName, list);
}

long KelXmlDocument::getChangeCount(unsigned long long& count) {
  count = changes_;
  return S_OK;
}
