// The batch converter and thumbnailer windows under the offscreen platform: their values
// reach the jobs, the statistics show the final counts, "S_top" and closing end a running
// job cleanly, and bad paths, suffixes and templates are refused with a message before
// anything is written.
#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest/QtTest>
#include <algorithm>
#include <memory>
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

struct RecordingRequester : vl::platform::Requester {
  std::vector<std::string> errors;
  std::vector<std::string> asked;  // "title|text|buttons"
  void Error(const std::string& text) override { errors.push_back(text); }
  int Ask(const std::string& title, const std::string& text, const std::string& buttons) override {
    asked.push_back(title + "|" + text + "|" + buttons);
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
  T* child = w->findChild<T*>(QString::fromUtf8(name));
  if (!child) qWarning("no child %s", name);
  return child;
}

QString Text(const QWidget* w, const char* name) {
  QLabel* l = Find<QLabel>(w, name);
  return l ? l->text() : QString();
}

}  // namespace

class BatchWindowsTest : public QObject {
  Q_OBJECT

 private:
  vl::image::PoolScope pool_;
  RecordingRequester requester_;
  std::unique_ptr<QTemporaryDir> dir_;

  QString file(const QString& name) const { return dir_->filePath(name); }
  // name/ holding count pictures of w x h named p00.png, p01.png, ...
  void makePictures(const QString& name, int count, int w, int h) {
    QVERIFY(QDir(dir_->path()).mkpath(name));
    for (int i = 0; i < count; ++i)
      QVERIFY(WritePicture(file(QStringLiteral("%1/p%2.png").arg(name).arg(i, 2, 10, QLatin1Char('0'))), w, h));
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
    QVERIFY(WritePicture(file(QStringLiteral("src/a.png")), 120, 80));
    QVERIFY(WritePicture(file(QStringLiteral("src/b.png")), 30, 40));
    QVERIFY(WriteText(file(QStringLiteral("src/notes.txt"))));
    const QString dest = file(QStringLiteral("out/two/three"));  // made level by level

    BatchConvertWindow w;
    w.Open();
    Find<QLineEdit>(&w, "sourcePath")->setText(file(QStringLiteral("src")));
    Find<QLineEdit>(&w, "destPath")->setText(dest);
    Find<QSpinBox>(&w, "width")->setValue(50);
    Find<QSpinBox>(&w, "height")->setValue(50);
    Find<QCheckBox>(&w, "reduce")->setChecked(true);
    Find<QSpinBox>(&w, "quality")->setValue(80);
    QSignalSpy finished(&w, &BatchConvertWindow::finished);
    Find<QPushButton>(&w, "start")->click();
    QVERIFY(requester_.errors.empty());
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

  void thumbnailerMakesThumbnailsAndShowsTheFinalCounts_data() {
    QTest::addColumn<bool>("recursive");
    QTest::addColumn<QString>("templ");  // "frame.png" made here, "card.png" shipped, or none
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<bool>("replace");
    QTest::addColumn<int>("dirs");
    QTest::addColumn<int>("files");
    QTest::addColumn<int>("created");
    QTest::addColumn<QString>("thumb");  // of a.png
    QTest::addColumn<QSize>("size");
    // pics/ holds a.png (200 x 100), notes.txt and sub/b.png; a 64 x 64 box keeps a.png's aspect.
    const QString info = QStringLiteral(".info");
    QTest::newRow("flat") << false << QString() << info << false << 1 << 2 << 1 << "a.png.info" << QSize(64, 32);
    QTest::newRow("recursive") << true << QString() << info << false << 2 << 3 << 2 << "a.png.info" << QSize(64, 32);
    QTest::newRow("template") << false << "frame.png" << info << false << 1 << 2 << 1 << "a.png.info" << QSize(90, 70);
    QTest::newRow("shipped template") << false << "card.png" << info << false << 1 << 2 << 1 << "a.png.info"
                                      << QSize(76, 76);
    QTest::newRow("replaced suffix") << false << QString() << "thumb" << true << 1 << 2 << 1 << "a.thumb"
                                     << QSize(64, 32);
  }
  void thumbnailerMakesThumbnailsAndShowsTheFinalCounts() {
    QFETCH(bool, recursive);
    QFETCH(QString, templ);
    QFETCH(QString, suffix);
    QFETCH(bool, replace);
    QVERIFY(QDir(dir_->path()).mkpath(QStringLiteral("pics/sub")));
    QVERIFY(WritePicture(file(QStringLiteral("pics/a.png")), 200, 100));
    QVERIFY(WritePicture(file(QStringLiteral("pics/sub/b.png")), 40, 40));
    QVERIFY(WriteText(file(QStringLiteral("pics/notes.txt"))));
    QVERIFY(WritePicture(file(QStringLiteral("frame.png")), 90, 70));

    ThumbnailerWindow w;
    w.Open();
    QVERIFY(w.exampleThumbnail());
    QCOMPARE(w.exampleThumbnail()->width, 64);
    Find<QLineEdit>(&w, "path")->setText(file(QStringLiteral("pics")));
    Find<QCheckBox>(&w, "recursive")->setChecked(recursive);
    Find<QLineEdit>(&w, "suffix")->setText(suffix);
    Find<QCheckBox>(&w, "replace")->setChecked(replace);
    QFETCH(QSize, size);
    if (!templ.isEmpty()) {
      const QString shipped = QFile::decodeName(QByteArray::fromStdString(vl::tools::TemplateDirectory())) + templ;
      Find<QCheckBox>(&w, "enableTemplate")->setChecked(true);
      w.SetTemplate(templ == QStringLiteral("card.png") ? shipped : file(templ));
      QVERIFY(w.templateImage());
      // The example thumbnail takes the template's size, and leaves it with the template.
      QCOMPARE(QSize(w.exampleThumbnail()->width, w.exampleThumbnail()->height), size);
      Find<QCheckBox>(&w, "enableTemplate")->setChecked(false);
      QCOMPARE(w.exampleThumbnail()->width, 64);
      Find<QCheckBox>(&w, "enableTemplate")->setChecked(true);
    }
    QSignalSpy finished(&w, &ThumbnailerWindow::finished);
    QVERIFY(w.Start());
    QVERIFY(finished.wait(30000));
    QVERIFY(requester_.errors.empty());
    QCOMPARE(w.job().templateImage != nullptr, !templ.isEmpty());
    QFETCH(int, dirs);
    QFETCH(int, files);
    QFETCH(int, created);
    QCOMPARE(Text(&w, "scannedDirectories").toInt(), dirs);
    QCOMPARE(Text(&w, "createdThumbnails").toInt(), created);
    // A thumbnail written beside its picture may or may not turn up later in the same
    // listing; when it does, it is examined (and skipped) like any file.
    const int scanned = Text(&w, "scannedFiles").toInt();
    QVERIFY2(scanned >= files && scanned <= files + created, qPrintable(QString::number(scanned)));
    QFETCH(QString, thumb);
    QCOMPARE(SizeOf(file(QStringLiteral("pics/") + thumb)), size);
    QCOMPARE(QFile::exists(file(QStringLiteral("pics/sub/b.png.info"))), recursive);
    QVERIFY(Find<QPushButton>(&w, "start")->isEnabled());
  }

  void theMenuItemsOpenTheWindowsAndKeepThem() {
    vl::main::Session session(vl::settings::DefaultSettings());
    vl::app::ui::MainWindow main(session.controller(), vl::app::StartupOptions{});
    vl::main::ui::WindowTable windows(session, main);
    const struct {
      int id;
      const char* name;
      const char* title;
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
    QTest::addColumn<int>("how");  // 0 "S_top", 1 the window closed, 2 the window destroyed
    QTest::newRow("batch converter, S_top") << false << 0;
    QTest::newRow("batch converter, closed") << false << 1;
    QTest::newRow("batch converter, destroyed") << false << 2;
    QTest::newRow("thumbnailer, S_top") << true << 0;
    QTest::newRow("thumbnailer, closed") << true << 1;
    QTest::newRow("thumbnailer, destroyed") << true << 2;
  }
  void stopAndCloseEndARunningJob() {
    QFETCH(bool, thumbnailer);
    QFETCH(int, how);
    constexpr int kCount = 60;
    makePictures(QStringLiteral("src"), kCount, 256, 256);
    const QString dest = file(QStringLiteral("dst"));
    std::unique_ptr<QDialog> w;
    if (thumbnailer) {
      auto* t = new ThumbnailerWindow;
      w.reset(t);
      Find<QLineEdit>(t, "path")->setText(file(QStringLiteral("src")));
    } else {
      auto* b = new BatchConvertWindow;
      w.reset(b);
      Find<QLineEdit>(b, "sourcePath")->setText(file(QStringLiteral("src")));
      Find<QLineEdit>(b, "destPath")->setText(dest);
    }
    w->show();
    QPushButton* start = Find<QPushButton>(w.get(), "start");
    QPushButton* stop = Find<QPushButton>(w.get(), "stop");
    QSignalSpy finished(w.get(), SIGNAL(finished()));
    start->click();
    QVERIFY(requester_.errors.empty());
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
    const QStringList written =
        thumbnailer ? Files(file(QStringLiteral("src")), QStringLiteral("*.info")) : Files(dest);
    QVERIFY2(written.size() < kCount, qPrintable(QString::number(written.size())));
    for (const QString& name : written) {
      const QString path = (thumbnailer ? file(QStringLiteral("src/")) : dest + QLatin1Char('/')) + name;
      QVERIFY2(SizeOf(path).width() > 0, qPrintable(path));
    }
    if (w) QCOMPARE(Text(w.get(), thumbnailer ? "createdThumbnails" : "converted"), QString::number(written.size()));
  }

  void batchConverterRefusesBadPaths_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("dest");
    QTest::addColumn<bool>("readOnly");  // the destination's parent loses its write permission
    QTest::addColumn<QString>("message");
    const struct {
      const char *tag, *source, *dest;
      bool readOnly;
      const char* message;
    } rows[] = {{"no source", "", "out", false, "Please give a source path."},
                {"missing source", "missing", "out", false, "does not exist"},
                {"source is a file", "file.txt", "out", false, "is not a directory"},
                {"no destination", "src", "", false, "Please give a destination path."},
                {"same directory", "src", "src/../src", false, "are the same directory"},
                {"destination is a file", "src", "file.txt", false, "is not a directory"},
                {"destination below a file", "src", "file.txt/out", false, "cannot be created"},
                {"destination cannot be made", "src", "locked/out", true, "cannot be written"},
                {"destination cannot be written", "src", "locked", true, "cannot be written"}};
    for (const auto& r : rows)
      QTest::newRow(r.tag) << QString::fromUtf8(r.source) << QString::fromUtf8(r.dest) << r.readOnly
                           << QString::fromUtf8(r.message);
  }
  void batchConverterRefusesBadPaths() {
    QFETCH(QString, source);
    QFETCH(QString, dest);
    QFETCH(bool, readOnly);
    QFETCH(QString, message);
    makePictures(QStringLiteral("src"), 2, 16, 16);
    QVERIFY(WriteText(file(QStringLiteral("file.txt"))));
    QVERIFY(QDir(dir_->path()).mkpath(QStringLiteral("locked")));
    QVERIFY(::chmod(Local(file(QStringLiteral("locked"))).c_str(), 0555) == 0);
    const QDateTime before = QFileInfo(file(QStringLiteral("src/p00.png"))).lastModified();

    BatchConvertWindow w;
    Find<QLineEdit>(&w, "sourcePath")->setText(source.isEmpty() ? source : file(source));
    Find<QLineEdit>(&w, "destPath")->setText(dest.isEmpty() ? dest : file(dest));
    bool started = false;
    if (readOnly) {
      // The unprivileged user must reach the directories for the bits of "locked" to count.
      QVERIFY(::chmod(Local(dir_->path()).c_str(), 0755) == 0);
      vl::test::UnprivilegedFiles unprivileged;
      if (!unprivileged.active()) QSKIP("permission bits cannot be made to apply");
      started = w.Start();
    } else {
      started = w.Start();
    }
    QVERIFY(!started);
    QVERIFY(!w.running());
    QCOMPARE(requester_.errors.size(), size_t{1});
    QVERIFY2(QString::fromStdString(requester_.errors[0]).contains(message), requester_.errors[0].c_str());
    // Nothing written: no destination made, the pictures untouched.
    QVERIFY(!QFile::exists(file(QStringLiteral("out"))));
    QVERIFY(Files(file(QStringLiteral("locked"))).isEmpty());
    QCOMPARE(Files(file(QStringLiteral("src"))).size(), 2);
    QCOMPARE(QFileInfo(file(QStringLiteral("src/p00.png"))).lastModified(), before);
    QVERIFY(::chmod(Local(file(QStringLiteral("locked"))).c_str(), 0755) == 0);
  }

  void thumbnailerRefusesBadInput_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QString>("templ");  // enables the template unless "-"
    QTest::addColumn<QString>("message");
    const struct {
      const char *tag, *path, *suffix, *templ, *message;
    } rows[] = {{"empty suffix", "pics", "", "-", ""},  // the "Error!" requester
                {"suffix with a slash", "pics", "/../x", "-", "must not contain"},
                {"no path", "", ".info", "-", "Please give the path"},
                {"missing path", "missing", ".info", "-", "does not exist"},
                {"path is a file", "pics/notes.txt", ".info", "-", "is not a directory"},
                {"template not a picture", "pics", ".info", "pics/notes.txt", "is not a picture"},
                {"missing template", "pics", ".info", "none.png", "is not a picture"},
                {"no template", "pics", ".info", "", "Please choose a template image."}};
    for (const auto& r : rows)
      QTest::newRow(r.tag) << QString::fromUtf8(r.path) << QString::fromUtf8(r.suffix) << QString::fromUtf8(r.templ)
                           << QString::fromUtf8(r.message);
  }
  void thumbnailerRefusesBadInput() {
    QFETCH(QString, path);
    QFETCH(QString, suffix);
    QFETCH(QString, templ);
    QFETCH(QString, message);
    QVERIFY(QDir(dir_->path()).mkpath(QStringLiteral("pics")));
    QVERIFY(WritePicture(file(QStringLiteral("pics/a.png")), 20, 20));
    QVERIFY(WriteText(file(QStringLiteral("pics/notes.txt"))));

    ThumbnailerWindow w;
    Find<QLineEdit>(&w, "path")->setText(path.isEmpty() ? path : file(path));
    Find<QLineEdit>(&w, "suffix")->setText(suffix);
    if (templ != QStringLiteral("-")) {
      Find<QCheckBox>(&w, "enableTemplate")->setChecked(true);
      w.SetTemplate(templ.isEmpty() ? templ : file(templ));
      QVERIFY(!w.templateImage());
      QVERIFY(w.exampleThumbnail());  // the preview goes on without a template
    }
    QVERIFY(!w.Start());
    QVERIFY(!w.running());
    if (message.isEmpty()) {
      QVERIFY(requester_.errors.empty());
      QCOMPARE(requester_.asked, (std::vector<std::string>{"Error!|You need to specify file suffix!\n|OK"}));
    } else {
      QVERIFY(requester_.asked.empty());
      QCOMPARE(requester_.errors.size(), size_t{1});
      QVERIFY2(QString::fromStdString(requester_.errors[0]).contains(message), requester_.errors[0].c_str());
    }
    QCOMPARE(Files(file(QStringLiteral("pics"))), (QStringList{QStringLiteral("a.png"), QStringLiteral("notes.txt")}));
  }
};

QTEST_MAIN(BatchWindowsTest)
#include "test_batch_windows.moc"
