// The external on-screen drawing tool: started from the program folder when a recording run
// begins and told to exit through a named semaphore when it ends. Whatever it draws is
// captured like any other screen content. A missing tool is not an error.
#pragma once

#include <string>
#include <sys/types.h>

namespace zov {

constexpr const char* kDrawingToolName = "inkpane";
constexpr const char* kDrawingToolExitSemaphore = "/CInkpaneDlg_Exit_Event";

class DrawingTool {
  public:
    // `program` defaults to ProgramFolder() + "inkpane".
    explicit DrawingTool(std::string program = {});
    ~DrawingTool();

    // Starts the tool without arguments, working in `projectFolder` (when not empty), with a
    // fresh exit semaphore. True when the tool runs; false when it is missing or could not
    // be started, which leaves recording as it is.
    bool Start(const std::string& projectFolder);
    // Posts the exit semaphore when the tool still runs (one the user closed is no error) and
    // forgets the process; the child is reaped in the background, never waited for here.
    // Always true.
    bool Stop();

    pid_t Pid() const { return m_pid; }

  private:
    std::string m_program;
    pid_t m_pid = -1;
};

} // namespace zov
