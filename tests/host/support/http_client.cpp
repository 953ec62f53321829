#include "support/http_client.h"

#include <algorithm>
#include <cctype>
#include <curl/curl.h>
#include <mutex>
#include <stdexcept>

namespace quorin::test {
namespace {

std::size_t collect_body(char* data, std::size_t size, std::size_t count, void* target) {
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
}

std::size_t collect_header(char* data, std::size_t size, std::size_t count, void* target) {
    const std::string line(data, size * count);
    const auto colon = line.find(':');
    if (colon != std::string::npos) {
        std::string name = line.substr(0, colon);
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        std::string value = line.substr(colon + 1);
        const auto first = value.find_first_not_of(" \t");
        const auto last = value.find_last_not_of(" \t\r\n");
        value = first == std::string::npos ? std::string() : value.substr(first, last - first + 1);
        (*static_cast<std::map<std::string, std::string>*>(target))[name] = value;
    }
    return size * count;
}

} // namespace

std::string http_response::header(const std::string& lower_case_name) const {
    const auto found = headers.find(lower_case_name);
    return found == headers.end() ? std::string() : found->second;
}

http_client::http_client() {
    static std::once_flag initialised;
    std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    handle_ = curl_easy_init();
    if (handle_ == nullptr) throw std::runtime_error("curl_easy_init failed");
}

http_client::~http_client() { curl_easy_cleanup(handle_); }

http_response http_client::request(const std::string& url, const std::string& method,
                                   const std::vector<std::string>& headers) {
    CURL* curl = handle_;
    http_response response;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 60L);
    curl_easy_setopt(curl, CURLOPT_NOBODY, method == "HEAD" ? 1L : 0L);
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST,
                     method == "GET" || method == "HEAD" ? nullptr : method.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &collect_body);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &response.body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &collect_header);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &response.headers);
    curl_slist* header_list = nullptr;
    for (const auto& header : headers) header_list = curl_slist_append(header_list, header.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, header_list);
    const CURLcode result = curl_easy_perform(curl);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(header_list);
    if (result != CURLE_OK) throw std::runtime_error(url + ": " + curl_easy_strerror(result));
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &response.status);
    curl_easy_getinfo(curl, CURLINFO_NUM_CONNECTS, &response.new_connections);
    curl_easy_getinfo(curl, CURLINFO_LOCAL_PORT, &response.local_port);
    return response;
}

} // namespace quorin::test
