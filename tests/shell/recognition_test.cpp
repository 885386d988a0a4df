#include "shell/recognition.h"

#include <gtest/gtest.h>

#include "shell_test_util.h"

namespace velt {
namespace {

struct Case {
    const char* path;
    Kind kind;
    const char* stem;
    const char* extension;
    const char* date;
};

TEST(Recognition, Buttons) {
    struct ButtonCase {
        Button button;
        Case expect;
    };
    const ButtonCase cases[] = {
        {Button::KYD, {"/d/KYD011117.lzh", Kind::KYD, "KYD011117", ".lzh", ""}},
        {Button::KYD, {"/d/kyd011117.lzh", Kind::KYD, "KYD011117", ".lzh", ""}},  // any case
        {Button::KYD, {"/d/KYD011117.LZH", Kind::KYD, "KYD011117", ".lzh", ""}},
        {Button::KYD, {"/d/kyi181201.TXT", Kind::KYD, "KYI181201", ".txt", ""}},
        {Button::KYD, {"/d/KYI181201 (1).lzh", Kind::KYD, "KYI181201", ".lzh", ""}},
        {Button::KYD, {"/d/KYI181201(12).lzh", Kind::KYD, "KYI181201", ".lzh", ""}},
        {Button::KYD, {"/d/(1).lzh", Kind::None, "", ".lzh", ""}},
        {Button::KYD, {"/d/KYD011117.txt", Kind::KYD, "KYD011117", ".txt", ""}},
        {Button::KYD, {"C:/data/xKYD011117.lzh", Kind::KYD, "KYD011117", ".lzh", ""}},
        {Button::KYD, {"/競馬/データKYD011117.lzh", Kind::KYD, "KYD011117", ".lzh", ""}},
        {Button::KYD, {"KYD1.lzh", Kind::KYD, "KYD1.lzh", ".lzh", ""}},  // shorter than the tail
        {Button::KYD, {"", Kind::None, "", "", ""}},
        {Button::KYD, {"/d/SEB011117.lzh", Kind::None, "", ".lzh", ""}},
        {Button::SEBZEB, {"/d/SEB011117.lzh", Kind::SEBZEB, "SEB011117", ".lzh", ""}},
        {Button::SEBZEB, {"/d/ZEB011117.lzh", Kind::SEBZEB, "ZEB011117", ".lzh", ""}},
        {Button::SEBZEB, {"/d/Zeb011117.lzh", Kind::SEBZEB, "ZEB011117", ".lzh", ""}},
        {Button::SEBZEB, {"/d/kyi181201.txt", Kind::None, "", ".txt", ""}},  // still its own kinds
        {Button::SKAZKA, {"/d/SKA011117.lzh", Kind::SKAZKA, "SKA011117", ".lzh", ""}},
        {Button::SKAZKA, {"/d/ZKA011117.txt", Kind::SKAZKA, "ZKA011117", ".txt", ""}},
        {Button::SKAZKA, {"/d/ZEB011117.lzh", Kind::None, "", ".lzh", ""}},
        {Button::OZ, {"/d/OZ011117.lzh", Kind::OZ, "OZ011117", ".lzh", "011117"}},
        {Button::OZ, {"/d/oz011117.lzh", Kind::OZ, "OZ011117", ".lzh", "011117"}},
        {Button::OZ, {"/d/KYD011117.lzh", Kind::None, "", ".lzh", "011117"}},  // date even so
        {Button::OZ, {"/d/OZ011117 (2).LZH", Kind::OZ, "OZ011117", ".lzh", "011117"}},
        {Button::OZ, {"/d/OZ競馬1117.lzh", Kind::OZ, "OZ競馬1117", ".lzh", "競馬1117"}},
        {Button::OZ, {"OZ1.lzh", Kind::OZ, "OZ1.lzh", ".lzh", "1.lzh"}},
        {Button::J, {"/d/JRDB011117.lzh", Kind::Pack, "", ".lzh", "011117"}},
        {Button::J, {"/d/jrdb011117.lzh", Kind::Pack, "", ".lzh", "011117"}},
        {Button::J, {"/d/PACI181201 (1).LZH", Kind::Pack, "", ".lzh", "181201"}},
        {Button::J, {"/d/PACI181201.lzh", Kind::Pack, "", ".lzh", "181201"}},
        {Button::KYD, {"/d/KYI181201.lzh", Kind::KYD, "KYI181201", ".lzh", ""}},
        {Button::KYD, {"/d/KYG181201.txt", Kind::KYD, "KYG181201", ".txt", ""}},
        {Button::KYD, {"/d/KYI_2018.zip", Kind::Zip, "", ".zip", "2018"}},
        {Button::KYD, {"/d/kyi_2018 (1).ZIP", Kind::Zip, "", ".zip", "2018"}},
        {Button::KYD, {"/d/kyd1.lzh", Kind::None, "", ".lzh", ""}},  // not JRDB's form: exact case
        {Button::SEBZEB, {"/d/SEC170108.txt", Kind::SEBZEB, "SEC170108", ".txt", ""}},
        {Button::SEBZEB, {"/d/ZED170114.lzh", Kind::SEBZEB, "ZED170114", ".lzh", ""}},
        {Button::SEBZEB, {"/d/KYI_2018.zip", Kind::None, "", ".zip", ""}},
        {Button::SKAZKA, {"/d/SKB170105.txt", Kind::SKAZKA, "SKB170105", ".txt", ""}},
        {Button::SKAZKA, {"/d/ZKB170107.lzh", Kind::SKAZKA, "ZKB170107", ".lzh", ""}},
        {Button::J, {"/d/KYD011117.lzh", Kind::None, "", ".lzh", "011117"}},
    };
    for (const auto& [button, c] : cases) {
        SCOPED_TRACE(c.path);
        Recognition r = recogniseForButton(button, c.path);
        EXPECT_EQ(r.kind, c.kind);
        EXPECT_EQ(r.stem, c.stem);
        EXPECT_EQ(r.extension, c.extension);
        EXPECT_EQ(r.date, c.date);
        EXPECT_EQ(r.setsFileDate, button == Button::OZ || button == Button::J);
    }
}

TEST(Recognition, Drops) {
    struct DropCase {
        bool commandLine;
        Case expect;
    };
    const DropCase cases[] = {
        {false, {"/d/KYD011117.lzh", Kind::KYD, "KYD011117", ".lzh", "011117"}},
        {false, {"/d/SEB011117.lzh", Kind::SEBZEB, "SEB011117", ".lzh", "011117"}},
        {false, {"/d/ZEB011117.txt", Kind::SEBZEB, "ZEB011117", ".txt", "011117"}},
        {false, {"/d/SKA011117.lzh", Kind::SKAZKA, "SKA011117", ".lzh", "011117"}},
        {false, {"/d/ZKA011117.lzh", Kind::SKAZKA, "ZKA011117", ".lzh", "011117"}},
        {false, {"/d/OZ011117.lzh", Kind::OZ, "OZ011117", ".lzh", "011117"}},
        {false, {"/d/s3011117.lzh", Kind::Lap, "", ".lzh", "011117"}},
        {false, {"/d/S3011117.LZH", Kind::Lap, "", ".lzh", "011117"}},
        {false, {"/d/oz/notes.txt", Kind::None, "", ".txt", "/notes"}},
        {false, {"/d/kyd011117.lzh", Kind::KYD, "KYD011117", ".lzh", "011117"}},
        {false, {"/d/kyi181201.txt", Kind::KYD, "KYI181201", ".txt", "181201"}},
        {false, {"/d/SED181201(1).lzh", Kind::SEBZEB, "SED181201", ".lzh", "181201"}},
        {false, {"/d/paci181201.lzh", Kind::Pack, "", ".lzh", "181201"}},
        {false, {"/d/PACI181201 (1).lzh", Kind::Pack, "", ".lzh", "181201"}},
        {false, {"/d/PACI181201 (x).lzh", Kind::None, "", ".lzh", "01 (x)"}},
        {false, {"/d/PACI181201.txt", Kind::None, "", ".txt", "181201"}},
        {false, {"/d/xKYD011117.lzh", Kind::KYD, "KYD011117", ".lzh", "011117"}},
        {false, {"/d/JRDB011117.lzh", Kind::Pack, "", ".lzh", "011117"}},
        {false, {"/d/PACI181201.lzh", Kind::Pack, "", ".lzh", "181201"}},
        {false, {"/d/KYI181201.lzh", Kind::KYD, "KYI181201", ".lzh", "181201"}},
        {false, {"/d/KYH181201.lzh", Kind::None, "", ".lzh", "181201"}},  // layout unconfirmed
        {false, {"/d/SED170108.txt", Kind::SEBZEB, "SED170108", ".txt", "170108"}},
        {false, {"/d/ZEC170114.txt", Kind::SEBZEB, "ZEC170114", ".txt", "170114"}},
        {false, {"/d/SKB170105.txt", Kind::SKAZKA, "SKB170105", ".txt", "170105"}},
        {false, {"/d/ZKB170107.lzh", Kind::SKAZKA, "ZKB170107", ".lzh", "170107"}},
        {false, {"/d/SED_2017.zip", Kind::Zip, "", ".zip", "2017"}},
        {false, {"OZ_2017.zip", Kind::Zip, "", ".zip", "2017"}},
        {false, {"/d/ABC_2017.zip", Kind::None, "", ".zip", "C_2017"}},
        {false, {"/d/JracSei1.dat", Kind::None, "", ".dat", "acSei1"}},
        {false, {"KYD1", Kind::KYD, "KYD1", "KYD1", "D1"}},
        {true, {"/d/JRDB011117.lzh", Kind::Pack, "", ".lzh", "011117"}},
        {true, {"/d/JRDB011117.txt", Kind::None, "", ".txt", "011117"}},
        {true, {"/d/JracSei1.dat", Kind::Lap, "", ".dat", "acSei1"}},
        {true, {"JracSei1.dat", Kind::Lap, "", ".dat", "acSei1"}},
        {true, {"/d/jracsei1.dat", Kind::Lap, "", ".dat", "acSei1"}},
        {true, {"/d/s3011117.lzh", Kind::Lap, "", ".lzh", "011117"}},
        {true, {"/d/OZ011117.txt", Kind::OZ, "OZ011117", ".txt", "011117"}},
    };
    for (const auto& [commandLine, c] : cases) {
        SCOPED_TRACE(std::string(c.path) + (commandLine ? " (command line)" : " (drop)"));
        Recognition r = recogniseDropped(c.path, commandLine);
        EXPECT_EQ(r.kind, c.kind);
        EXPECT_EQ(r.stem, c.stem);
        EXPECT_EQ(r.extension, c.extension);
        EXPECT_EQ(r.date, c.date);
    }
}

TEST(Recognition, CharacterCuts) {
    EXPECT_EQ(lastChars("/データ/KYD", 5), "タ/KYD");
    EXPECT_EQ(lastChars("ab", 5), "ab");
    EXPECT_EQ(midChars("競馬ab", 1, 2), "馬a");
    EXPECT_EQ(midChars("ab", 4, 2), "");
}

// A refused name still sets `fileDate` (OZ and J), reads nothing and says why.
TEST(Recognition, RefusedNamesSetTheDateAndSayWhy) {
    test::RecordingMessages messages;
    ImportEngine engine(messages);
    auto sum = engine.importAs(Button::OZ, "/nowhere/OX020304.lzh");
    EXPECT_FALSE(sum.recognised);
    EXPECT_EQ(engine.context().fileDate, "020304");
    EXPECT_EQ(engine.context().oddsStartFlag, 0);

    engine.importAs(Button::J, "/nowhere/JRDX030405.lzh");
    EXPECT_EQ(engine.context().fileDate, "030405");
    engine.importAs(Button::KYD, "/nowhere/KYI.lzh");
    engine.importAs(Button::SEBZEB, "/nowhere/kyi181201 (1).txt");
    engine.importAs(Button::SKAZKA, "/nowhere/s3181201.lzh");
    engine.importAs(Button::KYD, "/nowhere/PACI181201.lzh");
    EXPECT_EQ(engine.context().fileDate, "030405");  // the other buttons leave it
    const char* unknown = "ファイル名から JRDB データの種類がわかりません";
    EXPECT_EQ(
        messages.texts(),
        (std::vector<std::string>{
            std::string("オッズデータ(OZ)ではありません\n") + unknown,
            std::string("JRDBデータではありません\n") + unknown,
            "競走馬データ(KYD/KYG/KYI)ではありません\nファイル名に日付 (数字 6 桁) がありません",
            "成績データ(SEB/SEC/SED/ZEB/ZEC/ZED)ではありません\n"
            "これは競走馬データです: KYD ボタンで取り込んでください",
            "成績拡張ファイル(SKA/SKB/ZKA/ZKB)ではありません\nこれはラップデータです: "
            "ボタンではなく、ウィンドウにドロップして取り込んでください",
            "競走馬データ(KYD/KYG/KYI)ではありません\n"
            "これはJRDB のパックです: J ボタンで取り込んでください"}));
    EXPECT_TRUE(messages.failures.empty());
    EXPECT_EQ(refusalReason("/d/SED181201.lzh", Button::KYD),
              "これは成績データです: SEBZEB ボタンで取り込んでください");
    EXPECT_EQ(refusalReason("/d/JRDB181201.txt", {}),
              "パックは書庫 (.lzh) のまま取り込んでください");
}

}  // namespace
}  // namespace velt
