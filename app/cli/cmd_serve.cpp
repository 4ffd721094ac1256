// `zovrec serve DIR [--port N]`: a small static file server on 127.0.0.1 for previewing an
// exported folder (browsers refuse fetch() from file:// pages). GET and HEAD, one byte range
// for the sound, nothing outside DIR, only to requests addressed to a loopback name, a few
// connections at a time. Runs until interrupted.
// `zovrec web-pages IN.zov [--language N] [--viewer URL]` (re)writes the two pages, and the
// viewer's files, beside a stream that has none (one made by stream-encode, for example).
#include "app/cli/Cli.h"

#include "base/BinFile.h"
#include "export/WebPages.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

const char* MimeType(const fs::path& p) {
    std::string ext = p.extension().string();
    for (char& c : ext)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".htm" || ext == ".html")
        return "text/html";
    if (ext == ".js" || ext == ".mjs")
        return "text/javascript";
    if (ext == ".wasm")
        return "application/wasm";
    if (ext == ".css")
        return "text/css";
    if (ext == ".txt")
        return "text/plain";
    if (ext == ".json")
        return "application/json";
    if (ext == ".mp3")
        return "audio/mpeg";
    if (ext == ".png")
        return "image/png";
    if (ext == ".bmp")
        return "image/bmp";
    return "application/octet-stream";
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Request target -> file under root, or empty when it is malformed or leaves the root.
fs::path ResolveTarget(const fs::path& root, const std::string& target) {
    std::string path = target.substr(0, target.find_first_of("?#"));
    std::string decoded;
    for (size_t i = 0; i < path.size(); ++i) {
        if (path[i] == '%') {
            if (i + 2 >= path.size())
                return {};
            int hi = HexValue(path[i + 1]), lo = HexValue(path[i + 2]);
            if (hi < 0 || lo < 0)
                return {};
            char c = char(hi * 16 + lo);
            if (c == '\0')
                return {};
            decoded += c;
            i += 2;
        } else {
            decoded += path[i];
        }
    }
    if (decoded.empty() || decoded[0] != '/')
        return {};
    fs::path rel = fs::path(decoded.substr(1)).lexically_normal();
    if (!rel.empty() && (*rel.begin() == ".." || rel.is_absolute()))
        return {};
    std::error_code ec;
    fs::path full = fs::weakly_canonical(root / rel, ec);
    if (ec)
        return {};
    // Symbolic links may point anywhere; serve only what really lies in the root.
    auto [r, f] = std::mismatch(root.begin(), root.end(), full.begin(), full.end());
    if (r != root.end())
        return {};
    return full;
}

bool SendAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

void Respond(int fd, int code, const char* reason, const std::string& type, const std::string& body,
             bool head, const std::string& extra = {}) {
    std::string h = "HTTP/1.1 " + std::to_string(code) + " " + reason + "\r\nContent-Type: " + type +
                    "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extra +
                    "Cache-Control: no-cache\r\nConnection: close\r\n\r\n";
    if (!head)
        h += body;
    SendAll(fd, h.data(), h.size());
}

std::string Lower(std::string s) {
    for (char& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The request line and headers; header names lower-cased, values without surrounding blanks.
struct Request {
    std::string method, target;
    std::vector<std::pair<std::string, std::string>> headers;

    // The value of a header given once; null when it is missing or repeated.
    const std::string* Header(const char* name, int& count) const {
        const std::string* value = nullptr;
        count = 0;
        for (const auto& [n, v] : headers)
            if (n == name) {
                value = &v;
                ++count;
            }
        return count == 1 ? value : nullptr;
    }
};

bool ParseRequest(const std::string& head, Request& out) {
    size_t end = head.find("\r\n");
    const std::string line = head.substr(0, end);
    // "METHOD TARGET VERSION", nothing else on the line: the target is repeated in answers.
    for (char c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return false;
    size_t sp1 = line.find(' '), sp2 = sp1 == std::string::npos ? sp1 : line.find(' ', sp1 + 1);
    if (sp2 == std::string::npos || line.find(' ', sp2 + 1) != std::string::npos)
        return false;
    out.method = line.substr(0, sp1);
    out.target = line.substr(sp1 + 1, sp2 - sp1 - 1);
    if (out.target.empty() || out.target[0] != '/' || line.compare(sp2 + 1, 5, "HTTP/") != 0)
        return false;
    for (size_t pos = end + 2; end != std::string::npos && pos < head.size(); pos = end + 2) {
        end = head.find("\r\n", pos);
        std::string field = head.substr(pos, end - pos);
        if (field.empty())
            break;
        size_t colon = field.find(':');
        if (colon == 0 || colon == std::string::npos || field.find_first_of(" \t") < colon)
            return false;
        size_t first = field.find_first_not_of(" \t", colon + 1);
        size_t last = field.find_last_not_of(" \t");
        out.headers.emplace_back(Lower(field.substr(0, colon)), first == std::string::npos
                                                                    ? std::string()
                                                                    : field.substr(first, last - first + 1));
    }
    return true;
}

// A page elsewhere whose host name was rebound to 127.0.0.1 must not read the folder: only
// the loopback names with the served port are answered.
bool LoopbackHost(const std::string& host, unsigned port) {
    const std::string name = Lower(host);
    for (const char* loopback : {"localhost", "127.0.0.1", "[::1]"}) {
        if (name == loopback + (":" + std::to_string(port)))
            return true;
        if (port == 80 && name == loopback)
            return true;
    }
    return false;
}

// Connections served at once. Further ones wait in the listen queue until one ends, as a
// browser's surplus requests would anyway.
constexpr int kMaxConnections = 32;
std::mutex g_slotsLock;
std::condition_variable g_slotFree;
int g_connections = 0;

void TakeSlot() {
    std::unique_lock<std::mutex> lock(g_slotsLock);
    g_slotFree.wait(lock, [] { return g_connections < kMaxConnections; });
    ++g_connections;
}

void GiveSlot() {
    {
        std::lock_guard<std::mutex> lock(g_slotsLock);
        --g_connections;
    }
    g_slotFree.notify_one();
}

void Serve(int fd, const fs::path& root, unsigned port) {
    std::string req;
    char buf[4096];
    while (req.find("\r\n\r\n") == std::string::npos && req.size() < 65536) {
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        req.append(buf, size_t(n));
    }
    Request request;
    if (req.find("\r\n\r\n") == std::string::npos ||
        !ParseRequest(req.substr(0, req.find("\r\n\r\n") + 2), request)) {
        Respond(fd, 400, "Bad Request", "text/plain", "bad request\n", false);
        return;
    }
    int count = 0;
    const std::string* host = request.Header("host", count);
    if (!host) {
        Respond(fd, 400, "Bad Request", "text/plain", "one Host header, please\n", false);
        return;
    }
    if (!LoopbackHost(*host, port)) {
        Respond(fd, 421, "Misdirected Request", "text/plain",
                "this server answers only as http://127.0.0.1:" + std::to_string(port) + "/\n", false);
        return;
    }
    const std::string& method = request.method;
    const std::string& target = request.target;
    bool head = method == "HEAD";
    if (method != "GET" && !head) {
        Respond(fd, 405, "Method Not Allowed", "text/plain", "only GET and HEAD\n", false,
                "Allow: GET, HEAD\r\n");
        return;
    }
    fs::path file = ResolveTarget(root, target);
    std::error_code ec;
    if (file.empty()) {
        Respond(fd, 403, "Forbidden", "text/plain", "forbidden\n", head);
        return;
    }
    if (fs::is_directory(file, ec)) {
        const size_t query = std::min(target.find('?'), target.size());
        if (target[query - 1] != '/') {
            Respond(fd, 301, "Moved Permanently", "text/plain", "", head,
                    "Location: " + target.substr(0, query) + "/" + target.substr(query) + "\r\n");
            return;
        }
        std::string list = "<!DOCTYPE html><meta charset=\"utf-8\"><link rel=\"icon\" href=\"data:,\"><ul>\n";
        std::vector<std::pair<std::string, bool>> names;
        for (const auto& e : fs::directory_iterator(file, ec))
            names.emplace_back(e.path().filename().string(), e.is_directory());
        std::sort(names.begin(), names.end());
        // The link is the name as a relative URL ("a:b" would be a scheme, "#" a fragment),
        // the text the name as it stands.
        for (const auto& [n, folder] : names)
            list += "<li><a href=\"" + zov::HtmlEscape(zov::UrlEncodeName(n) + (folder ? "/" : "")) + "\">" +
                    zov::HtmlEscape(n + (folder ? "/" : "")) + "</a>\n";
        Respond(fd, 200, "OK", "text/html", list + "</ul>\n", head);
        return;
    }
    zov::BinFile in;
    if (!fs::is_regular_file(file, ec) || !in.Open(file.string(), zov::BinFile::Mode::ReadOnly)) {
        Respond(fd, 404, "Not Found", "text/plain", "not found\n", head);
        return;
    }
    const int64_t length64 = in.Length();
    uint64_t size = length64 > 0 ? uint64_t(length64) : 0;
    uint64_t first = 0, last = size ? size - 1 : 0;
    bool ranged = false;
    // One range, "bytes=a-b" or "bytes=a-": what <audio> asks for when it seeks.
    const std::string* rangeValue = request.Header("range", count);
    if (rangeValue && rangeValue->compare(0, 6, "bytes=") == 0 && size > 0) {
        unsigned long long a = 0, b = 0;
        int got = std::sscanf(rangeValue->c_str() + 6, "%llu-%llu", &a, &b);
        if (got >= 1 && a < size) {
            first = a;
            last = got == 2 && b < size && b >= a ? b : size - 1;
            ranged = true;
        } else {
            Respond(fd, 416, "Range Not Satisfiable", "text/plain", "", head,
                    "Content-Range: bytes */" + std::to_string(size) + "\r\n");
            return;
        }
    }
    uint64_t length = size ? last - first + 1 : 0;
    std::string h = std::string("HTTP/1.1 ") + (ranged ? "206 Partial Content" : "200 OK") +
                    "\r\nContent-Type: " + MimeType(file) + "\r\nContent-Length: " + std::to_string(length) +
                    "\r\nAccept-Ranges: bytes\r\nCache-Control: no-cache\r\nConnection: close\r\n";
    if (ranged)
        h += "Content-Range: bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
             std::to_string(size) + "\r\n";
    h += "\r\n";
    if (!SendAll(fd, h.data(), h.size()) || head || !in.Seek(int64_t(first)))
        return;
    std::vector<char> chunk(1 << 16);
    while (length > 0) {
        size_t n = size_t(std::min<uint64_t>(chunk.size(), length));
        if (!in.Read(chunk.data(), n) || !SendAll(fd, chunk.data(), n))
            return;
        length -= n;
    }
}

int RunServe(zov::CAni&, const zov::cli::Args& argsIn) {
    zov::cli::Args args = argsIn;
    std::string portText = "8080";
    zov::cli::TakeOption(args, "--port", portText);
    long long port = 0;
    if (args.size() != 1 || !zov::cli::ParseInt(portText, 0, 65535, port))
        return zov::cli::Usage("serve DIR [--port N]");
    std::error_code ec;
    fs::path root = fs::canonical(args[0], ec);
    if (ec || !fs::is_directory(root, ec))
        return zov::cli::Fail("the folder " + args[0] + " does not exist.");
    int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener < 0)
        return zov::cli::Fail(std::string("no socket: ") + std::strerror(errno) + ".");
    int yes = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(uint16_t(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(listener, 64) != 0) {
        int e = errno;
        close(listener);
        return zov::cli::Fail("cannot listen on 127.0.0.1:" + portText + ": " + std::strerror(e) + ".");
    }
    socklen_t len = sizeof addr;
    getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
    unsigned actual = ntohs(addr.sin_port);
    std::printf("Serving %s at http://127.0.0.1:%u/\n", root.c_str(), actual);
    for (const auto& e : fs::directory_iterator(root, ec))
        if (e.path().extension() == ".htm" || e.path().extension() == ".html")
            std::printf("  open http://127.0.0.1:%u/%s\n", actual,
                        zov::UrlEncodeName(e.path().filename().string()).c_str());
    std::printf("Press Ctrl+C to stop.\n");
    std::fflush(stdout);
    signal(SIGPIPE, SIG_IGN);
    for (;;) {
        TakeSlot();
        int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            GiveSlot();
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            return zov::cli::Fail(std::string("accept failed: ") + std::strerror(errno) + ".");
        }
        // A client that neither speaks nor reads keeps its slot no longer than this.
        timeval tv{30, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
        std::thread([fd, root, actual] {
            Serve(fd, root, actual);
            shutdown(fd, SHUT_WR);
            close(fd);
            GiveSlot();
        }).detach();
    }
}

int RunWebPages(zov::CAni&, const zov::cli::Args& argsIn) {
    zov::cli::Args args = argsIn;
    std::string languageText = "0", viewer;
    zov::cli::TakeOption(args, "--language", languageText);
    zov::cli::TakeOption(args, "--viewer", viewer);
    long long language = 0;
    if (args.size() != 1 || !zov::cli::ParseInt(languageText, 0, 1000, language))
        return zov::cli::Usage("web-pages IN.zov [--language N] [--viewer URL]");
    zov::BinFile in;
    unsigned char h[12] = {};
    if (!in.Open(args[0], zov::BinFile::Mode::ReadOnly) || !in.Read(h, sizeof h) || h[0] != 'Z' ||
        h[1] != 'V')
        return zov::cli::Fail(args[0] + " is not a stream file.");
    zov::WebPageJob job;
    job.streamPath = args[0];
    job.frameWidth = (h[4] << 8) | h[5];
    job.frameHeight = (h[6] << 8) | h[7];
    job.frameDelayMs = (h[10] << 8) | h[11];
    job.language = int(language);
    job.viewerAddress = viewer;
    std::string error;
    if (!zov::WriteStreamWebPages(job, error))
        return zov::cli::Fail(error);
    std::printf("%s\n%s\n", zov::AllInOnePagePath(job.streamPath).c_str(),
                zov::ControlPagePath(job.streamPath).c_str());
    return 0;
}

zov::cli::CliRegistration pagesReg({"web-pages", "web-pages IN.zov [--language N] [--viewer URL]",
                                    "write the web pages and the viewer's files beside a stream",
                                    RunWebPages});

zov::cli::CliRegistration reg({"serve", "serve DIR [--port N]",
                               "serve a folder (an exported stream with its pages) on 127.0.0.1", RunServe});

} // namespace
