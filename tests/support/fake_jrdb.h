#pragma once
// Starts tests/support/fake_jrdb.py (the fake JRDB member area) for one test and stops it after.
// POSIX only: the Windows tests reach a server that CTest starts outside Wine.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace velt::test {

class FakeJrdb {
public:
    // `args` follow the script's name (--root, --id, --fault ...). The password is given through
    // FAKE_JRDB_PASSWORD, so it is on no command line.
    FakeJrdb(const std::vector<std::string>& args, const std::string& password) {
        int out[2];
        if (::pipe(out) != 0) throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ < 0) throw std::runtime_error("fork");
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            ::close(out[0]);
            ::close(out[1]);
            ::setenv("FAKE_JRDB_PASSWORD", password.c_str(), 1);
            std::vector<std::string> all{"python3", VELT_TEST_DATA "/../support/fake_jrdb.py"};
            all.insert(all.end(), args.begin(), args.end());
            std::vector<char*> argv;
            for (auto& a : all) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execvp("python3", argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        // The first line is the base URL; nothing comes when the script failed.
        std::FILE* in = ::fdopen(out[0], "r");
        char line[256] = {};
        const bool got = in && std::fgets(line, sizeof line, in);
        if (in) std::fclose(in);
        if (!got) {
            stop();
            throw std::runtime_error("fake_jrdb.py did not start");
        }
        url_ = line;
        while (!url_.empty() && (url_.back() == '\n' || url_.back() == '\r')) url_.pop_back();
    }
    ~FakeJrdb() { stop(); }
    FakeJrdb(const FakeJrdb&) = delete;
    FakeJrdb& operator=(const FakeJrdb&) = delete;

    // "http://127.0.0.1:PORT/"
    const std::string& url() const { return url_; }

private:
    void stop() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }
    pid_t pid_ = -1;
    std::string url_;
};

}  // namespace velt::test
