// A PulseAudio server of the test's own: "pulseaudio -n --daemonize=no --exit-idle-time=-1"
// with the native protocol on a socket in a private folder (also its XDG_RUNTIME_DIR and
// HOME), a null sink whose monitor is the default source, and a tone made by sox and played
// into the sink with pacat, so that what is recorded from the default input is that tone.
// The process's PULSE_SERVER points at it while the object lives, for libpulse and for the
// programs the test starts. Running as root, libpulse never starts a server by itself.
#pragma once

#include <string>
#include <sys/types.h>

namespace zovtest {

class PulseTestServer {
  public:
    PulseTestServer();
    ~PulseTestServer();
    PulseTestServer(const PulseTestServer&) = delete;
    PulseTestServer& operator=(const PulseTestServer&) = delete;

    bool Ok() const { return m_ok; }
    const std::string& Error() const { return m_error; }
    std::string Address() const { return "unix:" + m_folder + "/native"; }

    // Plays a sine tone of `hz` at `amplitude` (of full scale) into the sink until StopTone;
    // returns once the server has the playing stream.
    bool PlayTone(double hz, double amplitude);
    void StopTone();

    pid_t Pid() const { return m_pid; }
    void Kill();   // SIGKILL, and reaped
    void Freeze(); // SIGSTOP: the server keeps its connections but answers nothing
    void Thaw();   // SIGCONT

  private:
    bool Pactl(const std::string& args) const;
    std::string m_folder;
    pid_t m_pid = -1;
    pid_t m_tone = -1;
    bool m_ok = false;
    bool m_frozen = false;
    std::string m_error;
    std::string m_savedServer;
    bool m_hadServer = false;
};

} // namespace zovtest
