#include "platform/DrawingTool.h"

#include "base/ProgramFolder.h"
#include "platform/Process.h"

#include <thread>
#include <unistd.h>

namespace zov {

DrawingTool::DrawingTool(std::string program)
    : m_program(program.empty() ? ProgramFolder() + kDrawingToolName : std::move(program)) {}

DrawingTool::~DrawingTool() {
    Stop();
}

bool DrawingTool::Start(const std::string& projectFolder) {
    Stop();
    if (access(m_program.c_str(), X_OK) != 0)
        return false;
    // A semaphore outlives the tool that waited on it, and may still hold a post meant for
    // an earlier run; the tool opens the fresh one at count 0.
    if (!ResetNamedSemaphore(kDrawingToolExitSemaphore))
        return false;
    m_pid = SpawnProcess({m_program}, projectFolder);
    return m_pid > 0;
}

bool DrawingTool::Stop() {
    if (m_pid <= 0)
        return true;
    // A post to a tool that has gone would wait there for nobody. The tool may still go
    // between this check and the post; the next start removes that post with the semaphore.
    if (ProcessRunning(m_pid))
        PostNamedSemaphore(kDrawingToolExitSemaphore);
    // Reaped off the capture thread so that no zombie stays and nobody waits for the tool.
    pid_t pid = m_pid;
    std::thread([pid] { WaitProcess(pid); }).detach();
    m_pid = -1;
    return true;
}

} // namespace zov
