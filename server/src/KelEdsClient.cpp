#include "KelEdsClient.h"

#include <httplib.h>

#include "KelResultCodes.h"

struct KelEdsClient::Impl {
  std::string base;  // scheme://host:port
  std::string path;
  KelEdsClientOptions options;
  std::unique_ptr<httplib::Client> http;
};

KelEdsClient::KelEdsClient(const std::string& url, KelEdsClientOptions options) : impl_(std::make_unique<Impl>()) {
  impl_->options = std::move(options);
  const size_t authority = url.find("://");
  const size_t slash = url.find('/', authority == std::string::npos ? 0 : authority + 3);
  impl_->base = url.substr(0, slash);
  impl_->path = slash == std::string::npos || slash + 1 == url.size() ? "/jobs" : url.substr(slash);
}

KelEdsClient::~KelEdsClient() = default;

long KelEdsClient::SendStream(const _SEQUENCE_octet* request, _SEQUENCE_octet** answer) {
  status_ = 0;
  error_.clear();
  if (request == nullptr || answer == nullptr) {
    error_ = "no request or no place for the answer";
    return E_POINTER;
  }
  *answer = nullptr;
  Impl& impl = *impl_;
  if (!impl.http) {
    impl.http = std::make_unique<httplib::Client>(impl.base);
    if (!impl.http->is_valid()) {
      impl.http.reset();
      error_ = "not an http or https URL: " + impl.base;
      return E_INVALIDARG;
    }
    const time_t seconds = impl.options.timeoutSeconds;
    impl.http->set_connection_timeout(seconds);
    impl.http->set_read_timeout(seconds);
    impl.http->set_write_timeout(seconds);
    impl.http->set_keep_alive(true);
    impl.http->set_tcp_nodelay(true);
    impl.http->enable_server_certificate_verification(true);
    if (!impl.options.caFile.empty()) impl.http->set_ca_cert_path(impl.options.caFile.c_str());
    if (!impl.options.token.empty()) impl.http->set_bearer_token_auth(impl.options.token.c_str());
  }
  const httplib::Result result =
      impl.http->Post(impl.path.c_str(), reinterpret_cast<const char*>(request->_buffer), request->_length,
                      "application/xml");
  if (!result) {
    error_ = "no answer from " + impl.base + ": " + httplib::to_string(result.error());
    impl.http.reset();  // the next send starts on a fresh connection
    return E_FAIL;
  }
  status_ = result->status;
  if (status_ != 200) {
    error_ = result->body;
    while (!error_.empty() && (error_.back() == '\n' || error_.back() == '\r')) error_.pop_back();
    if (error_.empty()) error_ = "HTTP status " + std::to_string(status_);
    return E_FAIL;
  }
  auto bytes = std::make_unique<_SEQUENCE_octet>(static_cast<unsigned long>(result->body.size()),
                                                 reinterpret_cast<const unsigned char*>(result->body.data()));
  KelEdsXMLParser check;
  if (check.LoadStream(bytes.get(), 0, nullptr) < 0) {
    error_ = "the answer is not a well-formed document";
    return E_FAIL;
  }
  *answer = bytes.release();
  return S_OK;
}

long KelEdsClient::Send(KelEdsXMLParser& request, KelEdsXMLParser& answer) {
  _SEQUENCE_octet* bytes = nullptr;
  if (request.GenerateStream(&bytes) < 0 || bytes == nullptr) {
    delete bytes;
    status_ = 0;
    error_ = "the request cannot be written";
    return E_FAIL;
  }
  std::unique_ptr<_SEQUENCE_octet> owned(bytes);
  _SEQUENCE_octet* received = nullptr;
  const long sent = SendStream(bytes, &received);
  std::unique_ptr<_SEQUENCE_octet> answerBytes(received);
  if (sent < 0) return sent;
  return answer.LoadStream(received, 0, nullptr);
}
