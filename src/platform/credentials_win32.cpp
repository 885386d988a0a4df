// The JRDB login in the Windows Credential Manager: a generic credential "Velt/JRDB" whose user
// name is the member ID and whose blob is the password (UTF-8), kept for this user only.
#include <windows.h>
// after windows.h, whose types it uses
#include <wincred.h>

#include "platform/credentials.h"
#include "platform/failure.h"
#include "platform/windows_text.h"

namespace velt::platform {
namespace {

const wchar_t kTarget[] = L"Velt/JRDB";
const char kStoreName[] = "Windows 資格情報マネージャー";

[[noreturn]] void fail(const std::string& doing, DWORD error) {
    throw Failure(kStoreName, doing + " (Windows のエラー " + std::to_string(error) + ")");
}

}  // namespace

std::string credentialStoreName() {
    return kStoreName;
}

bool credentialStoreAvailable() {
    return true;  // part of every Windows
}

std::optional<HttpLogin> loadLogin() {
    PCREDENTIALW credential = nullptr;
    if (!CredReadW(kTarget, CRED_TYPE_GENERIC, 0, &credential)) {
        const DWORD error = GetLastError();
        if (error == ERROR_NOT_FOUND) return std::nullopt;
        fail("保存したログインを読めません", error);
    }
    HttpLogin login;
    if (credential->UserName) login.id = utf8(credential->UserName);
    login.password.assign(reinterpret_cast<const char*>(credential->CredentialBlob),
                          credential->CredentialBlobSize);
    SecureZeroMemory(credential->CredentialBlob, credential->CredentialBlobSize);
    CredFree(credential);
    return login;
}

void storeLogin(const HttpLogin& login) {
    std::wstring user = wide(login.id);
    std::string blob = login.password;
    CREDENTIALW credential = {};
    credential.Type = CRED_TYPE_GENERIC;
    credential.TargetName = const_cast<wchar_t*>(kTarget);
    credential.UserName = user.data();
    credential.CredentialBlobSize = static_cast<DWORD>(blob.size());
    credential.CredentialBlob = reinterpret_cast<LPBYTE>(blob.data());
    credential.Persist = CRED_PERSIST_LOCAL_MACHINE;
    const bool stored = CredWriteW(&credential, 0);
    const DWORD error = GetLastError();
    SecureZeroMemory(blob.data(), blob.size());
    if (!stored) fail("ログインを保存できません", error);
}

void forgetLogin() {
    if (!CredDeleteW(kTarget, CRED_TYPE_GENERIC, 0)) {
        const DWORD error = GetLastError();
        if (error != ERROR_NOT_FOUND) fail("保存したログインを消せません", error);
    }
}

}  // namespace velt::platform
