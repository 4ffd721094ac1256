// The two web pages written beside every stream file (the all-in-one page "<name>.htm" and
// the control page "<name>-ocx.htm"), filled from the templates in the program's data folder,
// plus the element text file "<name>.txt" of URL links. Called by the stream export and by
// direct recording once the stream file is closed; their results are not used by those
// callers, but a failure says why in `error` and in the log.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace zov {

struct WebPageJob {
    std::string streamPath; // the ".zov" file that was just written
    int frameWidth = 0;     // capture rectangle width (right - left)
    int frameHeight = 0;    // capture rectangle height (bottom - top)
    int frameDelayMs = 0;   // the project's frame delay
    int language = 0;       // interface language: 1 Chinese, 2 Japanese, other
    // Where the control page loads <zov-player> from. Empty: the viewer's files copied
    // beside the pages (folder "zov-viewer/"), so the exported folder is self-contained.
    std::string viewerAddress;
    // Folder holding the templates; empty means DataFolder().
    std::string templateFolder;
    // Folder holding the viewer's built files to copy; empty means DataFolder() + "viewer/".
    std::string viewerFilesFolder;
    // Writes the element text file of URL links at the given path (the document's
    // CElementList::WriteUrlLinks); returns 0 or -1. Unset when there is no element list.
    std::function<int(const std::string& path)> writeUrlLinks;
};

// Folder name, beside the pages, that receives the viewer's files.
inline constexpr const char* kViewerFolderName = "zov-viewer";

// Page paths for a stream path: "/out/demo.zov" -> "/out/demo.htm", "/out/demo-ocx.htm".
std::string AllInOnePagePath(const std::string& streamPath);
std::string ControlPagePath(const std::string& streamPath);

// Character set for the interface language: 1 "GB2312", 2 "Shift_JIS", else "iso-8859-1".
const char* CharsetForLanguage(int language);

// A value for FillTemplate: an integer for "%d" or a text for "%s".
struct TemplateValue {
    bool isText = false;
    long long number = 0;
    std::string text;
    static TemplateValue Int(long long n) { return {false, n, {}}; }
    static TemplateValue Text(std::string s) { return {true, 0, std::move(s)}; }
};

// Fills a template: exactly the conversions of `values`, in order ("%d" for numbers, "%s"
// for texts), and "%%" for a literal percent sign. Any other conversion, a missing or an
// extra one is refused with a sentence in `error`. Never a printf format.
[[nodiscard]] bool FillTemplate(const std::string& templ, const std::vector<TemplateValue>& values,
                                std::string& out, std::string& error);

// Text for a page: &, <, >, quotes and every non-ASCII character as references.
std::string HtmlEscape(const std::string& text);

// A file name as a relative URL: every byte but letters, digits and - _ . ! ~ * ' ( ) as
// %XX, so that "#", "?", "%" and blanks stay part of the name.
std::string UrlEncodeName(const std::string& name);

// Copies the viewer's files (viewerFilesFolder) into kViewerFolderName beside the stream.
[[nodiscard]] bool CopyViewerFiles(const WebPageJob& job, std::string& error);

// Writes the all-in-one page (followed by the URL-link file when the job has a writer).
[[nodiscard]] bool WriteAllInOnePage(const WebPageJob& job, std::string& error);
// Writes the control page and copies the viewer's files beside it when the job does not
// name another download address.
[[nodiscard]] bool WriteControlPage(const WebPageJob& job, std::string& error);
// Both pages, in that order, then the viewer's files beside them (the all-in-one page
// always loads the viewer from that copy); false when any failed, error says the first.
bool WriteStreamWebPages(const WebPageJob& job, std::string& error);

} // namespace zov
