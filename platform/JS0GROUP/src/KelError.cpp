#include "KelError.h"

#include <cstdint>
#include <cstring>
#include <map>
#include <new>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "KelGuard.h"
#include "KelInternalError.h"

KelImplementClass(KelError, KelImplementationKind, KelBaseUnknown, "KelNull", "System")

const KelErrDsc KelError::errorTable[] = {{0, "", ""}};
const unsigned int KelError::errorTableLength = 0;

namespace {

// Failure codes made by GetReturn: facility 0xEDB, one code per (file, line).
constexpr std::uint32_t kTracedBase = 0x8EDB0000u;
constexpr std::uint32_t kTracedLimit = 0xFFFFu;

struct Origin {
  std::string file;
  int line;
};

struct CodeRegistry {
  std::mutex lock;
  std::vector<Origin> origins;                      // index + 1 is the code's low half
  std::map<std::pair<std::string, int>, std::uint32_t> index;
  std::map<std::pair<const char*, int>, long> by_pointer;  // fast path for literal file names
};

CodeRegistry& Registry() {
  static auto* registry = new CodeRegistry;
  return *registry;
}

// The codes a thread has asked for lately, by (file pointer, line): most
// sites ask on every call, even when the code is then replaced by the
// outcome, and the registry takes a lock and two map searches.
struct RecentCode {
  const char* file;
  int line;
  long code;
};
constexpr std::size_t kRecentCodes = 64;
thread_local RecentCode t_recent[kRecentCodes];

long RegisteredCode(const char* file, int line);

long TracedCode(const char* file, int line) {
  if (file == nullptr) file = "";
  const auto at = static_cast<std::size_t>((reinterpret_cast<std::uintptr_t>(file) >> 3) ^
                                           (static_cast<std::uintptr_t>(line) * 0x9E3779B1u)) %
                  kRecentCodes;
  RecentCode& recent = t_recent[at];
  if (recent.file == file && recent.line == line) return recent.code;
  const long code = RegisteredCode(file, line);
  if (code != E_FAIL) recent = {file, line, code};
  return code;
}

long RegisteredCode(const char* file, int line) {
  CodeRegistry& registry = Registry();
  std::lock_guard<std::mutex> hold(registry.lock);
  auto fast = registry.by_pointer.find({file, line});
  if (fast != registry.by_pointer.end()) return fast->second;
  auto key = std::make_pair(std::string(file), line);
  auto it = registry.index.find(key);
  std::uint32_t slot;
  if (it != registry.index.end()) {
    slot = it->second;
  } else if (registry.origins.size() < kTracedLimit) {
    registry.origins.push_back({key.first, line});
    slot = static_cast<std::uint32_t>(registry.origins.size());
    registry.index.emplace(std::move(key), slot);
  } else {
    return E_FAIL;  // the table is full: the code keeps its sign, loses its origin
  }
  long code = static_cast<long>(static_cast<std::int32_t>(kTracedBase | slot));
  registry.by_pointer.emplace(std::make_pair(file, line), code);
  return code;
}

KelUnicodeString Substitute(const KelUnicodeString& text, const std::vector<KelUnicodeString>& parameters) {
  if (parameters.empty()) return text;
  const std::u16string& in = text.Data();
  std::u16string out;
  for (std::size_t i = 0; i < in.size(); ++i) {
    if (in[i] == u'/' && i + 2 < in.size() && in[i + 1] == u'p' && in[i + 2] >= u'1' && in[i + 2] <= u'9') {
      auto n = static_cast<std::size_t>(in[i + 2] - u'1');
      if (n < parameters.size()) {
        out += parameters[n].Data();
        i += 2;
        continue;
      }
    }
    out.push_back(in[i]);
  }
  return KelUnicodeString(std::move(out));
}

std::vector<KelUnicodeString> Collect(int count, const KelUnicodeString* parameters) {
  std::vector<KelUnicodeString> out;
  if (parameters != nullptr) {
    for (int i = 0; i < count; ++i) out.push_back(parameters[i]);
  }
  return out;
}

}  // namespace

KelError::ThrowSmartPtr::ThrowSmartPtr(KelError* error) : error_(error) {
  if (error_ != nullptr) error_->AddRef();
}
KelError::ThrowSmartPtr::ThrowSmartPtr(const ThrowSmartPtr& other) : ThrowSmartPtr(other.error_) {}
KelError::ThrowSmartPtr& KelError::ThrowSmartPtr::operator=(const ThrowSmartPtr& other) {
  if (other.error_ != nullptr) other.error_->AddRef();
  if (error_ != nullptr) error_->Release();
  error_ = other.error_;
  return *this;
}
KelError::ThrowSmartPtr::~ThrowSmartPtr() {
  if (error_ != nullptr) error_->Release();
}
KelError* KelError::ThrowSmartPtr::Detach() { return std::exchange(error_, nullptr); }

KelError::KelError() = default;
KelError::KelError(unsigned int id) : id_(id) {}
KelError::KelError(unsigned int id, const char* msgId, const char* msgCatalog)
    : id_(id), msg_id_(msgId != nullptr ? msgId : ""), msg_catalog_(msgCatalog != nullptr ? msgCatalog : "") {}
KelError::KelError(const char* msgId, const char* msgCatalog)
    : msg_id_(msgId != nullptr ? msgId : ""), msg_catalog_(msgCatalog != nullptr ? msgCatalog : "") {}
KelError::KelError(const KelError& other) = default;
KelError::KelError(KelError&& other) noexcept
    : KelBaseUnknown(other),
      id_(other.id_),
      msg_id_(std::move(other.msg_id_)),
      msg_catalog_(std::move(other.msg_catalog_)),
      source_file_(std::move(other.source_file_)),
      source_line_(other.source_line_),
      source_context_(std::move(other.source_context_)),
      return_code_(other.return_code_),
      information_(other.information_),
      request_(std::move(other.request_)),
      diagnostic_(std::move(other.diagnostic_)),
      advice_(std::move(other.advice_)),
      request_params_(std::move(other.request_params_)),
      diagnostic_params_(std::move(other.diagnostic_params_)),
      advice_params_(std::move(other.advice_params_)) {}
KelError& KelError::operator=(const KelError& other) = default;
KelError& KelError::operator=(KelError&& other) noexcept {
  if (this != &other) {
    id_ = other.id_;
    msg_id_ = std::move(other.msg_id_);
    msg_catalog_ = std::move(other.msg_catalog_);
    source_file_ = std::move(other.source_file_);
    source_line_ = other.source_line_;
    source_context_ = std::move(other.source_context_);
    return_code_ = other.return_code_;
    information_ = other.information_;
    request_ = std::move(other.request_);
    diagnostic_ = std::move(other.diagnostic_);
    advice_ = std::move(other.advice_);
    request_params_ = std::move(other.request_params_);
    diagnostic_params_ = std::move(other.diagnostic_params_);
    advice_params_ = std::move(other.advice_params_);
  }
  return *this;
}
KelError::~KelError() = default;

unsigned int KelError::GetId() const { return id_; }
const char* KelError::GetMsgId() const { return msg_id_.c_str(); }
const char* KelError::GetMsgCatalog() const { return msg_catalog_.c_str(); }
const char* KelError::GetSourceFileName() const { return source_file_.c_str(); }
void KelError::SetSourceFileName(const char* file) { source_file_ = file != nullptr ? file : ""; }
int KelError::GetSourceLineNumber() const { return source_line_; }
void KelError::SetSourceLineNumber(int line) { source_line_ = line; }

KelUnicodeString KelError::GetMessageText() const { return GetNLSMessage(); }

KelUnicodeString KelError::GetNLSMessage() const {
  KelUnicodeString message("");
  for (const KelUnicodeString& part : {GetNLSRequest(), GetNLSDiagnostic(), GetNLSAdvice()}) {
    if (part.IsEmpty()) continue;
    if (!message.IsEmpty()) message += "\n";
    message += part;
  }
  return message;
}

KelUnicodeString KelError::GetNLSRequest() const { return Substitute(request_, request_params_); }
KelUnicodeString KelError::GetNLSDiagnostic() const { return Substitute(diagnostic_, diagnostic_params_); }
KelUnicodeString KelError::GetNLSAdvice() const { return Substitute(advice_, advice_params_); }
KelUnicodeString KelError::GetNLSSource() const { return KelUnicodeString(msg_catalog_.c_str()); }
const char* KelError::GetNLSHelpFile() const { return ""; }
int KelError::GetNLSHelpContext() const { return 0; }

void KelError::Display() const { PrintHistory(stderr); }

void KelError::PrintHistory(std::FILE* out) const {
  if (out == nullptr) out = stderr;
  std::fprintf(out, "%s error %u (%s)", IsA(), id_, msg_id_.c_str());
  if (!source_file_.empty()) std::fprintf(out, " at %s:%d", source_file_.c_str(), source_line_);
  std::fprintf(out, ": %s\n", GetNLSMessage().ConvertToChar());
}

void KelError::SetNLSParameters(int count, const KelUnicodeString* parameters) {
  request_params_ = diagnostic_params_ = advice_params_ = Collect(count, parameters);
}
void KelError::SetNLSRequestParams(int count, const KelUnicodeString* parameters) {
  request_params_ = Collect(count, parameters);
}
void KelError::SetNLSDiagnosticParams(int count, const KelUnicodeString* parameters) {
  diagnostic_params_ = Collect(count, parameters);
}
void KelError::SetNLSAdviceParams(int count, const KelUnicodeString* parameters) {
  advice_params_ = Collect(count, parameters);
}
void KelError::SetSourceContext(const char* context) { source_context_ = context != nullptr ? context : ""; }
const char* KelError::GetSourceContext() const { return source_context_.c_str(); }
long KelError::GetReturnCode() const { return return_code_; }
void KelError::SetReturnCode(long code) { return_code_ = code; }
int KelError::GetInformationOnErrorType() const { return information_; }
void KelError::SetInformationOnErrorType(int information) { information_ = information; }

KelError* KelError::CloneSelf() { return new KelError(*this); }

void KelError::raise() { throw ThrowSmartPtr(this); }
void KelError::raise_ptr() { throw this; }

void KelError::GetErrorTable(unsigned int* length, const KelErrDsc** table) {
  if (length != nullptr) *length = errorTableLength;
  if (table != nullptr) *table = errorTable;
}

void KelError::OnBeforeThrow() {}

KelError* KelError::Setup(const char* file, int line) {
  SetSourceFileName(file);
  SetSourceLineNumber(line);
  return this;
}

void KelError::SetNLSTexts(const char* request, const char* diagnostic, const char* advice) {
  request_ = KelUnicodeString(request != nullptr ? request : "");
  diagnostic_ = KelUnicodeString(diagnostic != nullptr ? diagnostic : "");
  advice_ = KelUnicodeString(advice != nullptr ? advice : "");
}

void KelError::ApplyErrorTable() {
  unsigned int length = 0;
  const KelErrDsc* table = nullptr;
  GetErrorTable(&length, &table);
  for (unsigned int i = 0; table != nullptr && i < length; ++i) {
    if (table[i].id != id_) continue;
    if (msg_id_.empty() && table[i].msgId != nullptr) msg_id_ = table[i].msgId;
    request_ = KelUnicodeString(table[i].text != nullptr ? table[i].text : "");
    return;
  }
}

long KelError::GetReturn(int flag, KelError* error, KelBaseUnknown*, const char* file, int line) {
  if (flag != 0) return S_OK;
  if (error != nullptr && error->GetReturnCode() < 0) return error->GetReturnCode();
  return TracedCode(file, line);
}

bool KelError::GetReturnOrigin(long code, const char** file, int* line) {
  if (code >= 0 || code < static_cast<long>(INT32_MIN)) return false;
  auto bits = static_cast<std::uint32_t>(static_cast<std::int32_t>(code));
  if ((bits & 0xFFFF0000u) != kTracedBase) return false;
  std::uint32_t slot = bits & 0xFFFFu;
  CodeRegistry& registry = Registry();
  std::lock_guard<std::mutex> hold(registry.lock);
  if (slot == 0 || slot > registry.origins.size()) return false;
  const Origin& origin = registry.origins[slot - 1];
  if (file != nullptr) *file = origin.file.c_str();
  if (line != nullptr) *line = origin.line;
  return true;
}

void KelError::Flush(KelError* error) {
  if (error != nullptr) error->Release();
}

void KelError::Throw(KelError* error) {
  if (error == nullptr) {
    error = new KelInternalError(KelErrNullVar);
    if (error == nullptr) throw std::bad_alloc();
  }
  // The raised object takes its own reference before the caller's is dropped.
  struct DropCallerReference {
    KelError* error;
    ~DropCallerReference() { error->Release(); }
  } drop{error};
  error->OnBeforeThrow();
  error->raise();
  throw ThrowSmartPtr(error);  // for an override of raise() that forgot to raise
}

void KelError::ThrowErrorNullVar(const char* file, int line) {
  auto* error = new KelInternalError(KelErrNullVar);
  if (error == nullptr) throw std::bad_alloc();
  error->Setup(file, line);
  Throw(error);
}

void KelError::ThrowErrorOutOfMemory(const char* file, int line) {
  auto* error = new KelInternalError(KelErrOutOfMemory);
  if (error == nullptr) throw std::bad_alloc();
  error->Setup(file, line);
  Throw(error);
}

void kel_detail::GuardCaught(KelError* error) {
  if (error != nullptr && !error->IsAKindOf(KelError::ClassName())) KelError::Throw(error);
  KelError::Flush(error);
}
