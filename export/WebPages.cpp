#include "export/WebPages.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "base/BinFile.h"
#include "base/Log.h"
#include "base/Path.h"
#include "base/ProgramFolder.h"

namespace zov {

namespace {

namespace fs = std::filesystem;

bool ReadWhole(const std::string& path, std::string& out) {
    return ReadWholeFile(path, out);
}

bool WriteWhole(const std::string& path, const std::string& text) {
    std::FILE* f = std::fopen(path.c_str(), "wbe"); // close-on-exec, as every file here
    if (!f)
        return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return (std::fclose(f) == 0) && ok;
}

// Decodes one UTF-8 sequence at `i`; returns the code point (U+FFFD for a broken one) and
// advances `i`.
uint32_t NextCodePoint(const std::string& s, size_t& i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    int extra = (c >= 0xC2 && c < 0xE0) ? 1 : (c >= 0xE0 && c < 0xF0) ? 2 : (c >= 0xF0 && c < 0xF5) ? 3 : -1;
    if (extra < 0 || i + size_t(extra) >= s.size()) {
        ++i;
        return 0xFFFD;
    }
    uint32_t cp = c & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
        unsigned char d = static_cast<unsigned char>(s[i + size_t(k)]);
        if ((d & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        cp = (cp << 6) | (d & 0x3F);
    }
    i += size_t(extra) + 1;
    return cp;
}

std::string TemplatePath(const WebPageJob& job, const char* name) {
    std::string folder = job.templateFolder.empty() ? DataFolder() : job.templateFolder;
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder + name;
}

// Reads a template and fills it; a template that cannot be read is logged as
// "openfile fail!, s_template_filename".
bool FillFromFile(const WebPageJob& job, const char* name, const std::vector<TemplateValue>& values,
                  std::string& page, std::string& error) {
    std::string path = TemplatePath(job, name);
    std::string templ;
    if (!ReadWhole(path, templ)) {
        ZOV_LOG("openfile fail!, s_template_filename");
        error = "The page template " + path + " cannot be read.";
        return false;
    }
    if (!FillTemplate(templ, values, page, error)) {
        error = "The page template " + path + " is not usable: " + error;
        ZOV_LOG(("E: " + error).c_str());
        return false;
    }
    return true;
}

} // namespace

std::string HtmlEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            ++i;
            switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += char(c);
            }
            continue;
        }
        // Any other character as a reference, so the name survives whatever character set
        // the page declares.
        uint32_t cp = NextCodePoint(text, i);
        out += "&#" + std::to_string(cp) + ";";
    }
    return out;
}

std::string UrlEncodeName(const std::string& name) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(name.size());
    for (unsigned char c : name) {
        bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                    std::strchr("-_.!~*'()", c) != nullptr;
        if (keep && c != 0) {
            out += char(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string AllInOnePagePath(const std::string& streamPath) {
    return ReplaceExtension(streamPath, "htm");
}

std::string ControlPagePath(const std::string& streamPath) {
    // Only the page's own extension changes, not a ".htm" in a folder name.
    std::string page = AllInOnePagePath(streamPath);
    return page.substr(0, page.size() - 4) + "-ocx.htm";
}

const char* CharsetForLanguage(int language) {
    if (language == 1)
        return "GB2312";
    if (language == 2)
        return "Shift_JIS";
    return "iso-8859-1";
}

bool FillTemplate(const std::string& templ, const std::vector<TemplateValue>& values, std::string& out,
                  std::string& error) {
    out.clear();
    out.reserve(templ.size() + 520);
    size_t next = 0;
    for (size_t i = 0; i < templ.size(); ++i) {
        char c = templ[i];
        if (c != '%') {
            out += c;
            continue;
        }
        if (i + 1 >= templ.size()) {
            error = "a lone \"%\" ends the template";
            return false;
        }
        char conv = templ[++i];
        if (conv == '%') {
            out += '%';
            continue;
        }
        if (conv != 'd' && conv != 's') {
            error = std::string("the conversion \"%") + conv + "\" at byte " + std::to_string(i - 1) +
                    " is not one the page takes (only %d, %s and %%)";
            return false;
        }
        if (next >= values.size()) {
            error = "the template has more than the " + std::to_string(values.size()) +
                    " conversions the page fills";
            return false;
        }
        const TemplateValue& v = values[next];
        if ((conv == 's') != v.isText) {
            error = "conversion " + std::to_string(next + 1) + " must be \"" + (v.isText ? "%s" : "%d") +
                    "\", not \"%" + conv + "\"";
            return false;
        }
        out += v.isText ? v.text : std::to_string(v.number);
        ++next;
    }
    if (next != values.size()) {
        error = "the template has " + std::to_string(next) + " conversions where the page fills " +
                std::to_string(values.size());
        return false;
    }
    return true;
}

bool WriteAllInOnePage(const WebPageJob& job, std::string& error) {
    std::vector<TemplateValue> values = {
        TemplateValue::Int(std::max(385, job.frameWidth)),
        TemplateValue::Int(job.frameHeight + 25),
        TemplateValue::Text(HtmlEscape(UrlEncodeName(FileNamePart(job.streamPath)))),
        TemplateValue::Int(job.frameDelayMs),
    };
    std::string page;
    if (!FillFromFile(job, "tp_zov_all.zva", values, page, error))
        return false;
    std::string path = AllInOnePagePath(job.streamPath);
    if (!WriteWhole(path, page)) {
        error = "The page " + path + " cannot be written.";
        ZOV_LOG("E: Fail");
        return false;
    }
    if (job.writeUrlLinks) {
        std::string links = ReplaceExtension(job.streamPath, "txt");
        if (job.writeUrlLinks(links) != 0) {
            error = "The link list " + links + " cannot be written.";
            return false;
        }
    }
    return true;
}

bool CopyViewerFiles(const WebPageJob& job, std::string& error) {
    std::string from = job.viewerFilesFolder.empty() ? DataFolder() + "viewer/" : job.viewerFilesFolder;
    fs::path to =
        fs::path(FolderPart(job.streamPath).empty() ? "." : FolderPart(job.streamPath)) / kViewerFolderName;
    std::error_code ec;
    if (!fs::exists(fs::path(from) / "zov-player.js", ec)) {
        error = "The web viewer's files are not in " + from + " (build them with scripts/build-wasm.sh).";
        ZOV_LOG("E: viewer files missing");
        return false;
    }
    fs::create_directories(to, ec);
    if (ec) {
        error = "The folder " + to.string() + " cannot be made: " + ec.message() + ".";
        return false;
    }
    for (const auto& entry : fs::directory_iterator(from, ec)) {
        if (!entry.is_regular_file())
            continue;
        if (!CopyWholeFile(entry.path().string(), (to / entry.path().filename()).string())) {
            error = "The viewer file " + entry.path().string() +
                    " cannot be copied: " + std::strerror(errno) + ".";
            return false;
        }
    }
    return !ec;
}

bool WriteControlPage(const WebPageJob& job, std::string& error) {
    std::string address =
        job.viewerAddress.empty() ? std::string(kViewerFolderName) + "/zov-player.js" : job.viewerAddress;
    std::vector<TemplateValue> values = {
        TemplateValue::Text(CharsetForLanguage(job.language)),
        TemplateValue::Text(HtmlEscape(address)),
        TemplateValue::Text(HtmlEscape(UrlEncodeName(FileNamePart(job.streamPath)))),
    };
    std::string page;
    if (!FillFromFile(job, "tp_zov_ocx_player.zva", values, page, error))
        return false;
    std::string path = ControlPagePath(job.streamPath);
    if (!WriteWhole(path, page)) {
        error = "The page " + path + " cannot be written.";
        ZOV_LOG("E: Fail");
        return false;
    }
    return true;
}

bool WriteStreamWebPages(const WebPageJob& job, std::string& error) {
    std::string first;
    bool ok = WriteAllInOnePage(job, first);
    std::string second;
    ok = WriteControlPage(job, second) && ok;
    // The all-in-one page loads the viewer from the copy beside it, whatever the control
    // page's download address.
    std::string third;
    ok = CopyViewerFiles(job, third) && ok;
    error = !first.empty() ? first : !second.empty() ? second : third;
    return ok;
}

} // namespace zov
