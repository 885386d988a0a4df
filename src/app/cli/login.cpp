#include "app/cli/login.h"

#include <exception>

#include "platform/console.h"
#include "platform/credentials.h"
#include "platform/failure.h"
#include "platform/system.h"
#include "shell/shown.h"

namespace velt::cli {

using platform::print;

std::optional<platform::HttpLogin> askLogin() {
    auto id = platform::environmentVariable("VELT_JRDB_ID");
    auto password = platform::environmentVariable("VELT_JRDB_PASSWORD");
    if ((!id || !password) && !platform::inputIsTerminal()) {
        print(
            stderr,
            "velt-cli: JRDB の ID とパスワードを尋ねる端末がありません。端末で velt-cli "
            "--jrdb-login を実行するか、VELT_JRDB_ID と VELT_JRDB_PASSWORD を設定してください。\n");
        return std::nullopt;
    }
    if (!id) id = platform::askLine("JRDB の会員 ID: ", true);
    if (id && !password) password = platform::askLine("パスワード (表示されません): ", false);
    if (!id || !password || id->empty()) {
        print(stderr, "velt-cli: JRDB の ID が入力されませんでした。\n");
        return std::nullopt;
    }
    return platform::HttpLogin{*id, *password};
}

int storeLogin(bool quiet) {
    const std::string store = platform::credentialStoreName();
    if (!platform::credentialStoreAvailable()) {
        print(
            stderr,
            "velt-cli: ログインを保存する %s がありません。--fetch は端末で ID とパスワードを"
            "尋ねます。スクリプトからは VELT_JRDB_ID と VELT_JRDB_PASSWORD を設定してください。\n",
            store.c_str());
        return 1;
    }
    const auto login = askLogin();
    if (!login) return 1;
    try {
        platform::storeLogin(*login);
    } catch (const std::exception& e) {
        print(stderr, "velt-cli: %s\n", shown(describe(e)).c_str());
        return 1;
    }
    if (!quiet)
        print(stdout, "JRDB のログイン (ID: %s) を %s に保存しました。\n", shown(login->id).c_str(),
              store.c_str());
    return 0;
}

int forgetLogin(bool quiet) {
    const std::string store = platform::credentialStoreName();
    try {
        if (!platform::credentialStoreAvailable()) {
            if (!quiet)
                print(stdout, "%s がないので、保存されたログインはありません。\n", store.c_str());
            return 0;
        }
        const bool had = platform::loadLogin().has_value();
        platform::forgetLogin();
        if (!quiet)
            print(stdout,
                  had ? "保存していた JRDB のログインを %s から消しました。\n"
                      : "%s に JRDB のログインは保存されていません。\n",
                  store.c_str());
    } catch (const std::exception& e) {
        print(stderr, "velt-cli: %s\n", shown(describe(e)).c_str());
        return 1;
    }
    return 0;
}

}  // namespace velt::cli
