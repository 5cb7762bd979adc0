// KelEdsDomParser: one XML document behind a small interface. It creates a
// new document with a root element, loads a document from a file or from a
// byte sequence (optionally validated against its DTD), and writes the
// document to a file or to a byte sequence in UTF-8.
//
// Every parse and every write is one call to the platform's DOM document
// builder, with fixed options: a file is loaded with entity references
// expanded, a byte sequence with them kept; every write is UTF-8 with entity
// references expanded. A validated load of a byte sequence finds the DTD that
// the caller names along the directories of the environment variable
// "KelDictionaryPath" (the bare name when it is in none of them).
//
// Results: the fixed codes S_OK, E_FAIL, E_INVALIDARG and E_OUTOFMEMORY, or
// a builder's code passed on unchanged; a code is a success when it is not
// negative. Abnormal conditions are also reported through KelSysLogAbend.
// Methods do not catch platform errors: with no builder (the constructor
// could not make one), LoadStream, GenerateStream and dump raise the
// platform's null-handle error (a KelError) to the caller.
//
// Ownership: the object owns its document, the document's root element and
// its builder; the accessors hand out new handles on them (each holds its own
// reference). A loaded or created document replaces the previous one; a load
// that fails leaves no document (the root element of the previous one stays
// until a later load or Init replaces it). A byte sequence made by
// GenerateStream belongs to the caller, who deletes it. Copying is not
// offered: two objects never share a document.
//
// Threading: no locks. One object is used by one thread at a time; distinct
// objects may be used on distinct threads.
#pragma once

#include "ExportedByKelEdsUtil.h"
#include "KelIDOMDocument.h"
#include "KelIDOMElement.h"
#include "KelIDOMNode.h"
#include "KelIXMLDOMDocumentBuilder.h"
#include "KelUnicodeString.h"
#include "_SEQUENCE_octet.h"

class ExportedByKelEdsUtil KelEdsDomParser {
 public:
  // Makes the builder; when that fails the object still exists, with no
  // builder (reported through KelSysLogAbend).
  KelEdsDomParser();
  virtual ~KelEdsDomParser();
  KelEdsDomParser(const KelEdsDomParser&) = delete;
  KelEdsDomParser& operator=(const KelEdsDomParser&) = delete;

  // A new document whose document element is `rootTag`, with the attribute
  // "version" = `version`. E_INVALIDARG for a null tag. A tag that is not an
  // XML name makes no root element: the version set through the empty root
  // handle raises the platform's null-handle error (a KelError) to the
  // caller, and the new document stays without element. With no builder:
  // S_OK and nothing is made.
  long Init(const KelUnicodeString& rootTag, const KelUnicodeString& version);

  // Parses the file; the root becomes the document's first element. Non-zero
  // `validate` validates against the document's DTD, found relative to the
  // file. External entities are read from the file's directory or below it;
  // one that cannot be read fails the load (with a KelSysLogAbend message).
  long LoadFile(const KelUnicodeString& filePath, unsigned char validate);

  // Parses `bytes`, always decoded whole as UTF-8: a sequence that is not
  // UTF-8 reads as U+FFFD, a zero byte as U+0000, which the parser refuses
  // (E_FAIL or its code). The root becomes the document's
  // first child when that is an element; otherwise (a DOCTYPE, a comment
  // first) the load succeeds with no root. With non-zero `validate` and a `dtdFileName`, a DOCTYPE
  // system identifier equal to that name (exactly, case included) is read
  // from the file found along "KelDictionaryPath".
  long LoadStream(const _SEQUENCE_octet* bytes, unsigned char validate, const char* dtdFileName);

  // Writes the document, UTF-8, over the file (written beside it first and
  // renamed, so a failed write leaves the old file). E_FAIL with no document.
  long GenerateFile(const KelUnicodeString& filePath);

  // Writes the document into a new byte sequence of UTF-8 for the caller.
  // `*bytes` must be null on entry (E_INVALIDARG otherwise, and for a null
  // `bytes`); it stays null on failure.
  long GenerateStream(_SEQUENCE_octet** bytes);

  // New handles on the document, its root element and the builder; empty
  // (after a KelSysLogAbend message) when there is none.
  KelIDOMDocument_var GetDocument() const;
  KelIDOMNode_var GetRoot() const;
  KelIXMLDOMDocumentBuilder_var GetDOMDocumentBuilder() const;

  // Checks that the document can be written (nothing is kept or printed).
  long dump();

  // Takes the document's first element child as the root; E_FAIL when there
  // is no document or no element child (the root is then left as it was).
  // LoadFile does this itself. After LoadStream of a document that opens
  // with its DOCTYPE (as a validated one does) or a comment, there is no
  // root until this is called, and nothing can be appended under it.
  long SetAppropriateRoot();

 protected:
  // Called by Init, LoadFile and LoadStream just before the document is
  // replaced: a derived class lets go of what it keeps about the current
  // document, so that the old document is freed as soon as the base drops it.
  virtual void ForgetDocument();

 private:
  friend class KelEdsDomParserTestPeer;

  // Finds `fileName` along the directories of the variable `variableName`
  // and writes its path into `path` (room for 260 characters); when it is in
  // none of them, `path` receives the bare file name. `path` is empty only
  // after a null argument, a file name too long for it, or a platform error.
  static long GetResourcePathFromEnvVar(const char* fileName, const char* variableName, char* path);

  KelIDOMDocument_var _spKelIDOMdocument;
  KelIDOMElement_var _spKelIDOMroot;
  KelIXMLDOMDocumentBuilder_var _spDOMDocumentBuilder;
};
