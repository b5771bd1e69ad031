// The batch converter and thumbnailer windows (offscreen): values reach the jobs, statistics show
// the final counts, "S_top" and closing end a running job, and bad input is refused before writing.
#include <sys/stat.h>

#include <QtTest/QtTest>
#include <QtWidgets>
#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "../support/unprivileged_files.h"
#include "app/menu_tree.h"
#include "app/startup.h"
#include "app/ui/main_window.h"
#include "formats/loader.h"
#include "formats/png_writer.h"
#include "image/chunky.h"
#include "image/pool.h"
#include "main/session.h"
#include "main/ui/window_table.h"
#include "platform/requester.h"
#include "settings/settings.h"
#include "tools/batch_convert.h"
#include "tools/job_setup.h"
#include "tools/ui/batch_convert_window.h"
#include "tools/ui/thumbnailer_window.h"

using vl::tools::ui::BatchConvertWindow;
using vl::tools::ui::ThumbnailerWindow;

namespace {

// Every message shown, as "error: text" or "ask: title|text|buttons".
struct RecordingRequester : vl::platform::Requester {
  std::vector<std::string> said;
  void Error(const std::string& text) override { said.push_back("error: " + text); }
  int Ask(const std::string& title, const std::string& text, const std::string& buttons) override {
    said.push_back("ask: " + title + "|" + text + "|" + buttons);
    return 0;
  }
};

std::string Local(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

// A w x h PNG with a pattern, so that its JPEG is not trivially small.
bool WritePicture(const QString& path, int w, int h) {
  vl::image::ChunkyPtr img(vl::image::chk_Create(w, h, vl::image::ARGB32, false));
  if (!img) return false;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      vl::image::SetPixel(img.get(), x, y, 255, static_cast<uint8_t>(x * 7 + y), static_cast<uint8_t>(y * 3),
                          static_cast<uint8_t>((x ^ y) & 0xFF));
  return vl::formats::SavePNG(img.get(), Local(path).c_str(), true) == 1;
}

bool WriteText(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly) && f.write("not a picture\n") > 0;
}

// Width and height of a picture file; (-1, -1) when it does not load.
QSize SizeOf(const QString& path) {
  vl::image::TexturePtr t(vl::formats::ReadPicture(Local(path).c_str()));
  if (!t || !t->chunky) return {-1, -1};
  return {t->chunky->width, t->chunky->height};
}

QStringList Files(const QString& dir, const QString& pattern = QStringLiteral("*")) {
  return QDir(dir).entryList({pattern}, QDir::Files, QDir::Name);
}

template <class T>
T* Find(const QWidget* w, const char* name) {
  return w->findChild<T*>(QString::fromUtf8(name));
}

QString Text(const QWidget* w, const char* name) {
  QLabel* l = Find<QLabel>(w, name);
  return l ? l->text() : QString();
}

// One "row" column indexing a table of cases; the row's tag names the case in failures.
template <class Row, size_t N>
void AddRows(const Row (&rows)[N]) {
  QTest::addColumn<int>("row");
  for (size_t i = 0; i < N; ++i) QTest::newRow(rows[i].tag) << static_cast<int>(i);
}

// pics/ holds a.png (200 x 100), notes.txt and sub/b.png; a 64 x 64 box keeps a.png's aspect.
// templ: "frame.png" (90 x 70) made here, "card.png" shipped, or none.
const struct ThumbRun {
  const char *tag, *templ, *suffix;
  bool recursive, replace;
  int dirs, files, created;
  const char* thumb;  // of a.png
  QSize size;
} kThumbRuns[] = {{"recursive", "", ".info", true, false, 2, 3, 2, "pics/a.png.info", {64, 32}},
                  {"template", "frame.png", ".info", false, false, 1, 2, 1, "pics/a.png.info", {90, 70}},
                  {"shipped template", "card.png", ".info", false, false, 1, 2, 1, "pics/a.png.info", {76, 76}},
                  {"replaced suffix", "", "thumb", false, true, 1, 2, 1, "pics/a.thumb", {64, 32}}};

// Refused with a message before anything is written. Batch converter: a = source, b = destination,
// extra "ro" takes the write permission from "locked". Thumbnailer: a = path, b = suffix, extra = the
// template, enabled unless "-". No message: the "Error!" requester instead.
const struct Refusal {
  const char* tag;
  bool thumbnailer;
  const char *a, *b, *extra, *message;
} kRefusals[] = {{"no source", false, "", "out", "", "Please give a source path."},
                 {"missing source", false, "missing", "out", "", "does not exist"},
                 {"source is a file", false, "file.txt", "out", "", "is not a directory"},
                 {"no destination", false, "src", "", "", "Please give a destination path."},
                 {"same directory", false, "src", "src/../src", "", "are the same directory"},
                 {"destination is a file", false, "src", "file.txt", "", "is not a directory"},
                 {"destination below a file", false, "src", "file.txt/out", "", "cannot be created"},
                 {"destination cannot be made", false, "src", "locked/out", "ro", "cannot be written"},
                 {"destination cannot be written", false, "src", "locked", "ro", "cannot be written"},
                 {"empty suffix", true, "src", "", "-", ""},
                 {"suffix with a slash", true, "src", "/../x", "-", "must not contain"},
                 {"no path", true, "", ".info", "-", "Please give the path"},
                 {"missing path", true, "missing", ".info", "-", "does not exist"},
                 {"path is a file", true, "file.txt", ".info", "-", "is not a directory"},
                 {"template not a picture", true, "src", ".info", "file.txt", "is not a picture"},
                 {"no template", true, "src", ".info", "", "Please choose a template image."}};

}  // namespace

class BatchWindowsTest : public QObject {
  Q_OBJECT

 private:
  vl::image::PoolScope pool_;
  RecordingRequester requester_;
  std::unique_ptr<QTemporaryDir> dir_;

  // A path in the temporary directory; empty for an empty name.
  QString file(const char* name) const { return *name ? dir_->filePath(QString::fromUtf8(name)) : QString(); }
  // src/ holding count pictures of w x h named p00.png, p01.png, ...
  void makePictures(int count, int w, int h) {
    QVERIFY(QDir(dir_->path()).mkpath(QStringLiteral("src")));
    for (int i = 0; i < count; ++i)
      QVERIFY(WritePicture(dir_->filePath(QStringLiteral("src/p%1.png").arg(i, 2, 10, QLatin1Char('0'))), w, h));
  }

 private Q_SLOTS:
  void initTestCase() { vl::platform::SetRequester(&requester_); }
  void cleanupTestCase() { vl::platform::SetRequester(nullptr); }
  void init() {
    requester_ = RecordingRequester();
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
  }

  void batchConverterConvertsAndShowsTheFinalCounts() {
    QVERIFY(QDir(dir_->path()).mkpath(QStringLiteral("src/sub")));
    QVERIFY(WritePicture(file("src/a.png"), 120, 80));
    QVERIFY(WritePicture(file("src/b.png"), 30, 40));
    QVERIFY(WriteText(file("src/notes.txt")));
    const QString dest = file("out/two/three");  // made level by level

    BatchConvertWindow w;
    w.Open();
    Find<QLineEdit>(&w, "sourcePath")->setText(file("src"));
    Find<QLineEdit>(&w, "destPath")->setText(dest);
    Find<QSpinBox>(&w, "width")->setValue(50);
    Find<QSpinBox>(&w, "height")->setValue(50);
    Find<QCheckBox>(&w, "reduce")->setChecked(true);
    Find<QSpinBox>(&w, "quality")->setValue(80);
    QSignalSpy finished(&w, &BatchConvertWindow::finished);
    Find<QPushButton>(&w, "start")->click();
    QVERIFY(requester_.said.empty());
    if (finished.isEmpty()) {
      // While it runs, only "S_top" takes a click.
      QVERIFY(!Find<QPushButton>(&w, "start")->isEnabled());
      QVERIFY(!Find<QLineEdit>(&w, "sourcePath")->isEnabled());
      QVERIFY(finished.wait(30000));
    }
    QCOMPARE(w.job().width, 50);
    QCOMPARE(w.job().quality, 80);
    QCOMPARE(Text(&w, "scanned"), QStringLiteral("3"));
    QCOMPARE(Text(&w, "converted"), QStringLiteral("2"));
    const QString difference = Text(&w, "sizeDifference");
    QCOMPARE(difference,
             QString::fromStdString(vl::tools::SizeDifferenceText(w.job().sizeDifference.load(), w.job().SizeText())));
    QVERIFY2(
        difference.startsWith(QStringLiteral("smaller by ")) || difference.startsWith(QStringLiteral("larger by ")),
        qPrintable(difference));
    QCOMPARE(Find<QProgressBar>(&w, "progress")->text(), QStringLiteral("4 of 4 entries"));
    QCOMPARE(Files(dest), (QStringList{QStringLiteral("a.png"), QStringLiteral("b.png")}));
    QCOMPARE(SizeOf(dest + QStringLiteral("/a.png")), QSize(50, 33));  // reduced into the box
    QCOMPARE(SizeOf(dest + QStringLiteral("/b.png")), QSize(30, 40));  // inside the box, no enlarge: kept
    QVERIFY(Find<QPushButton>(&w, "start")->isEnabled());
    QVERIFY(!Find<QPushButton>(&w, "stop")->isEnabled());
    QCOMPARE(Find<QSpinBox>(&w, "width")->value(), 50);  // the values stay for the next run
  }

  void thumbnailerMakesThumbnailsAndShowsTheFinalCounts_data() { AddRows(kThumbRuns); }
  void thumbnailerMakesThumbnailsAndShowsTheFinalCounts() {
    QFETCH(int, row);
    const ThumbRun& r = kThumbRuns[row];
    const QString templ = QString::fromUtf8(r.templ);
    QVERIFY(QDir(dir_->path()).mkpath(QStringLiteral("pics/sub")));
    QVERIFY(WritePicture(file("pics/a.png"), 200, 100));
    QVERIFY(WritePicture(file("pics/sub/b.png"), 40, 40));
    QVERIFY(WriteText(file("pics/notes.txt")));
    QVERIFY(WritePicture(file("frame.png"), 90, 70));

    ThumbnailerWindow w;
    w.Open();
    QVERIFY(w.exampleThumbnail());
    QCOMPARE(w.exampleThumbnail()->width, 64);
    Find<QLineEdit>(&w, "path")->setText(file("pics"));
    Find<QCheckBox>(&w, "recursive")->setChecked(r.recursive);
    Find<QLineEdit>(&w, "suffix")->setText(QString::fromUtf8(r.suffix));
    Find<QCheckBox>(&w, "replace")->setChecked(r.replace);
    if (!templ.isEmpty()) {
      const QString shipped = QFile::decodeName(QByteArray::fromStdString(vl::tools::TemplateDirectory())) + templ;
      Find<QCheckBox>(&w, "enableTemplate")->setChecked(true);
      w.SetTemplate(templ == QStringLiteral("card.png") ? shipped : file(r.templ));
      QVERIFY(w.templateImage());
      // The example thumbnail takes the template's size, and leaves it with the template.
      QCOMPARE(QSize(w.exampleThumbnail()->width, w.exampleThumbnail()->height), r.size);
      Find<QCheckBox>(&w, "enableTemplate")->setChecked(false);
      QCOMPARE(w.exampleThumbnail()->width, 64);
      Find<QCheckBox>(&w, "enableTemplate")->setChecked(true);
    }
    QSignalSpy finished(&w, &ThumbnailerWindow::finished);
    QVERIFY(w.Start());
    QVERIFY(finished.wait(30000));
    QVERIFY(requester_.said.empty());
    QCOMPARE(w.job().templateImage != nullptr, !templ.isEmpty());
    QCOMPARE(Text(&w, "scannedDirectories").toInt(), r.dirs);
    QCOMPARE(Text(&w, "createdThumbnails").toInt(), r.created);
    // A thumbnail written beside its picture may or may not turn up later in the same
    // listing; when it does, it is examined (and skipped) like any file.
    const int scanned = Text(&w, "scannedFiles").toInt();
    QVERIFY2(scanned >= r.files && scanned <= r.files + r.created, qPrintable(QString::number(scanned)));
    QCOMPARE(SizeOf(file(r.thumb)), r.size);
    QCOMPARE(QFile::exists(file("pics/sub/b.png.info")), r.recursive);
    QVERIFY(Find<QPushButton>(&w, "start")->isEnabled());
  }

  void theMenuItemsOpenTheWindowsAndKeepThem() {
    vl::main::Session session(vl::settings::DefaultSettings());
    vl::app::ui::MainWindow main(session.controller(), vl::app::StartupOptions{});
    vl::main::ui::WindowTable windows(session, main);
    const struct {
      int id;
      const char *name, *title;
    } items[] = {{vl::app::kMenuBatchConvert, "batch-convert", "Batch converter"},
                 {vl::app::kMenuThumbnailer, "thumbnailer", "Thumbnailer"}};
    const std::vector<std::string> names = windows.WindowNames();
    for (const auto& item : items) {
      QVERIFY(std::find(names.begin(), names.end(), item.name) != names.end());
      QAction* action = main.menuAction(item.id);
      QVERIFY(action->isEnabled());
      action->trigger();  // no picture is needed
      QWidget* shown = nullptr;
      for (QDialog* d : main.findChildren<QDialog*>())
        if (d->isVisible() && d->windowTitle() == QString::fromUtf8(item.title)) shown = d;
      QVERIFY2(shown, item.title);
      // Closed and opened again: the same window, with the value typed before.
      QLineEdit* first = shown->findChildren<QLineEdit*>().constFirst();
      first->setText(QStringLiteral("/kept"));
      shown->close();
      QCOMPARE(windows.OpenByName(item.name), shown);
      QVERIFY(shown->isVisible());
      QCOMPARE(first->text(), QStringLiteral("/kept"));
      shown->close();
    }
  }

  void stopAndCloseEndARunningJob_data() {
    QTest::addColumn<bool>("thumbnailer");
    QTest::addColumn<int>("how");
    const char* const hows[] = {"S_top", "closed", "destroyed"};
    for (bool thumbnailer : {false, true})
      for (int how = 0; how < 3; ++how)
        QTest::addRow("%s, %s", thumbnailer ? "thumbnailer" : "batch converter", hows[how]) << thumbnailer << how;
  }
  void stopAndCloseEndARunningJob() {
    QFETCH(bool, thumbnailer);
    QFETCH(int, how);  // 0 "S_top", 1 the window closed, 2 the window destroyed
    constexpr int kCount = 60;
    makePictures(kCount, 256, 256);
    const QString out = thumbnailer ? file("src") : file("dst");
    std::unique_ptr<QDialog> w(thumbnailer ? static_cast<QDialog*>(new ThumbnailerWindow) : new BatchConvertWindow);
    Find<QLineEdit>(w.get(), thumbnailer ? "path" : "sourcePath")->setText(file("src"));
    if (!thumbnailer) Find<QLineEdit>(w.get(), "destPath")->setText(out);
    w->show();
    QPushButton* start = Find<QPushButton>(w.get(), "start");
    QPushButton* stop = Find<QPushButton>(w.get(), "stop");
    QSignalSpy finished(w.get(), SIGNAL(finished()));
    start->click();
    QVERIFY(requester_.said.empty());
    // Escape does not close the window while the job runs ("_Cancel" is disabled then).
    QTest::keyClick(w.get(), Qt::Key_Escape);
    QVERIFY(w->isVisible());
    QVERIFY(!Find<QPushButton>(w.get(), "cancel")->isEnabled());
    if (how == 2) {
      w.reset();  // stops the job and waits for it; queued reports are dropped
      QCoreApplication::processEvents();
    } else {
      QVERIFY(stop->isEnabled());
      if (how == 0) {
        // The statistics follow the job while it runs.
        QTRY_VERIFY_WITH_TIMEOUT(!Text(w.get(), "file").isEmpty(), 20000);
        QVERIFY(!finished.count());
        stop->click();
      } else
        w->close();
      QVERIFY(finished.wait(30000));
      QVERIFY(start->isEnabled());
      QVERIFY(!stop->isEnabled());
    }
    // Stopped between two files: fewer than all, and every file written is whole.
    const QStringList written = Files(out, thumbnailer ? QStringLiteral("*.info") : QStringLiteral("*"));
    QVERIFY2(written.size() < kCount, qPrintable(QString::number(written.size())));
    for (const QString& name : written) QVERIFY2(SizeOf(out + QLatin1Char('/') + name).width() > 0, qPrintable(name));
    if (w) QCOMPARE(Text(w.get(), thumbnailer ? "createdThumbnails" : "converted"), QString::number(written.size()));
  }

  void refusesBadInput_data() { AddRows(kRefusals); }
  void refusesBadInput() {
    QFETCH(int, row);
    const Refusal& r = kRefusals[row];
    makePictures(2, 16, 16);
    QVERIFY(WriteText(file("file.txt")));
    QVERIFY(QDir(dir_->path()).mkpath(QStringLiteral("locked")));
    QVERIFY(::chmod(Local(file("locked")).c_str(), 0555) == 0);
    const QDateTime before = QFileInfo(file("src/p00.png")).lastModified();

    if (r.thumbnailer) {
      ThumbnailerWindow w;
      Find<QLineEdit>(&w, "path")->setText(file(r.a));
      Find<QLineEdit>(&w, "suffix")->setText(QString::fromUtf8(r.b));
      if (std::string(r.extra) != "-") {
        Find<QCheckBox>(&w, "enableTemplate")->setChecked(true);
        w.SetTemplate(file(r.extra));
        QVERIFY(!w.templateImage());
        QVERIFY(w.exampleThumbnail());  // the preview goes on without a template
      }
      QVERIFY(!w.Start());
      QVERIFY(!w.running());
    } else {
      BatchConvertWindow w;
      Find<QLineEdit>(&w, "sourcePath")->setText(file(r.a));
      Find<QLineEdit>(&w, "destPath")->setText(file(r.b));
      std::optional<vl::test::UnprivilegedFiles> unprivileged;
      if (*r.extra) {
        // The unprivileged user must reach the directories for the bits of "locked" to count.
        QVERIFY(::chmod(Local(dir_->path()).c_str(), 0755) == 0);
        if (!unprivileged.emplace().active()) QSKIP("permission bits cannot be made to apply");
      }
      const bool started = w.Start();
      unprivileged.reset();
      QVERIFY(!started);
      QVERIFY(!w.running());
    }
    QCOMPARE(requester_.said.size(), size_t{1});
    const std::string& said = requester_.said[0];
    QVERIFY2(*r.message ? said.starts_with("error: ") && said.find(r.message) != std::string::npos
                        : said == "ask: Error!|You need to specify file suffix!\n|OK",
             said.c_str());
    // Nothing written: no destination made, the pictures untouched.
    QVERIFY(!QFile::exists(file("out")));
    QVERIFY(Files(file("locked")).isEmpty());
    QCOMPARE(Files(file("src")), (QStringList{QStringLiteral("p00.png"), QStringLiteral("p01.png")}));
    QCOMPARE(QFileInfo(file("src/p00.png")).lastModified(), before);
    QVERIFY(::chmod(Local(file("locked")).c_str(), 0755) == 0);
  }
};

QTEST_MAIN(BatchWindowsTest)
#include "test_batch_windows.moc"
