#include "velt_about.h"

#include <QBoxLayout>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include "icon.h"
#include "shell/window_texts.h"

namespace velt {

VeltAbout::VeltAbout(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("VeltAbout"));
    const AboutTexts about = aboutTexts();
    setWindowTitle(QString::fromStdString(about.caption));

    auto* picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setPixmap(veltIcon().pixmap(48, 48));
    picIcon->setAlignment(Qt::AlignTop);

    lblTitle = new QLabel(QString::fromStdString(about.title), this);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    lblTitle->setFont(gothicFont(kGothicPoints, false));

    lblVersion = new QLabel(QString::fromStdString(about.version), this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));

    auto* lblDescription = new QLabel(QString::fromStdString(about.description), this);
    lblDescription->setObjectName(QStringLiteral("lblDescription"));
    lblDescription->setWordWrap(true);
    lblDescription->setFixedWidth(300);

    auto* line1 = new QFrame(this);
    line1->setObjectName(QStringLiteral("Line1"));
    line1->setFrameShape(QFrame::HLine);
    line1->setFrameShadow(QFrame::Sunken);

    auto contact = [this](const char* name, const QString& text) {
        auto* label = new QLabel(text, this);
        label->setObjectName(QString::fromLatin1(name));
        label->setWordWrap(true);
        label->setFixedWidth(280);
        return label;
    };
    auto* label1 = contact("Label1", QString::fromStdString(about.reports));
    auto* label2 = contact("Label2", QString::fromStdString(about.help));

    cmdOK = new QPushButton(QString::fromStdString(about.ok), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::close);

    auto* texts = new QVBoxLayout;
    texts->addWidget(lblTitle);
    texts->addWidget(lblVersion);
    texts->addWidget(lblDescription);
    auto* top = new QHBoxLayout;
    top->addWidget(picIcon);
    top->addLayout(texts, 1);

    auto* bottom = new QHBoxLayout;
    auto* contacts = new QVBoxLayout;
    contacts->addWidget(label1);
    contacts->addWidget(label2);
    bottom->addLayout(contacts, 1);
    bottom->addWidget(cmdOK, 0, Qt::AlignBottom);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(line1);
    layout->addLayout(bottom);
    // Wrapped labels of fixed widths give the box its size.
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace velt
