// URL rules of the viewer: the page's base URL, and the stream, end and sound URLs made from
// the element's properties. Pure string work, shared by the browser build and the tests.
#pragma once

#include <string>

namespace zov::viewer {

// The base URL of a page: backslashes become "/", a page inside a compiled help file
// ("mk:@MSITStore:...x.chm::/page.htm") becomes "file://" + the folder holding the ".chm",
// and the result is cut to the page's folder, without the final "/". Empty stays empty.
std::string BaseUrlFromPage(const std::string& pageUrl);

// `videoFile` alone when the base is empty, else base + "/" + videoFile.
std::string StreamUrl(const std::string& base, const std::string& videoFile);

// The page to show when the stream has ended. Empty when `urlAfterPlay` is empty or is not a
// URL we follow (only http, https and relative URLs are; "javascript:" and other schemes are
// ignored). An absolute http(s) URL is used unchanged; a relative one is joined to the base.
std::string EndUrl(const std::string& base, const std::string& urlAfterPlay);

// The companion sound: `videoFile` with ".zov" and ".ZOV" replaced by ".mp3", joined to the
// base. Used only when its probe succeeds.
std::string SoundUrl(const std::string& base, const std::string& videoFile);

// True for "http://..." and "https://..." (any case) and for relative URLs (no scheme).
bool IsFollowableUrl(const std::string& url);

// The probe rule: at least one byte read, and the text up to the first zero byte does not
// contain "404".
bool ProbeBytesOk(const unsigned char* data, size_t size);

} // namespace zov::viewer
