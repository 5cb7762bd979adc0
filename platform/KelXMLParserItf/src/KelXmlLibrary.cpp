#include "KelXmlLibrary.h"

#include <libxml/parser.h>

#include <mutex>

namespace kelxml {

void InitLibrary() {
  static std::once_flag once;
  std::call_once(once, [] { xmlInitParser(); });
}

}  // namespace kelxml
