#pragma once
// `HistoryDialog`: the window's 取り込み履歴, the data folder's history by race day in a list, a
// modeless window of its own.

#include <windows.h>

#include <string>
#include <vector>

#include "shell/history.h"

namespace velt::win32 {

class HistoryDialog {
public:
    HistoryDialog() = default;
    ~HistoryDialog();
    HistoryDialog(const HistoryDialog&) = delete;
    HistoryDialog& operator=(const HistoryDialog&) = delete;

    // Shows the days (again, with what is read now, when it is open) and brings it to the front.
    void show(const std::vector<HistoryDay>& days, const std::string& file);
    HWND hwnd() const { return window_; }

private:
    static LRESULT CALLBACK proc(HWND window, UINT message, WPARAM w, LPARAM l);
    void fill(const std::vector<HistoryDay>& days, const std::string& file);
    void layout();

    HWND window_ = nullptr;
    HFONT font_ = nullptr;
};

}  // namespace velt::win32
