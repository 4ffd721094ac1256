// The settings record: one block of exactly 35,584 bytes, kept by the application object and
// stored as "ZOV Recorder.dat". The block is the file, byte for byte; the accessors below name
// the fields the program reads. Fields nobody names are stored and restored unchanged.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace zov {

constexpr size_t kSettingsSize = 35584;
constexpr size_t kSettingsPathBytes = 260; // every stored path is a zero-terminated 260-byte field

class Settings {
  public:
    // Field offsets.
    static constexpr size_t kPaths = 2; // 5 x char[260], stored and restored only
    static constexpr size_t kRecordPointer = 1302;
    static constexpr size_t kBigPointer = 1303;
    static constexpr size_t kFrameDelay = 1304;
    static constexpr size_t kShowToolbar = 1320;
    static constexpr size_t kShowIndexWindow = 1321;
    static constexpr size_t kShowStatusBar = 1322;
    static constexpr size_t kShowToolWindow = 1324;
    static constexpr size_t kRecordSound = 1325;
    static constexpr size_t kColourTable = 1332;
    static constexpr size_t kTextStyle = 1368; // the element style record of new text elements
    static constexpr size_t kTextStyleSize = 34228 - 1368;
    static constexpr size_t kMp3BitRate = 34228;
    static constexpr size_t kAlwaysZero = 34232;
    static constexpr size_t kDefaultFolder = 34233;
    static constexpr size_t kFrameSelect = 34493;
    static constexpr size_t kAreaSelect = 34494;
    static constexpr size_t kLanguageName = 34495;
    static constexpr size_t kLanguageNameBytes = 64;
    static constexpr size_t kLanguageIndex = 34560;

    Settings() { bytes.fill(0); }

    // Zero everything, then the magic and the defaults. `defaultFolder` is the default
    // project folder (ends in '/'); a path too long for its field leaves the field empty.
    void FillDefaults(const std::string& defaultFolder);

    // Reads the file. A missing file, a short file or a wrong magic gives the defaults (false);
    // otherwise the record read, with its strings terminated and out-of-range values put back
    // to their defaults (true). The show-index-window byte is 0 either way.
    bool Load(const std::string& path, const std::string& defaultFolder);

    // Writes the whole record ("wb"), the byte at 34232 set to 0 first. False when the file
    // cannot be written; the caller skips that silently.
    bool Save(const std::string& path);

    bool HasMagic() const { return bytes[0] == 'S' && bytes[1] == 'T'; }

    uint8_t Byte(size_t at) const { return bytes[at]; }
    void SetByte(size_t at, uint8_t v) { bytes[at] = v; }
    uint32_t U32(size_t at) const;
    void SetU32(size_t at, uint32_t v);
    // A zero-terminated string field of `size` bytes.
    std::string String(size_t at, size_t size) const;
    // Refuses (false, field unchanged) a text that does not fit with its terminator.
    bool SetString(size_t at, size_t size, const std::string& text);

    bool Flag(size_t at) const { return bytes[at] != 0; }
    void SetFlag(size_t at, bool on) { bytes[at] = on ? 1 : 0; }

    int32_t FrameDelay() const { return static_cast<int32_t>(U32(kFrameDelay)); }
    int32_t LanguageIndex() const { return static_cast<int32_t>(U32(kLanguageIndex)); }
    std::string LanguageName() const { return String(kLanguageName, kLanguageNameBytes); }
    std::string DefaultFolder() const { return String(kDefaultFolder, kSettingsPathBytes); }
    bool SetDefaultFolder(const std::string& folder) {
        return SetString(kDefaultFolder, kSettingsPathBytes, folder);
    }
    // Index and name together, as the language switch stores them.
    bool SetLanguage(int32_t index, const std::string& name);

    std::array<uint8_t, kSettingsSize> bytes;

  private:
    void Sanitise(const std::string& defaultFolder);
};

// Where the settings file lives: WritableFolder() + "ZOV Recorder.dat".
std::string SettingsPath();

// The default folder of the project file dialogs: the program folder's "release/" when the
// program folder is writable, else $XDG_DATA_HOME/zov-recorder/release/ (or
// ~/.local/share/...). Created on demand.
std::string DefaultProjectFolder();

} // namespace zov
