// velt-cli: imports JRDB files into Target's data folder from the command line.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "convert/import_error.h"
#include "shell/import_engine.h"
#include "shell/recognition.h"
#include "shell/settings.h"
#include "shell/version.h"

namespace {

const char kUsage[] =
    "Usage: velt-cli [--data-folder DIR] [--quiet] FILE...\n"
    "       velt-cli [--data-folder DIR] [--quiet] --as KIND FILE\n"
    "       velt-cli --set-data-folder DIR\n"
    "\n"
    "Converts JRDB data files into the data files of Target.\n"
    "FILE is recognised by its name, as when it is dropped onto the window: KYD, KYG, KYI, SEB,\n"
    "SEC, SED, ZEB, ZEC, ZED, SKA, SKB, ZKA, ZKB and OZ files and archives (KYI181201.lzh,\n"
    "SED170108.txt...), yearly ZIP packs (SED_2017.zip), \"s3\" lap archives, JRDB and PACI\n"
    "packs (JRDB181201.lzh, PACI181201.lzh) and the lap file JracSei1.dat. A folder imports\n"
    "every recognised file directly inside it, by date.\n"
    "\n"
    "  --data-folder DIR      Target's data folder (the one holding MDATA, HDATA, KCOM_DATA);\n"
    "                         without it the folder stored by the window or by\n"
    "                         --set-data-folder is used\n"
    "  --as KIND FILE         convert FILE with the converter of KIND whatever its name: a\n"
    "                         button (KYD, SEBZEB, OZ, SKAZKA, J) or a kind (KYI, SED...);\n"
    "                         an archive's member of that kind is read\n"
    "  --set-data-folder DIR  store DIR as the data folder (shared with the window)\n"
    "  --quiet                print failures only\n"
    "  --help                 show this text\n"
    "  --version              show the version\n"
    "\n"
    "Exit status: 0 when every file was imported, 1 when any failed or was not recognised,\n"
    "2 for a usage error.\n";

int usageError(const std::string& what) {
    std::fprintf(stderr, "velt-cli: %s\nTry 'velt-cli --help'.\n", what.c_str());
    return 2;
}

std::string asFolder(const std::string& dir) {
    std::error_code ec;
    std::string path = std::filesystem::absolute(dir, ec).string();
    if (ec) path = dir;
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}

// Prints the engine's messages: outcomes on standard output, failures on standard error, and a
// progress bar on standard error when it is a terminal and an import takes more than a moment.
class ConsoleMessages : public velt::Messages {
public:
    explicit ConsoleMessages(bool quiet) : quiet_(quiet), terminal_(::isatty(2) == 1) {}

    void message(const std::string& text, const std::string& title, Icon icon) override {
        clearBar();
        // The extraction's messages carry titles of their own: they are errors.
        if (icon == Icon::Exclamation || title != "Velt") {
            std::fprintf(stderr, "velt-cli: %s: %s\n", title.c_str(), text.c_str());
        } else if (text == velt::kDropCompleteMessage) {
            // The completion message closes the run: it follows the summaries of the files.
            closing_ = text;
        } else if (text.rfind(velt::kUnsupportedMessage, 0) == 0 &&
                   text.find('\n') != std::string::npos) {
            // The files of a folder that were not imported are listed once, at the end.
            skipped_ = text;
        } else if (!quiet_) {
            std::printf("%s\n", text.c_str());
            std::fflush(stdout);
        }
    }

    void failure(const std::string& report) override {
        clearBar();
        std::fprintf(stderr, "velt-cli: %s\n", report.c_str());
    }

    void progress(const std::string& input, std::uint64_t done, std::uint64_t total) override {
        if (quiet_ || !terminal_) return;
        auto now = std::chrono::steady_clock::now();
        if (input != input_) {
            clearBar();
            input_ = input;
            started_ = now;
        }
        if (now - started_ < std::chrono::milliseconds(500)) return;
        int percent = total ? static_cast<int>(done * 100 / total) : 100;
        const int width = 30;
        std::string bar(static_cast<std::size_t>(width * percent / 100), '#');
        bar.resize(width, '-');
        std::fprintf(stderr, "\r[%s] %3d%% %s", bar.c_str(), percent,
                     std::filesystem::path(input).filename().c_str());
        std::fflush(stderr);
        barShown_ = true;
    }

    void printClosing() {
        if (!quiet_ && !skipped_.empty()) std::printf("%s\n", skipped_.c_str());
        if (!quiet_ && !closing_.empty()) std::printf("%s\n", closing_.c_str());
        closing_.clear();
    }

    void clearBar() {
        if (!barShown_) return;
        std::fputs("\r\033[K", stderr);
        barShown_ = false;
    }

private:
    bool quiet_;
    bool terminal_;
    bool barShown_ = false;
    std::string input_;
    std::string closing_;
    std::string skipped_;
    std::chrono::steady_clock::time_point started_;
};

void printSummary(const velt::ImportSummary& s, bool quiet) {
    if (!s.recognised) {
        std::fprintf(stderr, "velt-cli: %s: not imported: the name is not one of a JRDB file\n",
                     s.input.c_str());
        return;
    }
    if (quiet) return;
    std::printf("%s: %s, %zu lines read, %zu written, %zu already present, %zu malformed\n",
                s.input.c_str(), s.succeeded ? "imported" : "FAILED", s.linesRead, s.linesWritten,
                s.present, s.malformed);
}

}  // namespace

int main(int argc, char** argv) {
    std::optional<std::string> dataFolder, setFolder, asKind;
    bool quiet = false;
    std::vector<std::string> files;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= argc) return std::nullopt;
            return std::string(argv[++i]);
        };
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            files.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help") {
            std::fputs(kUsage, stdout);
            const std::string settings = velt::settingsFile(velt::programFolder());
            std::printf("\nSettings file: %s\nStored data folder: %s\n", settings.c_str(),
                        velt::readSetting(settings, "Velt", "path", "(none)").c_str());
            return 0;
        } else if (arg == "--version") {
            std::printf("%s\n", velt::versionText().c_str());
            return 0;
        } else if (arg == "--quiet" || arg == "-q") {
            quiet = true;
        } else if (arg == "--data-folder" || arg == "--set-data-folder" || arg == "--as") {
            auto v = value();
            if (!v || v->empty()) return usageError(arg + " needs a value");
            (arg == "--data-folder" ? dataFolder : arg == "--as" ? asKind : setFolder) = *v;
        } else {
            return usageError("unknown option: " + arg);
        }
    }

    if (asKind) {
        if (!velt::ImportEngine::acceptsKind(*asKind))
            return usageError(
                "--as takes KYD, SEBZEB, OZ, SKAZKA, J or a kind such as KYI or SED, "
                "not " +
                *asKind);
        if (files.size() != 1) return usageError("--as imports exactly one FILE");
    }
    if (files.empty() && !setFolder) return usageError("no FILE to import");

    const std::string programFolder = velt::programFolder();
    const std::string settings = velt::settingsFile(programFolder);
    if (setFolder) {
        std::string folder = asFolder(*setFolder);
        if (!std::filesystem::is_directory(folder)) {
            std::fprintf(stderr, "velt-cli: %s: there is no such folder\n", folder.c_str());
            return 1;
        }
        try {
            velt::createSettingsFolder(settings);
            velt::writeSetting(settings, "Velt", "path", folder);
        } catch (const velt::ImportError& e) {
            std::fprintf(stderr, "velt-cli: the data folder could not be stored: %s\n", e.what());
            return 1;
        }
        if (!quiet)
            std::printf("Data folder: %s (stored in %s)\n", folder.c_str(), settings.c_str());
        if (files.empty()) return 0;
    }

    ConsoleMessages messages(quiet);
    velt::ImportEngine engine(programFolder, messages);
    engine.setDataFolder(dataFolder  ? asFolder(*dataFolder)
                         : setFolder ? asFolder(*setFolder)
                                     : velt::readSetting(settings, "Velt", "path", ""));

    std::vector<velt::ImportSummary> summaries;
    if (asKind)
        summaries.push_back(engine.importWithKind(*asKind, files[0]));
    else
        summaries = engine.importFiles(files, true);
    messages.clearBar();

    bool allImported = true;
    for (const auto& s : summaries) {
        printSummary(s, quiet);
        allImported = allImported && s.recognised && s.succeeded;
    }
    messages.printClosing();
    return allImported ? 0 : 1;
}
