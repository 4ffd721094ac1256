#include "app/Settings.h"

#include "base/ProgramFolder.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace zov {

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// Colours the element style dialog offers first, 0x00BBGGRR.
constexpr uint32_t kDefaultColours[9] = {0,        0x303030, 0x606060, 0x909090, 0xC0C0C0,
                                         0xF0F0F0, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF};

void MakeFolders(const std::string& path) {
    for (size_t i = 1; i < path.size(); ++i)
        if (path[i] == '/')
            mkdir(path.substr(0, i).c_str(), 0755);
}

} // namespace

uint32_t Settings::U32(size_t at) const {
    return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
           static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

void Settings::SetU32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

std::string Settings::String(size_t at, size_t size) const {
    const char* p = reinterpret_cast<const char*>(bytes.data() + at);
    return std::string(p, strnlen(p, size));
}

bool Settings::SetString(size_t at, size_t size, const std::string& text) {
    if (text.size() >= size || text.find('\0') != std::string::npos)
        return false;
    std::memset(bytes.data() + at, 0, size);
    std::memcpy(bytes.data() + at, text.data(), text.size());
    return true;
}

bool Settings::SetLanguage(int32_t index, const std::string& name) {
    if (!SetString(kLanguageName, kLanguageNameBytes, name))
        return false;
    SetU32(kLanguageIndex, static_cast<uint32_t>(index));
    return true;
}

void Settings::FillDefaults(const std::string& defaultFolder) {
    bytes.fill(0);
    bytes[0] = 'S';
    bytes[1] = 'T';
    bytes[kRecordPointer] = 1;
    bytes[kBigPointer] = 0;
    SetU32(kFrameDelay, 500);
    SetU32(1308, 1);
    SetU32(1312, 22050);
    SetU32(1316, 16);
    bytes[kShowToolbar] = 1;
    bytes[kShowIndexWindow] = 0;
    bytes[kShowStatusBar] = 0;
    bytes[1323] = 1;
    bytes[kShowToolWindow] = 1;
    bytes[kRecordSound] = 0;
    for (int i = 0; i < 9; ++i)
        SetU32(kColourTable + 4 * i, kDefaultColours[i]);
    // Style of new text elements: no scrolling, pen 1 solid, white text on black, then its font.
    bytes[kTextStyle] = 0;
    SetU32(kTextStyle + 4, 1);
    SetU32(kTextStyle + 8, 0);
    SetU32(kTextStyle + 12, 0xFFFFFF);
    SetU32(kTextStyle + 16, 0);
    const size_t font = kTextStyle + 20;
    SetU32(font + 0, static_cast<uint32_t>(-13)); // height
    SetU32(font + 16, 700);                       // weight
    bytes[font + 23] = 0;                         // character set
    bytes[font + 24] = 1;                         // output precision
    bytes[font + 25] = 2;                         // clip precision
    bytes[font + 26] = 1;                         // quality
    bytes[font + 27] = 0x22;                      // pitch and family
    std::memcpy(bytes.data() + font + 28, "System", 6);
    bytes[1448] = 1; // border and fill flags of the style
    bytes[1449] = 1;
    SetU32(kMp3BitRate, 0);
    bytes[kAlwaysZero] = 1;
    SetDefaultFolder(defaultFolder);
}

void Settings::Sanitise(const std::string& defaultFolder) {
    // Every string field ends inside its field.
    for (int i = 0; i < 5; ++i)
        bytes[kPaths + kSettingsPathBytes * (i + 1) - 1] = 0;
    bytes[kDefaultFolder + kSettingsPathBytes - 1] = 0;
    bytes[kLanguageName + kLanguageNameBytes - 1] = 0;
    bytes[kTextStyle + 20 + 28 + 31] = 0;       // the style's font face
    bytes[kTextStyle + kTextStyleSize - 1] = 0; // the style's text
    // The recording dialog offers 250 ... 5000 ms; anything else is not a delay it could store.
    int32_t delay = FrameDelay();
    if (delay < 250 || delay > 5000)
        SetU32(kFrameDelay, 500);
    uint32_t rate = U32(kMp3BitRate);
    if (rate != 0 && rate != 8 && rate != 16 && rate != 24)
        SetU32(kMp3BitRate, 0);
    if (U32(kLanguageIndex) > 2)
        SetU32(kLanguageIndex, 0);
    if (DefaultFolder().empty())
        SetDefaultFolder(defaultFolder);
}

bool Settings::Load(const std::string& path, const std::string& defaultFolder) {
    bytes.fill(0);
    size_t got = 0;
    if (FilePtr f{std::fopen(path.c_str(), "rb")})
        got = std::fread(bytes.data(), 1, bytes.size(), f.get());
    bool ok = got == bytes.size() && HasMagic();
    if (ok)
        Sanitise(defaultFolder);
    else
        FillDefaults(defaultFolder);
    bytes[kShowIndexWindow] = 0;
    return ok;
}

bool Settings::Save(const std::string& path) {
    bytes[kAlwaysZero] = 0;
    FilePtr f{std::fopen(path.c_str(), "wb")};
    if (!f)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f.get()) == bytes.size();
    return std::fclose(f.release()) == 0 && ok;
}

std::string SettingsPath() {
    return WritableFolder() + "ZOV Recorder.dat";
}

std::string DefaultProjectFolder() {
    std::string prog = ProgramFolder();
    std::string folder;
    if (!prog.empty() && access(prog.c_str(), W_OK) == 0) {
        folder = prog + "release/";
    } else {
        std::string base;
        if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
            base = xdg;
        else if (const char* home = std::getenv("HOME"); home && *home)
            base = std::string(home) + "/.local/share";
        else
            base = "/tmp";
        folder = base + "/zov-recorder/release/";
    }
    MakeFolders(folder);
    return folder;
}

} // namespace zov
