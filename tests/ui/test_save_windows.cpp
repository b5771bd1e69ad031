// The save window and the JPEG and PNG options windows under the offscreen platform: the
// suggested names, saving with the keyboard, the error requester of a failed save, the
// options reaching the savers and the JPEG test.
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QtTest>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "../support/unprivileged_files.h"
#include "app/controller.h"
#include "app/jpeg_test.h"
#include "app/save.h"
#include "app/ui/jpeg_options_window.h"
#include "app/ui/png_options_window.h"
#include "app/ui/save_window.h"
#include "display/ui/preview.h"
#include "formats/loader.h"
#include "formats/png_writer.h"
#include "image/chunky.h"
#include "image/pool.h"
#include "platform/requester.h"
#include "platform/ui/qt_requester.h"
#include "settings/settings.h"

using vl::app::ui::JpegOptionsWindow;
using vl::app::ui::PngOptionsWindow;
using vl::app::ui::SaveWindow;

namespace {

// Keeps the error texts instead of showing message boxes.
struct RecordingRequester : vl::platform::Requester {
  std::vector<std::string> errors;
  void Error(const std::string& text) override { errors.push_back(text); }
  int Ask(const std::string&, const std::string&, const std::string&) override { return 0; }
};

std::string Local(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

QByteArray Bytes(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The alpha of pixel (x, y) of a file loaded back; -1 when it does not load.
int AlphaAt(const QString& path, int x, int y) {
  vl::image::TexturePtr t(vl::formats::ReadPicture(Local(path).c_str()));
  if (!t || !t->chunky) return -1;
  uint8_t a, r, g, b;
  vl::image::GetPixel(t->chunky, x, y, a, r, g, b);
  return a;
}

const vl::image::ChunkyImage* Shown(vl::display::ui::PreviewClass* p) {
  std::lock_guard<std::recursive_mutex> g(p->renderer().Lock());
  return p->renderer().state().image;
}

}  // namespace

class SaveWindowsTest : public QObject {
  Q_OBJECT

 private:
  vl::image::PoolScope pool_;
  QTemporaryDir dir_;
  QString picturePath_;
  RecordingRequester requester_;
  vl::settings::Settings prefs_ = vl::settings::DefaultSettings();
  std::unique_ptr<vl::app::Controller> controller_;
  std::unique_ptr<SaveWindow> window_;

  QString file(const QString& name) const { return dir_.filePath(name); }
  template <class T>
  T find(const QObject* parent, const char* name) const {
    T w = parent->findChild<T>(QString::fromUtf8(name));
    if (!w) qWarning("no child %s", name);
    return w;
  }
  QListWidget* formats() const { return find<QListWidget*>(window_.get(), "formats"); }
  QLineEdit* path() const { return find<QLineEdit*>(window_.get(), "path"); }
  QPushButton* button(const char* name) const { return find<QPushButton*>(window_.get(), name); }
  JpegOptionsWindow* jpeg() const { return find<JpegOptionsWindow*>(window_.get(), "jpegOptions"); }
  PngOptionsWindow* png() const { return find<PngOptionsWindow*>(window_.get(), "pngOptions"); }

  void openWindow() {
    QVERIFY(window_->Open());
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
  }
  // The save window with `name` typed into the path and `row` chosen in the list.
  void choose(int row, const QString& name) {
    formats()->setCurrentRow(row);
    path()->setText(name);
  }

 private Q_SLOTS:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    picturePath_ = file(QStringLiteral("picture.png"));
    // Alpha rising along x, so a PNG that keeps it can be told from one that does not.
    vl::image::ChunkyPtr img(vl::image::chk_Create(80, 60, vl::image::ARGB32, false));
    QVERIFY(img);
    for (int y = 0; y < 60; ++y)
      for (int x = 0; x < 80; ++x)
        vl::image::SetPixel(img.get(), x, y, static_cast<uint8_t>(x * 3), static_cast<uint8_t>((x * 7 + y * 13) & 0xFF),
                            static_cast<uint8_t>(y * 4), static_cast<uint8_t>((x * y) & 0xFF));
    QVERIFY(vl::formats::SavePNG(img.get(), Local(picturePath_).c_str(), true));
    vl::platform::SetRequester(&requester_);
  }
  void cleanupTestCase() { vl::platform::SetRequester(nullptr); }

  void init() {
    requester_.errors.clear();
    prefs_ = vl::settings::DefaultSettings();
    prefs_.replaceSuffix = true;
    controller_ = std::make_unique<vl::app::Controller>();
    QCOMPARE(controller_->OpenPicture(Local(picturePath_).c_str()), 0);
    window_ = std::make_unique<SaveWindow>(*controller_, prefs_);
    qputenv("VISTALOOM_ASSIGN_T", QFile::encodeName(dir_.path()));
  }
  void cleanup() {
    window_.reset();
    controller_.reset();
  }

  void opensOnlyWithAPicture() {
    vl::app::Controller empty;
    SaveWindow w(empty, prefs_);
    QVERIFY(!w.Open());
    QVERIFY(!w.isVisible());

    openWindow();
    QCOMPARE(window_->windowTitle(), QStringLiteral("Save image..."));
    QCOMPARE(formats()->count(), 3);
    QCOMPARE(formats()->item(0)->text(), QStringLiteral("JPEG"));
    QCOMPARE(formats()->item(1)->text(), QStringLiteral("PNG"));
    QCOMPARE(formats()->item(2)->text(), QStringLiteral("IFF"));
    QCOMPARE(button("save")->text(), QStringLiteral("&Save"));
    QCOMPARE(button("saveAs")->text(), QStringLiteral("Save &As..."));
    QCOMPARE(button("config")->text(), QStringLiteral("C&onfig..."));
    QCOMPARE(button("cancel")->text(), QStringLiteral("&Cancel"));
  }

  void suggestedNamesFollowTheFormatAndTheSetting_data() {
    QTest::addColumn<bool>("replace");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("expected");
    QTest::newRow("on, JPEG") << true << 0 << QStringLiteral("picture.jpg");
    QTest::newRow("on, PNG") << true << 1 << QStringLiteral("picture.png");
    QTest::newRow("on, IFF") << true << 2 << QStringLiteral("picture.iff");
    QTest::newRow("off, JPEG") << false << 0 << QStringLiteral("picture.png");
    QTest::newRow("off, IFF") << false << 2 << QStringLiteral("picture.png");
  }
  void suggestedNamesFollowTheFormatAndTheSetting() {
    QFETCH(bool, replace);
    QFETCH(int, row);
    QFETCH(QString, expected);
    prefs_.replaceSuffix = replace;
    openWindow();
    formats()->setCurrentRow(row);
    QCOMPARE(path()->text(), file(expected));
    // Opening again after closing suggests the name for the format still selected.
    window_->reject();
    openWindow();
    QCOMPARE(path()->text(), file(expected));
  }

  void keyboardSavesAndCancels() {
    openWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    QCOMPARE(QApplication::focusWidget(), path());
    // Tab walks the fields in order.
    const char* order[] = {"save", "saveAs", "config", "cancel"};
    for (const char* name : order) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QCOMPARE(QApplication::focusWidget(), button(name));
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), formats());

    // Enter in the path field is "_Save".
    QSignalSpy saved(window_.get(), &SaveWindow::saved);
    choose(1, file(QStringLiteral("keys.png")));
    path()->setFocus();
    QTest::keyClick(path(), Qt::Key_Return);
    QCOMPARE(saved.count(), 1);
    QVERIFY(!window_->isVisible());
    QVERIFY(QFile::exists(file(QStringLiteral("keys.png"))));
    QCOMPARE(requester_.errors.size(), size_t{0});

    // Escape is "_Cancel": nothing is written.
    openWindow();
    choose(0, file(QStringLiteral("escaped.jpg")));
    QTest::keyClick(path(), Qt::Key_Escape);
    QVERIFY(!window_->isVisible());
    QVERIFY(!QFile::exists(file(QStringLiteral("escaped.jpg"))));
    QCOMPARE(saved.count(), 1);
  }

  void failedSaveShowsWhyAndKeepsEverything() {
    const vl::image::Texture* before = controller_->currentImage();
    openWindow();
    const QString missing = file(QStringLiteral("missing/out.jpg"));
    choose(0, missing);
    QVERIFY(!window_->Save());
    QCOMPARE(requester_.errors.size(), size_t{1});
    QVERIFY2(QString::fromStdString(requester_.errors[0]).contains(missing), requester_.errors[0].c_str());
    QVERIFY(requester_.errors[0].find(std::strerror(ENOENT)) != std::string::npos);
    QVERIFY(window_->isVisible());

    // A read-only directory with an earlier file of that name.
    const QString ro = file(QStringLiteral("ro"));
    QVERIFY(QDir().mkpath(ro));
    const QString target = ro + QStringLiteral("/out.png");
    {
      QFile f(target);
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write("earlier");
    }
    QCOMPARE(::chmod(QFile::encodeName(ro).constData(), 0555), 0);
    QCOMPARE(::chmod(QFile::encodeName(dir_.path()).constData(), 0755), 0);
    choose(1, target);
    bool ok = true;
    {
      vl::test::UnprivilegedFiles user;
      if (!user.active()) QSKIP("permission bits cannot be made to apply");
      ok = window_->Save();
    }
    ::chmod(QFile::encodeName(ro).constData(), 0755);
    QVERIFY(!ok);
    QCOMPARE(requester_.errors.size(), size_t{2});
    QVERIFY(requester_.errors[1].find(std::strerror(EACCES)) != std::string::npos);
    QCOMPARE(Bytes(target), QByteArray("earlier"));
    QCOMPARE(QDir(ro).entryList(QDir::Files), QStringList{QStringLiteral("out.png")});
    QCOMPARE(controller_->currentImage(), before);
    QVERIFY(window_->isVisible());
  }

  // With the GUI's requester, a failed save shows a message box "Error..." with "OK".
  void failedSaveShowsAnErrorBox() {
    vl::platform::ui::ScopedQtRequester gui;
    openWindow();
    choose(0, file(QStringLiteral("missing/out.jpg")));
    QString title, text;
    QStringList buttons;
    QTimer::singleShot(0, this, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      title = box->windowTitle();
      text = box->text();
      for (QAbstractButton* b : box->buttons()) buttons << b->text();
      box->buttons().front()->click();
    });
    QVERIFY(!window_->Save());
    QCOMPARE(title, QStringLiteral("Error..."));
    QCOMPARE(buttons, QStringList{QStringLiteral("OK")});
    QVERIFY2(text.contains(QString::fromUtf8(std::strerror(ENOENT))), qPrintable(text));
    QVERIFY(requester_.errors.empty());
  }

  void questionBoxButtons() {
    vl::platform::ui::QtRequester gui;
    QStringList buttons;
    QString title;
    QString defaultButton;
    QTimer::singleShot(0, this, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      title = box->windowTitle();
      for (QAbstractButton* b : box->buttons()) buttons << b->text();
      defaultButton = box->defaultButton() ? box->defaultButton()->text() : QString();
      box->buttons().at(1)->click();
    });
    QCOMPARE(gui.Ask("", "Replace it?", "*_Replace|Replace _All|Abort "), 1);
    QCOMPARE(title, QStringLiteral("Vistaloom request"));
    QCOMPARE(defaultButton, QStringLiteral("&Replace"));
    buttons.sort();
    QCOMPARE(buttons,
             (QStringList{QStringLiteral("&Replace"), QStringLiteral("Abort"), QStringLiteral("Replace &All")}));
  }

  void configOpensTheSelectedFormatsOptions() {
    openWindow();
    QVERIFY(jpeg() && png());
    QSignalSpy menus(window_.get(), &SaveWindow::optionsWindowOpen);
    formats()->setCurrentRow(2);
    QTest::mouseClick(button("config"), Qt::LeftButton);
    QVERIFY(!jpeg()->isVisible());
    QVERIFY(!png()->isVisible());
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(menus.count(), 0);

    formats()->setCurrentRow(0);
    QTest::mouseClick(button("config"), Qt::LeftButton);
    QVERIFY(QTest::qWaitForWindowExposed(jpeg()));
    QCOMPARE(jpeg()->windowTitle(), QStringLiteral("JPEG Saver Options..."));
    // The save window (and every other) takes no input meanwhile.
    QCOMPARE(QApplication::activeModalWidget(), jpeg());
    QVERIFY(!path()->isEnabled() && !button("save")->isEnabled());
    QTest::keyClick(find<QSlider*>(jpeg(), "quality"), Qt::Key_Return);  // "_Ok"
    QVERIFY(!jpeg()->isVisible());
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(path()->isEnabled() && button("save")->isEnabled());

    formats()->setCurrentRow(1);
    QTest::mouseClick(button("config"), Qt::LeftButton);
    QVERIFY(QTest::qWaitForWindowExposed(png()));
    QCOMPARE(png()->windowTitle(), QStringLiteral("PNG Saver Options..."));
    QCOMPARE(QApplication::activeModalWidget(), png());
    QVERIFY(!formats()->isEnabled());
    QTest::mouseClick(find<QPushButton*>(png(), "ok"), Qt::LeftButton);
    QVERIFY(!png()->isVisible());
    QVERIFY(formats()->isEnabled());
    // Each options window disabled the menus while it was open.
    QCOMPARE(menus.count(), 4);
    const bool expected[] = {true, false, true, false};
    for (int i = 0; i < 4; ++i) QCOMPARE(menus.at(i).at(0).toBool(), expected[i]);
  }

  void optionWidgetsStartAtTheirDefaults() {
    auto* quality = find<QSlider*>(jpeg(), "quality");
    QCOMPARE(quality->minimum(), 5);
    QCOMPARE(quality->maximum(), 100);
    QCOMPARE(quality->value(), 95);
    QCOMPARE(find<QLabel*>(jpeg(), "qualityValue")->text(), QStringLiteral("95"));
    quality->setValue(42);
    QCOMPARE(find<QLabel*>(jpeg(), "qualityValue")->text(), QStringLiteral("42"));
    auto* optimize = find<QCheckBox*>(jpeg(), "optimize");
    auto* noSub = find<QCheckBox*>(jpeg(), "noSubsampling");
    QVERIFY(!optimize->isChecked() && !noSub->isChecked());
    QCOMPARE(optimize->toolTip(),
             QStringLiteral("At a cost of saving speed tries to reduce file size.\nHas no impact on quality."));
    QCOMPARE(noSub->toolTip(), QStringLiteral("Disabled subsampling of color components.\nResults in better colors "
                                              "representation at a cost of file size."));
    auto* alpha = find<QCheckBox*>(png(), "saveAlpha");
    QCOMPARE(alpha->text(), QStringLiteral("Save &alpha channel"));
    QVERIFY(!alpha->isChecked());
  }

  void optionsReachTheSavers() {
    openWindow();
    // PNG: "Save alpha channel" keeps the alpha; the setting holds for later saves.
    choose(1, file(QStringLiteral("plain.png")));
    QVERIFY(window_->Save());
    QCOMPARE(AlphaAt(file(QStringLiteral("plain.png")), 10, 5), 255);
    openWindow();
    formats()->setCurrentRow(1);
    window_->Config();
    // A dialog counts as active with its parent; wait for its own activation.
    QTRY_COMPARE(QApplication::activeWindow(), static_cast<QWidget*>(png()));
    QTest::keyClick(png(), Qt::Key_A, Qt::AltModifier);              // "Save _alpha channel"
    QTRY_VERIFY(find<QCheckBox*>(png(), "saveAlpha")->isChecked());  // an animated click
    QTest::keyClick(png(), Qt::Key_Return);
    QVERIFY(!png()->isVisible());
    path()->setText(file(QStringLiteral("alpha.png")));
    QVERIFY(window_->Save());
    QCOMPARE(AlphaAt(file(QStringLiteral("alpha.png")), 10, 5), 30);
    openWindow();
    choose(1, file(QStringLiteral("alpha2.png")));
    QVERIFY(window_->Save());
    QCOMPARE(AlphaAt(file(QStringLiteral("alpha2.png")), 20, 5), 60);

    // JPEG: the quality and the two check marks, against the saver called directly.
    openWindow();
    formats()->setCurrentRow(0);
    window_->Config();
    find<QSlider*>(jpeg(), "quality")->setValue(30);
    find<QCheckBox*>(jpeg(), "optimize")->setChecked(true);
    find<QCheckBox*>(jpeg(), "noSubsampling")->setChecked(true);
    jpeg()->accept();
    path()->setText(file(QStringLiteral("opts.jpg")));
    QVERIFY(window_->Save());
    vl::app::SaveOptions direct;
    direct.jpeg = {30, true, true};
    QVERIFY(vl::app::SavePicture(controller_->currentImage()->chunky, Local(file(QStringLiteral("direct.jpg"))),
                                 vl::app::SaveFormat::kJpeg, direct)
                .ok);
    QCOMPARE(Bytes(file(QStringLiteral("opts.jpg"))), Bytes(file(QStringLiteral("direct.jpg"))));
    direct.jpeg = {95, false, false};
    QVERIFY(vl::app::SavePicture(controller_->currentImage()->chunky, Local(file(QStringLiteral("default.jpg"))),
                                 vl::app::SaveFormat::kJpeg, direct)
                .ok);
    QVERIFY(Bytes(file(QStringLiteral("opts.jpg"))) != Bytes(file(QStringLiteral("default.jpg"))));
  }

  void iffSavesWithoutOptions() {
    openWindow();
    choose(2, file(QStringLiteral("out.iff")));
    QVERIFY(window_->Save());
    vl::image::TexturePtr back(vl::formats::ReadPicture(Local(file(QStringLiteral("out.iff"))).c_str()));
    QVERIFY(back && back->chunky);
    QCOMPARE(back->chunky->width, 80);
  }

  void saveAsAsksFirstAndCancelSavesNothing() {
    openWindow();
    choose(1, file(QStringLiteral("start.png")));
    window_->SaveAs();
    auto* dialog = find<QFileDialog*>(window_.get(), "saveAsDialog");
    QVERIFY(dialog);
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Save PNG"));
    QCOMPARE(QDir(dialog->directory()).canonicalPath(), QDir(dir_.path()).canonicalPath());
    dialog->reject();
    QTRY_VERIFY(!window_->findChild<QFileDialog*>());
    QVERIFY(!QFile::exists(file(QStringLiteral("start.png"))));
    QCOMPARE(requester_.errors.size(), size_t{0});

    formats()->setCurrentRow(2);
    QSignalSpy saved(window_.get(), &SaveWindow::saved);
    window_->SaveAs();
    dialog = find<QFileDialog*>(window_.get(), "saveAsDialog");
    QVERIFY(dialog);
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Save IFF"));
    dialog->selectFile(file(QStringLiteral("chosen.iff")));
    static_cast<QDialog*>(dialog)->accept();  // public there
    QTRY_COMPARE(saved.count(), 1);
    QVERIFY(QFile::exists(file(QStringLiteral("chosen.iff"))));
    QCOMPARE(path()->text(), file(QStringLiteral("chosen.iff")));
  }

  void jpegTestShowsTheDecodedFileAndItsSize() {
    openWindow();
    window_->Config();
    auto* preview = find<vl::display::ui::PreviewClass*>(jpeg(), "testPicture");
    auto* size = find<QLabel*>(jpeg(), "fileSize");
    QVERIFY(preview && size);
    QSignalSpy finished(jpeg(), &JpegOptionsWindow::testFinished);

    find<QSlider*>(jpeg(), "quality")->setValue(50);
    QTest::mouseClick(find<QPushButton*>(jpeg(), "test"), Qt::LeftButton);
    QVERIFY(finished.wait(30000));
    vl::app::SaveOptions same;
    same.jpeg = {50, false, false};
    QVERIFY(vl::app::SavePicture(controller_->currentImage()->chunky, Local(file(QStringLiteral("q50.jpg"))),
                                 vl::app::SaveFormat::kJpeg, same)
                .ok);
    const qint64 bytes50 = QFileInfo(file(QStringLiteral("q50.jpg"))).size();
    QCOMPARE(size->text(), QString::fromStdString(vl::app::JpegTestSizeText(bytes50)));
    const vl::image::ChunkyImage* first = Shown(preview);
    QVERIFY(first);
    QCOMPARE(first->width, 80);
    QCOMPARE(first, jpeg()->testPicture()->chunky);
    QVERIFY(QDir(dir_.path()).entryList({QStringLiteral("VLTemp*")}, QDir::Files).isEmpty());

    // A second test shows its own result.
    find<QSlider*>(jpeg(), "quality")->setValue(100);
    QTRY_COMPARE(QApplication::activeWindow(), static_cast<QWidget*>(jpeg()));
    QTest::keyClick(jpeg(), Qt::Key_T, Qt::AltModifier);  // "_Test"
    QVERIFY(finished.wait(30000));
    QVERIFY(size->text() != QString::fromStdString(vl::app::JpegTestSizeText(bytes50)));
    QVERIFY(size->text().endsWith(QStringLiteral(" kB)")));
    QCOMPARE(Shown(preview), jpeg()->testPicture()->chunky);

    // A failing test shows "Error" and nothing in the display area.
    qputenv("VISTALOOM_ASSIGN_T", QFile::encodeName(file(QStringLiteral("no-such-dir"))));
    QTest::mouseClick(find<QPushButton*>(jpeg(), "test"), Qt::LeftButton);
    QVERIFY(finished.wait(30000));
    QCOMPARE(size->text(), QStringLiteral("Error"));
    QVERIFY(!Shown(preview));
    QVERIFY(!jpeg()->testPicture());
    QVERIFY(!QFileInfo::exists(file(QStringLiteral("no-such-dir"))));
  }

  void closingDuringATestIsSafe() {
    openWindow();
    window_->Config();
    QSignalSpy finished(jpeg(), &JpegOptionsWindow::testFinished);
    jpeg()->StartTest();
    QVERIFY(jpeg()->testRunning());
    jpeg()->reject();  // closed: the result still arrives
    QVERIFY(finished.wait(30000));
    QVERIFY(jpeg()->testPicture());

    // Destroyed while the worker runs: its result is dropped.
    window_->Config();
    jpeg()->StartTest();
    window_.reset();
    QTest::qWait(50);
    QCoreApplication::processEvents();
    QVERIFY(QDir(dir_.path()).entryList({QStringLiteral("VLTemp*")}, QDir::Files).isEmpty());
  }
};

QTEST_MAIN(SaveWindowsTest)
#include "test_save_windows.moc"
