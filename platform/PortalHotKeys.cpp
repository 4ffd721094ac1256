#include "platform/PortalHotKeys.h"

#include "base/Log.h"
#include "platform/PortalBus.h"

#include <algorithm>
#include <cstring>

namespace zov {

namespace {

constexpr const char* kGlobalShortcuts = "org.freedesktop.portal.GlobalShortcuts";
const char* const kIds[] = {"begin", "pause", "resume", "stop"};

class PortalHotKeys final : public IHotKeys {
  public:
    explicit PortalHotKeys(const PortalHotKeyOptions& options)
        : m_options(options), m_portal(kGlobalShortcuts, "the hot keys were refused", options.callTimeoutMs) {
    }
    ~PortalHotKeys() override {
        sd_bus_slot_unref(m_bindSlot);
        sd_bus_slot_unref(m_activatedSlot);
        m_portal.Close(m_session);
    }

    bool Open(std::string& error);

    std::vector<HotKeyGrabProblem> Grab() override;
    void Ungrab() override { m_active = false; }
    int Fd() const override { return m_portal.Bus() ? sd_bus_get_fd(m_portal.Bus()) : -1; }
    std::vector<int> Dispatch() override;
    std::vector<HotKeyGrabProblem> LateProblems() override {
        std::vector<HotKeyGrabProblem> late;
        late.swap(m_late);
        return late;
    }

  private:
    static int OnActivated(sd_bus_message* m, void* userdata, sd_bus_error*);

    PortalHotKeyOptions m_options;
    PortalBus m_portal;
    std::string m_session;
    sd_bus_slot* m_activatedSlot = nullptr;
    // A session binds its shortcuts once; a later Grab() gives the problems known by then.
    bool m_bound = false;
    sd_bus_slot* m_bindSlot = nullptr; // while the binding's answer is awaited
    PortalResponse m_bindAnswer;
    std::vector<HotKeyGrabProblem> m_problems, m_late;
    bool m_active = false;
    std::vector<int> m_pressed;
};

bool PortalHotKeys::Open(std::string& error) {
    if (!m_portal.Open(error))
        return false;
    uint32_t version = 0;
    bool missing = false;
    if (!m_portal.GetProperty("version", "the question for its global shortcuts", version, missing, error)) {
        if (missing)
            error = "the desktop portal offers no global shortcuts (org.freedesktop.portal.GlobalShortcuts).";
        return false;
    }
    m_session = m_portal.CreateSession("the global-shortcuts session", error);
    if (m_session.empty())
        return false;
    // Presses come as signals on the portal's object, naming our session.
    if (sd_bus_match_signal(m_portal.Bus(), &m_activatedSlot, kPortalName, kPortalPath, kGlobalShortcuts,
                            "Activated", OnActivated, this) < 0) {
        error = "cannot listen for the desktop's global shortcuts.";
        return false;
    }
    return true;
}

int PortalHotKeys::OnActivated(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto* self = static_cast<PortalHotKeys*>(userdata);
    const char* session = nullptr;
    const char* id = nullptr;
    if (sd_bus_message_read(m, "os", &session, &id) < 0 || !session || !id || self->m_session != session ||
        !self->m_active)
        return 0;
    for (int i = 0; i < 4; ++i)
        if (std::strcmp(id, kIds[i]) == 0)
            self->m_pressed.push_back(HOTKEY_BEGIN + i);
    return 0;
}

std::vector<HotKeyGrabProblem> PortalHotKeys::Grab() {
    m_active = true;
    if (m_bound)
        return m_problems;
    m_bound = true;
    // The desktop may ask its user before it answers: the answer is heard in Dispatch(), so
    // that the program goes on meanwhile.
    std::string error;
    m_bindSlot = m_portal.StartRequest(
        "BindShortcuts", "the binding of the hot keys", error,
        [&](sd_bus_message* m, const std::string& token) {
            int r = sd_bus_message_append(m, "o", m_session.c_str());
            if (r >= 0)
                r = sd_bus_message_open_container(m, 'a', "(sa{sv})");
            for (int i = 0; i < 4 && r >= 0; ++i) {
                const int id = HOTKEY_BEGIN + i;
                const std::string description = i < static_cast<int>(m_options.descriptions.size())
                                                    ? m_options.descriptions[static_cast<size_t>(i)]
                                                    : HotKeyName(id);
                r = sd_bus_message_open_container(m, 'r', "sa{sv}");
                if (r >= 0)
                    r = sd_bus_message_append(m, "s", kIds[i]);
                if (r >= 0)
                    r = sd_bus_message_open_container(m, 'a', "{sv}");
                if (r >= 0)
                    r = AppendEntry(m, "description", "s", description.c_str());
                if (r >= 0)
                    r = AppendEntry(m, "preferred_trigger", "s", PortalPreferredTrigger(id).c_str());
                if (r >= 0)
                    r = sd_bus_message_close_container(m);
                if (r >= 0)
                    r = sd_bus_message_close_container(m);
            }
            if (r >= 0)
                r = sd_bus_message_close_container(m);
            // No parent window: the program's windows are not known to the portal by handle.
            if (r >= 0)
                r = sd_bus_message_append(m, "s", "");
            if (r >= 0)
                r = sd_bus_message_open_container(m, 'a', "{sv}");
            if (r >= 0)
                r = AppendEntry(m, "handle_token", "s", token.c_str());
            return r >= 0 ? sd_bus_message_close_container(m) : r;
        },
        m_bindAnswer);
    if (!m_bindSlot) {
        Log(("E: hot keys: " + error).c_str(), __FILE__, __LINE__);
        for (int i = 0; i < 4; ++i)
            m_problems.push_back({HOTKEY_BEGIN + i, HotKeyName(HOTKEY_BEGIN + i)});
    }
    return m_problems;
}

std::vector<int> PortalHotKeys::Dispatch() {
    sd_bus* bus = m_portal.Bus();
    while (bus && sd_bus_process(bus, nullptr) > 0) {
    }
    if (m_bindSlot && m_bindAnswer.arrived) {
        sd_bus_slot_unref(m_bindSlot);
        m_bindSlot = nullptr;
        const std::string why = m_portal.ResponseError(m_bindAnswer, "the binding of the hot keys");
        if (!why.empty())
            Log(("E: hot keys: " + why).c_str(), __FILE__, __LINE__);
        for (int i = 0; i < 4; ++i) {
            const auto& bound = m_bindAnswer.shortcuts;
            if (!why.empty() || std::find(bound.begin(), bound.end(), kIds[i]) == bound.end()) {
                m_problems.push_back({HOTKEY_BEGIN + i, HotKeyName(HOTKEY_BEGIN + i)});
                m_late.push_back(m_problems.back());
            }
        }
    }
    std::vector<int> pressed;
    pressed.swap(m_pressed);
    return pressed;
}

} // namespace

std::string PortalShortcutId(int id) {
    return id >= HOTKEY_BEGIN && id <= HOTKEY_STOP ? kIds[id - HOTKEY_BEGIN] : std::string();
}

std::string PortalPreferredTrigger(int id) {
    if (id < HOTKEY_BEGIN || id > HOTKEY_STOP)
        return {};
    return "CTRL+SHIFT+F" + std::to_string(9 + (id - HOTKEY_BEGIN));
}

std::unique_ptr<IHotKeys> OpenPortalHotKeys(const PortalHotKeyOptions& options, std::string& error) {
    auto keys = std::make_unique<PortalHotKeys>(options);
    if (!keys->Open(error))
        return nullptr;
    return keys;
}

} // namespace zov
