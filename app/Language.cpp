#include "app/Language.h"

#include "app/Settings.h"
#include "base/Log.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <strings.h>
#include <vector>

namespace zov {

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// One line of at most kLanguageLineMax characters (a longer line is read in pieces, as the
// fixed buffer of the format does). False at the end of the file.
bool ReadLine(FILE* f, std::string& line) {
    char buf[kLanguageLineMax + 1];
    if (!std::fgets(buf, sizeof buf, f))
        return false;
    line.assign(buf);
    return true;
}

const char kSimSunGb[] = "\xCB\xCE\xCC\xE5";
const char kMsMinchoSjis[] = "\x82\x6C\x82\x72\x20\x96\xBE\x92\xA9";

} // namespace

int LanguageIndexForName(const std::string& name) {
    if (strcasecmp(name.c_str(), "english") == 0)
        return 0;
    if (strcasecmp(name.c_str(), "chinese") == 0)
        return 1;
    if (strcasecmp(name.c_str(), "japanese") == 0)
        return 2;
    return -1;
}

const char* LanguageNameForIndex(int index) {
    return index == 1 ? "chinese" : index == 2 ? "japanese" : "english";
}

std::string LanguageLineText(const std::string& line) {
    size_t eq = line.find('=');
    if (eq == std::string::npos)
        return {};
    std::string text = eq + 2 <= line.size() ? line.substr(eq + 2) : std::string();
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    if (!text.empty() && text.back() == '\r')
        text.pop_back();
    return text;
}

bool LanguageTable::ReadLanguageList(const std::string& folder, Settings& settings) {
    FilePtr f{std::fopen((folder + "languagelst.txt").c_str(), "r")};
    if (!f)
        return false;
    std::string line;
    int count = 0;
    if (ReadLine(f.get(), line) && std::sscanf(line.c_str(), "language count = %d", &count) != 1)
        count = 0;
    count = std::clamp(count, 0, kLanguageListMax);
    m_list.clear();
    char name[kLanguageLineMax + 1] = "";
    if (ReadLine(f.get(), line) && std::sscanf(line.c_str(), "default language = %1023s", name) != 1)
        name[0] = 0;
    m_defaultName = name;
    if (settings.LanguageName().empty() && !m_defaultName.empty()) {
        int index = LanguageIndexForName(m_defaultName);
        if (index >= 0)
            settings.SetLanguage(index, m_defaultName);
        else
            settings.SetString(Settings::kLanguageName, Settings::kLanguageNameBytes, m_defaultName);
    }
    for (int i = 0; i < count && ReadLine(f.get(), line); ++i) {
        // Entries are 32-byte fields: at most 31 characters are kept.
        m_list.push_back(LanguageLineText(line).substr(0, 31));
    }
    return true;
}

bool LanguageTable::LoadStrings(const std::string& folder, int index) {
    FilePtr f{std::fopen((folder + "lang" + LanguageNameForIndex(index) + ".txt").c_str(), "r")};
    if (!f)
        f.reset(std::fopen((folder + "langenglish.txt").c_str(), "r"));
    if (!f)
        return false;
    std::string line;
    for (int i = 0; i < kLanguageStringCount; ++i) {
        // A file with fewer lines leaves the rest empty rather than keeping another language's.
        m_strings[i] = ReadLine(f.get(), line) ? LanguageLineText(line) : std::string();
    }
    m_loaded = true;
    LoadLinuxStrings(folder, index);
    return true;
}

void LanguageTable::LoadLinuxStrings(const std::string& folder, int index) {
    m_linux.assign(S_LX_LAST - kLinuxStringFirst + 1, std::string());
    // English first, so that a text the chosen language lacks is at least shown in English.
    std::vector<std::string> files = {"english"};
    if (files[0] != LanguageNameForIndex(index))
        files.push_back(LanguageNameForIndex(index));
    for (const std::string& file : files) {
        FilePtr f{std::fopen((folder + "lang" + file + "-linux.txt").c_str(), "r")};
        std::string line;
        while (f && ReadLine(f.get(), line)) {
            char* end = nullptr;
            const long id = std::strtol(line.c_str(), &end, 10);
            if (end == line.c_str() || id < kLinuxStringFirst || id > S_LX_LAST)
                continue; // a comment, or an id this program does not know
            std::string text = LanguageLineText(line);
            if (!text.empty())
                m_linux[id - kLinuxStringFirst] = std::move(text);
        }
    }
}

void LanguageTable::Free() {
    m_linux.clear();
    for (auto& s : m_strings)
        s.clear();
    m_loaded = false;
}

const std::string& LanguageTable::Text(int id) const {
    static const std::string empty;
    if (id >= kLinuxStringFirst && id - kLinuxStringFirst < static_cast<int>(m_linux.size()))
        return m_linux[id - kLinuxStringFirst];
    if (id < 0 || id >= kLanguageStringCount)
        return empty;
    return m_strings[id];
}

InterfaceFontDesc InterfaceFont(int languageIndex) {
    InterfaceFontDesc d;
    if (languageIndex == 1) {
        d.height = -12;
        d.weight = 400;
        d.charSet = 134;
        d.pitchAndFamily = 0x02;
        d.faceBytes = kSimSunGb;
    } else if (languageIndex == 2) {
        d.height = -10;
        d.weight = 500;
        d.charSet = 128;
        d.pitchAndFamily = 0x12;
        d.faceBytes = kMsMinchoSjis;
    } else {
        d.height = -12;
        d.weight = 500;
        d.charSet = 128;
        d.pitchAndFamily = 0x12;
        d.faceBytes = "MS Sans Serif";
    }
    d.family = FontFamilyForFace(d.faceBytes);
    return d;
}

std::string FontFamilyForFace(const std::string& faceBytes) {
    if (faceBytes == kSimSunGb || faceBytes == kMsMinchoSjis || faceBytes == "SimSun" ||
        faceBytes == "MS Mincho")
        return "WenQuanYi Zen Hei";
    if (faceBytes == "MS Sans Serif" || faceBytes == "System")
        return "DejaVu Sans";
    return faceBytes;
}

} // namespace zov
