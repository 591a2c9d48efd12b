#include "sim/SimAudio.h"

#include <pulse/pulseaudio.h>

#include <QList>
#include <QRegularExpression>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <complex>
#include <mutex>
#include <vector>

namespace orv::sim {

namespace {

constexpr int kRate = 48000;
constexpr int kBlock = 4800;  // 100 ms of the ear's mono signal
constexpr const char* kPrefix = "orvsim.";

std::atomic<int> g_instances{0};

void Fft(std::vector<std::complex<double>>& a) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const double ang = -2 * M_PI / static_cast<double>(len);
        const std::complex<double> wl(std::cos(ang), std::sin(ang));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w(1);
            for (size_t k = 0; k < len / 2; ++k) {
                const auto u = a[i + k];
                const auto v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                w *= wl;
            }
        }
    }
}

}  // namespace

void MeasureBlock(const float* samples, int count, int rate, double* levelDb,
                  double* frequencyHz) {
    double sum = 0;
    for (int i = 0; i < count; ++i)
        sum += static_cast<double>(samples[i]) * samples[i];
    const double rms = count > 0 ? std::sqrt(sum / count) : 0.0;
    *levelDb = rms > 0 ? 20.0 * std::log10(rms) : -200.0;
    *frequencyHz = 0;
    if (count < 64 || rms <= 0)
        return;
    size_t n = 1;
    while (n * 2 <= static_cast<size_t>(count) && n < 65536)
        n *= 2;
    std::vector<std::complex<double>> a(n);
    for (size_t i = 0; i < n; ++i) {
        const double hann = 0.5 - 0.5 * std::cos(2 * M_PI * i / (n - 1));
        a[i] = samples[i] * hann;
    }
    Fft(a);
    size_t best = 1;
    for (size_t k = 1; k < n / 2; ++k)
        if (std::abs(a[k]) > std::abs(a[best]))
            best = k;
    // Parabolic interpolation between the neighbouring bins sharpens the estimate.
    double shift = 0;
    if (best > 1 && best + 1 < n / 2) {
        const double l = std::abs(a[best - 1]), c = std::abs(a[best]), r = std::abs(a[best + 1]);
        const double d = l - 2 * c + r;
        if (d != 0)
            shift = 0.5 * (l - r) / d;
    }
    *frequencyHz = (static_cast<double>(best) + shift) * rate / static_cast<double>(n);
}

struct CSimAudio::Impl {
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    bool ready = false;
    QString error;
    int instance = 0;
    QList<uint32_t> modules;  // our loaded modules, in load order
    QString render, mic, capture;

    // The ear. Its stream reads the render sink's monitor for as long as the devices exist;
    // it measures only while on (both flags are changed under the mainloop lock).
    pa_stream* ear = nullptr;
    bool earOn = false;
    std::vector<float> earBlock;   // owned by the mainloop thread
    mutable std::mutex heardLock;  // guards heard
    HeardSound heard;

    // The microphone.
    pa_stream* micStream = nullptr;
    std::atomic<double> micHz{1000};
    std::atomic<double> micAmp{0};
    double micPhase = 0;  // mainloop thread only
    bool micOn = false;

    ~Impl() { Disconnect(); }

    static void ContextState(pa_context* c, void* self) {
        auto* impl = static_cast<Impl*>(self);
        pa_threaded_mainloop_signal(impl->loop, 0);
    }

    bool Connect() {
        if (ready)
            return true;
        Disconnect();
        loop = pa_threaded_mainloop_new();
        if (!loop) {
            error = QStringLiteral("cannot create the PulseAudio main loop");
            return false;
        }
        pa_threaded_mainloop_lock(loop);
        if (pa_threaded_mainloop_start(loop) < 0) {
            pa_threaded_mainloop_unlock(loop);
            error = QStringLiteral("cannot start the PulseAudio main loop");
            pa_threaded_mainloop_free(loop);
            loop = nullptr;
            return false;
        }
        context = pa_context_new(pa_threaded_mainloop_get_api(loop), "ORV318 simulated adapter");
        pa_context_set_state_callback(context, &Impl::ContextState, this);
        if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            error = QStringLiteral("no sound server: %1")
                        .arg(QString::fromUtf8(pa_strerror(pa_context_errno(context))));
            pa_threaded_mainloop_unlock(loop);
            Disconnect();
            return false;
        }
        for (;;) {
            const pa_context_state_t s = pa_context_get_state(context);
            if (s == PA_CONTEXT_READY)
                break;
            if (!PA_CONTEXT_IS_GOOD(s)) {
                error = QStringLiteral("no sound server: %1")
                            .arg(QString::fromUtf8(pa_strerror(pa_context_errno(context))));
                pa_threaded_mainloop_unlock(loop);
                Disconnect();
                return false;
            }
            pa_threaded_mainloop_wait(loop);
        }
        pa_threaded_mainloop_unlock(loop);
        ready = true;
        return true;
    }

    void Disconnect() {
        if (!loop)
            return;
        pa_threaded_mainloop_lock(loop);
        StopStreamLocked(&ear);
        StopStreamLocked(&micStream);
        if (context) {
            pa_context_disconnect(context);
            pa_context_unref(context);
            context = nullptr;
        }
        pa_threaded_mainloop_unlock(loop);
        pa_threaded_mainloop_stop(loop);
        pa_threaded_mainloop_free(loop);
        loop = nullptr;
        ready = false;
    }

    // Waits (mainloop locked) for an operation to finish.
    void Wait(pa_operation* op) {
        if (!op)
            return;
        while (pa_operation_get_state(op) == PA_OPERATION_RUNNING &&
               PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
            pa_threaded_mainloop_wait(loop);
        pa_operation_unref(op);
    }

    struct IndexResult {
        Impl* impl;
        uint32_t index = PA_INVALID_INDEX;
    };

    uint32_t LoadModule(const char* name, const QString& args) {
        IndexResult r{this};
        const QByteArray a = args.toUtf8();
        Wait(pa_context_load_module(
            context, name, a.constData(),
            [](pa_context*, uint32_t idx, void* u) {
                auto* res = static_cast<IndexResult*>(u);
                res->index = idx;
                pa_threaded_mainloop_signal(res->impl->loop, 0);
            },
            &r));
        if (r.index == PA_INVALID_INDEX)
            error = QStringLiteral("the sound server refused %1 %2: %3")
                        .arg(QLatin1String(name), args,
                             QString::fromUtf8(pa_strerror(pa_context_errno(context))));
        return r.index;
    }

    void UnloadModule(uint32_t index) {
        Wait(pa_context_unload_module(
            context, index,
            [](pa_context*, int, void* u) {
                pa_threaded_mainloop_signal(static_cast<Impl*>(u)->loop, 0);
            },
            this));
    }

    // Waits (mainloop locked) until a stream is made or has failed; true when it is ready.
    bool WaitReady(pa_stream* s) {
        pa_stream_set_state_callback(
            s,
            [](pa_stream*, void* u) {
                pa_threaded_mainloop_signal(static_cast<Impl*>(u)->loop, 0);
            },
            this);
        pa_stream_state_t st;
        while ((st = pa_stream_get_state(s)) == PA_STREAM_CREATING &&
               PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
            pa_threaded_mainloop_wait(loop);
        pa_stream_set_state_callback(s, nullptr, nullptr);
        return st == PA_STREAM_READY;
    }

    // A new null sink renders its first block at the longest latency, 2 s ahead, before any
    // stream has asked for less; for those 2 s a stream started on it stalls. Suspending and
    // resuming it restarts its clock at the latency its streams ask for now (mainloop locked).
    void RestartSinkClock(const QString& sink) {
        const QByteArray name = sink.toUtf8();
        for (int suspend : {1, 0}) {
            Wait(pa_context_suspend_sink_by_name(
                context, name.constData(), suspend,
                [](pa_context*, int, void* u) {
                    pa_threaded_mainloop_signal(static_cast<Impl*>(u)->loop, 0);
                },
                this));
        }
    }

    struct ModuleRow {
        uint32_t index;
        QString name;
        QString argument;
    };

    QList<ModuleRow> ListModules() {
        struct Ctx {
            Impl* impl;
            QList<ModuleRow> rows;
        } ctx{this, {}};
        Wait(pa_context_get_module_info_list(
            context,
            [](pa_context*, const pa_module_info* i, int eol, void* u) {
                auto* c = static_cast<Ctx*>(u);
                if (eol) {
                    pa_threaded_mainloop_signal(c->impl->loop, 0);
                    return;
                }
                c->rows.append(ModuleRow{i->index, QString::fromUtf8(i->name),
                                         QString::fromUtf8(i->argument ? i->argument : "")});
            },
            &ctx));
        return ctx.rows;
    }

    // Unloads our devices left by a run that no longer lives, and our own earlier ones.
    void RemoveStale() {
        static const QRegularExpression re(
            QStringLiteral("(?:sink|source)_name=orvsim\\.(\\d+)\\.(\\d+)\\."));
        QList<ModuleRow> stale;
        for (const ModuleRow& m : ListModules()) {
            const auto match = re.match(m.argument);
            if (!match.hasMatch())
                continue;
            const long pid = match.captured(1).toLong();
            const int inst = match.captured(2).toInt();
            const bool mine = pid == static_cast<long>(getpid());
            const bool dead = !mine && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
            if ((mine && inst == instance) || dead)
                stale.append(m);
        }
        // Remapped sources first: they hang on the monitor of a sink.
        std::stable_sort(stale.begin(), stale.end(), [](const ModuleRow& a, const ModuleRow& b) {
            return a.name.contains(QLatin1String("remap")) &&
                   !b.name.contains(QLatin1String("remap"));
        });
        for (const ModuleRow& m : stale)
            UnloadModule(m.index);
    }

    static void StopStreamLocked(pa_stream** s) {
        if (!*s)
            return;
        pa_stream* stream = *s;
        *s = nullptr;
        pa_stream_set_read_callback(stream, nullptr, nullptr);
        pa_stream_set_write_callback(stream, nullptr, nullptr);
        if (pa_stream_get_state(stream) == PA_STREAM_CREATING) {
            // The server refuses to disconnect a stream it is still creating, and an unref
            // alone leaves it running there, its data queued here for good (an ear switched on
            // and off within a few ms did that once per headset). It goes once it is made.
            pa_stream_set_state_callback(stream, &Impl::DisconnectOnceCreated, nullptr);
            return;  // the callback owns the reference now
        }
        pa_stream_set_state_callback(stream, nullptr, nullptr);
        pa_stream_disconnect(stream);
        pa_stream_unref(stream);
    }

    static void DisconnectOnceCreated(pa_stream* s, void*) {
        switch (pa_stream_get_state(s)) {
            case PA_STREAM_READY:
                pa_stream_disconnect(s);  // ends as TERMINATED, back here
                break;
            case PA_STREAM_FAILED:
            case PA_STREAM_TERMINATED:
                pa_stream_set_state_callback(s, nullptr, nullptr);
                pa_stream_unref(s);  // libpulse holds its own reference during the callback
                break;
            default:
                break;
        }
    }

    static void EarRead(pa_stream* s, size_t, void* u) {
        auto* impl = static_cast<Impl*>(u);
        const void* data = nullptr;
        size_t bytes = 0;
        while (pa_stream_readable_size(s) > 0) {
            if (pa_stream_peek(s, &data, &bytes) < 0)
                return;
            if (bytes == 0)
                break;
            const size_t n = impl->earOn ? bytes / sizeof(float) : 0;
            for (size_t i = 0; i < n; ++i) {
                impl->earBlock.push_back(data ? static_cast<const float*>(data)[i] : 0.0f);
                if (impl->earBlock.size() == kBlock) {
                    double db = 0, hz = 0;
                    MeasureBlock(impl->earBlock.data(), kBlock, kRate, &db, &hz);
                    impl->earBlock.clear();
                    std::lock_guard lock(impl->heardLock);
                    impl->heard.lastLevelDb = db;
                    if (db > -100 && (!impl->heard.valid || db > impl->heard.levelDb)) {
                        impl->heard.valid = true;
                        impl->heard.levelDb = db;
                        impl->heard.frequencyHz = hz;
                    }
                }
            }
            pa_stream_drop(s);
        }
    }

    static void MicWrite(pa_stream* s, size_t bytes, void* u) {
        auto* impl = static_cast<Impl*>(u);
        const size_t n = bytes / sizeof(float);
        std::vector<float> buf(n);
        const double amp = impl->micAmp.load();
        const double step = 2 * M_PI * impl->micHz.load() / kRate;
        for (size_t i = 0; i < n; ++i) {
            buf[i] = static_cast<float>(amp * std::sin(impl->micPhase));
            impl->micPhase = std::fmod(impl->micPhase + step, 2 * M_PI);
        }
        pa_stream_write(s, buf.data(), n * sizeof(float), nullptr, 0, PA_SEEK_RELATIVE);
    }

    pa_stream* OpenStream(const char* name, bool record, const QString& device) {
        pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, kRate, 1};
        pa_stream* s = pa_stream_new(context, name, &spec, nullptr);
        if (!s)
            return nullptr;
        const QByteArray dev = device.toUtf8();
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<uint32_t>(-1);
        attr.tlength = static_cast<uint32_t>(kRate / 20 * sizeof(float));  // 50 ms ahead
        attr.prebuf = static_cast<uint32_t>(-1);
        attr.minreq = static_cast<uint32_t>(-1);
        attr.fragsize = static_cast<uint32_t>(kRate / 50 * sizeof(float));  // 20 ms
        int rc;
        if (record) {
            pa_stream_set_read_callback(s, &Impl::EarRead, this);
            rc = pa_stream_connect_record(s, dev.constData(), &attr, PA_STREAM_ADJUST_LATENCY);
        } else {
            pa_stream_set_write_callback(s, &Impl::MicWrite, this);
            rc = pa_stream_connect_playback(s, dev.constData(), &attr, PA_STREAM_ADJUST_LATENCY,
                                            nullptr, nullptr);
        }
        if (rc < 0) {
            pa_stream_unref(s);
            return nullptr;
        }
        return s;
    }
};

CSimAudio::CSimAudio() : m_impl(std::make_unique<Impl>()) {
    m_impl->instance = ++g_instances;
    const QString base =
        QStringLiteral("%1%2.%3.").arg(QLatin1String(kPrefix)).arg(getpid()).arg(m_impl->instance);
    m_impl->render = base + QStringLiteral("render");
    m_impl->mic = base + QStringLiteral("mic");
    m_impl->capture = base + QStringLiteral("capture");
}

CSimAudio::~CSimAudio() {
    RemoveDevices();
}

bool CSimAudio::AddDevices(std::uint16_t productId) {
    Impl& d = *m_impl;
    if (!d.Connect())
        return false;
    pa_threaded_mainloop_lock(d.loop);
    d.RemoveStale();
    d.modules.clear();
    const QString desc =
        productId == 0x5751 ? QStringLiteral("ORV318Pro B") : QStringLiteral("ORV318Pro");
    bool ok = true;
    const uint32_t render = d.LoadModule(
        "module-null-sink", QStringLiteral("sink_name=%1 rate=%2 channels=2 "
                                           "sink_properties='device.description=\"%3\"'")
                                .arg(d.render)
                                .arg(kRate)
                                .arg(desc));
    ok = render != PA_INVALID_INDEX;
    if (ok) {
        d.modules.append(render);
        const uint32_t mic = d.LoadModule(
            "module-null-sink",
            QStringLiteral("sink_name=%1 rate=%2 channels=1 "
                           "sink_properties='device.description=\"orvsim headset microphone\"'")
                .arg(d.mic)
                .arg(kRate));
        ok = mic != PA_INVALID_INDEX;
        if (ok) {
            d.modules.append(mic);
            const uint32_t cap =
                d.LoadModule("module-remap-source",
                             QStringLiteral("source_name=%1 master=%2.monitor channels=1 "
                                            "source_properties='device.description=\"%3\"'")
                                 .arg(d.capture, d.mic, desc));
            ok = cap != PA_INVALID_INDEX;
            if (ok)
                d.modules.append(cap);
        }
    }
    if (ok) {
        // The microphone stream runs for as long as the devices exist, silent while the mic is
        // off: like a USB capture endpoint it delivers samples steadily, with low latency (an
        // idle null sink would hand its monitor out in chunks of seconds).
        d.micAmp = 0;
        d.micStream = d.OpenStream("headset microphone", false, d.mic);
        ok = d.micStream != nullptr;
        if (!ok)
            d.error = QStringLiteral("cannot play into %1").arg(d.mic);
    }
    if (ok) {
        // Likewise the ear listens all along, like a USB playback endpoint that takes samples
        // at its clock rate from the moment it exists. An idle null sink runs in blocks of
        // 2 s; a stream started on it stalls for up to 600 ms while the sink takes on the
        // stream's latency, and the player's position lags the clock by as much.
        d.earOn = false;
        d.earBlock.clear();
        d.ear = d.OpenStream("headset ear", true, d.render + QStringLiteral(".monitor"));
        ok = d.ear != nullptr && d.WaitReady(d.ear);
        if (!ok)
            d.error = QStringLiteral("cannot record from %1.monitor").arg(d.render);
    }
    if (ok) {
        ok = d.WaitReady(d.micStream);
        if (!ok)
            d.error = QStringLiteral("cannot play into %1").arg(d.mic);
    }
    if (ok) {
        d.RestartSinkClock(d.render);
        d.RestartSinkClock(d.mic);
    }
    pa_threaded_mainloop_unlock(d.loop);
    if (!ok)
        RemoveDevices();
    return ok;
}

void CSimAudio::RemoveDevices() {
    Impl& d = *m_impl;
    if (!d.ready)
        return;
    pa_threaded_mainloop_lock(d.loop);
    Impl::StopStreamLocked(&d.ear);
    d.earOn = false;
    Impl::StopStreamLocked(&d.micStream);
    d.micOn = false;
    for (int i = d.modules.size() - 1; i >= 0; --i)
        d.UnloadModule(d.modules[i]);
    d.modules.clear();
    pa_threaded_mainloop_unlock(d.loop);
}

bool CSimAudio::HasDevices() const {
    return m_impl->ready && !m_impl->modules.isEmpty();
}

void CSimAudio::SetEarOn(bool on) {
    Impl& d = *m_impl;
    if (!HasDevices())
        return;
    pa_threaded_mainloop_lock(d.loop);
    if (on && !d.earOn) {
        {
            std::lock_guard lock(d.heardLock);
            d.heard = HeardSound{};
        }
        d.earBlock.clear();
    }
    d.earOn = on;
    pa_threaded_mainloop_unlock(d.loop);
}

HeardSound CSimAudio::Heard() const {
    std::lock_guard lock(m_impl->heardLock);
    return m_impl->heard;
}

void CSimAudio::SetMic(bool on, double hz, double levelDb) {
    Impl& d = *m_impl;
    if (!HasDevices())
        return;
    pa_threaded_mainloop_lock(d.loop);
    if (on) {
        // The level is the RMS of the tone; a sine's peak is sqrt(2) above it.
        d.micHz = hz;
        d.micAmp = std::min(1.0, std::sqrt(2.0) * std::pow(10.0, levelDb / 20.0));
        d.micOn = d.micStream != nullptr;
    } else {
        d.micAmp = 0;
        d.micOn = false;
    }
    pa_threaded_mainloop_unlock(d.loop);
}

bool CSimAudio::MicOn() const {
    return m_impl->micOn;
}

QString CSimAudio::renderSinkName() const {
    return m_impl->render;
}
QString CSimAudio::captureSourceName() const {
    return m_impl->capture;
}
QString CSimAudio::lastError() const {
    return m_impl->error;
}

}  // namespace orv::sim
