#pragma once
// Helpers of the fault and crash tests: velt-cli run as a child process under a size limit, as
// another user or killed at a chosen moment; Target folders and snapshots of them.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "../support/test_files.h"

namespace velt::test {

namespace fs = std::filesystem;

// Every entry under a folder: a file's bytes, "<dir>" for a folder, "-> target" for a link; the
// import history, which holds each import's time, left out.
using Snapshot = Tree;
inline Snapshot snapshot(const std::string& folder) {
    Snapshot all = tree(folder, true);
    all.erase("velt-history.tsv");
    return all;
}

// Target's data folder as its installation leaves it: the three folders, and a year folder.
inline std::string makeTarget(const std::string& folder) {
    for (const char* sub : {"MDATA", "HDATA", "KCOM_DATA/2009"})
        fs::create_directories(folder + sub);
    return folder;
}

inline void copyTree(const std::string& from, const std::string& to) {
    fs::remove_all(to);
    fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
}

struct Run {
    int status = -1;  // as waitpid gives it
    std::string out, err;
    long peakKb = 0;  // the child's peak resident memory
    bool exited(int code) const { return WIFEXITED(status) && WEXITSTATUS(status) == code; }
    bool signalled(int sig) const { return WIFSIGNALED(status) && WTERMSIG(status) == sig; }
};

struct RunOptions {
    std::string tmpdir;                   // TMPDIR of the child
    std::optional<rlim_t> fileSizeLimit;  // RLIMIT_FSIZE
    bool ignoreSizeSignal = false;        // SIGXFSZ ignored: the write fails with EFBIG instead
    std::optional<uid_t> user;            // setuid before exec
    std::string program = VELT_CLI;       // a copy of velt-cli elsewhere, with its own settings
    std::vector<std::pair<std::string, std::string>> env;  // set in the child
    bool quiet = true;                                     // --quiet: no summaries
};

inline RunOptions inTmp(std::string tmpdir, std::optional<rlim_t> fileSizeLimit = {}) {
    RunOptions o;
    o.tmpdir = std::move(tmpdir);
    o.fileSizeLimit = fileSizeLimit;
    return o;
}

// A running velt-cli: its output comes through pipes, so that a size limit does not cut it.
struct Child {
    pid_t pid = -1;
    int out = -1, err = -1;
};

// Starts velt-cli with `args`.
inline Child startCli(const std::vector<std::string>& args, const RunOptions& o) {
    std::vector<std::string> argv{o.program};
    if (o.quiet) argv.push_back("--quiet");
    argv.insert(argv.end(), args.begin(), args.end());
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid > 0) {
        ::close(out[1]);
        ::close(err[1]);
        return {pid, out[0], err[0]};
    }
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    if (!o.tmpdir.empty()) ::setenv("TMPDIR", o.tmpdir.c_str(), 1);
    ::setenv("LC_ALL", "C.UTF-8", 1);
    for (const auto& [name, value] : o.env) ::setenv(name.c_str(), value.c_str(), 1);
    ::signal(SIGXFSZ, o.ignoreSizeSignal ? SIG_IGN : SIG_DFL);
    if (o.fileSizeLimit) {
        rlimit limit{*o.fileSizeLimit, *o.fileSizeLimit};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(126);
    }
    if (o.user && (::setgid(*o.user) != 0 || ::setuid(*o.user) != 0)) ::_exit(126);
    std::vector<char*> cargv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    ::execv(cargv[0], cargv.data());
    ::_exit(127);
}

// Waits for the child, killing it when it takes longer than `limit`.
inline Run finishCli(Child c, std::chrono::milliseconds limit = std::chrono::seconds(60)) {
    Run r;
    auto deadline = std::chrono::steady_clock::now() + limit;
    pollfd fds[2] = {{c.out, POLLIN, 0}, {c.err, POLLIN, 0}};
    std::string* text[2] = {&r.out, &r.err};
    int open = 2;
    while (open > 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(c.pid, SIGKILL);
            r.err += "\nvelt-cli did not end in time\n";
            deadline = std::chrono::steady_clock::time_point::max();
        }
        if (::poll(fds, 2, 10) < 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buf[4096];
            ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                text[i]->append(buf, static_cast<std::size_t>(n));
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    rusage usage{};
    ::wait4(c.pid, &r.status, 0, &usage);
    r.peakKb = usage.ru_maxrss;
    return r;
}

inline Run runCli(const std::vector<std::string>& args, const RunOptions& o) {
    return finishCli(startCli(args, o));
}

}  // namespace velt::test

namespace velt::test {

// The generated race days: their folders of texts (yymmdd/) and their archives, in name order.
inline std::vector<std::string> generated(bool folders) {
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(VELT_FAULT_DATA)) {
        bool folder = e.is_directory();
        if (folder == folders && (folder || e.path().extension() == ".lzh"))
            found.push_back(e.path().string() + (folder ? "/" : ""));
    }
    std::sort(found.begin(), found.end());
    return found;
}

// Keeps the first two thirds of the lines of a text.
inline std::string firstLines(const std::string& text) {
    std::size_t lines = 0;
    for (char c : text) lines += c == '\n';
    std::size_t keep = lines * 2 / 3, pos = 0;
    for (std::size_t n = 0; n < keep; ++n) pos = text.find('\n', pos) + 1;
    return text.substr(0, pos);
}

// A Target folder that already holds part of the first generated day, so that imports append to
// files with lines in them; one of those files lacks its last line end, as a hand edit leaves it.
inline void makeBase(const std::string& target, const std::string& scratch) {
    makeTarget(target);
    const std::string day = generated(true).at(0);
    const std::string date = fs::path(day).parent_path().filename().string();
    fs::create_directories(scratch + "part");
    std::vector<std::string> inputs;
    for (std::string kind : {"KYD", "SEB", "SKA", "OZ"}) {
        std::string name = kind + date + ".txt";
        writeFile(scratch + "part/" + name, firstLines(readFile(day + name)));
        inputs.push_back(scratch + "part/" + name);
    }
    writeFile(scratch + "part/JracSei1.dat", firstLines(readFile(day + "JracSei1.dat")));
    inputs.push_back(scratch + "part/JracSei1.dat");
    std::vector<std::string> args{"--data-folder", target};
    args.insert(args.end(), inputs.begin(), inputs.end());
    Run r = runCli(args, {});
    if (!r.exited(0)) throw std::runtime_error("the base import failed: " + r.err);
    for (const auto& e : fs::directory_iterator(target + "MDATA")) {
        std::string text = readFile(e.path().string());
        if (e.path().filename().string().rfind("MD", 0) == 0 && text.size() > 2) {
            writeFile(e.path().string(), text.substr(0, text.size() - 2));
            break;
        }
    }
}

// Files the output store leaves only while it writes (the data folder's lock file stays).
inline std::vector<std::string> strayFiles(const Snapshot& s) {
    std::vector<std::string> stray;
    for (const auto& [name, bytes] : s)
        if (name.find(".velt-") != std::string::npos && name != ".velt-lock") stray.push_back(name);
    return stray;
}

}  // namespace velt::test
