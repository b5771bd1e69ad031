// The EXIF window and the JPEG Transformations window under the offscreen platform: the EXIF
// lines of a JPEG with and without an EXIF block, the "EXIF Info" mark and the window's close,
// the transformation window refusing a PNG, turning a JPEG in place and leaving the original
// whole when the result cannot be written.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest/QtTest>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "app/controller.h"
#include "app/menu_tree.h"
#include "app/ui/exif_window.h"
#include "app/ui/jpeg_transform_window.h"
#include "app/ui/main_window.h"
#include "formats/jpeg_codec.h"
#include "formats/loader.h"
#include "formats/png_writer.h"
#include "image/chunky.h"
#include "image/pool.h"
#include "main/session.h"
#include "main/ui/window_table.h"
#include "platform/requester.h"
#include "settings/settings.h"

namespace {

using Lines = std::vector<std::pair<QString, QString>>;

// Keeps the requesters' texts instead of showing message boxes.
struct RecordingRequester : vl::platform::Requester {
  std::vector<std::string> titles, texts;
  int answer = 0;
  void Error(const std::string& text) override { Ask("Error...", text, "OK"); }
  int Ask(const std::string& title, const std::string& text, const std::string&) override {
    titles.push_back(title);
    texts.push_back(text);
    return answer;
  }
};

// One big-endian IFD entry; values of more than 4 bytes go to the data area.
struct Entry {
  uint16_t tag, format;
  uint32_t count;
  std::vector<uint8_t> value;
};

void Put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v >> 8));
  b.push_back(static_cast<uint8_t>(v));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
  Put16(b, v >> 16);
  Put16(b, v & 0xFFFF);
}
Entry Ascii(uint16_t tag, const std::string& s) {
  std::vector<uint8_t> v(s.begin(), s.end());
  v.push_back(0);
  return {tag, 2, static_cast<uint32_t>(v.size()), v};
}
Entry Short(uint16_t tag, uint16_t n) {
  std::vector<uint8_t> v;
  Put16(v, n);
  return {tag, 3, 1, v};
}
Entry Rational(uint16_t tag, uint32_t num, uint32_t den) {
  std::vector<uint8_t> v;
  Put32(v, num);
  Put32(v, den);
  return {tag, 5, 1, v};
}

// The TIFF block: one IFD at 8 holding every entry, then the values longer than 4 bytes.
std::vector<uint8_t> Tiff(const std::vector<Entry>& ifd) {
  uint32_t dataAt = 8 + 2 + 12 * static_cast<uint32_t>(ifd.size()) + 4;
  std::vector<uint8_t> out = {'M', 'M', 0, 42, 0, 0, 0, 8}, data;
  Put16(out, static_cast<uint32_t>(ifd.size()));
  for (const Entry& e : ifd) {
    Put16(out, e.tag);
    Put16(out, e.format);
    Put32(out, e.count);
    std::vector<uint8_t> v = e.value;
    if (v.size() > 4) {
      data.insert(data.end(), v.begin(), v.end());
      v.clear();
      Put32(v, dataAt + static_cast<uint32_t>(data.size() - e.value.size()));
    }
    v.resize(4, 0);
    out.insert(out.end(), v.begin(), v.end());
  }
  Put32(out, 0);
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

bool WriteBytes(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray Bytes(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A w x h JPEG; with tiff, its EXIF block in an APP1 section behind the start marker.
bool WriteJpeg(const QString& path, int w, int h, const std::vector<uint8_t>& tiff) {
  vl::image::ChunkyPtr img(vl::image::chk_Create(w, h, vl::image::ARGB32, false));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      vl::image::SetPixel(img.get(), x, y, 255, static_cast<uint8_t>(x * 4), static_cast<uint8_t>(y * 4), 90);
  const std::string name = QFile::encodeName(path).toStdString();
  if (vl::formats::SaveJPEG(img.get(), name.c_str(), 90, false, false) != 1) return false;
  if (tiff.empty()) return true;
  QByteArray jpeg = Bytes(path);
  QByteArray app1("\xFF\xE1", 2);
  const int length = static_cast<int>(tiff.size()) + 8;
  app1.append(static_cast<char>(length >> 8)).append(static_cast<char>(length & 0xFF));
  app1.append("Exif\0\0", 6).append(reinterpret_cast<const char*>(tiff.data()), static_cast<int>(tiff.size()));
  jpeg.insert(2, app1);
  return WriteBytes(path, jpeg);
}

Lines ShownLines(QWidget* window) {
  Lines lines;
  auto* form = window->findChild<QFormLayout*>(QStringLiteral("exifLines"));
  if (!form) return lines;
  for (int row = 0; row < form->rowCount(); ++row) {
    auto* label = qobject_cast<QLabel*>(form->itemAt(row, QFormLayout::LabelRole)->widget());
    auto* value = qobject_cast<QLabel*>(form->itemAt(row, QFormLayout::FieldRole)->widget());
    if (label && value) lines.emplace_back(label->text(), value->text());
  }
  return lines;
}

std::pair<int, int> SizeOf(const QString& path) {
  vl::image::TexturePtr t(vl::formats::ReadPicture(QFile::encodeName(path).constData()));
  if (!t || !t->chunky) return {0, 0};
  return {t->chunky->width, t->chunky->height};
}

}  // namespace

class ExifJpegWindowsTest : public QObject {
  Q_OBJECT

 private:
  vl::image::PoolScope pool_;
  QTemporaryDir dir_;
  QString withExif_, withoutExif_, png_;
  RecordingRequester requester_;

 private Q_SLOTS:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    vl::platform::SetRequester(&requester_);
    withExif_ = dir_.filePath(QStringLiteral("camera.jpg"));
    withoutExif_ = dir_.filePath(QStringLiteral("plain.jpg"));
    png_ = dir_.filePath(QStringLiteral("card.png"));
    const std::vector<uint8_t> tiff = Tiff({Ascii(0x0110, "Model-X 100"), Ascii(0x0132, "2021:06:05 14:30:00"),
                                            Short(0x0112, 6), Rational(0x829A, 1, 125), Rational(0x829D, 28, 10),
                                            Short(0x9209, 1), Rational(0x920A, 50, 1), Rational(0x9206, 250, 100)});
    QVERIFY(WriteJpeg(withExif_, 64, 48, tiff));
    QVERIFY(WriteJpeg(withoutExif_, 40, 30, {}));
    vl::image::ChunkyPtr img(vl::image::chk_Create(20, 10, vl::image::ARGB32, true));
    QCOMPARE(vl::formats::SavePNG(img.get(), QFile::encodeName(png_).constData(), true), 1);
  }
  void cleanupTestCase() { vl::platform::SetRequester(nullptr); }

  void theExifWindowShowsThePicturesLinesAndFollowsTheCheckItem() {
    vl::main::Session session(vl::settings::DefaultSettings());
    vl::app::ui::MainWindow main(session.controller(), vl::app::StartupOptions{});
    vl::main::ui::WindowTable windows(session, main);
    QAction* item = main.menuAction(vl::app::kMenuExifInfo);
    QVERIFY(item->isEnabled());
    QVERIFY(item->isCheckable());
    auto* window = main.findChild<vl::app::ui::ExifWindow*>();
    QVERIFY(window);
    QVERIFY(!window->isVisible());
    QCOMPARE(window->windowTitle(), QStringLiteral("EXIF Informations"));

    const struct {
      QString path;
      Lines lines;
    } cases[] = {
        {withExif_,
         {{"Name:", "camera.jpg"},
          {"Date:", "2021:06:05 14:30:00"},
          {"Camera:", "Model-X 100"},
          {"Flash:", "Yes"},
          {"Focal length:", "50.0mm"},
          {"Exposire time:", "0.008s"},
          {"Aperture:", "f/2.8s"},
          {"Distance:", "2.50m"},
          {"Orientation:", "Rotate 90"}}},
        {withoutExif_,
         {{"Name:", "plain.jpg"},
          {"Date:", "---"},
          {"Flash:", "---"},
          {"Focal length:", "---"},
          {"Exposire time:", "---"},
          {"Aperture:", "---"},
          {"Distance:", "---"},
          {"Orientation:", "Not available"}}},
    };
    // Checked, the item opens the window; before any picture it holds the labels alone.
    item->setChecked(true);
    QVERIFY(window->isVisible());
    QCOMPARE(ShownLines(window).size(), size_t{9});
    QCOMPARE(ShownLines(window)[5].first, QStringLiteral("Exposure time:"));
    for (const auto& c : cases) {
      QCOMPARE(main.OpenPicture(c.path.toStdString()), 0);
      QVERIFY(window->isVisible());
      QCOMPARE(ShownLines(window), c.lines);
      auto* value = window->findChild<QLabel*>(QStringLiteral("exifValue0"));
      QVERIFY(value && (value->textInteractionFlags() & Qt::TextSelectableByMouse));
    }
    // A picture that is not a JPEG closes the window but keeps the mark: the next JPEG opens it.
    QCOMPARE(main.OpenPicture(png_.toStdString()), 0);
    QVERIFY(!window->isVisible());
    QVERIFY(item->isChecked());
    QCOMPARE(main.OpenPicture(withExif_.toStdString()), 0);
    QVERIFY(window->isVisible());
    QCOMPARE(ShownLines(window).front().second, QStringLiteral("camera.jpg"));

    // Closed by the user (Escape), the window takes the mark off; unchecked, no JPEG opens it.
    QTest::keyClick(window, Qt::Key_Escape);
    QVERIFY(!window->isVisible());
    QVERIFY(!item->isChecked());
    QCOMPARE(main.OpenPicture(withoutExif_.toStdString()), 0);
    QVERIFY(!window->isVisible());
    QCOMPARE(ShownLines(window).front().second, QStringLiteral("plain.jpg"));  // it still follows the picture
    item->setChecked(true);
    QVERIFY(window->isVisible());
    window->close();
    QVERIFY(!item->isChecked());
    item->setChecked(true);
    item->setChecked(false);
    QVERIFY(!window->isVisible());
    QCOMPARE(windows.OpenByName("exif"), window);
  }

  void theTransformWindowOpensOnlyForAJpeg() {
    vl::main::Session session(vl::settings::DefaultSettings());
    vl::app::ui::MainWindow main(session.controller(), vl::app::StartupOptions{});
    vl::main::ui::WindowTable windows(session, main);
    QVERIFY(main.menuAction(vl::app::kMenuJpegTransform)->isEnabled());
    auto* window = main.findChild<vl::app::ui::JpegTransformWindow*>();
    QVERIFY(window);
    const size_t asked = requester_.texts.size();
    for (const QString& refused : {QString(), png_}) {
      if (!refused.isEmpty()) QCOMPARE(main.OpenPicture(refused.toStdString()), 0);
      main.menuAction(vl::app::kMenuJpegTransform)->trigger();
      QVERIFY(!window->isVisible());
      QCOMPARE(windows.OpenByName("jpeg-transform"), nullptr);
    }
    QCOMPARE(requester_.texts.size(), asked);
    QCOMPARE(main.OpenPicture(withoutExif_.toStdString()), 0);
    QSignalSpy shown(window, &vl::app::ui::JpegTransformWindow::previewShown);
    main.menuAction(vl::app::kMenuJpegTransform)->trigger();
    QVERIFY(window->isVisible());
    QCOMPARE(window->windowTitle(), QStringLiteral("JPEG Transformations"));
    QCOMPARE(window->findChild<QLineEdit*>(QStringLiteral("output"))->text(), withoutExif_);
    QVERIFY(window->findChild<QRadioButton*>(QStringLiteral("none"))->isChecked());
    // The preview shows the picture, turned as the choice turns it.
    QTRY_COMPARE(shown.count(), 1);
    auto* preview = window->findChild<QLabel*>(QStringLiteral("preview"));
    QCOMPARE(preview->pixmap().size(), QSize(40, 30));
    window->findChild<QRadioButton*>(QStringLiteral("rotate270"))->click();
    QCOMPARE(preview->pixmap().size(), QSize(30, 40));
    window->findChild<QRadioButton*>(QStringLiteral("flipVertical"))->click();
    QCOMPARE(preview->pixmap().size(), QSize(40, 30));
    QTest::keyClick(window, Qt::Key_Escape);
    QVERIFY(!window->isVisible());
  }

  void theTransformWindowTurnsTheFileAndReloadsThePicture() {
    const QString photo = dir_.filePath(QStringLiteral("turn.jpg"));
    QFile::remove(photo);
    QVERIFY(QFile::copy(withExif_, photo));
    vl::main::Session session(vl::settings::DefaultSettings());
    vl::app::ui::MainWindow main(session.controller(), vl::app::StartupOptions{});
    vl::main::ui::WindowTable windows(session, main);
    vl::app::Controller& c = session.controller();
    QCOMPARE(main.OpenPicture(photo.toStdString()), 0);
    auto* window = static_cast<vl::app::ui::JpegTransformWindow*>(windows.OpenByName("jpeg-transform"));
    QVERIFY(window);
    QSignalSpy finished(window, &vl::app::ui::JpegTransformWindow::transformFinished);

    // "None" changes nothing on disk.
    const QByteArray original = Bytes(photo);
    window->findChild<QPushButton*>(QStringLiteral("execute"))->click();
    QTest::qWait(50);
    QCOMPARE(finished.count(), 0);
    QCOMPARE(Bytes(photo), original);

    // In place: a quarter turn by the keyboard (Enter executes); the picture reloads turned.
    window->findChild<QRadioButton*>(QStringLiteral("rotate90"))->setChecked(true);
    QTest::keyClick(window, Qt::Key_Return);
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toBool(), true);
    QVERIFY(!window->isVisible());
    QCOMPARE(SizeOf(photo), std::make_pair(48, 64));
    QCOMPARE(c.currentImage()->chunky->width, 48);
    QCOMPARE(c.currentImage()->chunky->height, 64);
    QVERIFY(!QFile::exists(photo + QStringLiteral(".VLTemp")));
    auto* exif = main.findChild<vl::app::ui::ExifWindow*>();
    QCOMPARE(ShownLines(exif)[2].second, QStringLiteral("Model-X 100"));  // the EXIF block went along

    // To another file (named relative to the picture's directory): the picture stays as it is.
    QVERIFY(window->Open());
    window->findChild<QRadioButton*>(QStringLiteral("flipHorizontal"))->setChecked(true);
    window->findChild<QLineEdit*>(QStringLiteral("output"))->setText(QStringLiteral("flipped.jpg"));
    const vl::image::Texture* before = c.currentImage();
    window->Execute();
    QTRY_COMPARE(finished.count(), 2);
    QCOMPARE(SizeOf(dir_.filePath(QStringLiteral("flipped.jpg"))), std::make_pair(48, 64));
    QCOMPARE(c.currentImage(), before);

    // An edited picture is read again from its turned file only when the user agrees.
    for (int answer : {0, 1}) {
      main.menuAction(vl::app::kMenuGrayscale)->trigger();
      main.menuAction(vl::app::kMenuGrayscale)->trigger();
      QVERIFY(c.undoImage());
      const int width = c.currentImage()->chunky->width;
      const size_t asked = requester_.texts.size();
      requester_.answer = answer;
      QVERIFY(window->Open());
      window->findChild<QRadioButton*>(QStringLiteral("rotate270"))->setChecked(true);
      window->Execute();
      QTRY_COMPARE(requester_.texts.size(), asked + 1);
      QCOMPARE(requester_.texts.back(), std::string(vl::app::kReloadEditedQuestion));
      QCOMPARE(c.currentImage()->chunky->width, answer == 0 ? 64 : width);
      QCOMPARE(c.undoImage() == nullptr, answer == 0);
    }
    requester_.answer = 0;
    QCOMPARE(SizeOf(photo), std::make_pair(48, 64));  // two quarter turns back
  }

  void aFailedTransformLeavesTheOriginalWhole() {
    const QString photo = dir_.filePath(QStringLiteral("keep.jpg"));
    QFile::remove(photo);
    QVERIFY(QFile::copy(withExif_, photo));
    vl::main::Session session(vl::settings::DefaultSettings());
    vl::app::Controller& c = session.controller();
    vl::app::ui::JpegTransformWindow window(c);
    QSignalSpy finished(&window, &vl::app::ui::JpegTransformWindow::transformFinished);
    QCOMPARE(c.OpenPicture(photo.toStdString().c_str()), 0);
    QVERIFY(window.Open());
    window.findChild<QRadioButton*>(QStringLiteral("rotate180"))->setChecked(true);
    auto* output = window.findChild<QLineEdit*>(QStringLiteral("output"));

    // An output in a directory that does not exist, then an empty name.
    const QByteArray original = Bytes(photo);
    requester_.titles.clear();
    output->setText(dir_.filePath(QStringLiteral("missing/out.jpg")));
    window.Execute();
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toBool(), false);
    QCOMPARE(requester_.titles.back(), std::string("JPEG Transformation error..."));
    QVERIFY(requester_.texts.back().find("for writing") != std::string::npos);
    QVERIFY(window.isVisible());
    output->clear();
    window.Execute();
    QCOMPARE(requester_.titles.size(), size_t{2});
    QCOMPARE(finished.count(), 1);  // nothing started

    // In place, on a file that has gone bad since it was loaded: it stays as it is and no
    // temporary file is left.
    const QByteArray broken = original.left(original.size() / 2);
    QVERIFY(WriteBytes(photo, broken));
    output->setText(photo);
    window.Execute();
    QTRY_COMPARE(finished.count(), 2);
    QCOMPARE(finished.at(1).at(0).toBool(), false);
    QCOMPARE(Bytes(photo), broken);
    QVERIFY(!QFile::exists(photo + QStringLiteral(".VLTemp")));
    QCOMPARE(c.currentImage()->chunky->width, 64);  // no reload after a failure
  }
};

QTEST_MAIN(ExifJpegWindowsTest)
#include "test_exif_jpeg_windows.moc"
