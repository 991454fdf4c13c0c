// The key ring through libsecret, each call bounded in time.
#include <libsecret/secret.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "credentials/credentials.h"

namespace qubopost::credentials {
namespace {

constexpr const char* kSchemaName = "org.qubopost.Qubopost.Smtp";
constexpr const char* kSecretsName = "org.freedesktop.secrets";
// How long the bus may take to say whether a Secret Service is there.
constexpr int kProbeTimeoutMs = 1500;
// How long a call to the service may take (an unlocked key ring answers in milliseconds).
constexpr auto kCallTimeout = std::chrono::seconds(10);

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

// libsecret's calls take turns: they are quick, and the service is one process anyway.
std::mutex keyRingMutex;

// A GCancellable that cancels itself when the time is up, so that no call waits for ever on a
// service that does not answer (or on an unlock prompt nobody answers).
class Deadline {
  public:
    explicit Deadline(std::chrono::milliseconds limit) : cancellable_(g_cancellable_new()) {
        watcher_ = std::thread([this, limit] {
            std::unique_lock lock(mutex_);
            if (!wake_.wait_for(lock, limit, [this] { return done_; }))
                g_cancellable_cancel(cancellable_);
        });
    }
    ~Deadline() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        wake_.notify_all();
        watcher_.join();
        g_object_unref(cancellable_);
    }
    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;

    GCancellable* get() const { return cancellable_; }

  private:
    GCancellable* cancellable_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    std::thread watcher_;
};

struct ErrorHolder {
    GError* error = nullptr;
    ~ErrorHolder() {
        if (error) g_error_free(error);
    }
    std::string text() const {
        if (!error) return "unknown error";
        if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED))
            return "the key ring did not answer in time";
        return error->message ? error->message : "unknown error";
    }
};

// True when the session bus answers and has (or can start) a Secret Service.
bool ServiceReachable() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (!address || !*address) return false;
    Deadline deadline{std::chrono::milliseconds(kProbeTimeoutMs)};
    ErrorHolder failure;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, deadline.get(), &failure.error);
    if (!bus) return false;
    bool reachable = false;
    GVariant* owned = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "NameHasOwner", g_variant_new("(s)", kSecretsName), G_VARIANT_TYPE("(b)"),
        G_DBUS_CALL_FLAGS_NONE, kProbeTimeoutMs, deadline.get(), nullptr);
    if (owned) {
        gboolean has = FALSE;
        g_variant_get(owned, "(b)", &has);
        reachable = has;
        g_variant_unref(owned);
    }
    if (!reachable && owned) {
        // Not running yet, but the bus may start it on the first call.
        GVariant* names = g_dbus_connection_call_sync(
            bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
            "ListActivatableNames", nullptr, G_VARIANT_TYPE("(as)"), G_DBUS_CALL_FLAGS_NONE,
            kProbeTimeoutMs, deadline.get(), nullptr);
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
    g_object_unref(bus);
    return reachable;
}

GHashTable* Attributes(const std::string* host, const std::string* user) {
    GHashTable* attributes = g_hash_table_new(g_str_hash, g_str_equal);
    if (host) g_hash_table_insert(attributes, const_cast<char*>("host"), const_cast<char*>(host->c_str()));
    if (user) g_hash_table_insert(attributes, const_cast<char*>("user"), const_cast<char*>(user->c_str()));
    return attributes;
}

std::string AttributeOf(GHashTable* attributes, const char* name) {
    const auto* value = static_cast<const char*>(g_hash_table_lookup(attributes, name));
    return value ? value : "";
}

void SetError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

}  // namespace

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

bool KeyRingAvailable() {
    std::lock_guard lock(keyRingMutex);
    return ServiceReachable();
}

KeyRingStatus KeyRingStore(std::string_view host, std::string_view user,
                           std::string_view password, std::string* error) {
    std::lock_guard lock(keyRingMutex);
    if (!ServiceReachable()) return KeyRingStatus::Unavailable;
    const std::string hostKey = NormaliseHost(host);
    const std::string userText(user);
    const std::string secret(password);
    Deadline deadline(kCallTimeout);
    {
        // One item per host: a login stored earlier under another user name goes.
        ErrorHolder failure;
        GHashTable* match = Attributes(&hostKey, nullptr);
        secret_password_clearv_sync(Schema(), match, deadline.get(), &failure.error);
        g_hash_table_unref(match);
        if (failure.error && !g_error_matches(failure.error, SECRET_ERROR, SECRET_ERROR_NO_SUCH_OBJECT)) {
            SetError(error, failure.text());
            return KeyRingStatus::Failed;
        }
    }
    ErrorHolder failure;
    GHashTable* attributes = Attributes(&hostKey, &userText);
    const std::string label = "Qubopost SMTP login " + userText + "@" + hostKey;
    const gboolean stored =
        secret_password_storev_sync(Schema(), attributes, SECRET_COLLECTION_DEFAULT, label.c_str(),
                                    secret.c_str(), deadline.get(), &failure.error);
    g_hash_table_unref(attributes);
    if (!stored) {
        SetError(error, failure.text());
        return KeyRingStatus::Failed;
    }
    return KeyRingStatus::Ok;
}

KeyRingStatus KeyRingLookup(std::string_view host, Credentials* found, std::string* error) {
    std::lock_guard lock(keyRingMutex);
    if (!ServiceReachable()) return KeyRingStatus::Unavailable;
    const std::string hostKey = NormaliseHost(host);
    Deadline deadline(kCallTimeout);
    ErrorHolder failure;
    GHashTable* match = Attributes(&hostKey, nullptr);
    GList* items = secret_password_searchv_sync(
        Schema(), match, static_cast<SecretSearchFlags>(SECRET_SEARCH_UNLOCK | SECRET_SEARCH_LOAD_SECRETS),
        deadline.get(), &failure.error);
    g_hash_table_unref(match);
    if (failure.error) {
        SetError(error, failure.text());
        return KeyRingStatus::Failed;
    }
    KeyRingStatus status = KeyRingStatus::NotFound;
    for (GList* item = items; item && status == KeyRingStatus::NotFound; item = item->next) {
        auto* retrievable = static_cast<SecretRetrievable*>(item->data);
        ErrorHolder readFailure;
        SecretValue* value =
            secret_retrievable_retrieve_secret_sync(retrievable, deadline.get(), &readFailure.error);
        if (!value) continue;
        const gchar* text = secret_value_get_text(value);
        if (text) {
            GHashTable* attributes = secret_retrievable_get_attributes(retrievable);
            if (found) *found = Credentials{AttributeOf(attributes, "user"), text, Source::KeyRing};
            g_hash_table_unref(attributes);
            status = KeyRingStatus::Ok;
        }
        secret_value_unref(value);
    }
    g_list_free_full(items, g_object_unref);
    return status;
}

KeyRingStatus KeyRingForget(std::string_view host, std::string* error) {
    std::lock_guard lock(keyRingMutex);
    if (!ServiceReachable()) return KeyRingStatus::Unavailable;
    const std::string hostKey = NormaliseHost(host);
    Deadline deadline(kCallTimeout);
    ErrorHolder failure;
    GHashTable* match = Attributes(&hostKey, nullptr);
    const gboolean removed = secret_password_clearv_sync(Schema(), match, deadline.get(), &failure.error);
    g_hash_table_unref(match);
    if (failure.error) {
        SetError(error, failure.text());
        return KeyRingStatus::Failed;
    }
    return removed ? KeyRingStatus::Ok : KeyRingStatus::NotFound;
}

KeyRingStatus KeyRingList(std::vector<KeyRingEntry>* entries, std::string* error) {
    std::lock_guard lock(keyRingMutex);
    if (!ServiceReachable()) return KeyRingStatus::Unavailable;
    Deadline deadline(kCallTimeout);
    ErrorHolder failure;
    GHashTable* match = Attributes(nullptr, nullptr);
    GList* items = secret_password_searchv_sync(Schema(), match, SECRET_SEARCH_ALL, deadline.get(),
                                                &failure.error);
    g_hash_table_unref(match);
    if (failure.error) {
        SetError(error, failure.text());
        return KeyRingStatus::Failed;
    }
    std::vector<KeyRingEntry> list;
    for (GList* item = items; item; item = item->next) {
        GHashTable* attributes =
            secret_retrievable_get_attributes(static_cast<SecretRetrievable*>(item->data));
        list.push_back({AttributeOf(attributes, "host"), AttributeOf(attributes, "user")});
        g_hash_table_unref(attributes);
    }
    g_list_free_full(items, g_object_unref);
    std::sort(list.begin(), list.end(), [](const KeyRingEntry& a, const KeyRingEntry& b) {
        return a.host != b.host ? a.host < b.host : a.user < b.user;
    });
    if (entries) *entries = std::move(list);
    return KeyRingStatus::Ok;
}

}  // namespace qubopost::credentials
