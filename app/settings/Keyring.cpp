#include "app/settings/Keyring.h"

#include <libsecret/secret.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace {

// Long enough for the keyring daemon to be started by D-Bus activation, short enough that a
// keyring that hangs does not hold a check for long.
constexpr std::chrono::seconds kTimeLimit{10};

const SecretSchema* Schema() {
    static const SecretSchema schema = {
        "com.zentrivo.kestrovamail.Secret",
        SECRET_SCHEMA_NONE,
        {{"folder", SECRET_SCHEMA_ATTRIBUTE_STRING},
         {"name", SECRET_SCHEMA_ATTRIBUTE_STRING},
         {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
        0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    return &schema;
}

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
using ErrorPtr = std::unique_ptr<GError, ErrorFree>;

struct HashTableUnref {
    void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};

struct ItemListFree {
    void operator()(GList* list) const { g_list_free_full(list, g_object_unref); }
};

struct ValueUnref {
    void operator()(SecretValue* value) const { secret_value_unref(value); }
};

// A GCancellable raised when the time limit passes; the watcher ends with the guard.
class BoundedCancellable {
public:
    BoundedCancellable() : m_cancellable(g_cancellable_new()) {
        m_watcher = std::thread([this] {
            std::unique_lock lock(m_mutex);
            if (!m_done.wait_for(lock, kTimeLimit, [this] { return m_finished; }))
                g_cancellable_cancel(m_cancellable.get());
        });
    }
    ~BoundedCancellable() {
        {
            std::lock_guard lock(m_mutex);
            m_finished = true;
        }
        m_done.notify_one();
        m_watcher.join();
    }
    BoundedCancellable(const BoundedCancellable&) = delete;
    BoundedCancellable& operator=(const BoundedCancellable&) = delete;

    GCancellable* get() const { return m_cancellable.get(); }

private:
    GObjectPtr<GCancellable> m_cancellable;
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    std::thread m_watcher;
};

std::unique_ptr<GHashTable, HashTableUnref> Attributes(const std::string& folder,
                                                       const std::string& name) {
    GHashTable* table = g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free);
    g_hash_table_insert(table, g_strdup("folder"), g_strdup(folder.c_str()));
    g_hash_table_insert(table, g_strdup("name"), g_strdup(name.c_str()));
    return std::unique_ptr<GHashTable, HashTableUnref>(table);
}

// The Secret Service with an open session, or null when none answers.
GObjectPtr<SecretService> Service(GCancellable* cancellable) {
    GError* raw = nullptr;
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, cancellable, &raw);
    ErrorPtr error(raw);
    return GObjectPtr<SecretService>(error ? nullptr : service);
}

// Whether the collection new secrets go to is locked (false when there is none yet: storing
// then creates it, which the daemon does without asking for a login keyring's password).
bool DefaultCollectionLocked(SecretService* service, GCancellable* cancellable, bool& failed) {
    GError* raw = nullptr;
    GObjectPtr<SecretCollection> collection(secret_collection_for_alias_sync(
        service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, cancellable, &raw));
    ErrorPtr error(raw);
    failed = static_cast<bool>(error);
    return collection && secret_collection_get_locked(collection.get());
}

// A keyring that failed is asked afresh next time (the daemon may have been restarted).
KeyringStatus Unreachable() {
    secret_service_disconnect();
    return KeyringStatus::Unreachable;
}

} // namespace

const char* SecretNameText(SecretName name) {
    switch (name) {
    case SecretName::Pop3Password:
        return "POP3_PASS";
    case SecretName::SmtpPassword:
        return "SMTP_PASS";
    case SecretName::OAuthClientSecret:
        return "OAUTH_CLIENT_SECRET";
    case SecretName::RefreshToken:
        return "oauth-token";
    }
    return "";
}

namespace keyring {

bool Reachable() {
    BoundedCancellable cancellable;
    return static_cast<bool>(Service(cancellable.get()));
}

KeyringStatus Read(const std::string& folder, SecretName name, std::string& value) {
    return Read(folder, std::string(SecretNameText(name)), value);
}

KeyringStatus Write(const std::string& folder, SecretName name, std::string_view value) {
    return Write(folder, std::string(SecretNameText(name)), value);
}

KeyringStatus Read(const std::string& folder, const std::string& name, std::string& value) {
    value.clear();
    BoundedCancellable cancellable;
    const GObjectPtr<SecretService> service = Service(cancellable.get());
    if (!service)
        return Unreachable();
    GError* raw = nullptr;
    // Without SECRET_SEARCH_UNLOCK: a locked item is found, not unlocked through a prompt.
    const std::unique_ptr<GList, ItemListFree> items(secret_service_search_sync(
        service.get(), Schema(), Attributes(folder, name).get(), SECRET_SEARCH_LOAD_SECRETS,
        cancellable.get(), &raw));
    const ErrorPtr error(raw);
    if (error)
        return Unreachable();
    if (!items)
        return KeyringStatus::Missing;
    auto* item = static_cast<SecretItem*>(items->data);
    if (secret_item_get_locked(item))
        return KeyringStatus::Locked;
    const std::unique_ptr<SecretValue, ValueUnref> secret(secret_item_get_secret(item));
    if (!secret)
        return KeyringStatus::Locked;
    gsize length = 0;
    const gchar* bytes = secret_value_get(secret.get(), &length);
    value.assign(bytes, length);
    return KeyringStatus::Ok;
}

KeyringStatus Write(const std::string& folder, const std::string& name, std::string_view value) {
    BoundedCancellable cancellable;
    const GObjectPtr<SecretService> service = Service(cancellable.get());
    if (!service)
        return Unreachable();
    bool failed = false;
    if (DefaultCollectionLocked(service.get(), cancellable.get(), failed))
        return KeyringStatus::Locked;
    if (failed)
        return Unreachable();
    GError* raw = nullptr;
    const auto attributes = Attributes(folder, name);
    if (value.empty()) {
        secret_service_clear_sync(service.get(), Schema(), attributes.get(), cancellable.get(),
                                  &raw);
        const ErrorPtr error(raw);
        return error ? Unreachable() : KeyringStatus::Ok;
    }
    const std::unique_ptr<SecretValue, ValueUnref> secret(
        secret_value_new(value.data(), static_cast<gssize>(value.size()), "text/plain"));
    const std::string label = std::string("KestrovaMail ") + name + " (" + folder + ")";
    const bool stored = secret_service_store_sync(service.get(), Schema(), attributes.get(),
                                                  SECRET_COLLECTION_DEFAULT, label.c_str(),
                                                  secret.get(), cancellable.get(), &raw);
    const ErrorPtr error(raw);
    return stored && !error ? KeyringStatus::Ok : Unreachable();
}

} // namespace keyring
