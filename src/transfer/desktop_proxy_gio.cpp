#include "transfer/desktop_proxy.h"

#include <gio/gio.h>

#include <mutex>

namespace {

// How long a waiting lookup goes without looking at the stop flag.
constexpr guint kStopCheckMs = 50;
// How long a lookup given up on may take to hand back what it holds. GIO's
// resolvers answer a cancel at once; this only bounds one that does not.
constexpr gint64 kCancelGraceMs = 1000;

// Set when a lookup did not answer in time. A PAC host that never answers
// then costs the run one bound, not one per request.
std::atomic<bool> desktopLookupsGivenUp{false};

// The task of a lookup that Stop cut short, while a library's thread still
// runs it (libproxy fetching a PAC file): libproxy is not safe for a second
// lookup beside it, so none starts until that thread has let the task go.
std::mutex g_abandonedMutex;
GWeakRef g_abandonedLookup;

// The kinds of proxy libcurl speaks to.
bool IsUsable(const std::string& proxy) {
    for (const char* scheme :
         {"http://", "https://", "socks4://", "socks4a://", "socks5://", "socks5h://"}) {
        if (proxy.rfind(scheme, 0) == 0) {
            return true;
        }
    }
    return false;
}

bool Stopped(const std::atomic<int>* stop) {
    return stop != nullptr && stop->load() != 0;
}

bool AbandonedLookupRuns() {
    std::lock_guard lock(g_abandonedMutex);
    GObject* task = static_cast<GObject*>(g_weak_ref_get(&g_abandonedLookup));
    if (task == nullptr) {
        return false;
    }
    g_object_unref(task);
    return true;
}

struct Lookup {
    bool answered = false;
    gchar** proxies = nullptr;
    GObject* task = nullptr;  // a reference, so that it can be watched once abandoned
};

void OnAnswer(GObject* resolver, GAsyncResult* result, gpointer data) {
    auto* lookup = static_cast<Lookup*>(data);
    lookup->proxies = g_proxy_resolver_lookup_finish(G_PROXY_RESOLVER(resolver), result, nullptr);
    lookup->task = G_OBJECT(g_object_ref(result));
    lookup->answered = true;
}

gboolean KeepTicking(gpointer) {
    return G_SOURCE_CONTINUE;
}

// Runs `context` until the lookup answers, `until` (monotonic time) passes or
// `stop` is set. The tick wakes the poll, so the flag is seen without
// spinning.
void RunUntil(GMainContext* context, const Lookup& lookup, gint64 until,
              const std::atomic<int>* stop) {
    while (!lookup.answered && g_get_monotonic_time() < until && !Stopped(stop)) {
        g_main_context_iteration(context, TRUE);
    }
}

std::string FirstUsable(gchar** proxies) {
    for (gchar** proxy = proxies; proxy != nullptr && *proxy != nullptr; ++proxy) {
        // "direct://" first means no proxy; the first usable one is taken.
        if (std::string(*proxy) == "direct://") {
            break;
        }
        if (IsUsable(*proxy)) {
            return *proxy;
        }
    }
    return {};
}

}  // namespace

std::string DesktopProxyFor(const std::string& url, const ProxyLookupLimits& limits) {
    if (desktopLookupsGivenUp.load() || limits.timeoutMs <= 0 || Stopped(limits.stop) ||
        AbandonedLookupRuns()) {
        return {};
    }
    // Taken before the private context is pushed: the resolver is made once
    // per process and keeps watching the settings on the default context.
    GProxyResolver* resolver = g_proxy_resolver_get_default();
    if (resolver == nullptr) {
        return {};
    }
    const gint64 deadline = g_get_monotonic_time() + gint64{limits.timeoutMs} * 1000;

    // The answer is delivered on the context that is the thread's default
    // when the lookup starts; a private one is run here alone, so no other
    // work of this thread's (the window's) runs inside the wait.
    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    GSource* tick = g_timeout_source_new(kStopCheckMs);
    g_source_set_callback(tick, &KeepTicking, nullptr, nullptr);
    g_source_attach(tick, context);
    GCancellable* cancellable = g_cancellable_new();

    Lookup lookup;
    g_proxy_resolver_lookup_async(resolver, url.c_str(), cancellable, &OnAnswer, &lookup);
    RunUntil(context, lookup, deadline, limits.stop);
    const bool abandoned = !lookup.answered;
    if (abandoned) {
        // A lookup left in a library's thread goes on there; the cancel lets
        // the task answer now and free what it holds here. Should it not
        // answer within the grace, the callback can never run, as nothing
        // iterates this context again, so `lookup` is not touched after it
        // is gone.
        g_cancellable_cancel(cancellable);
        RunUntil(context, lookup, g_get_monotonic_time() + kCancelGraceMs * 1000, nullptr);
        if (!Stopped(limits.stop) || !lookup.answered) {
            desktopLookupsGivenUp.store(true);
        }
    }

    g_object_unref(cancellable);
    g_source_destroy(tick);
    g_source_unref(tick);
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);

    std::string chosen;
    if (!abandoned) {
        chosen = FirstUsable(lookup.proxies);
    }
    if (lookup.task != nullptr) {
        if (abandoned) {
            std::lock_guard lock(g_abandonedMutex);
            g_weak_ref_set(&g_abandonedLookup, lookup.task);
        }
        g_object_unref(lookup.task);
    }
    g_strfreev(lookup.proxies);
    return chosen;
}
