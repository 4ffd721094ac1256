// Language files: the line rule, the list, the string table, the fallback to English, the
// interface fonts, and the three files the program ships.
#include "app/Language.h"
#include "app/Settings.h"
#include "base/StringIds.h"
#include "tests/support/TestFiles.h"

#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sstream>

using namespace zov;
using zovtest::TempDir;
using zovtest::WriteText;

namespace {

std::string Lines(const std::string& prefix, int count) {
    std::string out;
    for (int i = 0; i < count; ++i)
        out += std::to_string(i) + " = " + prefix + std::to_string(i) + "\n";
    return out;
}

std::vector<std::string> FileLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

bool ValidUtf8(const std::string& s) {
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        int n = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (n < 0 || i + n >= s.size() + (n == 0 ? 1 : 0))
            return false;
        for (int k = 1; k <= n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2)
                return false;
        i += n + 1;
    }
    return true;
}

} // namespace

TEST(LanguageLine, OneCharacterAfterTheEqualsSignIsSkipped) {
    EXPECT_EQ(LanguageLineText("9 = &New...\n"), "&New...");
    EXPECT_EQ(LanguageLineText("9=&New...\n"), "New...");
    EXPECT_EQ(LanguageLineText("9 = &New...\r\n"), "&New...");
    EXPECT_EQ(LanguageLineText("9 = a = b"), "a = b"); // the first '=' counts
    EXPECT_EQ(LanguageLineText("9 ="), "");
    EXPECT_EQ(LanguageLineText("no equals sign"), "");
}

TEST(LanguageList, ACountAbove100Reads100Entries) {
    TempDir dir;
    ASSERT_TRUE(WriteText(dir.File("languagelst.txt"),
                          "language count = 250\ndefault language = english\n" + Lines("name", 150)));
    Settings s;
    s.FillDefaults("/r/");
    LanguageTable t;
    ASSERT_TRUE(t.ReadLanguageList(dir.Path() + "/", s));
    ASSERT_EQ(t.List().size(), 100u);
    EXPECT_EQ(t.List()[99], "name99");
}

TEST(LanguageList, TheDefaultNameFillsOnlyAnEmptySetting) {
    TempDir dir;
    ASSERT_TRUE(WriteText(
        dir.File("languagelst.txt"),
        "language count = 3\ndefault language = Japanese\n0 = english\n1 = chinese\n2 = japanese\n"));
    Settings fresh;
    fresh.FillDefaults("/r/");
    LanguageTable t;
    ASSERT_TRUE(t.ReadLanguageList(dir.Path() + "/", fresh));
    EXPECT_EQ(fresh.LanguageName(), "Japanese");
    EXPECT_EQ(fresh.LanguageIndex(), 2);

    Settings chosen;
    chosen.FillDefaults("/r/");
    chosen.SetLanguage(1, "chinese");
    ASSERT_TRUE(t.ReadLanguageList(dir.Path() + "/", chosen));
    EXPECT_EQ(chosen.LanguageName(), "chinese");
    EXPECT_EQ(chosen.LanguageIndex(), 1);
}

TEST(LanguageList, AMissingListIsReported) {
    TempDir dir;
    Settings s;
    s.FillDefaults("/r/");
    LanguageTable t;
    EXPECT_FALSE(t.ReadLanguageList(dir.Path() + "/", s));
}

TEST(LanguageStrings, AMissingLanguageFallsBackToEnglishAndEnglishMissingKeepsTheTable) {
    TempDir dir;
    ASSERT_TRUE(WriteText(dir.File("langenglish.txt"), Lines("en", 213)));
    ASSERT_TRUE(WriteText(dir.File("langchinese.txt"), Lines("zh", 213)));
    LanguageTable t;
    EXPECT_EQ(t.Text(5), "");
    ASSERT_TRUE(t.LoadStrings(dir.Path() + "/", 1));
    EXPECT_EQ(t.Text(212), "zh212");
    ASSERT_TRUE(t.LoadStrings(dir.Path() + "/", 2)); // no Japanese file
    EXPECT_EQ(t.Text(9), "en9");
    EXPECT_EQ(t.Text(213), "");
    EXPECT_EQ(t.Text(-1), "");
    TempDir empty;
    EXPECT_FALSE(t.LoadStrings(empty.Path() + "/", 0));
    EXPECT_EQ(t.Text(9), "en9");
}

TEST(LanguageStrings, AShortFileLeavesTheRestEmpty) {
    TempDir dir;
    ASSERT_TRUE(WriteText(dir.File("langenglish.txt"), Lines("long", 213)));
    ASSERT_TRUE(WriteText(dir.File("langjapanese.txt"), Lines("short", 10)));
    LanguageTable t;
    ASSERT_TRUE(t.LoadStrings(dir.Path() + "/", 0));
    ASSERT_TRUE(t.LoadStrings(dir.Path() + "/", 2));
    EXPECT_EQ(t.Text(9), "short9");
    EXPECT_EQ(t.Text(10), ""); // not the English text of the previous table
}

TEST(LanguageStrings, LinuxTextsByIdWithEnglishForWhatALanguageLacks) {
    TempDir dir;
    ASSERT_TRUE(WriteText(dir.File("langenglish.txt"), Lines("en", 213)));
    ASSERT_TRUE(WriteText(dir.File("langjapanese.txt"), Lines("ja", 213)));
    // Keyed, in any order; a comment, an unknown id and an empty text are passed over.
    ASSERT_TRUE(WriteText(dir.File("langenglish-linux.txt"),
                          "1001 = en-button\n# a note\n1000 = en-help\n"
                          "1003 = en-chosen\n999 = too low\n5000 = unknown\n"));
    ASSERT_TRUE(WriteText(dir.File("langjapanese-linux.txt"), "1000 = ja-help\n1003 =\n"));
    LanguageTable t;
    ASSERT_TRUE(t.LoadStrings(dir.Path() + "/", 2));
    EXPECT_EQ(t.Text(S_LX_PORTAL_HELP), "ja-help");
    EXPECT_EQ(t.Text(S_LX_PORTAL_WINDOW_BUTTON), "en-button");
    EXPECT_EQ(t.Text(S_LX_PORTAL_WINDOW_CHOSEN), "en-chosen");
    EXPECT_EQ(t.Text(S_LX_PORTAL_WINDOW_TIP), "");
    EXPECT_EQ(t.Text(999), "");
    EXPECT_EQ(t.Text(212), "ja212"); // the 213 lines are read as before
    // A language switch replaces them too; without a file of its own English stays.
    ASSERT_TRUE(t.LoadStrings(dir.Path() + "/", 0));
    EXPECT_EQ(t.Text(S_LX_PORTAL_HELP), "en-help");
    t.Free();
    EXPECT_EQ(t.Text(S_LX_PORTAL_HELP), "");
}

TEST(LanguageNames, IndexesAndNames) {
    EXPECT_EQ(LanguageIndexForName("ENGLISH"), 0);
    EXPECT_EQ(LanguageIndexForName("Chinese"), 1);
    EXPECT_EQ(LanguageIndexForName("japanese"), 2);
    EXPECT_EQ(LanguageIndexForName("klingon"), -1);
    EXPECT_STREQ(LanguageNameForIndex(1), "chinese");
    EXPECT_STREQ(LanguageNameForIndex(2), "japanese");
    EXPECT_STREQ(LanguageNameForIndex(7), "english");
}

TEST(InterfaceFont, LegacyFacesMapToInstalledFamilies) {
    const auto en = InterfaceFont(0), zh = InterfaceFont(1), ja = InterfaceFont(2);
    EXPECT_EQ(en.height, -12);
    EXPECT_EQ(en.weight, 500);
    EXPECT_EQ(en.charSet, 128);
    EXPECT_EQ(en.pitchAndFamily, 0x12);
    EXPECT_EQ(en.faceBytes, "MS Sans Serif");
    EXPECT_EQ(zh.height, -12);
    EXPECT_EQ(zh.weight, 400);
    EXPECT_EQ(zh.charSet, 134);
    EXPECT_EQ(zh.faceBytes, "\xCB\xCE\xCC\xE5");
    EXPECT_EQ(ja.height, -10);
    EXPECT_EQ(ja.faceBytes, "\x82\x6C\x82\x72\x20\x96\xBE\x92\xA9");
    EXPECT_EQ(en.family, "DejaVu Sans");
    EXPECT_EQ(zh.family, "WenQuanYi Zen Hei");
    EXPECT_EQ(ja.family, "WenQuanYi Zen Hei");
    EXPECT_EQ(FontFamilyForFace("System"), "DejaVu Sans");
    EXPECT_EQ(FontFamilyForFace("Noto Serif"), "Noto Serif");
}

// The files the program ships.
class ShippedLanguage : public ::testing::TestWithParam<const char*> {};

TEST_P(ShippedLanguage, Has213NumberedLinesOfValidUtf8WithEveryTextWritten) {
    const std::string path = std::string(ZOV_SOURCE_DIR) + "/data/language/lang" + GetParam() + ".txt";
    const auto lines = FileLines(path);
    ASSERT_EQ(lines.size(), 213u) << path;
    for (int i = 0; i < 213; ++i) {
        const std::string& line = lines[static_cast<size_t>(i)];
        EXPECT_EQ(line.rfind(std::to_string(i) + " = ", 0), 0u) << "line " << i;
        EXPECT_FALSE(LanguageLineText(line).empty()) << "line " << i;
        EXPECT_TRUE(ValidUtf8(line)) << "line " << i;
        EXPECT_EQ(line.find('\r'), std::string::npos) << "line " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Files, ShippedLanguage, ::testing::Values("english", "chinese", "japanese"));

// The texts beyond the 213 lines: every id in every language, each its own translation.
TEST(ShippedLanguageFiles, LinuxTextsAreCompleteInEveryLanguage) {
    const std::string folder = std::string(ZOV_SOURCE_DIR) + "/data/language/";
    LanguageTable en, zh, ja;
    ASSERT_TRUE(en.LoadStrings(folder, 0));
    ASSERT_TRUE(zh.LoadStrings(folder, 1));
    ASSERT_TRUE(ja.LoadStrings(folder, 2));
    for (const char* name : {"english", "chinese", "japanese"}) {
        const std::string path = folder + "lang" + name + "-linux.txt";
        const auto lines = FileLines(path);
        EXPECT_EQ(lines.size(), size_t(S_LX_LAST - kLinuxStringFirst + 1)) << path;
        for (const std::string& line : lines)
            EXPECT_TRUE(ValidUtf8(line)) << path << ": " << line;
    }
    for (int id = kLinuxStringFirst; id <= S_LX_LAST; ++id) {
        EXPECT_FALSE(en.Text(id).empty()) << id;
        EXPECT_NE(zh.Text(id), en.Text(id)) << id;
        EXPECT_NE(ja.Text(id), en.Text(id)) << id;
    }
    EXPECT_NE(en.Text(S_LX_PORTAL_SEL_AREA_FAILED).find("%s"), std::string::npos);
    EXPECT_NE(ja.Text(S_LX_PORTAL_SEL_AREA_FAILED).find("%s"), std::string::npos);
    EXPECT_NE(zh.Text(S_LX_PORTAL_SEL_AREA_FAILED).find("%s"), std::string::npos);
}

TEST(ShippedLanguageFiles, TranslationsAreTheirOwnAndTheListNamesAllThree) {
    const std::string folder = std::string(ZOV_SOURCE_DIR) + "/data/language/";
    LanguageTable en, zh, ja;
    ASSERT_TRUE(en.LoadStrings(folder, 0));
    ASSERT_TRUE(zh.LoadStrings(folder, 1));
    ASSERT_TRUE(ja.LoadStrings(folder, 2));
    EXPECT_EQ(en.Text(S_NEW), "&New...");
    EXPECT_EQ(en.Text(S_MENU_FILE), "&File");
    // Every menu caption of the translations differs from the English one.
    for (int id = S_MENU_FILE; id <= S_ABOUT; ++id) {
        EXPECT_NE(zh.Text(id), en.Text(id)) << id;
        EXPECT_NE(ja.Text(id), en.Text(id)) << id;
    }
    EXPECT_EQ(zh.Text(S_MENU_FILE), "文件(&F)");
    EXPECT_EQ(ja.Text(S_MENU_FILE), "ファイル(&F)");
    Settings s;
    s.FillDefaults("/r/");
    LanguageTable list;
    ASSERT_TRUE(list.ReadLanguageList(folder, s));
    EXPECT_EQ(list.DefaultName(), "english");
    EXPECT_EQ(list.List(), (std::vector<std::string>{"english", "chinese", "japanese"}));
    // Tool tips: one per toolbar button, none left empty.
    std::set<std::string> tips;
    for (int id = S_TIP_FIRST; id <= S_TIP_LAST; ++id)
        tips.insert(en.Text(id));
    EXPECT_EQ(S_TIP_LAST - S_TIP_FIRST + 1, 27);
    EXPECT_EQ(tips.count(""), 0u);
}
