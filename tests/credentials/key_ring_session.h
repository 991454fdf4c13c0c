// What the key-ring tests do to the throw-away session that isolated.sh sets up: lock the
// login collection through the Secret Service's own Lock method, and give the desktop's unlock
// prompt (gcr-prompter, started by the session bus) a screen to show on, so that an unlock
// really waits for somebody to answer it.
#pragma once

#include <fcntl.h>
#include <gio/gio.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

namespace qubopost::test {

inline GDBusConnection* SessionBus() {
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (error) g_error_free(error);
    return bus;
}

// Calls a method on the session bus, at most 10 s; the reply (to unref), or null.
inline GVariant* CallBus(const char* name, const char* path, const char* interface,
                         const char* method, GVariant* arguments, std::string* problem = nullptr) {
    GDBusConnection* bus = SessionBus();
    if (!bus) {
        if (problem) *problem = "no session bus";
        if (arguments) g_variant_unref(g_variant_ref_sink(arguments));
        return nullptr;
    }
    GError* error = nullptr;
    GVariant* reply =
        g_dbus_connection_call_sync(bus, name, path, interface, method, arguments, nullptr,
                                    G_DBUS_CALL_FLAGS_NONE, 10000, nullptr, &error);
    if (error) {
        if (problem) *problem = error->message;
        g_error_free(error);
    }
    g_object_unref(bus);
    return reply;
}

// The collection the "default" alias names ("/org/freedesktop/secrets/collection/login" in a
// fresh gnome-keyring), or "" when there is none.
inline std::string DefaultCollectionPath() {
    GVariant* reply =
        CallBus("org.freedesktop.secrets", "/org/freedesktop/secrets",
                "org.freedesktop.Secret.Service", "ReadAlias", g_variant_new("(s)", "default"));
    if (!reply) return {};
    const gchar* path = nullptr;
    g_variant_get(reply, "(&o)", &path);
    std::string out = path && std::string(path) != "/" ? path : "";
    g_variant_unref(reply);
    return out;
}

// Locks the default (login) collection with the Secret Service's Lock method, as a desktop's
// "lock" action or a screen lock does. True when it is locked afterwards.
inline bool LockDefaultCollection(std::string* problem = nullptr) {
    const std::string path = DefaultCollectionPath();
    if (path.empty()) {
        if (problem) *problem = "no default collection";
        return false;
    }
    GVariantBuilder objects;
    g_variant_builder_init(&objects, G_VARIANT_TYPE("ao"));
    g_variant_builder_add(&objects, "o", path.c_str());
    GVariant* reply =
        CallBus("org.freedesktop.secrets", "/org/freedesktop/secrets",
                "org.freedesktop.Secret.Service", "Lock", g_variant_new("(ao)", &objects), problem);
    if (!reply) return false;
    g_variant_unref(reply);
    GVariant* locked =
        CallBus("org.freedesktop.secrets", path.c_str(), "org.freedesktop.DBus.Properties", "Get",
                g_variant_new("(ss)", "org.freedesktop.Secret.Collection", "Locked"), problem);
    if (!locked) return false;
    GVariant* value = nullptr;
    g_variant_get(locked, "(v)", &value);
    const bool isLocked =
        g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN) && g_variant_get_boolean(value);
    g_variant_unref(value);
    g_variant_unref(locked);
    return isLocked;
}

// True once `name` has an owner on the session bus, polling for at most `limit`.
inline bool WaitForBusName(const char* name, std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < until) {
        GVariant* reply =
            CallBus("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                    "NameHasOwner", g_variant_new("(s)", name));
        gboolean has = FALSE;
        if (reply) {
            g_variant_get(reply, "(b)", &has);
            g_variant_unref(reply);
        }
        if (has) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

// An X server of the test's own (Xvfb on a display number it picks itself, no TCP), made the
// display of every service the session bus starts from now on: the unlock prompt shows there
// and waits for an answer that never comes. Stopped (by its PID) at the end.
class PromptScreen {
public:
    PromptScreen() {
        int fds[2];
        if (pipe(fds) != 0) {
            problem_ = "pipe failed";
            return;
        }
        pid_ = fork();
        if (pid_ == 0) {
            close(fds[0]);
            const int null = open("/dev/null", O_WRONLY);
            if (null >= 0) {
                dup2(null, STDOUT_FILENO);
                dup2(null, STDERR_FILENO);
            }
            const std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0",
                   "800x600x24", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        std::string number;
        pollfd wait{fds[0], POLLIN, 0};
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (number.find('\n') == std::string::npos && std::chrono::steady_clock::now() < until) {
            if (poll(&wait, 1, 200) <= 0) continue;
            char buffer[32];
            const ssize_t got = read(fds[0], buffer, sizeof buffer);
            if (got <= 0) break;
            number.append(buffer, static_cast<size_t>(got));
        }
        close(fds[0]);
        if (number.find('\n') == std::string::npos) {
            problem_ = "Xvfb did not start";
            return;
        }
        display_ = ":" + number.substr(0, number.find('\n'));
        GVariantBuilder environment;
        g_variant_builder_init(&environment, G_VARIANT_TYPE("a{ss}"));
        g_variant_builder_add(&environment, "{ss}", "DISPLAY", display_.c_str());
        GVariant* reply = CallBus("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                  "org.freedesktop.DBus", "UpdateActivationEnvironment",
                                  g_variant_new("(a{ss})", &environment), &problem_);
        if (reply)
            g_variant_unref(reply);
        else
            display_.clear();
    }
    ~PromptScreen() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        for (int i = 0; i < 100; ++i) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    PromptScreen(const PromptScreen&) = delete;
    PromptScreen& operator=(const PromptScreen&) = delete;

    bool ready() const { return !display_.empty(); }
    const std::string& problem() const { return problem_; }

private:
    pid_t pid_ = -1;
    std::string display_;
    std::string problem_;
};

// The name the desktop's prompter takes on the bus while it shows a prompt.
inline constexpr const char* kSystemPrompter = "org.gnome.keyring.SystemPrompter";

}  // namespace qubopost::test
