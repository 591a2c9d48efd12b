#include "audio/SystemVolume.h"

#include <pulse/pulseaudio.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "shell/LogWriter.h"

namespace orv {

namespace {

// A sound server never answers in more than this; a hung one must not hang the parser thread.
constexpr int kServerTimeoutMs = 2000;

// One short synchronous conversation with the sound server on a private main loop.
class CPulseSession final {
public:
    CPulseSession() {
        m_loop = pa_mainloop_new();
        m_context = pa_context_new(pa_mainloop_get_api(m_loop), "ORV318PRO");
    }
    ~CPulseSession() {
        if (m_context != nullptr) {
            pa_context_disconnect(m_context);
            pa_context_unref(m_context);
        }
        if (m_timer != nullptr) {
            pa_mainloop_get_api(m_loop)->time_free(m_timer);
        }
        pa_mainloop_free(m_loop);
    }

    bool Connect() {
        if (m_context == nullptr ||
            pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            return false;
        }
        // A deadline for the whole conversation.
        timeval tv{};
        pa_timeval_add(pa_gettimeofday(&tv), static_cast<pa_usec_t>(kServerTimeoutMs) * 1000);
        m_timer = pa_mainloop_get_api(m_loop)->time_new(
            pa_mainloop_get_api(m_loop), &tv,
            [](pa_mainloop_api*, pa_time_event*, const timeval*, void* self) {
                static_cast<CPulseSession*>(self)->m_timedOut = true;
            },
            this);
        for (;;) {
            const pa_context_state_t state = pa_context_get_state(m_context);
            if (state == PA_CONTEXT_READY) {
                return true;
            }
            if (!PA_CONTEXT_IS_GOOD(state) || m_timedOut || !Iterate()) {
                return false;
            }
        }
    }

    // Runs the main loop until `op` is done; false on time-out or a lost server.
    bool Wait(pa_operation* op) {
        if (op == nullptr) {
            return false;
        }
        bool ok = true;
        while (pa_operation_get_state(op) == PA_OPERATION_RUNNING) {
            if (m_timedOut || !Iterate() || !PA_CONTEXT_IS_GOOD(pa_context_get_state(m_context))) {
                pa_operation_cancel(op);
                ok = false;
                break;
            }
        }
        pa_operation_unref(op);
        return ok;
    }

    pa_context* Context() const { return m_context; }

private:
    bool Iterate() { return pa_mainloop_iterate(m_loop, 1, nullptr) >= 0; }

    pa_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    pa_time_event* m_timer = nullptr;
    bool m_timedOut = false;
};

struct SuccessResult {
    bool done = false;
    bool ok = false;
};

void OnSuccess(pa_context*, int success, void* data) {
    auto* r = static_cast<SuccessResult*>(data);
    r->done = true;
    r->ok = success != 0;
}

std::string DefaultName(CPulseSession& session, bool sink, bool* ok) {
    struct Result {
        std::string sink;
        std::string source;
    } result;
    *ok = session.Wait(pa_context_get_server_info(
        session.Context(),
        [](pa_context*, const pa_server_info* info, void* data) {
            auto* r = static_cast<Result*>(data);
            if (info != nullptr) {
                r->sink = info->default_sink_name != nullptr ? info->default_sink_name : "";
                r->source = info->default_source_name != nullptr ? info->default_source_name : "";
            }
        },
        &result));
    return sink ? result.sink : result.source;
}

struct Device {
    std::string name;
    std::string description;
    uint8_t channels = 2;
    bool monitor = false;
};

std::vector<Device> ListDevices(CPulseSession& session, bool sinks, bool* ok) {
    std::vector<Device> devices;
    if (sinks) {
        *ok = session.Wait(pa_context_get_sink_info_list(
            session.Context(),
            [](pa_context*, const pa_sink_info* info, int eol, void* data) {
                if (eol == 0 && info != nullptr) {
                    static_cast<std::vector<Device>*>(data)->push_back(
                        {info->name ? info->name : "", info->description ? info->description : "",
                         info->volume.channels, false});
                }
            },
            &devices));
    } else {
        *ok = session.Wait(pa_context_get_source_info_list(
            session.Context(),
            [](pa_context*, const pa_source_info* info, int eol, void* data) {
                if (eol == 0 && info != nullptr) {
                    static_cast<std::vector<Device>*>(data)->push_back(
                        {info->name ? info->name : "", info->description ? info->description : "",
                         info->volume.channels, info->monitor_of_sink != PA_INVALID_INDEX});
                }
            },
            &devices));
    }
    return devices;
}

bool Fail(const char* step, QString* error, const char* operation) {
    LogInfo(QStringLiteral("%1 failed: %2").arg(QLatin1String(operation), QLatin1String(step)));
    if (error != nullptr) {
        *error = QLatin1String(step);
    }
    return false;
}

}  // namespace

int SetSystemVolume(const int* legacyAudio, int percent, QString* error) {
    if (legacyAudio != nullptr && *legacyAudio != 0) {
        return 0;  // legacy audio: the station leaves the mixer alone
    }
    percent = std::clamp(percent, 0, 100);
    CPulseSession session;
    if (!session.Connect()) {
        return Fail("pa_context_connect", error, "SetSystemVolume") ? 1 : 0;
    }
    bool ok = false;
    const std::string sink = DefaultName(session, true, &ok);
    if (!ok || sink.empty()) {
        return Fail("get_server_info", error, "SetSystemVolume") ? 1 : 0;
    }
    // The sink's channel count: every channel gets the same volume.
    uint8_t channels = 2;
    for (const Device& d : ListDevices(session, true, &ok)) {
        if (d.name == sink && d.channels > 0) {
            channels = d.channels;
        }
    }
    pa_cvolume volume;
    const auto level = static_cast<pa_volume_t>(
        std::lround(static_cast<double>(PA_VOLUME_NORM) * percent / 100.0));
    pa_cvolume_set(&volume, channels, level);
    SuccessResult set;
    if (!session.Wait(pa_context_set_sink_volume_by_name(session.Context(), sink.c_str(), &volume,
                                                         OnSuccess, &set)) ||
        !set.ok) {
        return Fail("set_sink_volume", error, "SetSystemVolume") ? 1 : 0;
    }
    SuccessResult unmute;
    if (!session.Wait(pa_context_set_sink_mute_by_name(session.Context(), sink.c_str(), 0,
                                                       OnSuccess, &unmute)) ||
        !unmute.ok) {
        return Fail("set_sink_mute", error, "SetSystemVolume") ? 1 : 0;
    }
    return 1;
}

bool SelectDefaultDevices(const QString& descriptionPart, QString* error) {
    CPulseSession session;
    if (!session.Connect()) {
        return Fail("pa_context_connect", error, "SelectDefaultDevices");
    }
    const std::string part = descriptionPart.toStdString();
    for (const bool sinks : {true, false}) {
        bool ok = false;
        const std::string current = DefaultName(session, sinks, &ok);
        if (!ok) {
            return Fail("get_server_info", error, "SelectDefaultDevices");
        }
        const std::vector<Device> devices = ListDevices(session, sinks, &ok);
        if (!ok) {
            return Fail(sinks ? "get_sink_info_list" : "get_source_info_list", error,
                        "SelectDefaultDevices");
        }
        bool currentMatches = false;
        const Device* first = nullptr;
        for (const Device& d : devices) {
            if (d.monitor) {
                continue;
            }
            const bool matches = d.description.find(part) != std::string::npos;
            if (d.name == current && matches) {
                currentMatches = true;
            }
            if (matches && first == nullptr) {
                first = &d;
            }
        }
        if (currentMatches || first == nullptr) {
            continue;
        }
        SuccessResult set;
        pa_operation* op = sinks ? pa_context_set_default_sink(
                                       session.Context(), first->name.c_str(), OnSuccess, &set)
                                 : pa_context_set_default_source(
                                       session.Context(), first->name.c_str(), OnSuccess, &set);
        if (!session.Wait(op) || !set.ok) {
            return Fail(sinks ? "set_default_sink" : "set_default_source", error,
                        "SelectDefaultDevices");
        }
    }
    return true;
}

}  // namespace orv
