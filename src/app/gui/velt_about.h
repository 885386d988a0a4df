#pragma once
// `VeltAbout`: the modeless about box with the program's title, version and contacts.

#include <QDialog>

class QLabel;
class QPushButton;

namespace velt {

class VeltAbout : public QDialog {
    Q_OBJECT
public:
    explicit VeltAbout(QWidget* parent = nullptr);

    QLabel* lblTitle;
    QLabel* lblVersion;
    QPushButton* cmdOK;
};

}  // namespace velt
