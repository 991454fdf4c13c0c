// The key ring through libsecret, each call on a worker thread and bounded in time.
//
// libsecret's own handling of unlock prompts cannot be relied on to end: a prompt that is showing
// when the call's GCancellable is cancelled leaves the synchronous call waiting for ever. So the
// calls here never let libsecret prompt. A locked collection or item is unlocked first with the
// Secret Service's Unlock method and its prompt, driven here over D-Bus (Prompt, the Completed
// signal), and libsecret only works on what is unlocked. The caller's thread waits for
// the worker with a deadline; a worker that does not end in time is left behind, holding only
// what it shares with nobody but the abandoned call.
#include <libsecret/secret.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>

#include "credentials/credentials.h"
#include "resources/messages/messages.h"

namespace qubopost::credentials {

namespace msg = qubopost::messages;

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr const char* kSchemaName = "org.qubopost.Qubopost.Smtp";
constexpr const char* kSecretsName = "org.freedesktop.secrets";
constexpr const char* kServicePath = "/org/freedesktop/secrets";
constexpr const char* kServiceInterface = "org.freedesktop.Secret.Service";
constexpr const char* kPromptInterface = "org.freedesktop.Secret.Prompt";
// How long the bus may take to say whether a Secret Service is there.
constexpr int kProbeTimeoutMs = 1500;
// One D-Bus call to the service (not the prompt, which waits for a person).
constexpr int kMethodTimeoutMs = 10000;
// How long a worker still gets after its call was cancelled or ran out of time.
constexpr milliseconds kGrace{1000};
constexpr milliseconds kDefaultLimit{30000};
constexpr milliseconds kShortestLimit{100};

std::atomic<long long> timeLimitMs{kDefaultLimit.count()};

const SecretSchema* Schema() {
    static const SecretSchema schema = [] {
        SecretSchema s{};
        s.name = kSchemaName;
        s.flags = SECRET_SCHEMA_NONE;
        s.attributes[0].name = "host";
        s.attributes[0].type = SECRET_SCHEMA_ATTRIBUTE_STRING;
        s.attributes[1].name = "user";
        s.attributes[1].type = SECRET_SCHEMA_ATTRIBUTE_STRING;
        return s;
    }();
    return &schema;
}

// What a worker and the call waiting for it share. The worker owns a reference, so the call may
// give up and return while the worker goes on.
struct Work {
    GCancellable* cancellable = g_cancellable_new();
    Clock::time_point promptUntil{};  // the unlock prompt is dismissed then
    std::atomic<bool> prompting{false};

    std::mutex mutex;
    std::condition_variable changed;
    bool done = false;
    bool cancelRequested = false;
    KeyRingStatus status = KeyRingStatus::Failed;
    std::string error;
    // The outputs.
    Credentials credentials;
    std::vector<KeyRingEntry> entries;

    Work() = default;
    ~Work() { g_object_unref(cancellable); }
    Work(const Work&) = delete;
    Work& operator=(const Work&) = delete;
};

// Tells a call that its KeyRingCancel was cancelled.
void CancelWork(Work& work) {
    {
        std::lock_guard lock(work.mutex);
        work.cancelRequested = true;
    }
    work.changed.notify_all();
    g_cancellable_cancel(work.cancellable);
}

}  // namespace

// The calls going on with a KeyRingCancel, each held weakly: a call that has ended is gone.
struct KeyRingCancel::State {
    std::mutex mutex;
    bool cancelled = false;
    std::vector<std::weak_ptr<Work>> calls;
};

KeyRingCancel::KeyRingCancel() : m_state(std::make_shared<State>()) {}
KeyRingCancel::~KeyRingCancel() = default;

void KeyRingCancel::Cancel() {
    std::vector<std::weak_ptr<Work>> calls;
    {
        std::lock_guard lock(m_state->mutex);
        m_state->cancelled = true;
        calls.swap(m_state->calls);
    }
    for (const std::weak_ptr<Work>& call : calls)
        if (std::shared_ptr<Work> work = call.lock()) CancelWork(*work);
}

bool KeyRingCancel::Cancelled() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->cancelled;
}

namespace {

// Runs `task` on a worker thread and waits for it, at most `limit`, or until `cancel` is
// cancelled. The task fills work.error and the outputs and returns the status.
KeyRingStatus RunBounded(const KeyRingCancel* cancel, milliseconds limit,
                         const std::function<KeyRingStatus(Work&)>& task, std::string* error,
                         const std::function<void(Work&)>& collect = {}) {
    auto work = std::make_shared<Work>();
    const Clock::time_point start = Clock::now();
    // The prompt gives up a little before the call does, so that it is dismissed properly.
    work->promptUntil = start + limit - std::min(milliseconds(2000), limit / 5);
    if (cancel) {
        KeyRingCancel::State& state = *cancel->GetState();
        std::lock_guard lock(state.mutex);
        if (state.cancelled) {
            if (error) *error = msg::Say(msg::kKeyRingGaveUp);
            return KeyRingStatus::Cancelled;
        }
        // Calls that ended before are dropped on the way.
        std::erase_if(state.calls, [](const std::weak_ptr<Work>& call) { return call.expired(); });
        state.calls.push_back(work);
    }
    std::thread([work, task] {
        const KeyRingStatus status = task(*work);
        {
            std::lock_guard lock(work->mutex);
            work->status = status;
            work->done = true;
        }
        work->changed.notify_all();
    }).detach();

    std::unique_lock lock(work->mutex);
    work->changed.wait_until(lock, start + limit,
                             [&] { return work->done || work->cancelRequested; });
    const bool userCancelled = work->cancelRequested;
    if (!work->done) {
        lock.unlock();
        g_cancellable_cancel(work->cancellable);
        lock.lock();
        work->changed.wait_for(lock, kGrace, [&] { return work->done; });
    }
    KeyRingStatus status;
    std::string text;
    if (work->done && (work->status == KeyRingStatus::Ok || !userCancelled)) {
        status = work->status;
        text = work->error;
        if (collect) collect(*work);
    } else if (userCancelled) {
        status = KeyRingStatus::Cancelled;
        text = msg::Say(msg::kKeyRingGaveUp);
    } else if (work->prompting) {
        status = KeyRingStatus::Locked;
        text = msg::Say(msg::kKeyRingPromptNoAnswer);
    } else {
        status = KeyRingStatus::Failed;
        text = msg::Say(msg::kKeyRingNoReply, {std::to_string(limit.count() / 1000)});
    }
    lock.unlock();
    if (error && status != KeyRingStatus::Ok && status != KeyRingStatus::NotFound) *error = text;
    return status;
}

milliseconds Limit() { return milliseconds(timeLimitMs.load()); }

struct ErrorHolder {
    GError* error = nullptr;
    ErrorHolder() = default;
    ErrorHolder(const ErrorHolder&) = delete;
    ErrorHolder& operator=(const ErrorHolder&) = delete;
    ~ErrorHolder() {
        if (error) g_error_free(error);
    }
    bool Cancelled() const { return g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED); }
    bool Locked() const { return g_error_matches(error, SECRET_ERROR, SECRET_ERROR_IS_LOCKED); }
    // The service's own words (often English), after a Japanese lead-in.
    std::string ServiceWords() const {
        return error && error->message && *error->message
                   ? msg::Say(msg::kKeyRingServiceWords, {error->message})
                   : std::string(msg::Say(msg::kKeyRingServiceError));
    }
};

// The status and Japanese reason of a failed libsecret or D-Bus call.
KeyRingStatus Failure(const ErrorHolder& failure, Work& work) {
    if (failure.Cancelled()) {
        work.error = msg::Say(msg::kKeyRingGaveUp);
        return KeyRingStatus::Cancelled;
    }
    if (failure.Locked()) {
        work.error = msg::Say(msg::kKeyRingNotUnlocked);
        return KeyRingStatus::Locked;
    }
    if (g_error_matches(failure.error, G_IO_ERROR, G_IO_ERROR_TIMED_OUT)) {
        work.error = msg::Say(msg::kKeyRingTimedOut);
        return KeyRingStatus::Failed;
    }
    work.error = failure.ServiceWords();
    return KeyRingStatus::Failed;
}

// The session bus, or null (with the status in `status`) when there is none or it does not
// answer, or when no Secret Service is on it or can be started by it.
GDBusConnection* ServiceBus(Work& work, KeyRingStatus* status) {
    *status = KeyRingStatus::Unavailable;
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (!address || !*address) return nullptr;
    ErrorHolder failure;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, work.cancellable, &failure.error);
    if (!bus) {
        if (failure.Cancelled()) *status = Failure(failure, work);
        return nullptr;
    }
    bool reachable = false;
    GVariant* owned = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "NameHasOwner", g_variant_new("(s)", kSecretsName), G_VARIANT_TYPE("(b)"),
        G_DBUS_CALL_FLAGS_NONE, kProbeTimeoutMs, work.cancellable, nullptr);
    if (owned) {
        gboolean has = FALSE;
        g_variant_get(owned, "(b)", &has);
        reachable = has;
        g_variant_unref(owned);
        if (!reachable) {
            // Not running yet, but the bus may start it on the first call.
            GVariant* names = g_dbus_connection_call_sync(
                bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                "ListActivatableNames", nullptr, G_VARIANT_TYPE("(as)"), G_DBUS_CALL_FLAGS_NONE,
                kProbeTimeoutMs, work.cancellable, nullptr);
            if (names) {
                GVariantIter* iter = nullptr;
                g_variant_get(names, "(as)", &iter);
                const gchar* name = nullptr;
                while (g_variant_iter_loop(iter, "&s", &name))
                    if (g_strcmp0(name, kSecretsName) == 0) reachable = true;
                g_variant_iter_free(iter);
                g_variant_unref(names);
            }
        }
    }
    if (!reachable) {
        if (g_cancellable_is_cancelled(work.cancellable)) {
            work.error = msg::Say(msg::kKeyRingGaveUp);
            *status = KeyRingStatus::Cancelled;
        }
        g_object_unref(bus);
        return nullptr;
    }
    *status = KeyRingStatus::Ok;
    return bus;
}

// Waits for the prompt's Completed signal on a main context of this thread's own, until the
// prompt is answered, the call is cancelled or work.promptUntil.
KeyRingStatus RunPrompt(GDBusConnection* bus, const char* promptPath, Work& work) {
    struct Outcome {
        bool completed = false;
        bool dismissed = true;
        bool timedOut = false;
        bool cancelled = false;
    } outcome;
    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    const guint subscription = g_dbus_connection_signal_subscribe(
        bus, nullptr, kPromptInterface, "Completed", promptPath, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
           GVariant* parameters, gpointer data) {
            auto* result = static_cast<Outcome*>(data);
            if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(bv)"))) return;
            gboolean dismissed = TRUE;
            g_variant_get(parameters, "(bv)", &dismissed, nullptr);
            result->completed = true;
            result->dismissed = dismissed;
        },
        &outcome, nullptr);

    const auto left = std::chrono::duration_cast<milliseconds>(work.promptUntil - Clock::now());
    GSource* timer = g_timeout_source_new(static_cast<guint>(std::max<long long>(left.count(), 0)));
    g_source_set_callback(
        timer,
        [](gpointer data) -> gboolean {
            static_cast<Outcome*>(data)->timedOut = true;
            return G_SOURCE_REMOVE;
        },
        &outcome, nullptr);
    g_source_attach(timer, context);
    GSource* cancelled = g_cancellable_source_new(work.cancellable);
    g_source_set_callback(
        cancelled,
        // A cancellable source calls a GCancellableSourceFunc through the GSourceFunc slot.
        reinterpret_cast<GSourceFunc>(
            reinterpret_cast<void (*)()>(+[](GCancellable*, gpointer data) -> gboolean {
                static_cast<Outcome*>(data)->cancelled = true;
                return G_SOURCE_REMOVE;
            })),
        &outcome, nullptr);
    g_source_attach(cancelled, context);

    work.prompting = true;
    ErrorHolder failure;
    // No parent window to name: the prompt is the desktop's own.
    GVariant* reply = g_dbus_connection_call_sync(
        bus, kSecretsName, promptPath, kPromptInterface, "Prompt", g_variant_new("(s)", ""),
        nullptr, G_DBUS_CALL_FLAGS_NONE, kMethodTimeoutMs, work.cancellable, &failure.error);
    if (reply) {
        g_variant_unref(reply);
        while (!outcome.completed && !outcome.timedOut && !outcome.cancelled)
            g_main_context_iteration(context, TRUE);
    }
    // A prompt left unanswered stays on the desktop for the user to answer later (an unlock
    // then serves the next try). It is not dismissed: gnome-keyring-daemon aborts when a client
    // dismisses an unlock prompt it is showing, taking every other program's key ring with it.
    work.prompting = false;

    g_source_destroy(timer);
    g_source_unref(timer);
    g_source_destroy(cancelled);
    g_source_unref(cancelled);
    g_dbus_connection_signal_unsubscribe(bus, subscription);
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);

    if (!reply) return Failure(failure, work);
    if (outcome.cancelled || (!outcome.completed && g_cancellable_is_cancelled(work.cancellable))) {
        work.error = msg::Say(msg::kKeyRingGaveUp);
        return KeyRingStatus::Cancelled;
    }
    if (outcome.timedOut && !outcome.completed) {
        work.error = msg::Say(msg::kKeyRingPromptNoAnswer);
        return KeyRingStatus::Locked;
    }
    if (outcome.dismissed) {
        work.error = msg::Say(msg::kKeyRingPromptDismissed);
        return KeyRingStatus::Locked;
    }
    return KeyRingStatus::Ok;
}

// Unlocks the collections and items of `paths` (object paths), through the prompt when the
// service asks for one.
KeyRingStatus Unlock(GDBusConnection* bus, const std::vector<std::string>& paths, Work& work) {
    if (paths.empty()) return KeyRingStatus::Ok;
    GVariantBuilder objects;
    g_variant_builder_init(&objects, G_VARIANT_TYPE("ao"));
    for (const std::string& path : paths) g_variant_builder_add(&objects, "o", path.c_str());
    ErrorHolder failure;
    GVariant* reply = g_dbus_connection_call_sync(
        bus, kSecretsName, kServicePath, kServiceInterface, "Unlock",
        g_variant_new("(ao)", &objects), G_VARIANT_TYPE("(aoo)"), G_DBUS_CALL_FLAGS_NONE,
        kMethodTimeoutMs, work.cancellable, &failure.error);
    if (!reply) return Failure(failure, work);
    GVariant* unlocked = nullptr;
    const gchar* prompt = nullptr;
    g_variant_get(reply, "(@ao&o)", &unlocked, &prompt);
    const bool allUnlocked = g_variant_n_children(unlocked) >= paths.size();
    g_variant_unref(unlocked);
    KeyRingStatus status = KeyRingStatus::Ok;
    if (g_strcmp0(prompt, "/") != 0) {
        status = RunPrompt(bus, prompt, work);
    } else if (!allUnlocked) {
        work.error = msg::Say(msg::kKeyRingCannotUnlock);
        status = KeyRingStatus::Locked;
    }
    g_variant_unref(reply);
    return status;
}

// The object path of the default collection ("/" when there is none), and whether it is locked.
KeyRingStatus DefaultCollection(GDBusConnection* bus, Work& work, std::string* path, bool* locked) {
    ErrorHolder failure;
    GVariant* alias = g_dbus_connection_call_sync(
        bus, kSecretsName, kServicePath, kServiceInterface, "ReadAlias",
        g_variant_new("(s)", "default"), G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NONE,
        kMethodTimeoutMs, work.cancellable, &failure.error);
    if (!alias) return Failure(failure, work);
    const gchar* objectPath = nullptr;
    g_variant_get(alias, "(&o)", &objectPath);
    *path = objectPath;
    g_variant_unref(alias);
    *locked = false;
    if (*path == "/") return KeyRingStatus::Ok;
    GVariant* property = g_dbus_connection_call_sync(
        bus, kSecretsName, path->c_str(), "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", "org.freedesktop.Secret.Collection", "Locked"), G_VARIANT_TYPE("(v)"),
        G_DBUS_CALL_FLAGS_NONE, kMethodTimeoutMs, work.cancellable, &failure.error);
    if (!property) return Failure(failure, work);
    GVariant* value = nullptr;
    g_variant_get(property, "(v)", &value);
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN)) *locked = g_variant_get_boolean(value);
    g_variant_unref(value);
    g_variant_unref(property);
    return KeyRingStatus::Ok;
}

GHashTable* Attributes(const std::string* host, const std::string* user) {
    GHashTable* attributes = g_hash_table_new(g_str_hash, g_str_equal);
    if (host)
        g_hash_table_insert(attributes, const_cast<char*>("host"),
                            const_cast<char*>(host->c_str()));
    if (user)
        g_hash_table_insert(attributes, const_cast<char*>("user"),
                            const_cast<char*>(user->c_str()));
    return attributes;
}

std::string AttributeOf(GHashTable* attributes, const char* name) {
    const auto* value = static_cast<const char*>(g_hash_table_lookup(attributes, name));
    return value ? value : "";
}

// The items for the host (every item of the schema without one), locked or not, without
// their secrets and without unlocking anything.
struct Found {
    GList* items = nullptr;
    Found() = default;
    Found(const Found&) = delete;
    Found& operator=(const Found&) = delete;
    ~Found() { g_list_free_full(items, g_object_unref); }

    std::vector<std::string> LockedPaths() const {
        std::vector<std::string> paths;
        for (GList* item = items; item; item = item->next)
            if (SECRET_IS_ITEM(item->data) && secret_item_get_locked(SECRET_ITEM(item->data)))
                paths.emplace_back(g_dbus_proxy_get_object_path(G_DBUS_PROXY(item->data)));
        return paths;
    }
};

KeyRingStatus Search(const std::string* hostKey, Work& work, Found* found) {
    ErrorHolder failure;
    GHashTable* match = Attributes(hostKey, nullptr);
    found->items = secret_password_searchv_sync(Schema(), match, SECRET_SEARCH_ALL,
                                                work.cancellable, &failure.error);
    g_hash_table_unref(match);
    if (failure.error) return Failure(failure, work);
    return KeyRingStatus::Ok;
}

// Removes the host's items; true when there were some.
KeyRingStatus Clear(const std::string& hostKey, Work& work, bool* removed) {
    ErrorHolder failure;
    GHashTable* match = Attributes(&hostKey, nullptr);
    *removed = secret_password_clearv_sync(Schema(), match, work.cancellable, &failure.error);
    g_hash_table_unref(match);
    if (failure.error && !g_error_matches(failure.error, SECRET_ERROR, SECRET_ERROR_NO_SUCH_OBJECT))
        return Failure(failure, work);
    return KeyRingStatus::Ok;
}

// Holds the bus for the length of a task.
struct Bus {
    GDBusConnection* connection = nullptr;
    Bus() = default;
    Bus(const Bus&) = delete;
    Bus& operator=(const Bus&) = delete;
    ~Bus() {
        if (connection) g_object_unref(connection);
    }
};

KeyRingStatus StoreTask(const std::string& hostKey, const std::string& user,
                        const std::string& secret, Work& work) {
    KeyRingStatus status;
    Bus bus;
    if (!(bus.connection = ServiceBus(work, &status))) return status;
    std::string collection;
    bool locked = false;
    if ((status = DefaultCollection(bus.connection, work, &collection, &locked)) !=
        KeyRingStatus::Ok)
        return status;
    {
        // One item per host: a login stored earlier (under another user name, or in another
        // collection) goes, so that collection has to be open too.
        Found earlier;
        if ((status = Search(&hostKey, work, &earlier)) != KeyRingStatus::Ok) return status;
        std::vector<std::string> paths = earlier.LockedPaths();
        if (locked) paths.push_back(collection);
        if ((status = Unlock(bus.connection, paths, work)) != KeyRingStatus::Ok) return status;
    }
    bool removed = false;
    if ((status = Clear(hostKey, work, &removed)) != KeyRingStatus::Ok) return status;
    ErrorHolder failure;
    GHashTable* attributes = Attributes(&hostKey, &user);
    const std::string label = "Qubopost SMTP login " + user + "@" + hostKey;
    const gboolean stored =
        secret_password_storev_sync(Schema(), attributes, SECRET_COLLECTION_DEFAULT, label.c_str(),
                                    secret.c_str(), work.cancellable, &failure.error);
    g_hash_table_unref(attributes);
    if (!stored) return Failure(failure, work);
    return KeyRingStatus::Ok;
}

KeyRingStatus LookupTask(const std::string& hostKey, Work& work) {
    KeyRingStatus status;
    Bus bus;
    if (!(bus.connection = ServiceBus(work, &status))) return status;
    Found found;
    if ((status = Search(&hostKey, work, &found)) != KeyRingStatus::Ok) return status;
    if (!found.items) return KeyRingStatus::NotFound;
    if ((status = Unlock(bus.connection, found.LockedPaths(), work)) != KeyRingStatus::Ok)
        return status;
    status = KeyRingStatus::NotFound;
    for (GList* item = found.items; item && status == KeyRingStatus::NotFound; item = item->next) {
        auto* retrievable = static_cast<SecretRetrievable*>(item->data);
        ErrorHolder readFailure;
        SecretValue* value = secret_retrievable_retrieve_secret_sync(retrievable, work.cancellable,
                                                                     &readFailure.error);
        if (!value) {
            if (readFailure.Cancelled() || readFailure.Locked()) return Failure(readFailure, work);
            continue;
        }
        const gchar* text = secret_value_get_text(value);
        if (text) {
            GHashTable* attributes = secret_retrievable_get_attributes(retrievable);
            work.credentials = Credentials{AttributeOf(attributes, "user"), text, Source::KeyRing,
                                           KeyRingStatus::Ok};
            g_hash_table_unref(attributes);
            status = KeyRingStatus::Ok;
        }
        secret_value_unref(value);
    }
    return status;
}

KeyRingStatus ForgetTask(const std::string& hostKey, Work& work) {
    KeyRingStatus status;
    Bus bus;
    if (!(bus.connection = ServiceBus(work, &status))) return status;
    {
        Found found;
        if ((status = Search(&hostKey, work, &found)) != KeyRingStatus::Ok) return status;
        if (!found.items) return KeyRingStatus::NotFound;
        if ((status = Unlock(bus.connection, found.LockedPaths(), work)) != KeyRingStatus::Ok)
            return status;
    }
    bool removed = false;
    if ((status = Clear(hostKey, work, &removed)) != KeyRingStatus::Ok) return status;
    return removed ? KeyRingStatus::Ok : KeyRingStatus::NotFound;
}

KeyRingStatus ListTask(Work& work) {
    KeyRingStatus status;
    Bus bus;
    if (!(bus.connection = ServiceBus(work, &status))) return status;
    // The attributes of a locked item are readable: listing never prompts.
    Found found;
    if ((status = Search(nullptr, work, &found)) != KeyRingStatus::Ok) return status;
    for (GList* item = found.items; item; item = item->next) {
        GHashTable* attributes =
            secret_retrievable_get_attributes(static_cast<SecretRetrievable*>(item->data));
        work.entries.push_back({AttributeOf(attributes, "host"), AttributeOf(attributes, "user")});
        g_hash_table_unref(attributes);
    }
    std::sort(work.entries.begin(), work.entries.end(),
              [](const KeyRingEntry& a, const KeyRingEntry& b) {
                  return a.host != b.host ? a.host < b.host : a.user < b.user;
              });
    return KeyRingStatus::Ok;
}

}  // namespace

std::chrono::milliseconds KeyRingTimeLimit() { return Limit(); }

void SetKeyRingTimeLimit(std::chrono::milliseconds limit) {
    timeLimitMs = std::max(limit, kShortestLimit).count();
}

std::string NormaliseHost(std::string_view host) {
    while (!host.empty() && (host.front() == ' ' || host.front() == '\t')) host.remove_prefix(1);
    while (!host.empty() && (host.back() == ' ' || host.back() == '\t')) host.remove_suffix(1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    std::string out(host);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool KeyRingAvailable(const KeyRingCancel* cancel) {
    const milliseconds limit = std::min(Limit(), milliseconds(3 * kProbeTimeoutMs));
    return RunBounded(
               cancel, limit,
               [](Work& work) {
                   KeyRingStatus status;
                   Bus bus;
                   bus.connection = ServiceBus(work, &status);
                   return status;
               },
               nullptr) == KeyRingStatus::Ok;
}

KeyRingStatus KeyRingStore(std::string_view host, std::string_view user, std::string_view password,
                           std::string* error, const KeyRingCancel* cancel) {
    return RunBounded(
        cancel, Limit(),
        [hostKey = NormaliseHost(host), userText = std::string(user),
         secret = std::string(password)](Work& work) {
            return StoreTask(hostKey, userText, secret, work);
        },
        error);
}

KeyRingStatus KeyRingLookup(std::string_view host, Credentials* found, std::string* error,
                            const KeyRingCancel* cancel) {
    return RunBounded(
        cancel, Limit(),
        [hostKey = NormaliseHost(host)](Work& work) { return LookupTask(hostKey, work); }, error,
        [found](Work& work) {
            if (found && work.status == KeyRingStatus::Ok) *found = work.credentials;
        });
}

KeyRingStatus KeyRingForget(std::string_view host, std::string* error,
                            const KeyRingCancel* cancel) {
    return RunBounded(
        cancel, Limit(),
        [hostKey = NormaliseHost(host)](Work& work) { return ForgetTask(hostKey, work); }, error);
}

KeyRingStatus KeyRingList(std::vector<KeyRingEntry>* entries, std::string* error,
                          const KeyRingCancel* cancel) {
    return RunBounded(cancel, Limit(), ListTask, error, [entries](Work& work) {
        if (entries && work.status == KeyRingStatus::Ok) *entries = work.entries;
    });
}

std::string KeyRingProblemText(KeyRingStatus status, std::string_view error,
                               std::string_view retry) {
    const std::string reason =
        error.empty() ? std::string() : msg::Say(msg::kReasonInBrackets, {error});
    switch (status) {
        case KeyRingStatus::Ok:
            return {};
        case KeyRingStatus::NotFound:
            return std::string(msg::Say(msg::kKeyRingNoLogin));
        case KeyRingStatus::Unavailable:
            return std::string(msg::Say(msg::kKeyRingUnavailable));
        case KeyRingStatus::Locked:
            return msg::Say(msg::kKeyRingLocked, {reason, retry});
        case KeyRingStatus::Cancelled:
            return msg::Say(msg::kKeyRingCancelled, {retry});
        case KeyRingStatus::Failed:
            break;
    }
    return msg::Say(msg::kKeyRingFailed, {reason, retry});
}

}  // namespace qubopost::credentials
