#include "viewer/ViewerUrls.h"

#include <cctype>
#include <cstring>

namespace zov::viewer {

namespace {

void ReplaceAll(std::string& s, const std::string& from, const std::string& to) {
    if (from.empty())
        return;
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
}

std::string Join(const std::string& base, const std::string& rel) {
    // A page without a base (no host) takes the name as it stands.
    if (base.empty())
        return rel;
    return base + "/" + rel;
}

// The scheme of a URL ("http", "javascript", ...), or "" when it has none. A Windows drive
// letter ("C:") is not a scheme.
std::string SchemeOf(const std::string& url) {
    size_t colon = url.find(':');
    if (colon == std::string::npos || colon < 2)
        return {};
    for (size_t i = 0; i < colon; ++i) {
        unsigned char c = static_cast<unsigned char>(url[i]);
        if (!(std::isalnum(c) || c == '+' || c == '-' || c == '.'))
            return {};
        if (i == 0 && !std::isalpha(c))
            return {};
    }
    std::string scheme = url.substr(0, colon);
    for (char& c : scheme)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return scheme;
}

} // namespace

std::string BaseUrlFromPage(const std::string& pageUrl) {
    std::string url = pageUrl;
    ReplaceAll(url, "\\", "/");
    const std::string help = "mk:@MSITStore:";
    if (url.find(help) != std::string::npos) {
        ReplaceAll(url, help, "file://");
        size_t chm = url.find(".chm");
        if (chm != std::string::npos) {
            url.resize(chm);
            while (!url.empty() && url.back() != '/')
                url.pop_back();
        }
    } else {
        // A query or fragment is not part of the page's folder (it may hold "/" itself).
        size_t cut = url.find_first_of("?#");
        if (cut != std::string::npos)
            url.resize(cut);
    }
    // Reduce to the folder: cut before the last "/" that lies past the "//" of the
    // authority, wherever it is, so that a page on a one- or two-letter host name loses its
    // page name too.
    size_t p = url.size() > 3 ? url.find("//", 3) : std::string::npos;
    if (p == std::string::npos)
        return url;
    size_t q = url.rfind('/');
    if (q != std::string::npos && q > p + 1)
        url.resize(q);
    return url;
}

std::string StreamUrl(const std::string& base, const std::string& videoFile) {
    return Join(base, videoFile);
}

bool IsFollowableUrl(const std::string& url) {
    size_t start = 0;
    while (start < url.size() && std::isspace(static_cast<unsigned char>(url[start])))
        ++start;
    std::string trimmed = url.substr(start);
    // Browsers drop tabs and newlines inside a scheme ("java\tscript:"), so look without them.
    std::string compact;
    for (char c : trimmed)
        if (c != '\t' && c != '\n' && c != '\r')
            compact += c;
    std::string scheme = SchemeOf(compact);
    if (scheme.empty()) {
        // "//host/x" is protocol-relative: it takes the page's scheme, http(s) here.
        return compact.find(':') == std::string::npos || compact.find(':') > compact.find('/');
    }
    return scheme == "http" || scheme == "https";
}

std::string EndUrl(const std::string& base, const std::string& urlAfterPlay) {
    if (urlAfterPlay.empty() || !IsFollowableUrl(urlAfterPlay))
        return {};
    if (!SchemeOf(urlAfterPlay).empty())
        return urlAfterPlay; // absolute http or https
    return Join(base, urlAfterPlay);
}

std::string SoundUrl(const std::string& base, const std::string& videoFile) {
    std::string name = videoFile;
    ReplaceAll(name, ".zov", ".mp3");
    ReplaceAll(name, ".ZOV", ".mp3");
    return Join(base, name);
}

bool ProbeBytesOk(const unsigned char* data, size_t size) {
    if (size == 0)
        return false;
    size_t n = 0;
    while (n < size && data[n] != 0)
        ++n;
    std::string text(reinterpret_cast<const char*>(data), n);
    return text.find("404") == std::string::npos;
}

} // namespace zov::viewer
