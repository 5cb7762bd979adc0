#include "KelXmlNode.h"

KelImplementClass(KelXmlNode, KelImplementationKind, KelBaseUnknown, "KelNull", "KelXMLParserItf")

long KelXmlNode::QueryInterface(const IID& iid, void** object) { return Answer(iid, IID_KelIDOMNode, object); }
