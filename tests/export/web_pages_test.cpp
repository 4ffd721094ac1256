// The web pages written beside a stream from the templates the program ships (data/*.zva):
// the template formatter, page names and values, the character set, escaping, the viewer's
// files and the link list.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/Log.h"
#include "export/WebPages.h"

using namespace zov;
namespace fs = std::filesystem;

namespace {

std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Write(const fs::path& p, const std::string& s) {
    std::ofstream out(p, std::ios::binary);
    out << s;
}

struct Folder {
    fs::path dir;
    Folder() {
        dir = fs::temp_directory_path() / ("zov_pages_" + std::to_string(::getpid()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir / "templates");
        fs::create_directories(dir / "viewer");
        fs::create_directories(dir / "out");
        // Copies of the shipped templates, so that a test may take one away.
        for (const char* name : {"tp_zov_all.zva", "tp_zov_ocx_player.zva"})
            fs::copy_file(fs::path(ZOV_SOURCE_DIR) / "data" / name, dir / "templates" / name);
        Write(dir / "viewer/zov-player.js", "// player\n");
        Write(dir / "viewer/zov-viewer-core.wasm", std::string("\0asm", 4));
        SetLogPath((dir / "test.log").string());
    }
    ~Folder() { fs::remove_all(dir); }
    WebPageJob Job(const std::string& name, int w, int h, int delay) const {
        WebPageJob job;
        job.streamPath = (dir / "out" / name).string();
        job.frameWidth = w;
        job.frameHeight = h;
        job.frameDelayMs = delay;
        job.templateFolder = (dir / "templates").string();
        job.viewerFilesFolder = (dir / "viewer").string() + "/";
        return job;
    }
};

// A shipped template filled by hand: each conversion in turn replaced by its value, "%%" by
// "%" (the templates hold no other "%").
std::string Filled(const char* templ, const std::vector<std::string>& values) {
    std::string t = Read(fs::path(ZOV_SOURCE_DIR) / "data" / templ), out;
    size_t next = 0;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i] != '%') {
            out += t[i];
            continue;
        }
        char c = t[++i];
        if (c == '%')
            out += '%';
        else
            out += next < values.size() ? values[next++] : std::string("<missing>");
    }
    EXPECT_EQ(next, values.size()) << templ;
    return out;
}

std::vector<TemplateValue> Values() {
    return {TemplateValue::Int(385), TemplateValue::Int(265), TemplateValue::Text("a.zov"),
            TemplateValue::Int(100)};
}

} // namespace

TEST(WebPages, FormatterTakesExactlyTheListedConversions) {
    std::string out, error;
    ASSERT_TRUE(FillTemplate("<%d|%d|%s|%d> 50%% %%s", Values(), out, error)) << error;
    EXPECT_EQ(out, "<385|265|a.zov|100> 50% %s");
    // A text value is copied as it is: a "%" inside it is not a conversion.
    ASSERT_TRUE(FillTemplate("[%s]", {TemplateValue::Text("100%d %s")}, out, error));
    EXPECT_EQ(out, "[100%d %s]");
    struct Bad {
        const char* templ;
        const char* why;
    };
    for (Bad b : {Bad{"%d %d %s", "too few"}, Bad{"%d %d %s %d %d", "too many"}, Bad{"%d %d %d %d", "type"},
                  Bad{"%d %d %s %5d", "width"}, Bad{"%d %d %s %x", "hex"}, Bad{"%n %d %d %s %d", "n"},
                  Bad{"%d %d %s %d %", "lone"}, Bad{"%d %d %s %ld", "long"}}) {
        error.clear();
        EXPECT_FALSE(FillTemplate(b.templ, Values(), out, error)) << b.why;
        EXPECT_FALSE(error.empty()) << b.why;
    }
}

TEST(WebPages, PagesBesideTheStreamWithTheirValues) {
    Folder f;
    std::string error;
    ASSERT_TRUE(WriteStreamWebPages(f.Job("demo.zov", 320, 240, 100), error)) << error;
    const std::string all = Read(f.dir / "out/demo.htm");
    EXPECT_EQ(all, Filled("tp_zov_all.zva", {"385", "265", "demo.zov", "100"}));
    // The values land where the page uses them.
    EXPECT_NE(all.find("style=\"width:385px; height:265px\""), std::string::npos);
    EXPECT_NE(all.find("<zov-player video-file=\"demo.zov\"></zov-player>"), std::string::npos);
    EXPECT_NE(all.find("100 ms per frame"), std::string::npos);
    EXPECT_NE(all.find("(100% size"), std::string::npos);
    const std::string control = Read(f.dir / "out/demo-ocx.htm");
    EXPECT_EQ(control,
              Filled("tp_zov_ocx_player.zva", {"iso-8859-1", "zov-viewer/zov-player.js", "demo.zov"}));
    EXPECT_NE(control.find("charset=iso-8859-1\""), std::string::npos);
    EXPECT_NE(control.find("<script type=\"module\" src=\"zov-viewer/zov-player.js\"></script>"),
              std::string::npos);
    EXPECT_NE(control.find("<zov-player video-file=\"demo.zov\"></zov-player>"), std::string::npos);
    EXPECT_EQ(Read(f.dir / "out/zov-viewer/zov-player.js"), "// player\n");
    EXPECT_EQ(fs::file_size(f.dir / "out/zov-viewer/zov-viewer-core.wasm"), 4u);

    WebPageJob wide = f.Job("wide.zov", 800, 600, 40);
    wide.language = 2;
    wide.viewerAddress = "https://cdn.example.org/zov/zov-player.js?v=1&x=2";
    ASSERT_TRUE(WriteStreamWebPages(wide, error)) << error;
    EXPECT_EQ(Read(f.dir / "out/wide.htm"), Filled("tp_zov_all.zva", {"800", "625", "wide.zov", "40"}));
    EXPECT_EQ(Read(f.dir / "out/wide-ocx.htm"),
              Filled("tp_zov_ocx_player.zva",
                     {"Shift_JIS", "https://cdn.example.org/zov/zov-player.js?v=1&amp;x=2", "wide.zov"}));
    EXPECT_STREQ(CharsetForLanguage(1), "GB2312");
    EXPECT_STREQ(CharsetForLanguage(0), "iso-8859-1");
    EXPECT_STREQ(CharsetForLanguage(3), "iso-8859-1");

    EXPECT_EQ(AllInOnePagePath("/out/demo.zov"), "/out/demo.htm");
    EXPECT_EQ(ControlPagePath("/out/demo.zov"), "/out/demo-ocx.htm");
    EXPECT_EQ(ControlPagePath("/a.htm.d/demo.ZOV"), "/a.htm.d/demo-ocx.htm");
}

TEST(WebPages, StreamNameIsUrlEncodedAndEscaped) {
    Folder f;
    std::string error;
    ASSERT_TRUE(WriteStreamWebPages(f.Job("a\"b&<c>'\xC3\xA9.zov", 16, 16, 500), error)) << error;
    const std::string name = "a%22b%26%3Cc%3E&#39;%C3%A9.zov";
    EXPECT_EQ(Read(f.dir / "out/a\"b&<c>'\xC3\xA9.htm"),
              Filled("tp_zov_all.zva", {"385", "41", name, "500"}));
    ASSERT_TRUE(WriteStreamWebPages(f.Job("a#b?c%d e.zov", 16, 16, 500), error)) << error;
    EXPECT_NE(Read(f.dir / "out/a#b?c%d e-ocx.htm").find("<zov-player video-file=\"a%23b%3Fc%25d%20e.zov\">"),
              std::string::npos);
    EXPECT_EQ(UrlEncodeName("Az09-_.!~*'()"), "Az09-_.!~*'()");
    EXPECT_EQ(HtmlEscape("\xE6\x97\xA5\xFF"), "&#26085;&#65533;");
    EXPECT_EQ(HtmlEscape("ok \xC3"), "ok &#65533;");
}

TEST(WebPages, FailuresCostOnlyTheirPageAndSaySo) {
    Folder f;
    std::string error;
    fs::remove(f.dir / "templates/tp_zov_all.zva");
    EXPECT_FALSE(WriteStreamWebPages(f.Job("demo.zov", 320, 240, 100), error));
    EXPECT_NE(error.find("tp_zov_all.zva"), std::string::npos);
    EXPECT_FALSE(fs::exists(f.dir / "out/demo.htm"));
    EXPECT_TRUE(fs::exists(f.dir / "out/demo-ocx.htm"));
    EXPECT_NE(Read(f.dir / "test.log").find("openfile fail!, s_template_filename"), std::string::npos);

    // A template with a stray conversion is refused, never handed to printf.
    Write(f.dir / "templates/tp_zov_all.zva", "%d %d %s %d %s%s%s%n");
    EXPECT_FALSE(WriteAllInOnePage(f.Job("demo.zov", 320, 240, 100), error));
    EXPECT_NE(error.find("not usable"), std::string::npos);

    // Missing viewer files are reported, the pages are still written.
    fs::copy_file(fs::path(ZOV_SOURCE_DIR) / "data/tp_zov_all.zva", f.dir / "templates/tp_zov_all.zva",
                  fs::copy_options::overwrite_existing);
    WebPageJob job = f.Job("x.zov", 320, 240, 100);
    job.viewerFilesFolder = (f.dir / "nowhere").string();
    EXPECT_FALSE(WriteStreamWebPages(job, error));
    EXPECT_NE(error.find("viewer"), std::string::npos);
    EXPECT_TRUE(fs::exists(f.dir / "out/x.htm"));
}

TEST(WebPages, LinkListFollowsTheAllInOnePage) {
    Folder f;
    std::string error, asked;
    WebPageJob job = f.Job("demo.zov", 320, 240, 100);
    job.writeUrlLinks = [&](const std::string& path) {
        asked = path;
        Write(path, "0, 3, 1, 2, 30, 40, http://example.org/\n");
        return 0;
    };
    ASSERT_TRUE(WriteAllInOnePage(job, error)) << error;
    EXPECT_EQ(asked, (f.dir / "out/demo.txt").string());
    job.writeUrlLinks = [](const std::string&) { return -1; };
    EXPECT_FALSE(WriteAllInOnePage(job, error));
    EXPECT_NE(error.find("demo.txt"), std::string::npos);
}
