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
    m_pid = -1;
    if (access(m_program.c_str(), X_OK) != 0)
        return true;
    m_pid = SpawnProcess({m_program}, projectFolder);
    return true;
}

bool DrawingTool::Stop() {
    if (m_pid <= 0)
        return true;
    PostNamedSemaphore(kDrawingToolExitSemaphore);
    // Reaped off the capture thread so that no zombie stays and nobody waits for the tool.
    pid_t pid = m_pid;
    std::thread([pid] { WaitProcess(pid); }).detach();
    m_pid = -1;
    return true;
}

} // namespace zov
