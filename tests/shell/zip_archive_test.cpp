// ZIP archives: members are read into memory, checked and capped; their names are never paths.

#include "shell/zip_archive.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>

#include "platform/failure.h"
#include "shell/lha_archive.h"
#include "shell_test_util.h"

namespace velt {
namespace {

// A ZIP of stored members written by Python's zipfile, which takes any member name.
std::string makeZip(const test::TempDir& dir, const std::string& name,
                    const std::vector<std::pair<std::string, std::string>>& members) {
    std::string script = "import zipfile,sys\nz=zipfile.ZipFile(sys.argv[1],'w')\n";
    for (std::size_t i = 0; i < members.size(); ++i) {
        test::writeFile(dir / ("m" + std::to_string(i)), members[i].second);
        script += "z.write(sys.argv[1][:-" + std::to_string(name.size()) + "]+'m" +
                  std::to_string(i) + "', '" + members[i].first + "')\n";
    }
    script += "z.close()\n";
    test::writeFile(dir / "make.py", script);
    EXPECT_EQ(std::system(("python3 '" + (dir / "make.py") + "' '" + (dir / name) + "'").c_str()),
              0);
    return dir / name;
}

// Sets a 32-bit little-endian field after every occurrence of a header signature.
void patch(std::string& bytes, const std::string& signature, std::size_t offset, std::uint32_t v) {
    for (auto at = bytes.find(signature); at != std::string::npos;
         at = bytes.find(signature, at + 1))
        for (int i = 0; i < 4; ++i) bytes[at + offset + i] = static_cast<char>(v >> (8 * i));
}

// The failure of reading every member of an archive, LHA or ZIP, as the user reads it.
std::string failureReading(const std::string& archive, bool zip) {
    try {
        if (zip) {
            ZipArchive z(archive);
            for (std::size_t i = 0; i < z.size(); ++i) z.read(i);
        } else {
            const auto planned = listLhaMembers(archive, {});
            std::set<std::string> all;
            for (const LhaEntry& e : planned) all.insert(e.name);
            readLhaMembers(archive, planned, all, {});
        }
    } catch (const Failure& e) {
        EXPECT_EQ(e.file(), archive);
        return describe(e);
    }
    return "(no failure)";
}

// An LHA and a ZIP archive that fail in the same way read alike, in Japanese, naming the file.
TEST(ZipArchive, FailsInTheWordsOfAnLhaArchive) {
#ifdef _WIN32
    GTEST_SKIP() << "needs ZIPs made by Python's zipfile, run through a POSIX shell";
#endif
    test::TempDir dir;
    const std::string text = "0509110101 x\r\n", end(1, '\0');
    const std::string zip = test::readFile(makeZip(dir, "good.zip", {{"SED091122.txt", text}}));
    const std::string lha = test::level0("SED091122.txt", text) + end;
    std::string zipHuge = zip, zipCrc = zip, lhaCrc = lha;
    patch(zipHuge, "PK\x03\x04", 22, 300u << 20);
    patch(zipHuge, "PK\x01\x02", 24, 300u << 20);
    zipCrc[zipCrc.find("0509110101") + 3] ^= 0x01;
    lhaCrc[lhaCrc.find("0509110101") + 3] ^= 0x01;
    struct Case {
        const char* what;
        std::optional<std::string> lha, zip;  // nullopt: no file at all
        std::string cause;                    // of the LHA archive; "ZIP" for "LHA" in the other
    } cases[] = {
        {"missing", std::nullopt, std::nullopt, "ファイルがありません"},
        {"empty", "", "", "ファイルが空です (0 バイト)。書庫ではありません"},
        {"not an archive", text, text, "LHA 書庫ではありません"},
        {"cut short", lha.substr(0, lha.size() / 2), zip.substr(0, zip.size() / 2),
         archiveWords::cutShort()},
        {"CRC mismatch", lhaCrc, zipCrc,
         "書庫が壊れています: メンバー SED091122.txt の CRC が合いません"},
        {"member larger than the cap", test::level0("SED091122.txt", text, 300u << 20) + end,
         zipHuge,
         "メンバー SED091122.txt の大きさ (314572800 バイト) が大きすぎます。256 MB "
         "までしか読みません"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(dir / "bad.lzh");
        std::filesystem::remove(dir / "bad.zip");
        if (c.lha) test::writeFile(dir / "bad.lzh", *c.lha);
        if (c.zip) test::writeFile(dir / "bad.zip", *c.zip);
        std::string zipCause = c.cause;
        if (zipCause.rfind("LHA", 0) == 0) zipCause.replace(0, 3, "ZIP");
        EXPECT_EQ(failureReading(dir / "bad.lzh", false), dir / "bad.lzh: " + c.cause);
        EXPECT_EQ(failureReading(dir / "bad.zip", true), dir / "bad.zip: " + zipCause);
    }
}

// A member whose name climbs out of any folder is only read: nothing is written anywhere.
TEST(ZipArchive, MemberNamesAreNeverPaths) {
#ifdef _WIN32
    GTEST_SKIP() << "needs ZIPs made by Python's zipfile, run through a POSIX shell";
#endif
    test::TempDir dir, target;
    for (const char* sub : {"MDATA", "HDATA", "KCOM_DATA"})
        std::filesystem::create_directories(target / sub);
    const std::string seb =
        test::readFile(std::string(VELT_TEST_DATA) + "/../../samples/SEB091122.txt");
    const std::string zip =
        makeZip(dir, "SED_2009.zip", {{"../../evil/SED091122.txt", seb}, {"/abs/x.txt", "x"}});
    test::RecordingMessages messages;
    ImportEngine engine(messages);
    engine.setDataFolder(target.path());
    ImportSummary s = engine.importFiles({zip}, true)[0];
    EXPECT_TRUE(s.succeeded) << s.error;
    EXPECT_GT(s.linesWritten, 0u);
    EXPECT_FALSE(std::filesystem::exists(dir / "../evil"));
    EXPECT_FALSE(std::filesystem::exists("/abs"));
}

}  // namespace
}  // namespace velt
