#include "app/Https.h"

#include "mail/CancelSignal.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

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

HttpReply PostForm(const std::string& url, const FormFields& fields, const std::string& caFile,
                   const CCancelSignal* cancel, std::chrono::milliseconds timeout) {
    HttpReply reply;
    if (url.rfind("https://", 0) != 0) {
        reply.error = {MailErrorCode::InvalidArgument, 0, "https"};
        return reply;
    }
    GlobalInit();
    Easy easy(curl_easy_init());
    Multi multi(curl_multi_init());
    if (!easy || !multi) {
        reply.error = {MailErrorCode::InvalidArgument, 0, "libcurl"};
        return reply;
    }
    const std::string form = EncodeForm(fields);
    Slist headers(curl_slist_append(nullptr, "Accept: application/json"));
    CURL* e = easy.get();
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(e, CURLOPT_POSTFIELDS, form.c_str());
    curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE, static_cast<long>(form.size()));
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(e, CURLOPT_SSLVERSION, CURL_SSLVERSION_TLSv1_2);
    if (!caFile.empty()) {
        // The extra authority beside the system's: OpenSSL reads both the file and the
        // system's hashed folder.
        curl_easy_setopt(e, CURLOPT_CAINFO, caFile.c_str());
        curl_easy_setopt(e, CURLOPT_CAPATH, "/etc/ssl/certs");
    }
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, static_cast<long>(timeout.count()));
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeout.count()));
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
        reply.body.clear();
        return reply;
    }
    curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &reply.status);
    return reply;
}

} // namespace https
