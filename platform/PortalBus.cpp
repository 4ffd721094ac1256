#include "platform/PortalBus.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace zov {

namespace {

using Clock = std::chrono::steady_clock;

// A sentence for a failed portal call.
std::string CallError(const char* what, int r, const sd_bus_error& error, int timeoutMs) {
    if (sd_bus_error_has_name(&error, SD_BUS_ERROR_SERVICE_UNKNOWN) ||
        sd_bus_error_has_name(&error, SD_BUS_ERROR_NAME_HAS_NO_OWNER))
        return "there is no desktop portal (org.freedesktop.portal.Desktop) on the session bus; screen "
               "recording "
               "on Wayland needs xdg-desktop-portal and a backend for this desktop.";
    if (r == -ETIMEDOUT || sd_bus_error_has_name(&error, SD_BUS_ERROR_TIMEOUT) ||
        sd_bus_error_has_name(&error, SD_BUS_ERROR_NO_REPLY))
        return std::string("the desktop portal did not answer ") + what + " within " +
               PortalSeconds(timeoutMs) + ".";
    std::string detail = error.message ? error.message : std::strerror(-r);
    return std::string("the desktop portal refused ") + what + ": " + detail + ".";
}

int ReadStreams(sd_bus_message* m, std::vector<PortalStreamInfo>& out) {
    int r = sd_bus_message_enter_container(m, 'v', "a(ua{sv})");
    if (r < 0)
        return r;
    if ((r = sd_bus_message_enter_container(m, 'a', "(ua{sv})")) < 0)
        return r;
    while ((r = sd_bus_message_enter_container(m, 'r', "ua{sv}")) > 0) {
        PortalStreamInfo info;
        if ((r = sd_bus_message_read(m, "u", &info.node)) < 0)
            return r;
        if ((r = sd_bus_message_enter_container(m, 'a', "{sv}")) < 0)
            return r;
        while ((r = sd_bus_message_enter_container(m, 'e', "sv")) > 0) {
            const char* key = nullptr;
            if ((r = sd_bus_message_read(m, "s", &key)) < 0)
                return r;
            if (std::strcmp(key, "size") == 0)
                r = sd_bus_message_read(m, "v", "(ii)", &info.width, &info.height);
            else
                r = sd_bus_message_skip(m, "v");
            if (r < 0)
                return r;
            sd_bus_message_exit_container(m);
        }
        sd_bus_message_exit_container(m);
        sd_bus_message_exit_container(m);
        out.push_back(info);
    }
    sd_bus_message_exit_container(m);
    sd_bus_message_exit_container(m);
    return r;
}

// The ids of a(sa{sv}): the shortcuts a BindShortcuts answer says are bound.
int ReadShortcutIds(sd_bus_message* m, std::vector<std::string>& out) {
    int r = sd_bus_message_enter_container(m, 'v', "a(sa{sv})");
    if (r < 0)
        return r;
    if ((r = sd_bus_message_enter_container(m, 'a', "(sa{sv})")) < 0)
        return r;
    while ((r = sd_bus_message_enter_container(m, 'r', "sa{sv}")) > 0) {
        const char* id = nullptr;
        if ((r = sd_bus_message_read(m, "s", &id)) < 0 || (r = sd_bus_message_skip(m, "a{sv}")) < 0)
            return r;
        out.emplace_back(id ? id : "");
        sd_bus_message_exit_container(m);
    }
    sd_bus_message_exit_container(m);
    sd_bus_message_exit_container(m);
    return r;
}

int OnResponse(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto* response = static_cast<PortalResponse*>(userdata);
    response->arrived = true;
    if (sd_bus_message_read(m, "u", &response->code) < 0)
        return 0;
    if (sd_bus_message_enter_container(m, 'a', "{sv}") < 0)
        return 0;
    while (sd_bus_message_enter_container(m, 'e', "sv") > 0) {
        const char* key = nullptr;
        if (sd_bus_message_read(m, "s", &key) < 0)
            return 0;
        int r = 0;
        const char* text = nullptr;
        if (std::strcmp(key, "session_handle") == 0) {
            // Older portals send an object path, newer ones a string.
            const char* type = nullptr;
            sd_bus_message_peek_type(m, nullptr, &type);
            r = sd_bus_message_read(m, "v", type && type[0] == 'o' ? "o" : "s", &text);
            if (r >= 0 && text)
                response->sessionHandle = text;
        } else if (std::strcmp(key, "restore_token") == 0) {
            r = sd_bus_message_read(m, "v", "s", &text);
            if (r >= 0 && text)
                response->restoreToken = text;
        } else if (std::strcmp(key, "streams") == 0) {
            r = ReadStreams(m, response->streams);
        } else if (std::strcmp(key, "shortcuts") == 0) {
            r = ReadShortcutIds(m, response->shortcuts);
        } else {
            r = sd_bus_message_skip(m, "v");
        }
        if (r < 0)
            return 0;
        sd_bus_message_exit_container(m);
    }
    return 0;
}

} // namespace

std::string PortalSeconds(int ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%g s", ms / 1000.0);
    return text;
}

bool PortalBus::Open(std::string& error) {
    int r = sd_bus_open_user(&m_bus);
    if (r < 0) {
        m_bus = nullptr;
        error = std::string("cannot reach the D-Bus session bus that the desktop portal answers on: ") +
                std::strerror(-r) + ".";
        return false;
    }
    const char* unique = nullptr;
    if ((r = sd_bus_get_unique_name(m_bus, &unique)) < 0 || !unique) {
        error = "cannot reach the D-Bus session bus that the desktop portal answers on.";
        return false;
    }
    // Request objects are named after our unique name, ':' dropped and '.' as '_'.
    for (const char* p = unique + (unique[0] == ':' ? 1 : 0); *p; ++p)
        m_sender += *p == '.' ? '_' : *p;
    return true;
}

void PortalBus::Close(const std::string& session) {
    if (!m_bus)
        return;
    if (!session.empty()) {
        sd_bus_message* m = nullptr;
        if (sd_bus_message_new_method_call(m_bus, &m, kPortalName, session.c_str(),
                                           "org.freedesktop.portal.Session", "Close") >= 0) {
            sd_bus_call(m_bus, m, 1000 * 1000, nullptr, nullptr);
            sd_bus_message_unref(m);
        }
    }
    sd_bus_flush_close_unref(m_bus);
    m_bus = nullptr;
}

std::string PortalBus::NewToken() {
    static std::atomic<unsigned> counter{0};
    char text[48];
    std::snprintf(text, sizeof text, "zov%u_%u_%d", static_cast<unsigned>(getpid()), counter++,
                  ++m_tokenCounter);
    return text;
}

bool PortalBus::WaitFor(const std::function<bool()>& done, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        int r = sd_bus_process(m_bus, nullptr);
        if (r < 0)
            return false;
        if (r > 0)
            continue;
        if (done())
            break;
        auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return false;
        if (sd_bus_wait(m_bus, static_cast<uint64_t>(left)) < 0)
            return false;
    }
    return true;
}

bool PortalBus::Call(const char* method, const char* what, int timeoutMs, std::string& error,
                     const std::function<int(sd_bus_message*)>& append, MessagePtr* reply) {
    sd_bus_message* m = nullptr;
    int r = sd_bus_message_new_method_call(m_bus, &m, kPortalName, kPortalPath, m_interface, method);
    MessagePtr call(m);
    if (r >= 0)
        r = append(m);
    if (r < 0) {
        error = std::string("the request ") + what + " could not be put together: " + std::strerror(-r) + ".";
        return false;
    }
    sd_bus_error e = SD_BUS_ERROR_NULL;
    sd_bus_message* answer = nullptr;
    r = sd_bus_call(m_bus, m, static_cast<uint64_t>(timeoutMs) * 1000, &e, &answer);
    MessagePtr owned(answer);
    if (r < 0) {
        error = CallError(what, r, e, timeoutMs);
        sd_bus_error_free(&e);
        return false;
    }
    if (reply)
        *reply = std::move(owned);
    return true;
}

sd_bus_slot* PortalBus::StartRequest(const char* method, const char* what, std::string& error,
                                     const std::function<int(sd_bus_message*, const std::string&)>& append,
                                     PortalResponse& response) {
    // The answer comes as a signal on a request object whose path follows from our name and
    // the token; the match is in place before the call so that no answer is missed.
    const std::string token = NewToken();
    const std::string path = std::string(kPortalPath) + "/request/" + m_sender + "/" + token;
    sd_bus_slot* slot = nullptr;
    int r = sd_bus_match_signal(m_bus, &slot, kPortalName, path.c_str(), "org.freedesktop.portal.Request",
                                "Response", OnResponse, &response);
    if (r < 0) {
        error = std::string("cannot listen for the desktop portal's answer: ") + std::strerror(-r) + ".";
        return nullptr;
    }
    if (!Call(method, what, m_callTimeoutMs, error, [&](sd_bus_message* m) { return append(m, token); })) {
        sd_bus_slot_unref(slot);
        return nullptr;
    }
    return slot;
}

std::string PortalBus::ResponseError(const PortalResponse& response, const char* what) const {
    if (response.code == 0)
        return {};
    return response.code == 1 ? m_cancelled + " in the desktop's dialog (" + what + ")."
                              : std::string("the desktop portal refused ") + what + ".";
}

bool PortalBus::Request(const char* method, const char* what, int timeoutMs, std::string& error,
                        const std::function<int(sd_bus_message*, const std::string&)>& append,
                        PortalResponse& response) {
    sd_bus_slot* slot = StartRequest(method, what, error, append, response);
    if (!slot)
        return false;
    bool ok = true;
    if (!WaitFor([&] { return response.arrived; }, timeoutMs)) {
        error = std::string("the desktop portal did not answer ") + what + " within " +
                PortalSeconds(timeoutMs) + ".";
        ok = false;
    }
    sd_bus_slot_unref(slot);
    if (ok && response.code != 0) {
        error = ResponseError(response, what);
        ok = false;
    }
    return ok;
}

std::string PortalBus::CreateSession(const char* what, std::string& error) {
    PortalResponse created;
    const std::string sessionToken = NewToken();
    if (!Request(
            "CreateSession", what, m_callTimeoutMs, error,
            [&](sd_bus_message* m, const std::string& token) {
                int r = sd_bus_message_open_container(m, 'a', "{sv}");
                if (r >= 0)
                    r = AppendEntry(m, "handle_token", "s", token.c_str());
                if (r >= 0)
                    r = AppendEntry(m, "session_handle_token", "s", sessionToken.c_str());
                return r >= 0 ? sd_bus_message_close_container(m) : r;
            },
            created))
        return {};
    if (created.sessionHandle.empty()) {
        std::string name = what; // "the screen-sharing session": "no screen-sharing session"
        if (name.rfind("the ", 0) == 0)
            name.erase(0, 4);
        error = "the desktop portal opened no " + name + ".";
    }
    return created.sessionHandle;
}

bool PortalBus::GetProperty(const char* name, const char* what, uint32_t& value, bool& missing,
                            std::string& error) {
    missing = false;
    sd_bus_error e = SD_BUS_ERROR_NULL;
    sd_bus_message* m = nullptr;
    int r = sd_bus_message_new_method_call(m_bus, &m, kPortalName, kPortalPath,
                                           "org.freedesktop.DBus.Properties", "Get");
    MessagePtr call(m);
    if (r >= 0)
        r = sd_bus_message_append(m, "ss", m_interface, name);
    sd_bus_message* answer = nullptr;
    if (r >= 0)
        r = sd_bus_call(m_bus, m, static_cast<uint64_t>(m_callTimeoutMs) * 1000, &e, &answer);
    MessagePtr owned(answer);
    if (r >= 0)
        r = sd_bus_message_read(answer, "v", "u", &value);
    if (r < 0) {
        missing = sd_bus_error_has_name(&e, SD_BUS_ERROR_UNKNOWN_PROPERTY) ||
                  sd_bus_error_has_name(&e, SD_BUS_ERROR_UNKNOWN_INTERFACE) ||
                  sd_bus_error_has_name(&e, SD_BUS_ERROR_INVALID_ARGS);
        if (!missing)
            error = CallError(what, r, e, m_callTimeoutMs);
        sd_bus_error_free(&e);
        return false;
    }
    return true;
}

} // namespace zov
