#include "KelXmlWrite.h"

#include <libxml/xmlIO.h>
#include <libxml/xmlsave.h>

#include <new>
#include <string>

#include "KelFileWriter.h"
#include "KelResultCodes.h"
#include "KelUnicodeString.h"
#include "KelXmlConvert.h"
#include "KelXmlDocument.h"
#include "KelXmlSerialize.h"
#include "KelXmlText.h"

namespace kelxml {

namespace {

WriteStyle StyleOf(const KelXmlDocument* document, const Options& options) {
  WriteStyle style;
  style.pretty = options.pretty;
  // Only a document parsed keeping references can hold any.
  style.expand = options.expand && document->MayHoldReferences();
  style.references_kept = document->ReferencesKept();
  return style;
}

void ToFile(void* context, const char* data, std::size_t length) {
  // A failed write is remembered by the writer and reported at the commit.
  static_cast<KelFileWriter*>(context)->Write(data, length);
}

// What libxml2's serializer writes, through a libxml2 copy of the document.
struct LibxmlText {
  std::string bytes;
  bool failed = false;
};

int CollectBytes(void* context, const char* data, int length) {
  auto* text = static_cast<LibxmlText*>(context);
  // Nothing may be raised through libxml2.
  try {
    text->bytes.append(data, static_cast<std::size_t>(length));
  } catch (...) {
    text->failed = true;
  }
  return length;
}

long WriteWithLibxml(const KelXmlDocument* document, const Options& options, LibxmlText& text) {
  const WriteStyle style = StyleOf(document, options);
  xmlDocPtr copy = WriteLibxmlDocument(document->Tree(), style.expand, style.references_kept);
  if (copy == nullptr) return E_OUTOFMEMORY;
  xmlSaveCtxtPtr save = xmlSaveToIO(CollectBytes, nullptr, &text, "UTF-8", options.pretty ? XML_SAVE_FORMAT : 0);
  if (save == nullptr) {
    xmlFreeDoc(copy);
    return E_OUTOFMEMORY;
  }
  const long written = xmlSaveDoc(save, copy);
  const int flushed = xmlSaveClose(save);
  xmlFreeDoc(copy);
  if (text.failed) return E_OUTOFMEMORY;
  return written < 0 || flushed < 0 ? E_FAIL : S_OK;
}

}  // namespace

long WriteDocumentToFile(KelXmlDocument* document, const Options& options, const std::string& path,
                         std::string& problem) {
  LibxmlText libxml;
  const bool ours = CanSerialize(document->Tree());
  if (!ours) {
    const long result = WriteWithLibxml(document, options, libxml);
    if (result < 0) return result;
  }
  KelFileWriter sink(path);
  if (!sink.Open()) {
    problem = sink.Problem();
    return E_FAIL;
  }
  if (ours) {
    try {
      SerializeToBytes(document->Tree(), StyleOf(document, options), ToFile, &sink);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  } else {
    sink.Write(libxml.bytes.data(), libxml.bytes.size());
  }
  if (!sink.Commit()) {
    problem = sink.Problem();
    return E_FAIL;
  }
  return S_OK;
}

long WriteDocumentToString(KelXmlDocument* document, const Options& options, KelUnicodeString& text) {
  try {
    if (CanSerialize(document->Tree())) {
      text = SerializeToString(document->Tree(), StyleOf(document, options));
      return S_OK;
    }
    LibxmlText libxml;
    const long result = WriteWithLibxml(document, options, libxml);
    if (result < 0) return result;
    text = KelUnicodeString::AdoptUTF8(std::move(libxml.bytes));
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace kelxml
