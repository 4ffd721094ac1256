#include "export/WmvJob.h"

#include "base/BinFile.h"

#include <cstdio>

namespace zov {

bool FormatJobTemplate(const std::string& tpl, const std::vector<std::string>& values, std::string& out,
                       std::string& error) {
    out.clear();
    size_t used = 0;
    for (size_t i = 0; i < tpl.size(); ++i) {
        const char c = tpl[i];
        if (c != '%') {
            out += c;
            continue;
        }
        const char next = i + 1 < tpl.size() ? tpl[i + 1] : '\0';
        if (next == '%') {
            out += '%';
        } else if (next == 's') {
            if (used == values.size()) {
                error = "the job template holds more than " + std::to_string(values.size()) + " \"%s\"";
                return false;
            }
            out += values[used++];
        } else {
            error = "the job template holds a \"%\" that is neither \"%s\" nor \"%%\" (offset " +
                    std::to_string(i) + ")";
            return false;
        }
        ++i;
    }
    if (used != values.size()) {
        error = "the job template holds " + std::to_string(used) + " \"%s\" where " +
                std::to_string(values.size()) + " are needed";
        return false;
    }
    return true;
}

namespace {

// Decodes one UTF-8 sequence at `i`; false for a malformed one.
bool NextCodePoint(const std::string& s, size_t& i, uint32_t& cp) {
    const auto b = [&](size_t k) { return static_cast<uint8_t>(s[k]); };
    const uint8_t c = b(i);
    int len;
    uint32_t min;
    if (c < 0x80) {
        cp = c;
        ++i;
        return true;
    } else if ((c & 0xE0) == 0xC0) {
        len = 2, cp = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3, cp = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4, cp = c & 0x07, min = 0x10000;
    } else {
        return false;
    }
    if (i + len > s.size())
        return false;
    for (int k = 1; k < len; ++k) {
        if ((b(i + k) & 0xC0) != 0x80)
            return false;
        cp = (cp << 6) | (b(i + k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return false;
    i += len;
    return true;
}

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

} // namespace

bool IsValidUtf8(const std::string& text) {
    uint32_t cp;
    for (size_t i = 0; i < text.size();)
        if (!NextCodePoint(text, i, cp))
            return false;
    return true;
}

bool EscapeJobPath(const std::string& path, std::string& out, std::string& error) {
    out.clear();
    if (!IsValidUtf8(path)) {
        error = "the path \"" + path + "\" is not valid UTF-8";
        return false;
    }
    for (char c : path) {
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
            out += "&apos;";
            break;
        case '\t':
            out += "&#9;";
            break;
        case '\n':
            out += "&#10;";
            break;
        case '\r':
            out += "&#13;";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                error = "the path \"" + path + "\" holds a control character";
                return false;
            }
            out += c;
        }
    }
    return true;
}

bool UnescapeJobText(const std::string& text, std::string& out) {
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        const size_t semi = text.find(';', i);
        if (semi == std::string::npos || semi - i > 12)
            return false;
        const std::string name = text.substr(i + 1, semi - i - 1);
        if (name == "amp")
            out += '&';
        else if (name == "lt")
            out += '<';
        else if (name == "gt")
            out += '>';
        else if (name == "quot")
            out += '"';
        else if (name == "apos")
            out += '\'';
        else if (name.size() >= 2 && name[0] == '#') {
            const bool hex = name[1] == 'x' || name[1] == 'X';
            const std::string digits = name.substr(hex ? 2 : 1);
            if (digits.empty() || digits.size() > 7)
                return false;
            uint32_t cp = 0;
            for (char d : digits) {
                int v;
                if (d >= '0' && d <= '9')
                    v = d - '0';
                else if (hex && d >= 'a' && d <= 'f')
                    v = d - 'a' + 10;
                else if (hex && d >= 'A' && d <= 'F')
                    v = d - 'A' + 10;
                else
                    return false;
                cp = cp * (hex ? 16 : 10) + static_cast<uint32_t>(v);
            }
            if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
                return false;
            AppendUtf8(out, cp);
        } else {
            return false;
        }
        i = semi;
    }
    return true;
}

bool EncodeJobUtf16(const std::string& utf8, std::vector<uint8_t>& out) {
    out.assign({0xFF, 0xFE});
    auto unit = [&](uint32_t u) {
        out.push_back(static_cast<uint8_t>(u & 0xFF));
        out.push_back(static_cast<uint8_t>(u >> 8));
    };
    uint32_t cp;
    for (size_t i = 0; i < utf8.size();) {
        if (!NextCodePoint(utf8, i, cp))
            return false;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            unit(0xD800 | (cp >> 10));
            unit(0xDC00 | (cp & 0x3FF));
        } else {
            unit(cp);
        }
    }
    return true;
}

bool DecodeJobUtf16(const std::vector<uint8_t>& bytes, std::string& utf8, std::string& error) {
    utf8.clear();
    if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != 0xFE) {
        error = "the job file does not start with the byte-order mark FF FE of UTF-16LE text";
        return false;
    }
    if (bytes.size() % 2 != 0) {
        error = "the job file has an odd number of bytes";
        return false;
    }
    for (size_t i = 2; i < bytes.size(); i += 2) {
        uint32_t u = bytes[i] | (uint32_t(bytes[i + 1]) << 8);
        if (u >= 0xD800 && u <= 0xDBFF) {
            uint32_t low = i + 3 < bytes.size() ? bytes[i + 2] | (uint32_t(bytes[i + 3]) << 8) : 0;
            if (low < 0xDC00 || low > 0xDFFF) {
                error = "the job file holds an unpaired surrogate";
                return false;
            }
            u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            error = "the job file holds an unpaired surrogate";
            return false;
        }
        AppendUtf8(utf8, u);
    }
    return true;
}

namespace {

// The value of attribute `attr` in the first element `<tag ...>` of `text`.
bool FindAttribute(const std::string& text, const std::string& tag, const std::string& attr,
                   std::string& value) {
    const std::string open = "<" + tag;
    for (size_t at = text.find(open); at != std::string::npos; at = text.find(open, at + 1)) {
        const size_t after = at + open.size();
        if (after >= text.size() || !(text[after] == ' ' || text[after] == '\t' || text[after] == '\n' ||
                                      text[after] == '\r' || text[after] == '/' || text[after] == '>'))
            continue;
        const size_t end = text.find('>', after);
        if (end == std::string::npos)
            return false;
        const std::string inside = text.substr(after, end - after);
        for (size_t p = inside.find(attr); p != std::string::npos; p = inside.find(attr, p + 1)) {
            const bool startsWord = p > 0 && (inside[p - 1] == ' ' || inside[p - 1] == '\t' ||
                                              inside[p - 1] == '\n' || inside[p - 1] == '\r');
            size_t q = p + attr.size();
            while (q < inside.size() && inside[q] == ' ')
                ++q;
            if (!startsWord || q >= inside.size() || inside[q] != '=')
                continue;
            ++q;
            while (q < inside.size() && inside[q] == ' ')
                ++q;
            if (q >= inside.size() || (inside[q] != '"' && inside[q] != '\''))
                return false;
            const size_t close = inside.find(inside[q], q + 1);
            if (close == std::string::npos)
                return false;
            return UnescapeJobText(inside.substr(q + 1, close - q - 1), value);
        }
        return false;
    }
    return false;
}

} // namespace

bool ParseJobText(const std::string& utf8, WmvJob& job, std::string& error) {
    // Comments may mention the element names; they are not part of the job.
    std::string text;
    for (size_t i = 0; i < utf8.size();) {
        const size_t c = utf8.find("<!--", i);
        if (c == std::string::npos) {
            text.append(utf8, i, std::string::npos);
            break;
        }
        text.append(utf8, i, c - i);
        const size_t e = utf8.find("-->", c + 4);
        if (e == std::string::npos) {
            error = "the job file holds an unterminated comment";
            return false;
        }
        i = e + 3;
    }
    const struct {
        const char* tag;
        std::string* value;
    } fields[] = {
        {"video-source", &job.videoSource}, {"audio-source", &job.audioSource}, {"target", &job.target}};
    for (const auto& f : fields) {
        if (!FindAttribute(text, f.tag, "path", *f.value) || f.value->empty()) {
            error = std::string("the job file has no readable path for <") + f.tag + ">";
            return false;
        }
    }
    return true;
}

bool BuildJobFile(const std::string& tpl, const std::string& sourceAvi, const std::string& target,
                  std::vector<uint8_t>& bytes, std::string& error) {
    std::string src, dst, text;
    if (!EscapeJobPath(sourceAvi, src, error) || !EscapeJobPath(target, dst, error) ||
        !FormatJobTemplate(tpl, {src, src, dst}, text, error))
        return false;
    if (!EncodeJobUtf16(text, bytes)) {
        error = "the job template is not valid UTF-8";
        return false;
    }
    return true;
}

bool ReadJobFile(const std::string& path, WmvJob& job, std::string& error) {
    std::string raw;
    if (!ReadWholeFile(path, raw)) {
        error = "can not read the job file \"" + path + "\"";
        return false;
    }
    std::string text;
    return DecodeJobUtf16(std::vector<uint8_t>(raw.begin(), raw.end()), text, error) &&
           ParseJobText(text, job, error);
}

} // namespace zov
