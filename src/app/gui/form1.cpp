#include "form1.h"

#include <QAction>
#include <QBoxLayout>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <exception>
#include <utility>

#include "icon.h"
#include "shell/shown.h"
#include "velt_about.h"

namespace velt {

namespace {

const QString kTitle = QString::fromUtf8(kAppTitle);

QString fromUtf8(const std::string& text) {
    return QString::fromStdString(text);
}

void showIn(Dialogs& dialogs, QWidget* window, const Message& m) {
    const auto icon = m.icon == Message::Icon::Warning       ? Dialogs::Icon::Warning
                      : m.icon == Message::Icon::Exclamation ? Dialogs::Icon::Exclamation
                                                             : Dialogs::Icon::None;
    dialogs.showMessage(window, fromUtf8(m.text), m.title.empty() ? kTitle : fromUtf8(m.title),
                        icon);
}

}  // namespace

void Form1Messages::showMessage(const Message& m) {
    showIn(dialogs_, window_, m);
}

bool Form1Messages::askYesNo(const std::string& question) {
    return dialogs_.askYesNo(window_, fromUtf8(question), kTitle);
}

void Form1Messages::showProgress(const std::string& label, int permille, bool several) {
    dialogs_.showProgress(window_, fromUtf8(label), permille, several);
}

void Form1Messages::endProgress() {
    dialogs_.endProgress();
}

void Form1Messages::keepDrawn() {
    // The wait can be long: the dialog and the window stay drawn meanwhile.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

Form1::Form1(std::string programFolder, Dialogs& dialogs, QWidget* parent)
    : QMainWindow(parent),
      dialogs_(dialogs),
      logic_(std::move(programFolder), *this),
      messages_(dialogs, this),
      engine_(messages_) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(kTitle);
    setWindowIcon(veltIcon());
    setAcceptDrops(true);

    auto* central = new QWidget(this);
    setCentralWidget(central);

    auto makeButton = [central](const char* name, const QString& caption) {
        auto* button = new QPushButton(caption, central);
        button->setObjectName(QString::fromLatin1(name));
        button->setAutoDefault(false);
        return button;
    };
    Command1 = makeButton("Command1", QStringLiteral("KYD"));
    Command3 = makeButton("Command3", QStringLiteral("SEBZEB"));
    Command6 = makeButton("Command6", QStringLiteral("OZ"));
    Command4 = makeButton("Command4", QStringLiteral("SKAZKA"));
    Command5 = makeButton("Command5", QStringLiteral("設定"));
    Command2 = makeButton("Command2", QStringLiteral("J"));
    Command2->setFont(gothicFont(18, true));

    // Square buttons of one size, large enough for the widest caption.
    int side = 40;
    for (QPushButton* b : {Command1, Command3, Command6, Command4, Command5, Command2}) {
        const QFontMetrics fm(b->font());
        side = std::max({side, fm.horizontalAdvance(b->text()) + 14, fm.height() + 14});
    }

    auto makeShape = [central](const char* name) {
        auto* shape = new QFrame(central);
        shape->setObjectName(QString::fromLatin1(name));
        shape->setFrameShape(QFrame::StyledPanel);
        shape->setFrameShadow(QFrame::Sunken);
        auto* row = new QHBoxLayout(shape);
        row->setContentsMargins(3, 3, 3, 3);
        row->setSpacing(2);
        return shape;
    };
    Shape1 = makeShape("Shape1");
    Shape2 = makeShape("Shape2");
    for (QPushButton* b : {Command1, Command3, Command6, Command4, Command5, Command2}) {
        b->setFixedSize(side, side);
        (b == Command5 || b == Command2 ? Shape2 : Shape1)->layout()->addWidget(b);
    }

    Label1 = new QLabel(QStringLiteral("現在の指定Targetデータフォルダ"), central);
    Label1->setObjectName(QStringLiteral("Label1"));
    Text1 = new QLineEdit(central);
    Text1->setObjectName(QStringLiteral("Text1"));
    // A file dropped on the text box is an import, not text to insert.
    Text1->setAcceptDrops(false);
    Label1->setBuddy(Text1);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(0);
    buttons->addWidget(Shape1);
    buttons->addSpacing(side / 3);
    buttons->addWidget(Shape2);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(6, 6, 6, 8);
    layout->setSpacing(4);
    layout->addLayout(buttons);
    layout->addSpacing(4);
    layout->addWidget(Label1);
    layout->addWidget(Text1);

    mFile = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    mFile->setObjectName(QStringLiteral("mFile"));
    mexit = mFile->addAction(QStringLiteral("終了"), this, &Form1::mexit_Click);
    mexit->setObjectName(QStringLiteral("mexit"));
    msettei = menuBar()->addMenu(QStringLiteral("設定"));
    msettei->setObjectName(QStringLiteral("msettei"));
    mdata = msettei->addAction(QStringLiteral("ターゲットデータフォルダ設定"), this,
                               &Form1::mdata_Click);
    mdata->setObjectName(QStringLiteral("mdata"));
    mhelp = menuBar()->addMenu(QStringLiteral("ヘルプ"));
    mhelp->setObjectName(QStringLiteral("mhelp"));
    hyoujihelp = mhelp->addAction(QStringLiteral("ヘルプの表示"), this, &Form1::hyoujihelp_Click);
    hyoujihelp->setObjectName(QStringLiteral("hyoujihelp"));
    mvarsion = mhelp->addAction(QStringLiteral("バージョン情報"), this, &Form1::mvarsion_Click);
    mvarsion->setObjectName(QStringLiteral("mvarsion"));

    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(Command6, &QPushButton::clicked, this, &Form1::Command6_Click);
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &Form1::Command5_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);

    QMainWindow::layout()->setSizeConstraint(QLayout::SetFixedSize);

    loading_ = true;
    logic_.load();
    loading_ = false;
}

Form1::~Form1() = default;

std::string Form1::dataFolderText() const {
    return Text1->text().toStdString();
}

void Form1::setDataFolderText(const std::string& text) {
    Text1->setText(fromUtf8(text));
}

std::string Form1::chooseFolder(const std::string& title) {
    return QDir::toNativeSeparators(dialogs_.chooseFolder(this, fromUtf8(title))).toStdString();
}

void Form1::showMessage(const Message& message) {
    // What goes wrong at load is shown once the window is up.
    if (loading_)
        QTimer::singleShot(0, this, [this, message] { showIn(dialogs_, this, message); });
    else
        showIn(dialogs_, this, message);
}

bool Form1::openDocument(const std::string& path) {
    return dialogs_.openUrl(QUrl::fromLocalFile(fromUtf8(path)));
}

template <typename Work>
void Form1::runImport(std::vector<std::string> inputs, Work work) {
    busy_ = true;
    engine_.setDataFolder(Text1->text().toStdString());
    runInWindow(messages_, std::move(inputs), work);
    busy_ = false;
}

void Form1::importWith(Button button) {
    if (busy_) return;
    const QString path = dialogs_.chooseFile(this, fromUtf8(kFileDialogTitle), lastFile_);
    if (path.isEmpty()) return;
    lastFile_ = path;
    const std::string input = path.toStdString();
    runImport({input}, [&] { engine_.importAs(button, input); });
}

void Form1::importDropped(const std::vector<std::string>& paths) {
    runImport(paths, [&] { engine_.importFiles(paths, false); });
}

// Always a copy: a file manager deletes the source of an accepted move.
void Form1::dragEnterEvent(QDragEnterEvent* event) {
    if (busy_ || !event->mimeData()->hasUrls() || !(event->possibleActions() & Qt::CopyAction))
        return;
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void Form1::dropEvent(QDropEvent* event) {
    if (busy_) {
        event->ignore();
        return;
    }
    std::vector<std::string> paths;
    for (const QUrl& url : event->mimeData()->urls())
        paths.push_back(url.toString(QUrl::PreferLocalFile).toStdString());
    event->setDropAction(Qt::CopyAction);
    event->accept();
    importAsDrop(std::move(paths));
}

void Form1::importAsDrop(std::vector<std::string> paths) {
    if (busy_) return;
    // The import runs once the drop is over, so the file manager is not held up meanwhile.
    busy_ = true;
    QTimer::singleShot(0, this, [this, paths = std::move(paths)] { importDropped(paths); });
}

void Form1::closeEvent(QCloseEvent* event) {
    if (busy_)
        event->ignore();
    else
        QMainWindow::closeEvent(event);
}

void Form1::chooseDataFolder() {
    if (!busy_) logic_.chooseDataFolder();
}

void Form1::mexit_Click() {
    close();
}

void Form1::hyoujihelp_Click() {
    logic_.openHelp();
}

void Form1::mvarsion_Click() {
    // One box, shown again when asked twice. It has no parent, so that closing the main window
    // leaves it open, as a window of its own.
    if (!about_) about_ = std::make_unique<VeltAbout>();
    about_->show();
    about_->raise();
    about_->activateWindow();
}

}  // namespace velt
