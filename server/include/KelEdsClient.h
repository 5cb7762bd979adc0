// KelEdsClient: a host's road to edsd, the job server behind HTTP. It posts
// a job document to a server's /jobs and takes back the answered document;
// over https the server's certificate is verified (against the system's
// authorities, or a CA file given in the options).
//
// Ownership: the client owns its HTTP connection (kept open between sends);
// the caller owns the documents and the byte sequences it passes, and the
// answer sequence SendStream hands over.
//
// Threads: one object serves one thread at a time; use one client per
// thread for concurrent sends.
#pragma once

#include <memory>
#include <string>

#include "KelEdsXMLParser.h"
#include "_SEQUENCE_octet.h"

struct KelEdsClientOptions {
  std::string token;         // sent as "Authorization: Bearer <token>" when not empty
  int timeoutSeconds = 60;   // connect, and each read or write of the exchange
  std::string caFile;        // https: authorities to verify the server with (empty: the system's)
};

class KelEdsClient {
 public:
  // url: http://host:port or https://host:port, optionally with the path
  // (default /jobs).
  explicit KelEdsClient(const std::string& url, KelEdsClientOptions options = KelEdsClientOptions());
  ~KelEdsClient();
  KelEdsClient(const KelEdsClient&) = delete;
  KelEdsClient& operator=(const KelEdsClient&) = delete;

  // Posts the bytes. S_OK only on status 200 with a body that loads as a
  // document; then *answer is a new sequence the caller deletes. Otherwise a
  // failure code, LastStatus() (0: no HTTP answer at all) and LastError()
  // (the server's one-line reason, or the transport's).
  long SendStream(const _SEQUENCE_octet* request, _SEQUENCE_octet** answer);

  // Writes the request document, posts it and loads the answer into
  // `answer`.
  long Send(KelEdsXMLParser& request, KelEdsXMLParser& answer);

  int LastStatus() const { return status_; }
  const std::string& LastError() const { return error_; }

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
  int status_ = 0;
  std::string error_;
};
