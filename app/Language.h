// The interface language: the language list, the 213-entry string table and the interface
// font per language. The files live in DataFolder() + "language/"; they are UTF-8 here.
#pragma once

#include "base/StringIds.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zov {

class Settings;

constexpr int kLanguageListMax = 100;
constexpr int kLanguageLineMax = 1023;

// "english" -> 0, "chinese" -> 1, "japanese" -> 2, compared without regard to case; -1 else.
int LanguageIndexForName(const std::string& name);
// 1 -> "chinese", 2 -> "japanese", anything else -> "english".
const char* LanguageNameForIndex(int index);

// The text of a "key = text" line: everything from the second character after the first
// '=' to the end, without a final line feed or carriage return. No '=' gives "".
std::string LanguageLineText(const std::string& line);

class LanguageTable {
  public:
    LanguageTable() : m_strings(kLanguageStringCount) {}

    // Reads "languagelst.txt" from `folder` (ending in '/'). False when it cannot be opened.
    // With no language name in the settings, stores the list's default name and its index.
    bool ReadLanguageList(const std::string& folder, Settings& settings);

    // Replaces the whole table from "lang<name>.txt" of the language `index`, falling back to
    // English; false (table unchanged) when neither opens. The texts from kLinuxStringFirst on
    // come from "lang<name>-linux.txt", each missing one from the English file.
    bool LoadStrings(const std::string& folder, int index);
    void Free();

    bool Loaded() const { return m_loaded; }
    // Text `id`; "" for an index out of range or before loading.
    const std::string& Text(int id) const;
    const std::vector<std::string>& List() const { return m_list; }
    const std::string& DefaultName() const { return m_defaultName; }

  private:
    void LoadLinuxStrings(const std::string& folder, int index);

    std::vector<std::string> m_strings;
    std::vector<std::string> m_linux; // from kLinuxStringFirst on
    std::vector<std::string> m_list;
    std::string m_defaultName;
    bool m_loaded = false;
};

// The interface font of a language, as its 60-byte font description gives it, and the font
// family that stands for that face on this system.
struct InterfaceFontDesc {
    int32_t height = 0; // negative: character height in pixels
    int32_t weight = 0;
    uint8_t charSet = 0;
    uint8_t outPrecision = 3;
    uint8_t clipPrecision = 2;
    uint8_t quality = 1;
    uint8_t pitchAndFamily = 0;
    std::string faceBytes; // the face name in its legacy encoding, as stored
    std::string family;    // the installed family used to draw it
};
InterfaceFontDesc InterfaceFont(int languageIndex);

// Installed family for a face name of the font descriptions ("MS Sans Serif", "System", SimSun
// and MS Mincho by their legacy-encoded names); unknown faces are returned as they are.
std::string FontFamilyForFace(const std::string& faceBytes);

} // namespace zov
