#include "KelXmlDocumentType.h"

#include <string_view>
#include <utility>

#include "KelXmlCall.h"
#include "KelXmlDocument.h"
#include "KelXmlText.h"

KelImplementClass(KelXmlDocumentType, KelImplementationKind, KelBaseUnknown, "KelNull", "KelXMLParserItf")

KelXmlDocumentType::KelXmlDocumentType(std::unique_ptr<kelxml::Tree> own, kelxml::Node* node)
    : KelXmlNodeBase(nullptr, node, true), own_(std::move(own)) {}

KelXmlDocumentType::~KelXmlDocumentType() = default;

long KelXmlDocumentType::QueryInterface(const IID& iid, void** object) {
  return Answer(iid, IID_KelIDOMDocumentType, object);
}

namespace {
// Identifiers that are absent read as the null string.
long Identifier(std::string_view text, KelUnicodeString& out) {
  return kelxml::Call([&]() -> long {
    if (text.data() == nullptr) {
      out = KelUnicodeString();
    } else {
      kelxml::Assign(out, text.data(), text.size());
    }
    return S_OK;
  });
}
}  // namespace

long KelXmlDocumentType::getName(KelUnicodeString& name) { return Identifier(Node()->name, name); }

long KelXmlDocumentType::getPublicId(KelUnicodeString& publicId) { return Identifier(Node()->value, publicId); }

long KelXmlDocumentType::getSystemId(KelUnicodeString& systemId) { return Identifier(Node()->system_id, systemId); }

long KelXmlDocumentType::Join(KelXmlDocument* document) {
  if (Document() != nullptr || own_ == nullptr) return E_INVALIDARG;
  const kelxml::Node* mine = Node();
  kelxml::Tree& tree = document->Tree();
  // Everything that allocates first, so that running out of memory leaves
  // both trees as they were.
  kelxml::Node* node = tree.NewNode(kelxml::Kind::DocumentType);
  node->name = tree.Intern(mine->name);
  if (mine->value.data() != nullptr) node->value = tree.Store(mine->value);
  if (mine->system_id.data() != nullptr) node->system_id = tree.Store(mine->system_id);
  node->dtd = mine->dtd;
  if (node->dtd != nullptr) {
    tree.AdoptDtd(node->dtd, nullptr);
    own_->ReleaseDtd(node->dtd);
  }
  kelxml::LinkLast(tree.Root(), node);
  Attach(document, node);
  own_.reset();
  return S_OK;
}
