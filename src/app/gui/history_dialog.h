#pragma once
// The window's 取り込み履歴: the data folder's history by race day, in a modeless dialog.

#include <string>
#include <vector>

#include "shell/history.h"

class QDialog;
class QWidget;

namespace velt {

// Opens the dialog (object name "historyDialog"), deleted when closed. A missing kind shows in
// red, so that a day whose results are missing stands out.
QDialog* openHistoryDialog(QWidget* parent, const std::vector<HistoryDay>& days,
                           const std::string& file);

}  // namespace velt
