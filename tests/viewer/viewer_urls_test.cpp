// URL rules of the viewer: base, stream, end and sound URLs, and the probe.
#include <gtest/gtest.h>

#include "viewer/ViewerUrls.h"

using namespace zov::viewer;

TEST(ViewerUrls, PageInAServerFolder) {
    std::string base = BaseUrlFromPage("http://example.org/pub/demos/demo-ocx.htm");
    EXPECT_EQ(base, "http://example.org/pub/demos");
    EXPECT_EQ(StreamUrl(base, "demo.zov"), "http://example.org/pub/demos/demo.zov");
    EXPECT_EQ(SoundUrl(base, "demo.zov"), "http://example.org/pub/demos/demo.mp3");
    EXPECT_EQ(SoundUrl(base, "DEMO.ZOV"), "http://example.org/pub/demos/DEMO.mp3");
    EXPECT_EQ(BaseUrlFromPage("http://127.0.0.1:8080/demo.htm"), "http://127.0.0.1:8080");
    // Backslashes count as slashes; a query may hold slashes of its own.
    EXPECT_EQ(BaseUrlFromPage("http://host\\dir\\page.htm"), "http://host/dir");
    EXPECT_EQ(BaseUrlFromPage("http://host/dir/page.htm?from=a/b/c#x/y"), "http://host/dir");
}

TEST(ViewerUrls, ShortHostsAndFileRoots) {
    // A one-letter host or a page at a file root keeps no page name in its base.
    EXPECT_EQ(BaseUrlFromPage("http://h/x.htm"), "http://h");
    EXPECT_EQ(BaseUrlFromPage("file:///page.htm"), "file://");
    EXPECT_EQ(StreamUrl(BaseUrlFromPage("file:///page.htm"), "a.zov"), "file:///a.zov");
    EXPECT_EQ(BaseUrlFromPage("file:///C:/dir/page.htm"), "file:///C:/dir");
    // A URL that is only a host stays as it is.
    EXPECT_EQ(BaseUrlFromPage("http://example.org"), "http://example.org");
    EXPECT_EQ(BaseUrlFromPage(""), "");
    EXPECT_EQ(StreamUrl("", "/srv/demo.zov"), "/srv/demo.zov");
}

TEST(ViewerUrls, PageInsideACompiledHelpFile) {
    std::string base = BaseUrlFromPage("mk:@MSITStore:C:\\Help Files\\guide.chm::/pages/intro.htm");
    EXPECT_EQ(base, "file://C:/Help Files");
    EXPECT_EQ(StreamUrl(base, "intro.zov"), "file://C:/Help Files/intro.zov");
    // Without a ".chm" only the prefix changes before the folder cut.
    EXPECT_EQ(BaseUrlFromPage("mk:@MSITStore:C:\\x\\y\\page.htm"), "file://C:/x/y");
}

TEST(ViewerUrls, EndUrlFollowsOnlyWebAndRelativeUrls) {
    const std::string base = "http://example.org/demos";
    EXPECT_EQ(EndUrl(base, ""), "");
    EXPECT_EQ(EndUrl(base, "next.htm"), "http://example.org/demos/next.htm");
    EXPECT_EQ(EndUrl(base, "sub/next.htm?a=1"), "http://example.org/demos/sub/next.htm?a=1");
    EXPECT_EQ(EndUrl(base, "http://other.org/x.htm"), "http://other.org/x.htm");
    EXPECT_EQ(EndUrl(base, "https://other.org/x.htm"), "https://other.org/x.htm");
    EXPECT_EQ(EndUrl(base, "HTTP://other.org/"), "HTTP://other.org/");
    for (const char* bad : {"javascript:alert(1)", " JavaScript:alert(1)", "java\tscript:alert(1)",
                            "data:text/html,x", "file:///etc/passwd", "vbscript:x", "mailto:a@b"})
        EXPECT_EQ(EndUrl(base, bad), "") << bad;
    EXPECT_TRUE(IsFollowableUrl("dir/a:b.htm"));
    EXPECT_TRUE(IsFollowableUrl("//cdn.example.org/x.htm"));
}

TEST(ViewerUrls, ProbeRule) {
    auto ok = [](const std::string& s) {
        return ProbeBytesOk(reinterpret_cast<const unsigned char*>(s.data()), s.size());
    };
    EXPECT_FALSE(ProbeBytesOk(nullptr, 0));
    EXPECT_TRUE(ok(std::string("ZV01\x04\x00", 6)));
    EXPECT_FALSE(ok("<html><title>404 Not Found</title>"));
    // Only the text up to the first zero byte counts.
    EXPECT_TRUE(ok(std::string("ZV01\x00 404", 9)));
    EXPECT_TRUE(ok(std::string("\x00", 1)));
}
