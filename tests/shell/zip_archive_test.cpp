// ZIP archives: members are read into memory, checked and capped; their names are never paths.

#include "shell/zip_archive.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/failure.h"
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

TEST(ZipArchive, BadArchivesAreRefusedWithTheirCause) {
#ifdef _WIN32
    GTEST_SKIP() << "needs ZIPs made by Python's zipfile, run through a POSIX shell";
#endif
    test::TempDir dir;
    const std::string good = makeZip(dir, "good.zip", {{"SED091122.txt", "0509110101 x\r\n"}});
    const std::string bytes = test::readFile(good);
    std::string huge = bytes, shortened = bytes, crc = bytes;
    patch(huge, "PK\x03\x04", 22, 300u << 20);
    patch(huge, "PK\x01\x02", 24, 300u << 20);
    shortened.resize(bytes.size() / 2);
    crc[crc.find("0509110101") + 3] ^= 0x01;
    struct Case {
        const char* name;
        std::string bytes;
        const char* cause;
    } cases[] = {
        {"not a ZIP", "0509110101 text\r\n", "ZIP 書庫として読めません"},
        {"cut short", shortened, "ZIP 書庫として読めません"},
        {"member larger than the cap", huge, "大き"},
        {"CRC mismatch", crc, "CRC が合いません"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::writeFile(dir / "bad.zip", c.bytes);
        try {
            ZipArchive zip(dir / "bad.zip");
            for (std::size_t i = 0; i < zip.size(); ++i) zip.read(i);
            ADD_FAILURE() << "no error";
        } catch (const Failure& e) {
            EXPECT_NE(std::string(e.what()).find(c.cause), std::string::npos) << e.what();
            EXPECT_EQ(e.file(), dir / "bad.zip");
        }
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
