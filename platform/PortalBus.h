// The desktop portal's D-Bus conventions, shared by the portal's screen and its hot keys: a
// session bus connection of our own, method calls with a time-out each, and the Request
// objects whose Response signal carries a call's real answer. Internal to platform/: only
// the portal sources include it.
#pragma once

#include <systemd/sd-bus.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zov {

constexpr const char* kPortalName = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";

struct MessageUnref {
    void operator()(sd_bus_message* m) const { sd_bus_message_unref(m); }
};
using MessagePtr = std::unique_ptr<sd_bus_message, MessageUnref>;

// Appends one {sv} entry of an a{sv} dictionary.
template <typename T> int AppendEntry(sd_bus_message* m, const char* key, const char* type, T value) {
    return sd_bus_message_append(m, "{sv}", key, type, value);
}

// "4 s" for 4000.
std::string PortalSeconds(int ms);

struct PortalStreamInfo {
    uint32_t node = 0;
    int width = 0, height = 0;
};

// What a Request.Response signal carried, of the keys the recorder reads.
struct PortalResponse {
    bool arrived = false;
    uint32_t code = 2; // 0 granted, 1 cancelled by the user, 2 refused otherwise
    std::string sessionHandle;
    std::string restoreToken;
    std::vector<PortalStreamInfo> streams; // ScreenCast's Start
    std::vector<std::string> shortcuts;    // GlobalShortcuts' BindShortcuts: the ids bound
};

class PortalBus {
  public:
    // `interface` is the portal interface every call goes to; `cancelled` the sentence's
    // start for a request the user cancelled ("screen sharing was cancelled").
    PortalBus(const char* interface, std::string cancelled, int callTimeoutMs)
        : m_interface(interface), m_cancelled(std::move(cancelled)), m_callTimeoutMs(callTimeoutMs) {}
    ~PortalBus() { Close(); }
    PortalBus(const PortalBus&) = delete;
    PortalBus& operator=(const PortalBus&) = delete;

    bool Open(std::string& error);
    // Closes `session` first when it is given (a portal that is gone does not hold us up).
    void Close(const std::string& session = std::string());
    sd_bus* Bus() const { return m_bus; }
    const char* Interface() const { return m_interface; }

    // A handle token unique in this process.
    std::string NewToken();
    // Processes the bus until `done` or the time-out; false on the time-out or a lost bus.
    bool WaitFor(const std::function<bool()>& done, int timeoutMs);
    bool Call(const char* method, const char* what, int timeoutMs, std::string& error,
              const std::function<int(sd_bus_message*)>& append, MessagePtr* reply = nullptr);
    // A call answered through a Request object, sent without waiting for the answer: the
    // answer fills `response` (which must outlive the slot) when the bus is processed. The
    // slot to unref once it is no longer wanted; null with `error` set when the call failed.
    sd_bus_slot* StartRequest(const char* method, const char* what, std::string& error,
                              const std::function<int(sd_bus_message*, const std::string& token)>& append,
                              PortalResponse& response);
    // The sentence for an answer that is not a grant; empty for a grant.
    std::string ResponseError(const PortalResponse& response, const char* what) const;
    // A call answered through a Request object, waited for; `append` gets the handle token.
    bool Request(const char* method, const char* what, int timeoutMs, std::string& error,
                 const std::function<int(sd_bus_message*, const std::string& token)>& append,
                 PortalResponse& response);
    // CreateSession of the interface; `what` names the session in the sentences ("the
    // screen-sharing session"). The session's handle, or empty with `error` set.
    std::string CreateSession(const char* what, std::string& error);
    // A u property of the interface. Without the interface or the property, false with
    // `missing` set (and `error` left for the caller to phrase); `what` names the question in
    // the sentence of any other failure.
    bool GetProperty(const char* name, const char* what, uint32_t& value, bool& missing, std::string& error);

  private:
    const char* m_interface;
    std::string m_cancelled;
    int m_callTimeoutMs;
    sd_bus* m_bus = nullptr;
    std::string m_sender;
    int m_tokenCounter = 0;
};

} // namespace zov
