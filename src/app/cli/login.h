#pragma once
// The JRDB login on the command line: asked on the terminal, kept in the system's credential
// store.

#include <optional>

#include "platform/http.h"

namespace velt::cli {

// The member ID and password from VELT_JRDB_ID and VELT_JRDB_PASSWORD where set, the rest asked
// on the terminal (the password without echo). nullopt, after saying why on standard error, when
// neither gives them or the ID is empty.
std::optional<platform::HttpLogin> askLogin();

// --jrdb-login: asks and stores. --jrdb-logout: forgets. Exit codes of velt-cli.
int storeLogin(bool quiet);
int forgetLogin(bool quiet);

}  // namespace velt::cli
