// KelXmlInputSource: the KelIXMLInputSource of the stand-in: either a text
// held in memory (kept as UTF-8, its declared encoding rewritten to UTF-8;
// the bytes of a string that holds UTF-8 only are shared with it, not
// copied) or a system identifier with a public identifier.
//
// Threading: immutable once made; read by one parse at a time.
#pragma once

#include <string>
#include <string_view>

#include "KelIXMLInputSource.h"

class KelXmlInputSource final : public KelIXMLInputSource {
  KelDeclareClass

  // Null when memory runs out.
  static KelXmlInputSource* FromText(const KelUnicodeString& text, const KelUnicodeString& identifier);
  static KelXmlInputSource* FromSystemId(const KelUnicodeString& systemId, const KelUnicodeString& publicId);

  using KelBaseUnknown::QueryInterface;
  long QueryInterface(const IID& iid, void** object) override;

  long getSystemId(KelUnicodeString& systemId) override;
  long getPublicId(KelUnicodeString& publicId) override;

  bool InMemory() const { return in_memory_; }
  // The text of an in-memory source, as UTF-8.
  std::string_view Text() const { return text_; }
  // The identifiers as UTF-8 (the public one empty when there is none).
  const std::string& SystemId() const { return system_id_; }
  const std::string& PublicId() const { return public_id_; }

 private:
  KelXmlInputSource() = default;

  bool in_memory_ = false;
  std::string_view text_;  // in `owned_` or in the bytes of `shared_`
  std::string owned_;
  KelUnicodeString shared_;
  std::string system_id_;
  std::string public_id_;
  KelUnicodeString system_id_text_;
  KelUnicodeString public_id_text_;
};
