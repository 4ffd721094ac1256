// The media encoder's job file: the template "tp_wme_en.zva" filled with the source AVI (twice:
// picture and sound) and the target, the paths escaped as the job's XML needs them, stored as
// UTF-16 little-endian text behind the byte-order mark FF FE and without a terminating zero.
// The WMV export writes it; zov-wmenc reads it back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zov {

inline constexpr const char* kWmvJobTemplateName = "tp_wme_en.zva";

// Fills `tpl` with `values` in order. The template may hold exactly values.size() "%s"
// conversions and any number of "%%" (a literal per cent sign); anything else after a '%'
// is refused with `error`, because a stray conversion would corrupt the job.
[[nodiscard]] bool FormatJobTemplate(const std::string& tpl, const std::vector<std::string>& values,
                                     std::string& out, std::string& error);

// True when `text` is well-formed UTF-8 (no overlong forms, no surrogates, nothing past
// U+10FFFF).
bool IsValidUtf8(const std::string& text);

// A path as an XML attribute value: & < > " ' as entities, tab, line feed and carriage
// return as character references. Refused (false, `error`) when the path is not valid UTF-8
// or holds another control character, which the job's XML cannot carry.
[[nodiscard]] bool EscapeJobPath(const std::string& path, std::string& out, std::string& error);
// The reverse: the five entities and decimal or hexadecimal character references.
[[nodiscard]] bool UnescapeJobText(const std::string& text, std::string& out);

// UTF-8 -> FF FE + UTF-16LE (no terminating zero), and back. The reader refuses bytes
// without the byte-order mark, an odd length and unpaired surrogates.
[[nodiscard]] bool EncodeJobUtf16(const std::string& utf8, std::vector<uint8_t>& out);
[[nodiscard]] bool DecodeJobUtf16(const std::vector<uint8_t>& bytes, std::string& utf8, std::string& error);

// What a job asks for.
struct WmvJob {
    std::string videoSource;
    std::string audioSource;
    std::string target;
};

// The job text as the template lays it out (the path attributes of <video-source>,
// <audio-source> and <target>; comments are skipped).
[[nodiscard]] bool ParseJobText(const std::string& utf8, WmvJob& job, std::string& error);

// The whole job file's bytes for a template, a source AVI and a target.
[[nodiscard]] bool BuildJobFile(const std::string& tpl, const std::string& sourceAvi,
                                const std::string& target, std::vector<uint8_t>& bytes, std::string& error);
// Reads and parses a job file.
[[nodiscard]] bool ReadJobFile(const std::string& path, WmvJob& job, std::string& error);

} // namespace zov
