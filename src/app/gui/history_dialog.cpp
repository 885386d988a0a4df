#include "history_dialog.h"

#include <QBoxLayout>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>

#include "shell/window_texts.h"

namespace velt {

QDialog* openHistoryDialog(QWidget* parent, const std::vector<HistoryDay>& days,
                           const std::string& file) {
    auto* dialog = new QDialog(parent);
    dialog->setObjectName(QStringLiteral("historyDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QString::fromUtf8(kHistoryDialogTitle));
    auto* layout = new QVBoxLayout(dialog);
    auto* where = new QLabel(
        QString::fromStdString(days.empty() ? "取り込み履歴はまだありません: " + file : file),
        dialog);
    where->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(where);

    const auto& heads = historyDayHeaders();
    auto* table =
        new QTableWidget(static_cast<int>(days.size()), static_cast<int>(heads.size()), dialog);
    table->setObjectName(QStringLiteral("historyDays"));
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    QStringList labels;
    for (const auto& h : heads) labels << QString::fromStdString(h);
    table->setHorizontalHeaderLabels(labels);
    for (std::size_t row = 0; row < days.size(); ++row) {
        const auto cells = historyDayCells(days[row]);
        for (std::size_t col = 0; col < cells.size(); ++col) {
            auto* item = new QTableWidgetItem(QString::fromStdString(cells[col]));
            if (col > 0 && col + 1 < cells.size()) item->setTextAlignment(Qt::AlignCenter);
            if (cells[col] == "×") item->setForeground(Qt::red);
            table->setItem(static_cast<int>(row), static_cast<int>(col), item);
        }
    }
    table->resizeColumnsToContents();
    table->horizontalHeader()->setStretchLastSection(true);
    table->scrollToBottom();  // the newest days
    layout->addWidget(table);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::close);
    layout->addWidget(buttons);
    dialog->resize(720, 420);
    dialog->show();
    return dialog;
}

}  // namespace velt
