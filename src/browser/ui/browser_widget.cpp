#include "browser/ui/browser_widget.h"

#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QClipboard>
#include <QCompleter>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSocketNotifier>
#include <QSplitter>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>

#include "browser/ui/rename_window.h"
#include "browser/ui/volume_list_widget.h"
#include "platform/paths.h"

namespace vl::browser::ui {

namespace {
// Changes that come in a burst (a file being copied in) are read once they settle.
constexpr int kSettleMs = 100;
constexpr int kMaxPathChars = 1023;

QString Text(const std::string& bytes) {
  return QFile::decodeName(QByteArray::fromStdString(bytes));
}

std::string Bytes(const QString& text) {
  return QFile::encodeName(text).toStdString();
}
}  // namespace

BrowserWidget::BrowserWidget(DirBrowser& browser, BrowserViews views, QWidget* parent)
    : QWidget(parent), browser_(browser), views_(std::move(views)) {
  setObjectName(QStringLiteral("browser"));
  setMinimumWidth(120);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);

  auto* top = new QHBoxLayout;
  path_ = new QLineEdit(this);
  path_->setObjectName(QStringLiteral("browserPath"));
  path_->setMaxLength(kMaxPathChars);
  path_->setToolTip(QStringLiteral("The directory shown: type another one and press Enter"));
  auto* dirs = new QFileSystemModel(this);
  dirs->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
  dirs->setRootPath(QString());
  completer_ = new QCompleter(dirs, this);
  completer_->setObjectName(QStringLiteral("browserPathCompleter"));
  path_->setCompleter(completer_);
  historyButton_ = new QToolButton(this);
  historyButton_->setObjectName(QStringLiteral("browserHistory"));
  historyButton_->setText(QStringLiteral("History"));
  historyButton_->setPopupMode(QToolButton::InstantPopup);
  historyMenu_ = new QMenu(historyButton_);
  historyMenu_->setObjectName(QStringLiteral("historyMenu"));
  historyButton_->setMenu(historyMenu_);
  top->addWidget(path_, 1);
  top->addWidget(historyButton_);
  layout->addLayout(top);

  split_ = new QSplitter(Qt::Vertical, this);
  split_->setObjectName(QStringLiteral("browserSplitter"));
  split_->setChildrenCollapsible(true);
  volumes_ = new VolumeListWidget(split_);
  volumes_->Fill();
  stack_ = new QStackedWidget(split_);
  stack_->setObjectName(QStringLiteral("browserViews"));
  auto* none = new QFrame(stack_);
  none->setFrameShape(QFrame::StyledPanel);
  noView_ = none;
  stack_->addWidget(noView_);
  list_ = AddView(views_.makeList, views_.list);
  grid_ = AddView(views_.makeGrid, views_.grid);
  split_->addWidget(volumes_);
  split_->addWidget(stack_);
  split_->setStretchFactor(0, 0);
  split_->setStretchFactor(1, 1);
  split_->setSizes({100, 400});
  layout->addWidget(split_, 1);

  auto* bottom = new QHBoxLayout;
  auto* jumpLabel = new QLabel(QStringLiteral("Jump to:"), this);
  jump_ = new QLineEdit(this);
  jump_->setObjectName(QStringLiteral("browserJump"));
  jump_->setMaxLength(255);
  jump_->setToolTip(QStringLiteral("Makes the first entry whose name starts with the text active; Enter opens it"));
  jumpLabel->setBuddy(jump_);
  bottom->addWidget(jumpLabel);
  bottom->addWidget(jump_, 1);
  layout->addLayout(bottom);
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("browserStatus"));
  status_->setTextFormat(Qt::PlainText);
  layout->addWidget(status_);

  settle_ = new QTimer(this);
  settle_->setSingleShot(true);
  settle_->setInterval(kSettleMs);
  connect(settle_, &QTimer::timeout, this, &BrowserWidget::ReadChanges);
  connect(path_, &QLineEdit::returnPressed, this, &BrowserWidget::GoToTyped);
  connect(jump_, &QLineEdit::textEdited, this, &BrowserWidget::Jump);
  connect(jump_, &QLineEdit::returnPressed, this, [this] {
    BrowserView* v = browser_.view();
    if (!v || v->ActiveEntry() < 0) return;
    if (EntryViewWidget* w = currentView()) w->setFocus();
    Choose(v->ActiveEntry(), true);
  });
  connect(volumes_, &VolumeListWidget::volumeChosen, this, [this](const QByteArray& path) {
    std::string error;
    if (!browser_.GoTo(path.toStdString(), error)) SetStatus(Text(error));
  });

  browser_.SetChangeCallback([this](BrowserChange change) { Changed(change); });
  browser_.SetWatchCallback([this](int fd) { ArmWatch(fd); });
  // The history changes while its menu may be running an item: rebuilt from the loop.
  browser_.SetMenusChangedCallback(
      [this] { QMetaObject::invokeMethod(this, &BrowserWidget::RebuildHistory, Qt::QueuedConnection); });
  browser_.SetDrawerRequester([this]() -> std::optional<std::string> {
    const QString start = Text(platform::ResolvePath(browser_.CurrentDirectory()));
    const QString chosen = QFileDialog::getExistingDirectory(window(), QStringLiteral("Select drawer..."), start,
                                                             QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty()) return std::nullopt;
    return Bytes(chosen);
  });
  browser_.SetRenameWindow([this](const std::string& name) { return RenameWindow::Ask(name, window()); });

  RebuildHistory();
  ArmWatch(browser_.NotifyFd());
  thumbnails_ = views_.grid && browser_.view() == views_.grid;
  EntryViewWidget* shown = currentView();
  stack_->setCurrentWidget(shown ? static_cast<QWidget*>(shown) : noView_);
  setFocusProxy(shown);
  Changed(BrowserChange::kDirectory);
}

BrowserWidget::~BrowserWidget() {
  // The browser outlives its widgets.
  browser_.SetChangeCallback({});
  browser_.SetWatchCallback({});
  browser_.SetMenusChangedCallback({});
  browser_.SetDrawerRequester({});
  browser_.SetRenameWindow({});
}

EntryViewWidget* BrowserWidget::AddView(const EntryViewFactory& make, BrowserView* view) {
  EntryViewWidget* w = make && view ? make(*view, stack_) : nullptr;
  if (!w) return nullptr;
  stack_->addWidget(w);
  // Only the shown view is listened to.
  auto shown = [this, w] { return w == currentView(); };
  connect(w, &EntryViewWidget::entryClicked, this, [this, shown](int p) {
    if (shown()) Choose(p, false);
  });
  connect(w, &EntryViewWidget::currentMoved, this, [this, shown](int p) {
    if (shown()) Choose(p, false);
  });
  connect(w, &EntryViewWidget::entryActivated, this, [this, shown](int p) {
    if (shown()) Choose(p, true);
  });
  connect(w, &EntryViewWidget::parentRequested, this, [this, shown] {
    if (shown())
      QMetaObject::invokeMethod(
          this, [this] { browser_.Parent(); }, Qt::QueuedConnection);
  });
  connect(w, &EntryViewWidget::contextMenuRequested, this, [this, shown](int p, const QPoint& at) {
    if (shown()) ShowActionMenu(p, at);
  });
  connect(w, &EntryViewWidget::filesDropped, this, [this, shown](const QStringList& paths) {
    if (!shown()) return;
    std::vector<std::string> sources;
    for (const QString& p : paths) sources.push_back(Bytes(p));
    browser_.CopyInto(sources);
  });
  connect(w, &EntryViewWidget::statusChanged, this, [this, shown](const QString& text) {
    if (shown()) SetStatus(text);
  });
  return w;
}

EntryViewWidget* BrowserWidget::currentView() const {
  return thumbnails_ ? grid_ : list_;
}

QString BrowserWidget::statusText() const {
  return status_->text();
}

void BrowserWidget::SetStatus(const QString& text) {
  status_->setText(text);
}

void BrowserWidget::SetThumbnails(bool on) {
  BrowserView* wanted = on ? views_.grid : views_.list;
  if (on == thumbnails_ && browser_.view() == wanted) return;
  const bool hadFocus = stack_->isAncestorOf(QApplication::focusWidget());
  thumbnails_ = on;
  EntryViewWidget* shown = currentView();
  stack_->setCurrentWidget(shown ? static_cast<QWidget*>(shown) : noView_);
  setFocusProxy(shown);
  if (hadFocus && shown) shown->setFocus();
  // The core browser switches last: its change report reaches the widget now shown.
  if (views_.useGrid) views_.useGrid(on);
  Q_EMIT thumbnailsChanged(on);
}

void BrowserWidget::Changed(BrowserChange change) {
  if (change == BrowserChange::kDirectory) {
    // A directory given relative to the program's own is shown whole.
    const QString dir = Text(platform::ResolvePath(browser_.CurrentDirectory()));
    path_->setText(dir.isEmpty() ? dir : QDir::cleanPath(QDir(dir).absolutePath()));
    jump_->clear();
  }
  EntryViewWidget* w = currentView();
  BrowserView* v = browser_.view();
  if (!w || !v || &w->view() != v) return;
  if (change != BrowserChange::kActive) {
    // Rebuilding the rows resets the widget's own current row; the view's active entry,
    // taken first, becomes the current one again.
    const int active = v->ActiveEntry();
    w->Reload();
    w->SetCurrent(active);
  } else if (w->Current() != v->ActiveEntry()) {
    // The widget already shows what the user clicked (with any selection); an entry made
    // active from elsewhere becomes the current one.
    w->SetCurrent(v->ActiveEntry());
  }
}

void BrowserWidget::ArmWatch(int fd) {
  if (watch_) {
    // Called just before the descriptor is closed: the notifier lets go of it first.
    watch_->setEnabled(false);
    watch_->deleteLater();
    watch_ = nullptr;
  }
  if (fd < 0) return;
  watch_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
  connect(watch_, &QSocketNotifier::activated, this, [this] {
    if (watch_) watch_->setEnabled(false);
    settle_->start();
  });
}

void BrowserWidget::ReadChanges() {
  browser_.PollNotification();
  if (watch_) watch_->setEnabled(true);
}

void BrowserWidget::Choose(int position, bool activated) {
  BrowserView* v = browser_.view();
  EntryInfo info;
  if (!v || !v->GetEntryInfo(position, info)) return;
  if (v->ActiveEntry() != position) v->SetActiveEntry(position);
  if (info.isDirectory) {
    if (!activated) return;
    // Entered from the loop: the view is rebuilt outside the handler of its own signal.
    const std::string full = browser_.FullPath(info.name);
    if (!full.empty())
      QMetaObject::invokeMethod(
          this, [this, full] { browser_.SetCurrentDirectory(full); }, Qt::QueuedConnection);
    return;
  }
  // A click or an arrow key opens pictures and files not typed yet; another kind of file
  // opens only when asked for with a double click or Enter.
  if (!activated && !info.typeName.empty() && !info.isPicture) return;
  browser_.Open();
}

void BrowserWidget::ShowActionMenu(int position, const QPoint& globalPos) {
  BrowserView* v = browser_.view();
  if (!v) return;
  const ContextMenuState state = v->ContextMenuFor(position);
  if (!state.valid) return;
  if (actionMenu_) actionMenu_->deleteLater();
  auto* menu = new QMenu(this);
  actionMenu_ = menu;
  menu->setObjectName(QStringLiteral("actionMenu"));
  menu->setTitle(QStringLiteral("Action"));
  QAction* title = menu->addAction(Text(state.title));
  title->setObjectName(QStringLiteral("actionMenuTitle"));
  title->setEnabled(false);
  menu->addSeparator();

  auto add = [this](QMenu* into, int id, const QString& label, bool enabled) {
    QAction* a = into->addAction(label);
    a->setData(id);
    a->setObjectName(QStringLiteral("browserAction%1").arg(id));
    a->setEnabled(enabled);
    connect(a, &QAction::triggered, this, [this, id] { RunAction(id); });
    return a;
  };
  auto sub = [menu](int id, const QString& label, bool enabled) {
    QMenu* m = menu->addMenu(label);
    m->setObjectName(QStringLiteral("browserMenu%1").arg(id));
    m->menuAction()->setData(id);
    m->menuAction()->setObjectName(QStringLiteral("browserAction%1").arg(id));
    m->menuAction()->setEnabled(enabled);
    return m;
  };
  auto locations = [&](QMenu* into, int selectId, bool move) {
    add(into, selectId, QStringLiteral("Select location..."), true);
    into->addSeparator();
    for (const MenuItem& item : browser_.LocationMenu(move)) add(into, item.id, Text(item.label), item.enabled);
  };

  add(menu, kMenuParent, QStringLiteral("Parent"), true);
  menu->addSeparator();
  locations(sub(kMenuCopyTo, QStringLiteral("Copy to"), state.fileItemsEnabled), kMenuCopySelect, false);
  locations(sub(kMenuMoveTo, QStringLiteral("Move to"), state.fileItemsEnabled), kMenuMoveSelect, true);
  add(menu, kMenuDelete, QStringLiteral("Delete..."), true);
  add(menu, kMenuRename, QStringLiteral("Rename..."), true);
  QMenu* jpeg = sub(kMenuJpeg, QStringLiteral("JPEG"), state.jpegEnabled);
  add(jpeg, kMenuRotate90, QStringLiteral("Rotate +90"), true);
  add(jpeg, kMenuRotate180, QStringLiteral("Rotate +180"), true);
  add(jpeg, kMenuRotateMinus90, QStringLiteral("Rotate -90"), true);
  add(jpeg, kMenuFlipHorizontal, QStringLiteral("Flip horizontal"), true);
  add(jpeg, kMenuFlipVertical, QStringLiteral("Flip vertical"), true);
  QMenu* clip = sub(kMenuClipboard, QStringLiteral("Clipboard"), true);
  add(clip, kMenuCopyFilename, QStringLiteral("Copy filename"), true);
  add(clip, kMenuCopyFullPath, QStringLiteral("Copy full path"), true);
  add(menu, kMenuOpen, QStringLiteral("Open"), true);
  menu->popup(globalPos);
}

void BrowserWidget::RunAction(int id) {
  if (id == kMenuCopyFilename || id == kMenuCopyFullPath) {
    // The clipboard unit gets the text from the browser, the desktop's clipboard from here.
    const std::string text = browser_.ClipboardText(id == kMenuCopyFullPath);
    if (!text.empty()) QGuiApplication::clipboard()->setText(Text(text));
  }
  browser_.RunMenuAction(id);
}

void BrowserWidget::GoToTyped() {
  std::string error;
  if (!browser_.GoTo(Bytes(path_->text()), error)) SetStatus(Text(error));
}

void BrowserWidget::Jump(const QString& text) {
  if (text.isEmpty()) return;
  const int pos = browser_.FindPrefix(Bytes(text));
  if (pos < 0) {
    SetStatus(QStringLiteral("No entry starts with %1").arg(text));
    return;
  }
  browser_.SetActiveEntry(pos);
}

void BrowserWidget::RebuildHistory() {
  historyMenu_->clear();
  for (const MenuItem& item : browser_.HistoryMenu()) {
    QAction* a = historyMenu_->addAction(Text(item.label));
    a->setData(item.id);
    a->setEnabled(item.enabled);
    a->setObjectName(QStringLiteral("history%1").arg(item.id));
    const int id = item.id;
    connect(a, &QAction::triggered, this, [this, id] { browser_.ChooseHistory(id); });
  }
}

}  // namespace vl::browser::ui
