// The request path of edsd: KelEdsHttpService::Handle on any method, path,
// content type, token and body, with a database that cannot be reached (no
// server listens on the socket directory). The first byte picks the request
// line and headers, the rest is the body. Checked: the status is one of the
// service's, nothing is answered 200 without a database, and every refusal
// is one line of reason.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "KelEdsHttpService.h"

namespace {

KelEdsHttpService& Service() {
  static KelEdsHttpService* service = [] {
    KelEdsHttpServiceOptions options;
    options.conninfo = "host=/nonexistent/kel-fuzz port=1 connect_timeout=1";
    options.maxBody = 1 << 16;
    options.token = "fuzz-token";
    options.reopenSeconds = 1;
    return new KelEdsHttpService(options);
  }();
  return *service;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static const char* const methods[] = {"POST", "GET", "PUT", ""};
  static const char* const paths[] = {"/jobs", "/health", "/jobs/", "/"};
  static const char* const types[] = {"application/xml", "text/xml; charset=utf-8", "text/plain", ""};
  static const char* const tokens[] = {"Bearer fuzz-token", "bearer  fuzz-token ", "Bearer fuzz-toke", ""};
  const unsigned pick = data[0];
  KelEdsHttpRequest request;
  request.method = methods[pick & 3];
  request.path = paths[(pick >> 2) & 3];
  request.contentType = types[(pick >> 4) & 3];
  request.authorization = tokens[(pick >> 6) & 3];
  request.body = std::string_view(reinterpret_cast<const char*>(data + 1), size - 1);
  const KelEdsHttpReply reply = Service().Handle(request);
  switch (reply.status) {
    case 400: case 401: case 404: case 405: case 413: case 415: case 500: case 503:
      break;
    default:
      std::abort();  // 200 needs a database; nothing else is the service's
  }
  if (reply.body.empty() || reply.body.back() != '\n' || reply.body.find('\n') != reply.body.size() - 1) std::abort();
  return 0;
}
