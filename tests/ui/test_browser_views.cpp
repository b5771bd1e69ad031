// The browser's two views under the offscreen platform: the file list's columns, sorting
// and selection, the thumbnail grid's layout and cells, and the signals both give for
// keys, clicks, the context menu and drops.
#include <QContextMenuEvent>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QHeaderView>
#include <QListView>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTreeView>
#include <QUrl>
#include <QtTest/QtTest>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "browser/dir_list.h"
#include "browser/thumb_view.h"
#include "browser/ui/directory_model.h"
#include "browser/ui/file_list_widget.h"
#include "browser/ui/thumb_grid_widget.h"
#include "formats/png_writer.h"
#include "image/chunky.h"
#include "image/pool.h"

using vl::browser::DirList;
using vl::browser::ThumbView;
using vl::browser::ThumbViewSettings;
using vl::browser::ui::DirectoryModel;
using vl::browser::ui::EntryViewWidget;
using vl::browser::ui::FileListWidget;
using vl::browser::ui::ThumbGridWidget;

namespace {

// A picture of one colour.
bool WritePicture(const QString& path, int w, int h, QRgb colour) {
  vl::image::ChunkyPtr img(vl::image::chk_Create(w, h, vl::image::RGB24, false));
  if (!img) return false;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      vl::image::SetPixel(img.get(), x, y, 255, static_cast<uint8_t>(qRed(colour)),
                          static_cast<uint8_t>(qGreen(colour)), static_cast<uint8_t>(qBlue(colour)));
  return vl::formats::SavePNG(img.get(), QFile::encodeName(path).constData(), false) == 1;
}

bool WriteText(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QStringList Column(QAbstractItemModel* m, int column) {
  QStringList out;
  for (int r = 0; r < m->rowCount(); ++r) out << m->index(r, column).data().toString();
  return out;
}

// Colours equal but for the rounding of the two-bytes-a-pixel packing of the cells.
bool Near(QRgb a, QRgb b) {
  auto d = [](int x, int y) { return std::abs(x - y) <= 3; };
  const bool near = d(qRed(a), qRed(b)) && d(qGreen(a), qGreen(b)) && d(qBlue(a), qBlue(b));
  if (!near) qWarning("colour %08x, expected %08x", a, b);
  return near;
}

int RowOf(QAbstractItemModel* m, const QString& name) {
  return static_cast<int>(Column(m, 0).indexOf(name));
}

// Whether the rows for which isDir holds form one block.
bool DirectoriesGrouped(QAbstractItemModel* m) {
  int changes = 0;
  for (int r = 1; r < m->rowCount(); ++r)
    changes += m->index(r, 0).data(DirectoryModel::IsDirectoryRole).toBool() !=
               m->index(r - 1, 0).data(DirectoryModel::IsDirectoryRole).toBool();
  return changes <= 1;
}

}  // namespace

class BrowserViewsTest : public QObject {
  Q_OBJECT

  std::unique_ptr<vl::image::PoolScope> pool_;
  QTemporaryDir tmp_;
  QString pics_;

  QString file(const QString& name) const { return pics_ + QLatin1Char('/') + name; }

  ThumbViewSettings GridSettings() const {
    ThumbViewSettings s;
    s.diskCacheEnabled = false;
    s.cachePath = tmp_.filePath(QStringLiteral("cache")).toStdString();
    return s;
  }

  // Shows the widget on the pictures' folder; its item view (null when it did not show).
  QAbstractItemView* ShowPictures(EntryViewWidget* w) {
    w->resize(520, 400);
    w->show();
    if (!QTest::qWaitForWindowExposed(w)) return nullptr;
    w->view().SetDirectory(pics_.toStdString());
    return w->findChild<QAbstractItemView*>();
  }

  void ClickHeader(FileListWidget& w, int section) {
    QHeaderView* h = w.tree()->header();
    QTest::mouseClick(h->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(h->sectionViewportPosition(section) + h->sectionSize(section) / 2, h->height() / 2));
  }

 private Q_SLOTS:
  void initTestCase() {
    pool_ = std::make_unique<vl::image::PoolScope>();
    QVERIFY(tmp_.isValid());
    qputenv("VISTALOOM_ASSIGN_ENVARC", QFile::encodeName(tmp_.filePath(QStringLiteral("envarc"))));
    pics_ = tmp_.filePath(QStringLiteral("pics"));
    QVERIFY(QDir().mkpath(pics_ + QStringLiteral("/bdir")));
    QVERIFY(QDir().mkpath(pics_ + QStringLiteral("/Adir")));
    QVERIFY(WritePicture(file(QStringLiteral("red.png")), 60, 40, qRgb(200, 20, 20)));
    QVERIFY(WritePicture(file(QStringLiteral("Green.png")), 300, 200, qRgb(20, 180, 40)));
    QVERIFY(WritePicture(file(QStringLiteral("blue.png")), 20, 40, qRgb(30, 40, 160)));
    QVERIFY(WriteText(file(QStringLiteral("notes.txt")), QByteArray("twelve bytes")));
  }

  void cleanupTestCase() { pool_.reset(); }

  void listColumnsShowFilesPicturesAndDirectories() {
    DirList list;
    list.SetShowNonImageFiles(true);
    FileListWidget w(list);
    QSignalSpy status(&w, &EntryViewWidget::statusChanged);
    w.resize(500, 300);
    w.show();
    list.SetDirectory(pics_.toStdString());
    QAbstractItemModel* m = w.tree()->model();
    QCOMPARE(m->rowCount(), 6);
    QTRY_VERIFY(!status.isEmpty() && status.last().at(0).toString() == QStringLiteral("Ready..."));
    const QStringList titles = {"Name", "Size", "Date", "Type"};
    for (int c = 0; c < 4; ++c) QCOMPARE(m->headerData(c, Qt::Horizontal).toString(), titles[c]);

    struct Row {
      const char* name;
      const char* size;
      const char* type;  // null: any type once found
      bool bold;
    };
    const Row rows[] = {
        {"notes.txt", "12", nullptr, false}, {"red.png", nullptr, "PNG", false}, {"Adir", "", "Directory", true}};
    for (const Row& r : rows) {
      const int row = RowOf(m, QString::fromLatin1(r.name));
      QVERIFY2(row >= 0, r.name);
      const QString size = m->index(row, 1).data().toString();
      if (r.size) QCOMPARE(size, QString::fromLatin1(r.size));
      if (!r.size) QCOMPARE(size, QString::number(QFileInfo(file(QString::fromLatin1(r.name))).size()));
      QCOMPARE(!m->index(row, 1).data(Qt::DecorationRole).isNull(), r.bold);  // the drawer symbol
      const QString type = m->index(row, 3).data().toString();
      if (r.type) QCOMPARE(type, QString::fromLatin1(r.type));
      QVERIFY(!type.isEmpty());
      QCOMPARE(m->index(row, 0).data(Qt::FontRole).value<QFont>().bold(), r.bold);
      // Everything here was written moments ago.
      QCOMPARE(m->index(row, 2).data().toString(), QStringLiteral("Today"));
    }
    QCOMPARE(m->index(0, 0).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignHorizontal_Mask,
             Qt::AlignLeft);
    QCOMPARE(m->index(0, 1).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignHorizontal_Mask,
             Qt::AlignRight);
    QCOMPARE(m->index(0, 2).data(Qt::TextAlignmentRole).value<Qt::Alignment>(), Qt::AlignCenter);
    QCOMPARE(m->index(0, 3).data(Qt::TextAlignmentRole).value<Qt::Alignment>(), Qt::AlignCenter);
  }

  void listSortsByClickedColumnAndKeepsDirectoriesTogether() {
    DirList list;
    FileListWidget w(list);
    w.resize(500, 300);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    list.SetDirectory(pics_.toStdString());
    QAbstractItemModel* m = w.tree()->model();
    struct Step {
      int column;
      QStringList names;
    };
    // Name ascending is the start; the directories are "greater" than every file.
    const Step steps[] = {
        {-1, {"blue.png", "Green.png", "red.png", "Adir", "bdir"}},
        {0, {"red.png", "Green.png", "blue.png", "bdir", "Adir"}},
        {1, {"blue.png", "red.png", "Green.png", "bdir", "Adir"}},
        {1, {"Green.png", "red.png", "blue.png", "bdir", "Adir"}},
    };
    for (const Step& s : steps) {
      if (s.column >= 0) ClickHeader(w, s.column);
      QCOMPARE(Column(m, 0), s.names);
      QVERIFY(DirectoriesGrouped(m));
    }
    QCOMPARE(w.tree()->header()->sortIndicatorSection(), 1);
    QCOMPARE(w.tree()->header()->sortIndicatorOrder(), Qt::DescendingOrder);
  }

  void listSelectionReachesTheCoreAndSurvivesSorting() {
    DirList list;
    FileListWidget w(list);
    w.resize(500, 300);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    list.SetDirectory(pics_.toStdString());
    QTreeView* t = w.tree();
    auto clickRow = [&](const QString& name, Qt::KeyboardModifiers mods) {
      const int row = RowOf(t->model(), name);
      QVERIFY(row >= 0);
      QTest::mouseClick(t->viewport(), Qt::LeftButton, mods, t->visualRect(t->model()->index(row, 0)).center());
    };
    QSignalSpy clicked(&w, &EntryViewWidget::entryClicked);
    clickRow(QStringLiteral("red.png"), Qt::NoModifier);
    clickRow(QStringLiteral("blue.png"), Qt::ControlModifier);
    clickRow(QStringLiteral("Adir"), Qt::ControlModifier);
    QCOMPARE(clicked.count(), 1);  // the Ctrl clicks only select
    QCOMPARE(clicked.at(0).at(0).toInt(), RowOf(t->model(), QStringLiteral("red.png")));
    const std::vector<std::string> inOrder = {"blue.png", "red.png", "Adir"};
    QCOMPARE(list.GetSelectedNames(), inOrder);
    QCOMPARE(list.ActiveEntry(), w.Current());
    ClickHeader(w, 0);  // reversed: the same entries, in the new order
    const std::vector<std::string> reversed = {"red.png", "blue.png", "Adir"};
    QCOMPARE(list.GetSelectedNames(), reversed);
    QCOMPARE(t->selectionModel()->selectedRows().size(), 3);
    QCOMPARE(Column(t->model(), 0).at(w.Current()), QStringLiteral("Adir"));
    QCOMPARE(list.ActiveEntry(), w.Current());
    // Clicking one row alone selects only it.
    clickRow(QStringLiteral("Green.png"), Qt::NoModifier);
    QCOMPARE(list.GetSelectedNames(), std::vector<std::string>{"Green.png"});
  }

  void keysAndMouseGiveTheWidgetsSignals() {
    DirList list;
    ThumbView thumbs(GridSettings());
    FileListWidget listWidget(list);
    ThumbGridWidget gridWidget(thumbs);
    EntryViewWidget* widgets[] = {&listWidget, &gridWidget};
    for (EntryViewWidget* w : widgets) {
      auto* items = ShowPictures(w);
      QVERIFY(items);
      const int count = items->model()->rowCount();
      QCOMPARE(count, w == &listWidget ? 5 : 6);
      w->SetCurrent(0);
      QCOMPARE(w->view().ActiveEntry(), 0);
      QSignalSpy moved(w, &EntryViewWidget::currentMoved);
      QSignalSpy activated(w, &EntryViewWidget::entryActivated);
      QSignalSpy parent(w, &EntryViewWidget::parentRequested);
      QSignalSpy menu(w, &EntryViewWidget::contextMenuRequested);
      struct KeyCase {
        Qt::Key key;
        int movedTo;      // -1: no move
        int activatedAt;  // -1: not activated
        bool parent;
      };
      const KeyCase keys[] = {{Qt::Key_End, count - 1, -1, false},
                              {Qt::Key_Home, 0, -1, false},
                              {Qt::Key_Home, -1, -1, false},
                              {Qt::Key_Return, -1, 0, false},
                              {Qt::Key_Backspace, -1, -1, true}};
      for (const KeyCase& k : keys) {
        moved.clear(), activated.clear(), parent.clear();
        QTest::keyClick(items, k.key);
        QCOMPARE(moved.count(), k.movedTo >= 0 ? 1 : 0);
        if (k.movedTo >= 0) QCOMPARE(moved.at(0).at(0).toInt(), k.movedTo);
        QCOMPARE(activated.count(), k.activatedAt >= 0 ? 1 : 0);
        if (k.activatedAt >= 0) QCOMPARE(activated.at(0).at(0).toInt(), k.activatedAt);
        QCOMPARE(parent.count(), k.parent ? 1 : 0);
        QCOMPARE(w->view().ActiveEntry(), w->Current());
      }
      // The next entry by the arrow key that goes along the rows or cells.
      QTest::keyClick(items, w == &listWidget ? Qt::Key_Down : Qt::Key_Right);
      QCOMPARE(moved.count(), 1);
      QCOMPARE(moved.at(0).at(0).toInt(), 1);

      const QRect second = items->visualRect(items->model()->index(1, 0));
      activated.clear();
      QTest::mouseClick(items->viewport(), Qt::LeftButton, Qt::NoModifier, second.center());
      QTest::mouseDClick(items->viewport(), Qt::LeftButton, Qt::NoModifier, second.center());
      QCOMPARE(activated.count(), 1);
      QCOMPARE(activated.at(0).at(0).toInt(), 1);

      // A right click on an entry asks for its menu; outside the entries nothing does.
      QContextMenuEvent onEntry(QContextMenuEvent::Mouse, second.center(),
                                items->viewport()->mapToGlobal(second.center()));
      QApplication::sendEvent(items->viewport(), &onEntry);
      QCOMPARE(menu.count(), 1);
      QCOMPARE(menu.at(0).at(0).toInt(), 1);
      const QPoint empty(items->viewport()->width() - 3, items->viewport()->height() - 3);
      QVERIFY(!items->indexAt(empty).isValid());
      QContextMenuEvent outside(QContextMenuEvent::Mouse, empty, items->viewport()->mapToGlobal(empty));
      QApplication::sendEvent(items->viewport(), &outside);
      QCOMPARE(menu.count(), 1);
      w->hide();
    }
  }

  void dragsCarryFileUrlsAndDropsFromElsewhereAreReported() {
    QTemporaryDir other;
    QVERIFY(other.isValid());
    const QString outsider = other.filePath(QStringLiteral("outside.png"));
    QVERIFY(WritePicture(outsider, 8, 8, qRgb(1, 2, 3)));
    DirList list;
    ThumbView thumbs(GridSettings());
    FileListWidget listWidget(list);
    ThumbGridWidget gridWidget(thumbs);
    EntryViewWidget* widgets[] = {&listWidget, &gridWidget};
    for (EntryViewWidget* w : widgets) {
      auto* items = ShowPictures(w);
      QVERIFY(items);
      QAbstractItemModel* m = items->model();
      // Dragging out: the chosen entries as file URLs with their full paths.
      const int red = RowOf(m, QStringLiteral("red.png"));
      const int adir = RowOf(m, QStringLiteral("Adir"));
      std::unique_ptr<QMimeData> out(m->mimeData({m->index(red, 0), m->index(adir, 0)}));
      QVERIFY(out);
      QList<QUrl> urls = out->urls();
      std::sort(urls.begin(), urls.end());
      QCOMPARE(urls, (QList<QUrl>{QUrl::fromLocalFile(file(QStringLiteral("Adir"))),
                                  QUrl::fromLocalFile(file(QStringLiteral("red.png")))}));
      QCOMPARE(m->supportedDragActions(), Qt::CopyAction);

      QSignalSpy dropped(w, &EntryViewWidget::filesDropped);
      struct DropCase {
        QList<QUrl> urls;
        QStringList reported;
      };
      const DropCase drops[] = {
          {{QUrl::fromLocalFile(outsider)}, {outsider}},
          {{QUrl::fromLocalFile(file(QStringLiteral("red.png")))}, {}},  // its own file
          {{QUrl(QStringLiteral("https://example.org/x.png"))}, {}},
          {{QUrl::fromLocalFile(file(QStringLiteral("blue.png"))), QUrl::fromLocalFile(outsider)}, {outsider}},
      };
      for (const DropCase& d : drops) {
        dropped.clear();
        QMimeData data;
        data.setUrls(d.urls);
        const QPoint at(items->viewport()->width() - 5, items->viewport()->height() - 5);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(items->viewport(), &enter);
        QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(items->viewport(), &move);
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        drop.setAccepted(false);  // as the desktop's drag delivers it
        QApplication::sendEvent(items->viewport(), &drop);
        QCOMPARE(dropped.count(), d.reported.isEmpty() ? 0 : 1);
        if (!d.reported.isEmpty()) QCOMPARE(dropped.at(0).at(0).toStringList(), d.reported);
        QCOMPARE(m->rowCount(), w == &listWidget ? 5 : 6);  // the drop adds no rows by itself
      }
      w->hide();
    }
  }

  void dragOfANameThatIsNotUtf8KeepsItsBytes() {
    QTemporaryDir dir;
    const QByteArray raw = QFile::encodeName(dir.path()) + "/caf\xe9.png";
    vl::image::ChunkyPtr img(vl::image::chk_Create(4, 4, vl::image::RGB24, true));
    QVERIFY(img && vl::formats::SavePNG(img.get(), raw.constData(), false) == 1);
    DirList list;
    FileListWidget w(list);
    list.SetDirectory(dir.path().toStdString());
    QAbstractItemModel* m = w.tree()->model();
    QCOMPARE(m->rowCount(), 1);
    std::unique_ptr<QMimeData> out(m->mimeData({m->index(0, 0)}));
    QVERIFY(out && out->urls().size() == 1);
    QVERIFY2(out->urls().at(0).toEncoded().endsWith("/caf%E9.png"), out->urls().at(0).toEncoded().constData());
  }

  void gridRowsHoldAsManyCellsAsFitTheWidth() {
    QTemporaryDir dir;
    for (int i = 0; i < 30; ++i)
      QVERIFY(
          WritePicture(dir.filePath(QStringLiteral("p%1.png").arg(i, 2, 10, QLatin1Char('0'))), 4, 4, qRgb(i, 0, 0)));
    ThumbView thumbs(GridSettings());
    ThumbGridWidget w(thumbs);
    w.show();
    thumbs.SetDirectory(dir.path().toStdString());
    QListView* g = w.grid();
    const int cellWidth = w.CellSize().width();
    QCOMPARE(cellWidth, 120);
    for (int width : {130, 250, 365, 500, 725}) {
      w.resize(width, 420);
      QTRY_COMPARE(w.CellsPerRow(), std::max(1, g->viewport()->width() / cellWidth));
      const int perRow = w.CellsPerRow();
      QVERIFY(perRow >= 1);
      // Cells 0..perRow-1 share the first row; the next starts the second, at the left.
      QTRY_COMPARE(g->visualRect(g->model()->index(perRow - 1, 0)).top(), g->visualRect(g->model()->index(0, 0)).top());
      const QRect next = g->visualRect(g->model()->index(perRow, 0));
      QVERIFY2(next.top() > g->visualRect(g->model()->index(0, 0)).top(), qPrintable(QString::number(width)));
      QCOMPARE(next.left(), g->visualRect(g->model()->index(0, 0)).left());
      QCOMPARE(next.size(), w.CellSize());
    }
  }

  void gridCellsShowArrivingThumbnailsCentredAndBrightenedWhenSelected() {
    ThumbViewSettings s = GridSettings();
    s.delayedScanning = true;
    ThumbView thumbs(s);
    ThumbGridWidget w(thumbs);
    QSignalSpy status(&w, &EntryViewWidget::statusChanged);
    w.resize(520, 400);
    thumbs.SetDirectory(pics_.toStdString());  // hidden: no scan yet
    QAbstractItemModel* m = w.grid()->model();
    QTRY_COMPARE(m->rowCount(), 6);
    QCOMPARE(thumbs.StatusText(), std::string("Reading..."));
    const int red = RowOf(m, QStringLiteral("red.png"));
    const int green = RowOf(m, QStringLiteral("Green.png"));
    QVERIFY(red >= 0 && green >= 0);
    QVERIFY(m->index(red, 0).data(DirectoryModel::CellPictureRole).value<QImage>().isNull());
    QSignalSpy changed(m, &QAbstractItemModel::dataChanged);
    w.show();
    QTRY_VERIFY_WITH_TIMEOUT(!status.isEmpty() && status.last().at(0).toString() == QStringLiteral("Ready..."), 20000);
    bool redChanged = false;
    for (const auto& args : changed) redChanged |= args.at(0).toModelIndex().row() == red;
    QVERIFY(redChanged);

    struct CellCase {
      int row;
      QSize size;
      QPoint offset;
      QRgb colour;
    };
    // 60x40 grows to 120x80 and fills the area; 300x200 shrinks to 120x80; 20x40 grows
    // to 40x80, centred across.
    const CellCase cells[] = {{red, {120, 80}, {0, 0}, qRgb(200, 20, 20)},
                              {green, {120, 80}, {0, 0}, qRgb(20, 180, 40)},
                              {RowOf(m, QStringLiteral("blue.png")), {40, 80}, {40, 0}, qRgb(30, 40, 160)}};
    for (const CellCase& c : cells) {
      const QImage img = m->index(c.row, 0).data(DirectoryModel::CellPictureRole).value<QImage>();
      QCOMPARE(img.size(), c.size);
      QCOMPARE(m->index(c.row, 0).data(DirectoryModel::CellPictureOffsetRole).toPoint(), c.offset);
      QVERIFY(Near(img.pixel(img.width() / 2, img.height() / 2), c.colour));
    }
    // The tooltip: five bold labels.
    const QString tip = m->index(red, 0).data(Qt::ToolTipRole).toString();
    for (const char* label : {"Filename: ", "Width: ", "Height: ", "Type: ", "Size: "})
      QVERIFY2(tip.contains(QStringLiteral("<b>%1</b>").arg(QString::fromLatin1(label))), qPrintable(tip));
    QVERIFY(tip.contains(QStringLiteral("60")));

    w.SetCurrent(red);
    const QImage lit = m->index(red, 0).data(DirectoryModel::CellPictureRole).value<QImage>();
    auto bright = [](int c) { return std::min(255, 5 * c / 4 + 40); };
    QVERIFY(Near(lit.pixel(10, 10), qRgb(bright(200), bright(20), bright(20))));
    QCOMPARE(thumbs.GetSelectedNames(), std::vector<std::string>{"red.png"});
  }
};

QTEST_MAIN(BrowserViewsTest)
#include "test_browser_views.moc"
