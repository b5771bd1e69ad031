// The browser group as a user meets it: the "Action" menu and its questions, the rename
// window, the path field, "Jump to:", the history, choosing entries, dropped files, the
// switch between the two views and the watch on the shown directory. The views are shown
// by a small list widget of this file.
#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtTest/QtTest>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "app/menu_tree.h"
#include "app/ui/main_window.h"
#include "browser/browser.h"
#include "browser/dir_list.h"
#include "browser/thumb_view.h"
#include "browser/ui/browser_widget.h"
#include "formats/jpeg_codec.h"
#include "formats/png_writer.h"
#include "image/pool.h"
#include "main/session.h"
#include "main/ui/window_table.h"
#include "platform/requester.h"
#include "ui_test_util.h"

namespace {

using vl::browser::BrowserView;
using vl::browser::EntryInfo;
using vl::browser::ui::BrowserWidget;

// A view widget: one row a name, the selection handed to the core view.
class RowsView : public vl::browser::ui::EntryViewWidget {
 public:
  RowsView(BrowserView& view, QWidget* parent) : EntryViewWidget(parent), view_(view) {
    rows_ = new QListWidget(this);
    rows_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    (new QVBoxLayout(this))->addWidget(rows_);
    setFocusProxy(rows_);
  }
  BrowserView& view() override { return view_; }
  void Reload() override {
    rows_->clear();
    EntryInfo info;
    for (int i = 0; i < view_.EntryCount(); ++i)
      if (view_.GetEntryInfo(i, info)) rows_->addItem(QString::fromStdString(info.name));
  }
  void SetCurrent(int position) override { rows_->setCurrentRow(position); }
  int Current() const override { return rows_->currentRow(); }
  QStringList Names() const {
    QStringList names;
    for (int i = 0; i < rows_->count(); ++i) names << rows_->item(i)->text();
    return names;
  }
  // Selects the named entries, the first one active.
  void Select(const QStringList& names) {
    for (int i = 0; i < view_.EntryCount(); ++i) view_.SelectEntry(i, false);
    for (const QString& n : names) view_.SelectEntry(view_.FindEntry(n.toStdString()), true);
    view_.SetActiveEntry(view_.FindEntry(names.first().toStdString()));
  }

 private:
  BrowserView& view_;
  QListWidget* rows_;
};

struct ScriptedRequester : vl::platform::Requester {
  struct Question {
    std::string title, text, buttons;
  };
  std::deque<int> answers;
  std::vector<Question> asked;
  std::vector<std::string> errors;
  void Error(const std::string& text) override { errors.push_back(text); }
  int Ask(const std::string& title, const std::string& text, const std::string& buttons) override {
    asked.push_back({title, text, buttons});
    if (answers.empty()) return -1;
    const int a = answers.front();
    answers.pop_front();
    return a;
  }
};

bool WritePng(const QString& path) {
  vl::image::ChunkyPtr img(vl::image::chk_Create(16, 12, vl::image::ARGB32, false));
  return img && vl::formats::SavePNG(img.get(), QFile::encodeName(path).constData(), true) == 1;
}

bool WriteJpeg(const QString& path) {
  vl::image::ChunkyPtr img(vl::image::chk_Create(16, 16, vl::image::ARGB32, false));
  return img && vl::formats::SaveJPEG(img.get(), QFile::encodeName(path).constData(), 90, false, false) == 1;
}

// The browser group over a file list and (with grid) a thumbnail grid, showing dir.
struct Group {
  vl::browser::DirList list;
  std::unique_ptr<vl::browser::ThumbView> grid;
  vl::browser::DirBrowser browser{&list};
  std::vector<std::string> opened;
  RowsView* listRows = nullptr;
  RowsView* gridRows = nullptr;
  std::unique_ptr<BrowserWidget> widget;

  Group(const QString& dir, bool withGrid = false) {
    vl::browser::ThumbViewSettings settings;
    settings.diskCacheEnabled = false;  // the test leaves no cache behind
    if (withGrid) grid = std::make_unique<vl::browser::ThumbView>(settings);
    browser.SetOpenCallback([this](const std::string& path) { opened.push_back(path); });
    browser.SetCurrentDirectory(QFile::encodeName(dir).toStdString());
    vl::browser::ui::BrowserViews views;
    views.list = &list;
    views.grid = grid.get();
    views.makeList = [this](BrowserView& v, QWidget* p) { return listRows = new RowsView(v, p); };
    views.makeGrid = [this](BrowserView& v, QWidget* p) { return gridRows = new RowsView(v, p); };
    views.useGrid = [this](bool on) { browser.SetView(on ? static_cast<BrowserView*>(grid.get()) : &list); };
    widget = std::make_unique<BrowserWidget>(browser, views);
    widget->resize(400, 500);
    widget->show();
  }
  RowsView* rows() const { return widget->thumbnails() ? gridRows : listRows; }
  BrowserView& view() { return *browser.view(); }
  int Find(const char* name) { return view().FindEntry(name); }
  // Waits until the scanner has typed the entry (the file list's types come in the background).
  bool Typed(const char* name) {
    QElapsedTimer t;
    t.start();
    EntryInfo info;
    while (t.elapsed() < 10000) {
      view().TimerTick();
      if (view().GetEntryInfo(Find(name), info) && !info.typeName.empty()) return true;
      QTest::qWait(20);
    }
    return false;
  }
  // Opens the "Action" menu on the entry and returns its item id (null when missing).
  QAction* Item(const char* entry, int id) {
    widget->ShowActionMenu(Find(entry), QPoint(10, 10));
    return ItemOfOpenMenu(id);
  }
  QAction* ItemOfOpenMenu(int id) {
    QList<QMenu*> menus = widget->findChildren<QMenu*>(QStringLiteral("actionMenu"));
    if (menus.isEmpty()) return nullptr;
    return menus.last()->findChild<QAction*>(QStringLiteral("browserAction%1").arg(id));
  }
  void Run(const char* entry, int id) {
    QAction* a = Item(entry, id);
    QVERIFY2(a, "no such menu item");
    a->trigger();
    widget->findChildren<QMenu*>(QStringLiteral("actionMenu")).last()->hide();
  }
};

}  // namespace

class BrowserGroupTest : public QObject {
  Q_OBJECT

  std::unique_ptr<vl::image::PoolScope> pool_;
  ScriptedRequester requester_;
  std::unique_ptr<QTemporaryDir> dir_;
  QTemporaryDir clips_;

  QString Path(const QString& name) const { return dir_->filePath(name); }
  // a.png, b.jpg, c.png and the directory sub.
  void Fill() {
    QVERIFY(WritePng(Path("a.png")) && WriteJpeg(Path("b.jpg")) && WritePng(Path("c.png")));
    QVERIFY(QDir(dir_->path()).mkdir("sub"));
  }

 private Q_SLOTS:
  void initTestCase() {
    pool_ = std::make_unique<vl::image::PoolScope>();
    vl::platform::SetRequester(&requester_);
    QVERIFY(clips_.isValid());
    qputenv("VISTALOOM_ASSIGN_CLIPS", clips_.path().toLocal8Bit());
  }
  void cleanupTestCase() {
    vl::platform::SetRequester(nullptr);
    pool_.reset();
  }
  void init() {
    requester_ = ScriptedRequester();
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    Fill();
  }

  void theActionMenuFollowsTheEntry_data() {
    QTest::addColumn<bool>("grid");
    QTest::addColumn<QStringList>("selected");
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("fileItems");
    QTest::addColumn<bool>("jpeg");
    QTest::newRow("picture") << false << QStringList{"a.png"} << " a.png " << true << false;
    QTest::newRow("jpeg") << false << QStringList{"b.jpg"} << " b.jpg " << true << true;
    QTest::newRow("directory") << false << QStringList{"sub"} << " sub " << false << false;
    QTest::newRow("selection in the grid")
        << true << QStringList{"a.png", "b.jpg", "c.png"} << " 3 entries: \na.png,b.jpg,..." << true << false;
  }
  void theActionMenuFollowsTheEntry() {
    QFETCH(bool, grid);
    QFETCH(QStringList, selected);
    Group g(dir_->path(), grid);
    g.widget->SetThumbnails(grid);
    QVERIFY(g.Typed("b.jpg"));
    g.rows()->Select(selected);
    QVERIFY(g.Item(selected.first().toUtf8().constData(), vl::browser::kMenuParent));
    QMenu* menu = g.widget->findChildren<QMenu*>(QStringLiteral("actionMenu")).last();
    QFETCH(QString, title);
    QFETCH(bool, fileItems);
    QFETCH(bool, jpeg);
    QCOMPARE(menu->findChild<QAction*>(QStringLiteral("actionMenuTitle"))->text(), title);
    struct {
      int id;
      const char* label;
      bool enabled;
    } const items[] = {
        {1, "Parent", true},
        {2, "Copy to", fileItems},
        {3, "Select location...", true},
        {4, "(Empty slot)", false},
        {8, "(Empty slot)", false},
        {9, "Move to", fileItems},
        {10, "Select location...", true},
        {15, "(Empty slot)", false},
        {16, "Delete...", true},
        {17, "Rename...", true},
        {18, "JPEG", jpeg},
        {19, "Rotate +90", true},
        {20, "Rotate +180", true},
        {21, "Rotate -90", true},
        {22, "Flip horizontal", true},
        {23, "Flip vertical", true},
        {26, "Clipboard", true},
        {27, "Copy filename", true},
        {28, "Copy full path", true},
        {25, "Open", true},
    };
    for (const auto& item : items) {
      QAction* a = g.ItemOfOpenMenu(item.id);
      QVERIFY2(a, item.label);
      QCOMPARE(a->text(), QString::fromUtf8(item.label));
      QCOMPARE(a->isEnabled(), item.enabled);
    }
    // A remembered location fills the first slot of both sub-menus.
    g.browser.Remember(0, "/tmp");
    QVERIFY(g.Item(selected.first().toUtf8().constData(), 4));
    for (int id : {4, 11}) {
      QCOMPARE(g.ItemOfOpenMenu(id)->text(), QStringLiteral("/tmp"));
      QVERIFY(g.ItemOfOpenMenu(id)->isEnabled());
    }
    menu->hide();
  }

  void deletingAsksPerEntry_data() {
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<int>("questions");
    QTest::addColumn<QStringList>("left");
    QTest::newRow("yes to all asks once") << QList<int>{1} << 1 << QStringList{"sub"};
    QTest::newRow("yes, then cancel") << QList<int>{0, 2} << 2 << QStringList{"b.jpg", "c.png", "sub"};
    QTest::newRow("cancel") << QList<int>{2} << 1 << QStringList{"a.png", "b.jpg", "c.png", "sub"};
  }
  void deletingAsksPerEntry() {
    Group g(dir_->path());
    g.listRows->Select({"a.png", "b.jpg", "c.png"});
    QFETCH(QList<int>, answers);
    QFETCH(int, questions);
    QFETCH(QStringList, left);
    for (int a : answers) requester_.answers.push_back(a);
    g.Run("a.png", vl::browser::kMenuDelete);
    QCOMPARE(static_cast<int>(requester_.asked.size()), questions);
    QCOMPARE(requester_.asked[0].title, std::string("Delete..."));
    QCOMPARE(requester_.asked[0].text, std::string("Are you sure you want to delete file \x1b"
                                                   "ba.png\x1bn from disk?"));
    QCOMPARE(requester_.asked[0].buttons, std::string("*Yes|Yes to all|Cancel"));
    QCOMPARE(QDir(dir_->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), left);
    QStringList shown = g.listRows->Names();
    shown.sort();
    QCOMPARE(shown, left);
  }

  void copyingAsksBeforeReplacing_data() {
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("replaced");
    QTest::newRow("skip all") << 3 << false;
    QTest::newRow("replace all") << 1 << true;
  }
  void copyingAsksBeforeReplacing() {
    QTemporaryDir dest;
    QVERIFY(QFile(Path("a.png")).copy(dest.filePath("a.png")));
    QFile old(dest.filePath("c.png"));
    QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
    old.close();
    Group g(dir_->path());
    g.browser.Remember(0, QFile::encodeName(dest.path()).toStdString());
    g.listRows->Select({"a.png", "c.png"});
    QFETCH(int, answer);
    QFETCH(bool, replaced);
    requester_.answers.push_back(answer);
    g.Run("a.png", vl::browser::kMenuCopySlot1);
    QCOMPARE(requester_.asked.size(), size_t(1));
    QCOMPARE(requester_.asked[0].title, std::string("Vistaloom request"));
    QCOMPARE(requester_.asked[0].buttons, std::string("*_Replace|Replace _All|_Skip|S_kip All|Abort "));
    QFile copied(dest.filePath("c.png")), original(Path("c.png"));
    QVERIFY(copied.open(QIODevice::ReadOnly) && original.open(QIODevice::ReadOnly));
    QCOMPARE(copied.readAll() == original.readAll(), replaced);
  }

  void droppedFilesAreCopiedIn() {
    QTemporaryDir from;
    QVERIFY(WritePng(from.filePath("new.png")));
    QVERIFY(QFile(Path("a.png")).copy(from.filePath("a.png")));
    Group g(dir_->path());
    requester_.answers.push_back(1);  // "a.png" exists here: the first question answers "Replace _All"
    Q_EMIT g.listRows->filesDropped({from.filePath("new.png"), from.filePath("a.png")});
    QCOMPARE(requester_.asked.size(), size_t(1));
    QVERIFY(QFile::exists(Path("new.png")));
    QVERIFY(g.listRows->Names().contains("new.png"));
  }

  void renameThroughItsWindow_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("press");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("errors");
    QTest::newRow("rename") << "d.png" << true << "d.png" << 0;
    QTest::newRow("cancel") << "d.png" << false << "a.png" << 0;
    QTest::newRow("name taken") << "c.png" << true << "a.png" << 1;
  }
  void renameThroughItsWindow() {
    QFETCH(QString, typed);
    QFETCH(bool, press);
    QFETCH(QString, name);
    QFETCH(int, errors);
    Group g(dir_->path());
    QString original;
    vl::test::WhenModal([&](QWidget* w) {
      QCOMPARE(w->windowTitle(), QStringLiteral("Rename file"));
      original = w->findChild<QLabel*>("originalName")->text();
      w->findChild<QLineEdit*>("newName")->setText(typed);
      w->findChild<QPushButton*>(press ? "rename" : "cancel")->click();
    });
    g.Run("a.png", vl::browser::kMenuRename);
    QCOMPARE(original, QStringLiteral("a.png"));
    QVERIFY(QFile::exists(Path(name)));
    QVERIFY(g.listRows->Names().contains(name));
    QCOMPARE(static_cast<int>(requester_.errors.size()), errors);
  }

  void clipboardItemsReachTheDesktop() {
    Group g(dir_->path());
    g.Run("c.png", vl::browser::kMenuCopyFilename);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("c.png"));
    g.Run("c.png", vl::browser::kMenuCopyFullPath);
    QCOMPARE(QGuiApplication::clipboard()->text(), QDir(dir_->path()).canonicalPath() + "/c.png");
  }

  void theWatchSeesFilesFromElsewhere() {
    Group g(dir_->path());
    QVERIFY(!g.listRows->Names().contains("late.png"));
    QVERIFY(WritePng(Path("late.png")));
    QTRY_VERIFY_WITH_TIMEOUT(g.listRows->Names().contains("late.png"), 5000);
    // After an action of its own (which reopens the watch) it still sees them.
    requester_.answers.push_back(0);
    g.Run("c.png", vl::browser::kMenuDelete);
    QVERIFY(!g.listRows->Names().contains("c.png"));
    QVERIFY(QFile::remove(Path("late.png")));
    QTRY_VERIFY_WITH_TIMEOUT(!g.listRows->Names().contains("late.png"), 5000);
    // The shown directory removed from under it: the browser empties and keeps working.
    QVERIFY(QDir(dir_->path()).removeRecursively());
    QTRY_VERIFY_WITH_TIMEOUT(g.listRows->Names().isEmpty(), 5000);
    QVERIFY(QDir().mkpath(dir_->path()));
    g.browser.SetCurrentDirectory(QFile::encodeName(dir_->path()).toStdString());
    QVERIFY(WritePng(Path("again.png")));
    QTRY_VERIFY_WITH_TIMEOUT(g.listRows->Names().contains("again.png"), 5000);
  }

  void thePathFieldGoesWhereItIsTold_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");  // relative to the test directory; empty: stays
    QTest::addColumn<QString>("status");
    QTest::newRow("absolute") << "%1/sub"
                              << "sub"
                              << "";
    QTest::newRow("relative") << "sub"
                              << "sub"
                              << "";
    QTest::newRow("a file") << "%1/a.png"
                            << ""
                            << "Not a directory: %1/a.png";
    QTest::newRow("missing") << "nowhere"
                             << ""
                             << "Not a directory: nowhere";
    QTest::newRow("empty") << ""
                           << ""
                           << "No directory given";
  }
  void thePathFieldGoesWhereItIsTold() {
    Group g(dir_->path());
    const QString shownBefore = QString::fromStdString(g.browser.CurrentDirectory());
    auto* path = g.widget->findChild<QLineEdit*>("browserPath");
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(QString, status);
    path->setText(typed.replace("%1", dir_->path()));
    QTest::keyClick(path, Qt::Key_Return);
    QCOMPARE(QString::fromStdString(g.browser.CurrentDirectory()),
             shown.isEmpty() ? shownBefore : QDir(dir_->path()).canonicalPath() + "/" + shown);
    QCOMPARE(g.widget->statusText(), status.replace("%1", dir_->path()));
    if (!shown.isEmpty()) QCOMPARE(path->text(), QString::fromStdString(g.browser.CurrentDirectory()));
  }

  void choosingOpensPicturesAndEntersDirectories() {
    Group g(dir_->path());
    QVERIFY(g.Typed("b.jpg"));
    Q_EMIT g.listRows->entryClicked(g.Find("b.jpg"));
    Q_EMIT g.listRows->currentMoved(g.Find("c.png"));
    QCOMPARE(g.opened.size(), size_t(2));
    QVERIFY(QString::fromStdString(g.opened[1]).endsWith("/c.png"));
    Q_EMIT g.listRows->entryClicked(g.Find("sub"));  // a click only selects a directory
    QCOMPARE(g.opened.size(), size_t(2));
    Q_EMIT g.listRows->entryActivated(g.Find("sub"));
    QTRY_VERIFY(QString::fromStdString(g.browser.CurrentDirectory()).endsWith("/sub"));
    QCOMPARE(g.listRows->Names(), QStringList());
    Q_EMIT g.listRows->parentRequested();
    QTRY_COMPARE(g.listRows->Names().size(), 4);
    // "Jump to:" makes the first entry starting with the text active, letters in any case.
    auto* jump = g.widget->findChild<QLineEdit*>("browserJump");
    QTest::keyClicks(jump, "B");
    QCOMPARE(g.listRows->Current(), g.Find("b.jpg"));
    QTest::keyClicks(jump, "x");
    QCOMPARE(g.listRows->Current(), g.Find("b.jpg"));
    QCOMPARE(g.widget->statusText(), QStringLiteral("No entry starts with Bx"));
  }

  void switchingViewsKeepsTheEntry() {
    Group g(dir_->path(), true);
    g.browser.SetActiveEntry(g.Find("c.png"));
    QCOMPARE(g.listRows->Current(), g.Find("c.png"));
    g.widget->SetThumbnails(true);
    QCOMPARE(g.browser.view(), static_cast<BrowserView*>(g.grid.get()));
    QCOMPARE(g.gridRows->Names(), QStringList({"sub", "a.png", "b.jpg", "c.png"}));
    QCOMPARE(g.gridRows->Current(), g.Find("c.png"));
    g.widget->SetThumbnails(false);
    QCOMPARE(g.listRows->Current(), g.Find("c.png"));
  }

  void theHistoryKeepsFiveDirectories() {
    QStringList dirs;
    for (int i = 0; i < 6; ++i) {
      dirs << dir_->filePath(QStringLiteral("d%1").arg(i));
      QVERIFY(QDir().mkdir(dirs.last()));
    }
    vl::browser::DirList list;
    vl::browser::DirBrowser browser(&list);
    BrowserWidget widget(browser, {&list, nullptr, {}, {}, {}});
    auto* menu = widget.findChild<QMenu*>("historyMenu");
    QCOMPARE(menu->actions().size(), 1);
    QCOMPARE(menu->actions()[0]->text(), QStringLiteral("(Empty)"));
    QVERIFY(!menu->actions()[0]->isEnabled());
    for (const QString& d : dirs) browser.SetCurrentDirectory(QFile::encodeName(d).toStdString());
    QTRY_COMPARE(menu->actions().size(), 5);
    QCOMPARE(menu->actions()[0]->text(), dirs[1]);  // the oldest went
    QCOMPARE(menu->actions()[4]->text(), dirs[5]);
    menu->actions()[2]->trigger();
    QCOMPARE(QString::fromStdString(browser.CurrentDirectory()), dirs[3]);
    QCOMPARE(widget.findChild<QLineEdit*>("browserPath")->text(), dirs[3]);
  }

  void theViewMenuSwitchesTheBrowsersView() {
    vl::settings::Settings prefs = vl::settings::DefaultSettings();
    prefs.diskCacheEnabled = false;
    vl::main::Session session(prefs);
    vl::app::ui::MainWindow w(session.controller(), vl::app::StartupOptions{});
    vl::main::ui::WindowTable windows(session, w);
    auto* group = w.findChild<BrowserWidget*>("browser");
    QVERIFY(group);
    QAction* list = w.menuAction(vl::app::kMenuBrowserList);
    QAction* grid = w.menuAction(vl::app::kMenuBrowserThumbnails);
    QVERIFY(list->isEnabled() && grid->isEnabled());
    QVERIFY(grid->isChecked() && !list->isChecked());
    QVERIFY(session.UsingThumbnails());
    session.browser().SetCurrentDirectory(QFile::encodeName(dir_->path()).toStdString());
    session.browser().SetActiveEntry(session.browser().view()->FindEntry("b.jpg"));
    list->trigger();
    QVERIFY(!session.UsingThumbnails() && !grid->isChecked());
    QCOMPARE(session.browser().view(), static_cast<BrowserView*>(&session.list()));
    EntryInfo info;
    QVERIFY(session.list().GetEntryInfo(session.list().ActiveEntry(), info));
    QCOMPARE(info.name, std::string("b.jpg"));
    // The group follows "Visible".
    w.show();
    w.menuAction(vl::app::kMenuBrowserVisible)->setChecked(false);
    QVERIFY(!group->isVisible());
  }
};

QTEST_MAIN(BrowserGroupTest)
#include "test_browser_group.moc"
