#pragma once
// The JRDB login in the system's credential store: the Secret Service through libsecret on
// Linux, the Credential Manager on Windows. Nothing above the platform layer sees either.

#include <optional>
#include <string>

#include "platform/http.h"

namespace velt::platform {

// The store's name as the user knows it: "Secret Service", "Windows 資格情報マネージャー".
std::string credentialStoreName();

// Whether a credential store answers here (a headless machine may have none).
bool credentialStoreAvailable();

// The stored login, or nullopt when none is stored. Throws Failure when the store fails.
std::optional<HttpLogin> loadLogin();
// Stores (replacing) the login. Throws Failure when the store fails or is missing.
void storeLogin(const HttpLogin& login);
// Forgets the stored login; nothing stored is not a failure.
void forgetLogin();

}  // namespace velt::platform
