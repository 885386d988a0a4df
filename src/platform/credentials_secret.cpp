// The JRDB login in the Secret Service (GNOME Keyring, KWallet) through libsecret. One item,
// found by service "jrdb"; its secret holds the ID, a line end and the password, so that the
// password is never an attribute (attributes are stored unencrypted).
#include <libsecret/secret.h>

#include <memory>

#include "platform/credentials.h"
#include "platform/failure.h"

namespace velt::platform {
namespace {

const char kStoreName[] = "Secret Service";

const SecretSchema* schema() {
    static const SecretSchema s = {
        "app.velt.JrdbLogin",
        SECRET_SCHEMA_NONE,
        {{"service", SECRET_SCHEMA_ATTRIBUTE_STRING}, {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
        0,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr};
    return &s;
}

struct ErrorFree {
    void operator()(GError* e) const { g_error_free(e); }
};
using Error = std::unique_ptr<GError, ErrorFree>;

[[noreturn]] void fail(const std::string& doing, const GError* error) {
    throw Failure(kStoreName, doing + (error ? std::string(" (") + error->message + ")" : ""));
}

}  // namespace

std::string credentialStoreName() {
    return kStoreName;
}

bool credentialStoreAvailable() {
    GError* raw = nullptr;
    // Opening a session needs the service itself to answer, not only a D-Bus.
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, &raw);
    Error error(raw);
    if (!service) return false;
    g_object_unref(service);
    return !error;
}

std::optional<HttpLogin> loadLogin() {
    GError* raw = nullptr;
    gchar* secret =
        secret_password_lookup_sync(schema(), nullptr, &raw, "service", "jrdb", nullptr);
    Error error(raw);
    if (error) fail("保存したログインを読めません", error.get());
    if (!secret) return std::nullopt;
    const std::string text(secret);
    secret_password_free(secret);
    const auto end = text.find('\n');
    if (end == std::string::npos || end == 0) return std::nullopt;  // not one of ours
    return HttpLogin{text.substr(0, end), text.substr(end + 1)};
}

void storeLogin(const HttpLogin& login) {
    const std::string secret = login.id + "\n" + login.password;
    const std::string label = "Velt: JRDB 会員 " + login.id;
    GError* raw = nullptr;
    const bool stored =
        secret_password_store_sync(schema(), SECRET_COLLECTION_DEFAULT, label.c_str(),
                                   secret.c_str(), nullptr, &raw, "service", "jrdb", nullptr);
    Error error(raw);
    if (!stored || error) fail("ログインを保存できません", error.get());
}

void forgetLogin() {
    GError* raw = nullptr;
    secret_password_clear_sync(schema(), nullptr, &raw, "service", "jrdb", nullptr);
    Error error(raw);
    if (error) fail("保存したログインを消せません", error.get());
}

}  // namespace velt::platform
