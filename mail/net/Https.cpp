#include "mail/net/Https.h"

#include "mail/net/CancelSignal.h"

#include <curl/curl.h>
#include <openssl/x509_vfy.h>

#include <memory>
#include <mutex>
#include <string_view>

namespace {

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct SlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using Easy = std::unique_ptr<CURL, EasyDeleter>;
using Multi = std::unique_ptr<CURLM, MultiDeleter>;
using Slist = std::unique_ptr<curl_slist, SlistDeleter>;

// The multi handle is removed from easy before either is cleaned up.
struct Attached {
    CURLM* multi;
    CURL* easy;
    ~Attached() { curl_multi_remove_handle(multi, easy); }
};

// libcurl's words on a failure, for as long as the request runs.
struct ErrorBuffer {
    explicit ErrorBuffer(CURL* easy) : easy(easy) {
        curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, text);
    }
    ~ErrorBuffer() { curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, nullptr); }
    ErrorBuffer(const ErrorBuffer&) = delete;
    ErrorBuffer& operator=(const ErrorBuffer&) = delete;

    CURL* easy;
    char text[CURL_ERROR_SIZE] = {};
};

constexpr int kPollSliceMs = 200;

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* target) {
    auto* body = static_cast<std::string*>(target);
    const std::size_t bytes = size * count;
    if (body->size() + bytes > https::kMaxBodyBytes)
        return 0; // ends the transfer with CURLE_WRITE_ERROR
    body->append(data, bytes);
    return bytes;
}

MailError ErrorOf(CURLcode code) {
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
        return {MailErrorCode::NameNotFound, 0, {}};
    case CURLE_COULDNT_CONNECT:
        return {MailErrorCode::Refused, 0, {}};
    case CURLE_OPERATION_TIMEDOUT:
        return {MailErrorCode::NoAnswer, 0, {}};
    case CURLE_PEER_FAILED_VERIFICATION:
        return {MailErrorCode::CertificateUntrusted, 0, curl_easy_strerror(code)};
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CACERT_BADFILE:
        return {MailErrorCode::TlsFailed, 0, curl_easy_strerror(code)};
    case CURLE_WRITE_ERROR:
        return {MailErrorCode::ReplyTooLong, 0, {}};
    default:
        return {MailErrorCode::ReceiveFailed, 0, curl_easy_strerror(code)};
    }
}

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

} // namespace

namespace https {

std::string PercentEncode(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

std::string EncodeForm(const FormFields& fields) {
    std::string form;
    for (const auto& [name, value] : fields) {
        if (!form.empty())
            form += '&';
        form += PercentEncode(name) + '=' + PercentEncode(value);
    }
    return form;
}

namespace {

// One request as set up on easy by the caller; the rest (TLS, bounds, the body) here.
HttpReply Perform(CURL* e, const std::string& url, const RequestOptions& options,
                  const CCancelSignal* cancel) {
    HttpReply reply;
    if (url.rfind("https://", 0) != 0) {
        reply.error = {MailErrorCode::InvalidArgument, 0, "https"};
        return reply;
    }
    Multi multi(curl_multi_init());
    if (!multi) {
        reply.error = {MailErrorCode::InvalidArgument, 0, "libcurl"};
        return reply;
    }
    Slist headers(curl_slist_append(nullptr, options.accept.c_str()));
    // Host names resolved by the program's own resolver: libcurl connects to these addresses.
    Slist resolve;
    for (const std::string& entry : options.resolve) {
        curl_slist* appended = curl_slist_append(resolve.get(), entry.c_str());
        if (!appended) {
            reply.error = {MailErrorCode::InvalidArgument, 0, "libcurl"};
            return reply;
        }
        resolve.release();
        resolve.reset(appended);
    }
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.get());
    if (resolve)
        curl_easy_setopt(e, CURLOPT_RESOLVE, resolve.get());
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(e, CURLOPT_SSLVERSION, CURL_SSLVERSION_TLSv1_2);
    if (!options.caFile.empty()) {
        // The extra authority beside the system's: OpenSSL reads both the file and the
        // system's hashed folder.
        curl_easy_setopt(e, CURLOPT_CAINFO, options.caFile.c_str());
        curl_easy_setopt(e, CURLOPT_CAPATH, "/etc/ssl/certs");
    }
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, static_cast<long>(options.timeout.count()));
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.timeout.count()));
    ErrorBuffer errorText(e);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &reply.body);
    curl_multi_add_handle(multi.get(), e);
    Attached attached{multi.get(), e};

    int running = 1;
    while (running > 0) {
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
            reply.error = {MailErrorCode::ReceiveFailed, 0, "libcurl"};
            return reply;
        }
        if (running == 0)
            break;
        // The cancel signal's descriptor is polled beside libcurl's sockets.
        curl_waitfd extra{};
        unsigned int extraCount = 0;
        if (cancel) {
            extra.fd = cancel->fd();
            extra.events = CURL_WAIT_POLLIN;
            extraCount = 1;
        }
        if (curl_multi_poll(multi.get(), &extra, extraCount, kPollSliceMs, nullptr) != CURLM_OK ||
            (cancel && cancel->IsCancelled())) {
            reply.error = {MailErrorCode::Cancelled, 0, {}};
            return reply;
        }
    }
    int left = 0;
    CURLcode result = CURLE_OK;
    while (CURLMsg* message = curl_multi_info_read(multi.get(), &left)) {
        if (message->msg == CURLMSG_DONE)
            result = message->data.result;
    }
    if (result != CURLE_OK) {
        reply.error = ErrorOf(result);
        long verify = 0; // OpenSSL's X509_V_ERR_* number for the chain
        if (result == CURLE_PEER_FAILED_VERIFICATION) {
            // libcurl checks the name itself, after the chain; its words say which failed.
            if (std::string_view(errorText.text).find("target host name") != std::string_view::npos)
                reply.error.code = MailErrorCode::CertificateNameMismatch;
            else if (curl_easy_getinfo(e, CURLINFO_SSL_VERIFYRESULT, &verify) == CURLE_OK &&
                     verify == X509_V_ERR_CERT_HAS_EXPIRED)
                reply.error.code = MailErrorCode::CertificateExpired;
        }
        if (IsTlsError(reply.error.code) && errorText.text[0] != '\0')
            reply.error.detail = errorText.text; // names the host or the chain's fault
        reply.body.clear();
        return reply;
    }
    curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &reply.status);
    return reply;
}

} // namespace

HttpReply PostForm(const std::string& url, const FormFields& fields, const std::string& caFile,
                   const CCancelSignal* cancel, std::chrono::milliseconds timeout) {
    GlobalInit();
    Easy easy(curl_easy_init());
    if (!easy)
        return {0, {}, {MailErrorCode::InvalidArgument, 0, "libcurl"}};
    const std::string form = EncodeForm(fields);
    curl_easy_setopt(easy.get(), CURLOPT_POSTFIELDS, form.c_str());
    curl_easy_setopt(easy.get(), CURLOPT_POSTFIELDSIZE, static_cast<long>(form.size()));
    RequestOptions options;
    options.caFile = caFile;
    options.timeout = timeout;
    return Perform(easy.get(), url, options, cancel);
}

HttpReply Get(const std::string& url, const RequestOptions& options, const CCancelSignal* cancel) {
    GlobalInit();
    Easy easy(curl_easy_init());
    if (!easy)
        return {0, {}, {MailErrorCode::InvalidArgument, 0, "libcurl"}};
    curl_easy_setopt(easy.get(), CURLOPT_HTTPGET, 1L);
    return Perform(easy.get(), url, options, cancel);
}

} // namespace https
