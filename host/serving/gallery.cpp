#include "serving/gallery.h"

#include <algorithm>

#include "base/url_coding.h"
#include "imaging/image_codec.h"
#include "security/source_lookup.h"
#include "security/url_signature.h"

namespace quorin::host {

std::vector<std::filesystem::path> gallery_entries(const source_root& root, std::size_t limit) {
    std::vector<std::filesystem::path> entries;
    std::error_code error;
    auto options = std::filesystem::directory_options::skip_permission_denied;
    for (std::filesystem::recursive_directory_iterator it(root.path(), options, error), end;
         !error && it != end; it.increment(error)) {
        if (!it->is_regular_file(error)) continue;
        // Listed only when a request for it would be served: found and
        // opened the confined way, and readable by content.
        const auto relative = it->path().lexically_relative(root.path());
        std::string request_path = "/";
        request_path += relative.generic_string();
        source_lookup lookup = find_source(root, request_path);
        if (lookup.outcome != source_lookup::result::found) continue;
        if (!lookup.opened && !open_found(root, lookup)) continue;
        if (readable_format(*lookup.opened)) entries.push_back(relative);
    }
    std::sort(entries.begin(), entries.end());
    if (entries.size() > limit) entries.resize(limit);
    return entries;
}

std::string html_escape(std::string_view text) {
    std::string result;
    for (const char c : text) {
        switch (c) {
        case '&':
            result += "&amp;";
            break;
        case '<':
            result += "&lt;";
            break;
        case '>':
            result += "&gt;";
            break;
        case '"':
            result += "&quot;";
            break;
        case '\'':
            result += "&#39;";
            break;
        default:
            result += c;
        }
    }
    return result;
}

std::string gallery_page(const std::vector<std::filesystem::path>& entries,
                         const url_signer* signer) {
    // Each thumbnail is marked once it has loaded (or failed), so that a
    // broken one stands out, to a person and to an automated check alike.
    static constexpr const char* mark_loaded =
        "this.className=this.naturalWidth>0?'loaded':'broken'";
    const std::string box = std::to_string(thumbnail_box);
    std::string page = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta "
                       "charset=\"utf-8\">\n<title>quorin images</title>\n"
                       "<style>\n"
                       "body{font-family:sans-serif;margin:1.5em;background:#f4f4f2;color:#222}\n"
                       "ul{list-style:none;padding:0;display:flex;flex-wrap:wrap;gap:1em}\n"
                       "li{width:" +
                       box +
                       "px;text-align:center;font-size:.8em;word-break:break-all}\n"
                       "li div{height:" +
                       box +
                       "px;display:flex;align-items:center;justify-content:center}\n"
                       "img{max-width:" +
                       box + "px;max-height:" + box +
                       "px;box-shadow:0 1px 4px #0004}\n"
                       "img.broken{outline:3px solid #c00;min-width:2em;min-height:2em}\n"
                       "</style>\n</head>\n<body>\n<h1>quorin images</h1>\n";
    if (entries.empty()) page += "<p>No images found.</p>\n";
    page += "<ul>\n";
    for (const auto& entry : entries) {
        const std::string link = html_escape(url_path(entry));
        const std::string name = html_escape(entry.generic_string());
        // Signed for the path as the server decodes it.
        const auto signed_link = [&](const std::string& query) {
            if (signer == nullptr) return query.empty() ? link : link + '?' + html_escape(query);
            return link + '?' +
                   html_escape(signer->signed_query('/' + entry.generic_string(), query));
        };
        page += "<li><a href=\"" + signed_link("") + "\"><div><img src=\"" +
                signed_link("w=" + box + "&h=" + box) + "\" alt=\"" + name + "\" onload=\"" +
                mark_loaded + "\" onerror=\"this.className='broken'\"></div>" + name +
                "</a></li>\n";
    }
    page += "</ul>\n</body>\n</html>\n";
    return page;
}

} // namespace quorin::host
