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
#include <QStandardPaths>
#include <QTimer>
#include <algorithm>
#include <exception>
#include <utility>

#include "history_dialog.h"
#include "fetch_dialog.h"
#include "icon.h"
#include "shell/import_report.h"
#include "shell/shown.h"
#include "velt_about.h"

namespace velt {

namespace {

const QString kTitle = QString::fromUtf8(kAppTitle);

QString fromUtf8(const std::string& text) {
    return QString::fromStdString(text);
}

QString fromUtf8(const char* text) {
    return QString::fromUtf8(text);
}

// The frame a button sits in.
std::size_t shapeOf(const FormButton& button) {
    std::size_t i = 0;
    while (i + 1 < std::size(kShapes) && !kShapes[i].place.contains(button.place)) ++i;
    return i;
}

}  // namespace

Form1::Form1(std::string programFolder, Dialogs& dialogs, QWidget* parent)
    : QMainWindow(parent),
      dialogs_(dialogs),
      logic_(std::move(programFolder), *this),
      import_(
          *this,
          [this](std::function<void()> f) {
              QMetaObject::invokeMethod(this, std::move(f), Qt::BlockingQueuedConnection);
          },
          [this](std::function<void()> f) {
              QMetaObject::invokeMethod(this, std::move(f), Qt::QueuedConnection);
          }) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(kTitle);
    setWindowIcon(veltIcon());
    setAcceptDrops(true);
    createControls();
    createMenus();
    QMainWindow::layout()->setSizeConstraint(QLayout::SetFixedSize);

    loading_ = true;
    logic_.load();
    loading_ = false;
}

void Form1::createControls() {
    auto* central = new QWidget(this);
    setCentralWidget(central);

    std::vector<QFrame*> shapes;
    for (const FormControl& s : kShapes) {
        auto* shape = new QFrame(central);
        shape->setObjectName(fromUtf8(s.name));
        shape->setFrameShape(QFrame::StyledPanel);
        shape->setFrameShadow(QFrame::Sunken);
        auto* row = new QHBoxLayout(shape);
        row->setContentsMargins(3, 3, 3, 3);
        row->setSpacing(2);
        shapes.push_back(shape);
    }

    // Square buttons of one size, large enough for the widest caption.
    std::vector<QPushButton*> buttons;
    int side = 40;
    for (const FormButton& row : kFormButtons) {
        auto* button = new QPushButton(fromUtf8(row.caption), central);
        button->setObjectName(fromUtf8(row.name));
        button->setAutoDefault(false);
        if (row.gothic) button->setFont(gothicFont(kGothicPoints, true));
        connect(button, &QPushButton::clicked, this,
                [this, &row] { logic_.run(row.command, row.import); });
        const QFontMetrics fm(button->font());
        side = std::max({side, fm.horizontalAdvance(button->text()) + 14, fm.height() + 14});
        buttons.push_back(button);
    }
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        buttons[i]->setFixedSize(side, side);
        shapes[shapeOf(kFormButtons[i])]->layout()->addWidget(buttons[i]);
    }

    auto* label1 = new QLabel(fromUtf8(kLabel1.caption), central);
    label1->setObjectName(fromUtf8(kLabel1.name));
    text1_ = new QLineEdit(central);
    text1_->setObjectName(fromUtf8(kText1.name));
    // A file dropped on the text box is an import, not text to insert.
    text1_->setAcceptDrops(false);
    label1->setBuddy(text1_);

    auto* row = new QHBoxLayout;
    row->setSpacing(0);
    for (QFrame* shape : shapes) {
        if (shape != shapes.front()) row->addSpacing(side / 3);
        row->addWidget(shape);
    }
    row->addStretch(1);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(6, 6, 6, 8);
    layout->setSpacing(4);
    layout->addLayout(row);
    layout->addSpacing(4);
    layout->addWidget(label1);
    layout->addWidget(text1_);
}

void Form1::createMenus() {
    std::vector<QMenu*> menus;
    for (const FormMenu& m : kFormMenus) {
        menus.push_back(menuBar()->addMenu(fromUtf8(m.title)));
        menus.back()->setObjectName(fromUtf8(m.name));
    }
    for (const FormMenuItem& item : kFormMenuItems) {
        QAction* action =
            menus.at(static_cast<std::size_t>(item.menu))
                ->addAction(fromUtf8(item.text), this, [this, &item] { logic_.run(item.command); });
        action->setObjectName(fromUtf8(item.name));
    }
}

void Form1::fetchFromJrdb() {
    velt::fetchFromJrdb(this, dialogs_, logic_.settingsFileInUse(), dataFolderText(),
                        [this](std::vector<std::string> paths) { importAsDrop(std::move(paths)); });
}

Form1::~Form1() = default;

std::string Form1::dataFolderText() const {
    return text1_->text().toStdString();
}

void Form1::setDataFolderText(const std::string& text) {
    text1_->setText(fromUtf8(text));
}

std::string Form1::chooseFolder(const std::string& title, const std::string& start) {
    return QDir::toNativeSeparators(dialogs_.chooseFolder(this, fromUtf8(title), fromUtf8(start)))
        .toStdString();
}

void Form1::showMessage(const Message& m) {
    // What goes wrong at load is shown once the window is up.
    if (loading_) {
        QTimer::singleShot(0, this, [this, m] { showMessage(m); });
        return;
    }
    const auto icon = m.icon == Message::Icon::Warning       ? Dialogs::Icon::Warning
                      : m.icon == Message::Icon::Exclamation ? Dialogs::Icon::Exclamation
                                                             : Dialogs::Icon::None;
    dialogs_.showMessage(this, fromUtf8(boxText(m)), fromUtf8(titleOf(m)), icon);
}

bool Form1::askYesNo(const std::string& question) {
    return dialogs_.askYesNo(this, fromUtf8(question), kTitle);
}

void Form1::showProgress(const std::string& label, int permille, bool atOnce,
                         const std::function<void()>& cancel) {
    dialogs_.showProgress(this, fromUtf8(label), permille, atOnce, cancel);
}

void Form1::endProgress() {
    dialogs_.endProgress();
}

void Form1::showReport(const std::string& report) {
    dialogs_.showReport(this, fromUtf8(kReportTitle), fromUtf8(report));
}

bool Form1::openDocument(const std::string& path) {
    return dialogs_.openUrl(QUrl::fromLocalFile(fromUtf8(path)));
}

void Form1::setImporting(bool importing) {
    busy_ = importing;
    for (const FormButton& row : kFormButtons)
        if (auto* b = findChild<QPushButton*>(fromUtf8(row.name))) b->setEnabled(!importing);
    if (auto* item = findChild<QAction*>(fromUtf8(formMenuItem(Command::ChooseDataFolder).name)))
        item->setEnabled(!importing);
}

void Form1::startImport(const std::vector<std::string>& inputs, WindowImport::Work work) {
    setImporting(true);
    import_.start(inputs, dataFolderText(), std::move(work), [this] { setImporting(false); });
}

void Form1::importWith(Button button) {
    if (busy_) return;
    QStringList filters;
    for (const FileFilter& filter : fileFilters(button)) {
        QStringList patterns;
        for (const std::string& pattern : filter.patterns) patterns << fromUtf8(pattern);
        filters << fromUtf8(filter.name) + " (" + patterns.join(' ') + ")";
    }
    const std::string downloads =
        QStandardPaths::writableLocation(QStandardPaths::DownloadLocation).toStdString();
    const QStringList files = dialogs_.chooseFiles(this, fromUtf8(kFileDialogTitle),
                                                   fromUtf8(logic_.fileFolder(downloads)), filters);
    if (files.isEmpty()) return;
    logic_.rememberFileFolder(files.first().toStdString());
    std::vector<std::string> paths;
    for (const QString& file : files) paths.push_back(file.toStdString());
    startImport(paths, [button, paths](ImportEngine& engine, Messages& messages) {
        return importEachAs(engine, messages, button, paths);
    });
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
    // The import starts once the drop is over, so the file manager is not held up meanwhile.
    busy_ = true;
    QTimer::singleShot(0, this, [this, paths = std::move(paths)] {
        startImport(paths, [paths](ImportEngine& engine, Messages&) {
            return engine.importFiles(paths, false);
        });
    });
}

void Form1::closeEvent(QCloseEvent* event) {
    if (busy_)
        event->ignore();
    else
        QMainWindow::closeEvent(event);
}

void Form1::closeWindow() {
    close();
}

void Form1::showAbout() {
    // One box, shown again when asked twice. It has no parent, so that closing the main window
    // leaves it open, as a window of its own.
    if (!about_) about_ = std::make_unique<VeltAbout>();
    about_->show();
    about_->raise();
    about_->activateWindow();
}

void Form1::showHistory(const std::vector<HistoryDay>& days, const std::string& file) {
    openHistoryDialog(this, days, file);
}

}  // namespace velt
