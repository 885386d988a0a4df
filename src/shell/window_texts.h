#pragma once
// The window's texts, once for both windows (Qt and native Win32) and their tests: the title, the
// buttons and menus with what each does, the dialogs' titles, the about box. Texts are UTF-8.

#include <string>
#include <vector>

#include "shell/messages.h"

namespace velt {

inline constexpr const char* kAppTitle = "Velt";
inline constexpr const char* kFileDialogTitle = "データファイル選択";
inline constexpr const char* kFolderDialogTitle = "フォルダを選択してください";
inline constexpr const char* kHistoryDialogTitle = "取り込み履歴";
// The settings key of the folder the buttons' file dialog was last left in (section "Velt").
inline constexpr const char* kLastFolderKey = "lastFolder";

// A filter of the buttons' file dialog: its name and the name patterns it shows.
struct FileFilter {
    std::string name;
    std::vector<std::string> patterns;
};
// A button's filters: the kinds it takes (in upper and lower case), then every file.
std::vector<FileFilter> fileFilters(Button import);

// A message box's title: the message's own, or the program's.
inline std::string titleOf(const Message& message) {
    return message.title.empty() ? std::string(kAppTitle) : message.title;
}

// What a button or a menu item does.
enum class Command {
    Import,
    ChooseDataFolder,
    Exit,
    ShowHelp,
    ShowAbout,
    ShowHistory,
    FetchFromJrdb,
};

// A place on the form in twips. The native window lies out its controls by them; the Qt window
// sizes its own and takes from them only which frame a button sits in.
struct Twips {
    int left, top, width, height;
    constexpr bool contains(const Twips& o) const {
        return o.left >= left && o.top >= top && o.left + o.width <= left + width &&
               o.top + o.height <= top + height;
    }
};

// `J`'s caption and the about box's title are in "ＭＳ Ｐゴシック" at this size.
inline constexpr int kGothicPoints = 18;

// The form's client area.
inline constexpr Twips kFormArea{0, 0, 3690, 1440};

// A button: its name, caption, control id (WM_COMMAND), what it does (`import` only for
// Command::Import) and its place. `gothic`: its caption in bold "ＭＳ Ｐゴシック".
struct FormButton {
    const char* name;
    const char* caption;
    int id;
    Command command;
    Button import;
    Twips place;
    bool gothic;
};
inline constexpr int kButtonSide = 495;
inline constexpr FormButton kFormButtons[] = {
    {"Command1",
     "KYD",
     101,
     Command::Import,
     Button::KYD,
     {120, 105, kButtonSide, kButtonSide},
     false},
    {"Command3",
     "SEBZEB",
     102,
     Command::Import,
     Button::SEBZEB,
     {615, 105, kButtonSide, kButtonSide},
     false},
    {"Command6",
     "OZ",
     103,
     Command::Import,
     Button::OZ,
     {1110, 105, kButtonSide, kButtonSide},
     false},
    {"Command4",
     "SKAZKA",
     104,
     Command::Import,
     Button::SKAZKA,
     {1605, 105, kButtonSide, kButtonSide},
     false},
    {"Command5",
     "設定",
     105,
     Command::ChooseDataFolder,
     Button::KYD,
     {2400, 105, kButtonSide, kButtonSide},
     false},
    {"Command2", "J", 106, Command::Import, Button::J, {2895, 105, kButtonSide, kButtonSide}, true},
};

// The two sunken frames behind the buttons, `Label1` and `Text1`.
struct FormControl {
    const char* name;
    const char* caption;
    int id;  // 0: no control id
    Twips place;
};
inline constexpr FormControl kShapes[] = {
    {"Shape1", "", 0, {60, 45, 2100, 615}},
    {"Shape2", "", 0, {2340, 45, 1110, 615}},
};
inline constexpr FormControl kLabel1{
    "Label1", "現在の指定Targetデータフォルダ", 0, {120, 780, 3450, 240}};
inline constexpr FormControl kText1{"Text1", "", 201, {120, 1050, 3450, 315}};

// The menu bar, left to right, and the items of its menus (`menu` indexes kFormMenus).
struct FormMenu {
    const char* name;
    const char* title;
};
inline constexpr FormMenu kFormMenus[] = {
    {"mFile", "ファイル(&F)"},
    {"msettei", "設定"},
    {"mhelp", "ヘルプ"},
};
struct FormMenuItem {
    int menu;
    const char* name;
    const char* text;
    int id;
    Command command;
};
inline constexpr FormMenuItem kFormMenuItems[] = {
    {0, "mfetch", "JRDB から取得…", 305, Command::FetchFromJrdb},
    {0, "mhistory", "取り込み履歴", 310, Command::ShowHistory},
    {0, "mexit", "終了", 301, Command::Exit},
    {1, "mdata", "ターゲットデータフォルダ設定", 302, Command::ChooseDataFolder},
    {2, "hyoujihelp", "ヘルプの表示", 303, Command::ShowHelp},
    {2, "mvarsion", "バージョン情報", 304, Command::ShowAbout},
};

// The button of an import, and the first button or menu item of another command.
const FormButton& formButton(Button import);
const FormButton& formButton(Command command);
const FormMenuItem& formMenuItem(Command command);

// Where the licences lie: beside the programs in the Windows ZIP, in the package's copyright
// file on Linux.
#ifdef _WIN32
inline constexpr const char* kLicenceNotices =
    "著作権表示とライセンスは LICENSE と licenses フォルダにあります。";
#else
inline constexpr const char* kLicenceNotices =
    "ライセンスは /usr/share/doc/velt/copyright と各ライブラリのパッケージにあります。";
#endif

// The about box's texts: its caption, `lblTitle`, `lblVersion`, `lblDescription`, `Label1`,
// `Label2` and `cmdOK`.
struct AboutTexts {
    std::string caption, title, version;
    // What it does, its licence, and the libraries whose notices it ships.
    std::string description =
        std::string(
            "JRDBのデータファイル（競走馬データ、成績、オッズ、成績拡張、JRDBパック、"
            "ラップ）をTargetのデータファイルに変換して追記します。\n"
            "MIT ライセンス。LHA 書庫は lhasa（ISC）、ZIP は libzip（BSD-3-Clause）と "
            "zlib で読みます。") +
        kLicenceNotices;
    std::string reports = "不具合の報告・ご要望は、プロジェクトの課題（issue）にお寄せください。";
    std::string help = "使い方はメニュー「ヘルプ」→「ヘルプの表示」をご覧ください。";
    std::string ok = "OK";
};
AboutTexts aboutTexts();

}  // namespace velt
