// The WMV export: an intermediate AVI (picture and sound) and a job file, both unique
// temporary files in TMPDIR, handed to the media encoder as "ENCODER JOBFILE /start"; the
// encoder writes the target. Whatever happens (success, failure, Cancel), both temporary
// files are gone afterwards.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace zov {

// The configuration file beside the settings file, and its key for the encoder command.
inline constexpr const char* kRecorderConfName = "zov-recorder.conf";
inline constexpr const char* kWmvEncoderKey = "wmv/encoder";

// The encoder command as configured: `key = value` lines of `confPath` ('#' starts a comment);
// without the key (or the file), `"<programFolder>zov-wmenc" "%L"`.
std::string ConfiguredEncoderCommand(const std::string& confPath, const std::string& programFolder);

// The program and its leading arguments from a configured command, which must hold "%L" in
// double quotes after its first character; the blank and the quoted "%L" are taken out and
// the rest split at blanks outside double quotes. False when the command does not qualify.
[[nodiscard]] bool EncoderArguments(const std::string& command, std::vector<std::string>& argv);

// True when the command qualifies and its program can be run (the WMV command's availability).
bool EncoderPresent(const std::string& command);

struct WmvExportRequest {
    std::string target;         // the ".wmv" file
    std::string encoderCommand; // as configured (see ConfiguredEncoderCommand)
    std::string templatePath;   // the job template; empty: DataFolder() + "tp_wme_en.zva"
    // Writes the intermediate AVI (with its sound track) to the given path, which exists
    // already as an empty file; false with `error` on failure.
    std::function<bool(const std::string& aviPath, std::string& error)> writeAvi;
    const std::atomic<bool>* cancel = nullptr; // set: the encoder is ended and the export fails
};

enum class WmvExportResult { Done, Failed, Cancelled, NoEncoder };

// Runs the export on the calling thread. On anything but Done, `error` says why.
WmvExportResult ExportWmv(const WmvExportRequest& request, std::string& error);

// The folder unique temporary files go to: $TMPDIR when set, else /tmp (ends in '/').
std::string TemporaryFolder();

} // namespace zov
