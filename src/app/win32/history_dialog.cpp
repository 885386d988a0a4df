#include "history_dialog.h"

#include <commctrl.h>

#include <utility>

#include "layout.h"
#include "shell/window_texts.h"
#include "text.h"

namespace velt::win32 {
namespace {

const wchar_t kClass[] = L"VeltHistory";
const int kLabel = 1001, kList = 1002;
// In twips: the margin, the label's and the button's heights, the button's width.
const int kMargin = 120, kLabelHeight = 270, kButtonHeight = 375, kButtonWidth = 1230;

}  // namespace

HistoryDialog::~HistoryDialog() {
    if (window_) DestroyWindow(window_);
}

void HistoryDialog::show(const std::vector<HistoryDay>& days, const std::string& file) {
    if (!window_) {
        static const bool registered = [] {
            const INITCOMMONCONTROLSEX lists{sizeof(INITCOMMONCONTROLSEX), ICC_LISTVIEW_CLASSES};
            InitCommonControlsEx(&lists);
            return registerWindowClass(kClass, proc);
        }();
        (void)registered;
        CreateWindowExW(0, kClass, wide(kHistoryDialogTitle).c_str(), WS_OVERLAPPEDWINDOW,
                        CW_USEDEFAULT, CW_USEDEFAULT, 10, 10, nullptr, nullptr,
                        GetModuleHandleW(nullptr), this);
        CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_NOPREFIX | SS_PATHELLIPSIS, 0,
                        0, 10, 10, window_, reinterpret_cast<HMENU>(INT_PTR(kLabel)),
                        GetModuleHandleW(nullptr), nullptr);
        HWND list = CreateWindowExW(
            WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
            WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_NOSORTHEADER, 0, 0, 10, 10,
            window_, reinterpret_cast<HMENU>(INT_PTR(kList)), GetModuleHandleW(nullptr), nullptr);
        ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
        const auto& heads = historyDayHeaders();
        for (std::size_t i = 0; i < heads.size(); ++i) {
            std::wstring head = wide(heads[i]);
            LVCOLUMNW column{};
            column.mask = LVCF_TEXT | LVCF_WIDTH;
            column.pszText = head.data();
            column.cx = i == 0 ? 100 : i + 1 == heads.size() ? 320 : 80;
            ListView_InsertColumn(list, static_cast<int>(i), &column);
        }
        CreateWindowExW(0, L"BUTTON", L"閉じる",
                        WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 0, 10, 10,
                        window_, reinterpret_cast<HMENU>(INT_PTR(IDOK)), GetModuleHandleW(nullptr),
                        nullptr);
        font_ = messageFont(dpiOf(window_));
        setChildFonts(window_, font_);
        const int dpi = dpiOf(window_);
        setClientSize(window_, px(10800, dpi), px(6000, dpi));
    }
    fill(days, file);
    ShowWindow(window_, SW_SHOWNORMAL);
    SetForegroundWindow(window_);
}

void HistoryDialog::fill(const std::vector<HistoryDay>& days, const std::string& file) {
    SetDlgItemTextW(window_, kLabel,
                    wide(days.empty() ? "取り込み履歴はまだありません: " + file : file).c_str());
    HWND list = GetDlgItem(window_, kList);
    ListView_DeleteAllItems(list);
    for (std::size_t row = 0; row < days.size(); ++row) {
        const auto cells = historyDayCells(days[row]);
        for (std::size_t col = 0; col < cells.size(); ++col) {
            std::wstring text = wide(cells[col]);
            LVITEMW item{};
            item.mask = LVIF_TEXT;
            item.iItem = static_cast<int>(row);
            item.iSubItem = static_cast<int>(col);
            item.pszText = text.data();
            if (col == 0)
                ListView_InsertItem(list, &item);
            else
                ListView_SetItem(list, &item);
        }
    }
    // The newest days.
    if (!days.empty()) ListView_EnsureVisible(list, static_cast<int>(days.size()) - 1, FALSE);
}

void HistoryDialog::layout() {
    RECT client{};
    GetClientRect(window_, &client);
    const int dpi = dpiOf(window_);
    const int m = px(kMargin, dpi), label = px(kLabelHeight, dpi);
    const int bw = px(kButtonWidth, dpi), bh = px(kButtonHeight, dpi);
    const int w = client.right - 2 * m;
    SetWindowPos(GetDlgItem(window_, kLabel), nullptr, m, m, w, label, SWP_NOZORDER);
    SetWindowPos(GetDlgItem(window_, kList), nullptr, m, 2 * m + label, w,
                 client.bottom - 4 * m - label - bh, SWP_NOZORDER);
    SetWindowPos(GetDlgItem(window_, IDOK), nullptr, client.right - m - bw, client.bottom - m - bh,
                 bw, bh, SWP_NOZORDER);
}

LRESULT CALLBACK HistoryDialog::proc(HWND window, UINT message, WPARAM w, LPARAM l) {
    auto* box = static_cast<HistoryDialog*>(boxObject(window, message, l));
    if (message == WM_NCCREATE) box->window_ = window;
    if (boxMessage(window, message, w)) return 0;
    if (message == WM_SIZE && box && GetDlgItem(window, IDOK)) box->layout();
    if (message == WM_NCDESTROY && box) {
        // Made anew when asked again.
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        DeleteObject(std::exchange(box->font_, nullptr));
        box->window_ = nullptr;
    }
    return DefWindowProcW(window, message, w, l);
}

}  // namespace velt::win32
