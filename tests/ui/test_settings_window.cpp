// The settings window under the offscreen platform: the files "_Use" and "_Save" write, "_Cancel"
// undoing a "_Test", the requester of a failed write, the disabled-volume checks and the cache
// maintenance shown after "CacheSize: ".
#include <sys/stat.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest/QtTest>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/requester.h"
#include "settings/settings.h"
#include "settings/ui/settings_window.h"

using vl::settings::Settings;
using vl::settings::ui::SettingsWindow;

namespace {

struct RecordingRequester : vl::platform::Requester {
  std::vector<std::string> errors;
  std::vector<std::string> asked;  // "title|text"
  void Error(const std::string& text) override { errors.push_back(text); }
  int Ask(const std::string& title, const std::string& text, const std::string&) override {
    asked.push_back(title + "|" + text);
    return 0;
  }
};

QByteArray FileBytes(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

Settings Decoded(const QByteArray& bytes) {
  vl::settings::Record r{};
  std::memcpy(r.data(), bytes.constData(), std::min<size_t>(r.size(), static_cast<size_t>(bytes.size())));
  return vl::settings::DecodeSettings(r);
}

}  // namespace

class SettingsWindowTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  RecordingRequester requester_;
  Settings inUse_;
  std::vector<Settings> applied_;
  std::unique_ptr<SettingsWindow> window_;

  QString file(const char* name) const { return dir_.filePath(QString::fromUtf8(name)); }
  template <typename T>
  T find(const char* name) const {
    T w = window_->findChild<T>(QString::fromUtf8(name));
    if (!w) qFatal("no widget %s", name);
    return w;
  }
  void click(const char* name) { QTest::mouseClick(find<QPushButton*>(name), Qt::LeftButton); }
  void make(const std::string& configFile = std::string()) {
    window_ = std::make_unique<SettingsWindow>(
        inUse_,
        [this](const Settings& s) {
          inUse_ = s;
          applied_.push_back(s);
        },
        configFile);
    window_->Open();
  }

 private Q_SLOTS:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    qputenv("VISTALOOM_ASSIGN_ENV", file("env").toLocal8Bit());
    qputenv("VISTALOOM_ASSIGN_ENVARC", file("envarc").toLocal8Bit());
    vl::platform::SetRequester(&requester_);
  }
  void cleanupTestCase() { vl::platform::SetRequester(nullptr); }
  void init() {
    inUse_ = vl::settings::DefaultSettings();
    inUse_.cachePath = file("cache/").toStdString();
    applied_.clear();
    requester_.errors.clear();
    requester_.asked.clear();
    QFile::remove(file("env/Vistaloom.config"));
    QFile::remove(file("envarc/Vistaloom.config"));
  }
  void cleanup() { window_.reset(); }

  void theThreePagesInOrder() {
    make();
    auto* pages = find<QTabWidget*>("pages");
    QCOMPARE(pages->count(), 3);
    QCOMPARE(pages->tabText(0), QStringLiteral("Thumbnails"));
    QCOMPARE(pages->tabText(1), QStringLiteral("Browser"));
    QCOMPARE(pages->tabText(2), QStringLiteral("General"));
    QCOMPARE(find<QSpinBox*>("thumbWidth")->value(), 120);
    QCOMPARE(find<QSpinBox*>("thumbWidth")->minimum(), 32);
    QCOMPARE(find<QSpinBox*>("thumbBorder")->maximum(), 10);
    QCOMPARE(find<QLabel*>("cacheSize")->text(), QStringLiteral("Unknown"));
  }

  void saveWritesTheRecordWithTheWindowsValues_data() {
    QTest::addColumn<QString>("configFile");
    QTest::addColumn<QString>("inUseFile");
    QTest::newRow("ENV:") << QString() << QStringLiteral("env/Vistaloom.config");
    QTest::newRow("--config") << QStringLiteral("mine.config") << QStringLiteral("mine.config");
  }
  void saveWritesTheRecordWithTheWindowsValues() {
    QFETCH(QString, configFile);
    QFETCH(QString, inUseFile);
    make(configFile.isEmpty() ? std::string() : dir_.filePath(configFile).toStdString());
    find<QSpinBox*>("thumbWidth")->setValue(150);
    find<QSpinBox*>("thumbBorder")->setValue(0);
    find<QComboBox*>("compression")->setCurrentIndex(2);
    find<QCheckBox*>("showIconFiles")->setChecked(true);
    find<QCheckBox*>("showColorPicker")->setChecked(false);
    find<QLineEdit*>("backgroundColor")->setText(QStringLiteral("#102030"));
    find<QLineEdit*>("volumeName")->setText(QStringLiteral("cd0"));
    click("addVolume");
    click("save");
    QVERIFY(requester_.errors.empty());
    QVERIFY(!window_->isVisible());

    for (const QString& name : {QStringLiteral("envarc/Vistaloom.config"), inUseFile}) {
      const QByteArray bytes = FileBytes(dir_.filePath(name));
      QCOMPARE(bytes.size(), 1588);
      QCOMPARE(bytes.left(4), QByteArray("\0\0\0\5", 4));
      const Settings s = Decoded(bytes);
      QCOMPARE(s.thumbWidth, 150u);
      QCOMPARE(s.thumbHeight, 90u);
      QCOMPARE(s.thumbBorder, 0u);
      QCOMPARE(s.cacheCompression, 2u);
      QVERIFY(s.showIconFiles);
      QVERIFY(!s.showColorPicker);
      QCOMPARE(s.backgroundColor, 0x102030u);
      QCOMPARE(s.disabledVolumes, std::vector<std::string>{"cd0"});
    }
    // With --config, ENV: is left alone.
    QCOMPARE(QFile::exists(file("env/Vistaloom.config")), configFile.isEmpty());
    QCOMPARE(inUse_.thumbWidth, 150u);

    // "_Use" writes the settings in use only.
    QFile::remove(file("envarc/Vistaloom.config"));
    window_->Open();
    find<QSpinBox*>("thumbHeight")->setValue(40);
    click("use");
    QVERIFY(!QFile::exists(file("envarc/Vistaloom.config")));
    QCOMPARE(Decoded(FileBytes(dir_.filePath(inUseFile))).thumbHeight, 40u);
  }

  void cancelAfterTestRestores() {
    make();
    find<QSpinBox*>("thumbWidth")->setValue(64);
    find<QCheckBox*>("showDetails")->setChecked(false);
    click("test");
    QVERIFY(window_->isVisible());
    QCOMPARE(applied_.size(), size_t{1});
    QCOMPARE(inUse_.thumbWidth, 64u);
    QVERIFY(!inUse_.showDetails);

    QTest::keyClick(window_.get(), Qt::Key_Escape);
    QVERIFY(!window_->isVisible());
    QCOMPARE(applied_.size(), size_t{2});
    QCOMPARE(inUse_.thumbWidth, 120u);
    QVERIFY(inUse_.showDetails);
    QCOMPARE(find<QSpinBox*>("thumbWidth")->value(), 120);
    QVERIFY(!QFile::exists(file("env/Vistaloom.config")));

    // Without a test, cancelling hands nothing to the program.
    window_->Open();
    find<QSpinBox*>("thumbWidth")->setValue(100);
    click("cancel");
    QCOMPARE(applied_.size(), size_t{2});
  }

  void aFailingWriteShowsTheRequesterNamingTheFile() {
    const QString blocked = file("blocked.config");
    QVERIFY(QDir().mkpath(blocked));  // a directory where the file should go
    make(blocked.toStdString());
    find<QSpinBox*>("thumbWidth")->setValue(99);
    QVERIFY(!window_->Use());
    QCOMPARE(requester_.errors.size(), size_t{1});
    QVERIFY2(requester_.errors[0].find("Cannot write the settings file " + blocked.toStdString()) == 0,
             requester_.errors[0].c_str());
    QVERIFY(window_->isVisible());
    // The values were handed over; "_Cancel" still undoes them.
    QCOMPARE(inUse_.thumbWidth, 99u);
    window_->reject();
    QCOMPARE(inUse_.thumbWidth, 120u);
  }

  void badTypedValuesAreRefusedWithAMessage_data() {
    QTest::addColumn<QString>("widget");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::newRow("colour") << "view3DShadowColor"
                            << "#12"
                            << "\"#12\" is not a colour";
    QTest::newRow("cache path") << "cachePath" << file("cache/a.jpg/sub") << "Cannot create the cache drawer";
  }
  void badTypedValuesAreRefusedWithAMessage() {
    QFETCH(QString, widget);
    QFETCH(QString, text);
    QFETCH(QString, message);
    QVERIFY(QDir().mkpath(file("cache")));
    QFile f(file("cache/a.jpg"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    make();
    find<QLineEdit*>(widget.toUtf8().constData())->setText(text);
    QVERIFY(!window_->Test());
    QCOMPARE(requester_.errors.size(), size_t{1});
    QVERIFY2(requester_.errors[0].find(message.toStdString()) != std::string::npos, requester_.errors[0].c_str());
    QVERIFY(applied_.empty());
  }

  void volumeNamesAreChecked() {
    make();
    auto* name = find<QLineEdit*>("volumeName");
    auto* list = find<QListWidget*>("volumes");
    struct Step {
      const char* typed;
      int count;
      const char* asked;
    } steps[] = {
        {"ram", 1, nullptr},
        {"", 1, nullptr},
        {"RAM", 1, "Message|Specified device is already on the list"},
        {"sixteen-chars-xx", 1, "is too long"},
        {"fifteen-chars-x", 2, nullptr},
    };
    for (const Step& s : steps) {
      requester_.asked.clear();
      name->setText(QString::fromUtf8(s.typed));
      QTest::keyClick(name, Qt::Key_Return);
      QCOMPARE(list->count(), s.count);
      if (s.asked) {
        QCOMPARE(requester_.asked.size(), size_t{1});
        QVERIFY2(requester_.asked[0].find(s.asked) != std::string::npos, requester_.asked[0].c_str());
      } else {
        QVERIFY(requester_.asked.empty());
      }
    }
    for (int i = 0; list->count() < 64; ++i) {
      name->setText(QStringLiteral("dev%1").arg(i));
      click("addVolume");
    }
    name->setText(QStringLiteral("dev65"));
    click("addVolume");
    QCOMPARE(list->count(), 64);
    QVERIFY(requester_.asked.back().find("at most 64") != std::string::npos);
    list->setCurrentRow(0);
    click("removeVolume");
    QCOMPARE(list->count(), 63);
    // Enter in the name field only added names: the window is still open, nothing written.
    QVERIFY(window_->isVisible());
    QVERIFY(applied_.empty());
    QCOMPARE(list->item(0)->text(), QStringLiteral("fifteen-chars-x"));
  }

  void maintenanceShowsItsResultAfterCacheSize() {
    QVERIFY(QDir().mkpath(file("cache/tmp/gone")));
    for (auto [name, size] : {std::pair{"cache/tmp/gone/a.jpg", 3000}, std::pair{"cache/b.jpg", 1000}}) {
      QFile f(file(name));
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write(QByteArray(size, 'x'));
    }
    make();
    auto* size = find<QLabel*>("cacheSize");
    click("calculate");
    QTRY_COMPARE(size->text(), QStringLiteral("4000 bytes"));
    QVERIFY(find<QPushButton*>("calculate")->isEnabled());
    click("clearCache");
    QTRY_COMPARE(size->text(), QStringLiteral("0.000 Mbytes"));
    QVERIFY(!QFile::exists(file("cache")));

    // A root that cannot be a cache is refused without touching anything.
    window_.reset();
    inUse_.cachePath = "/";
    make();
    click("removeDead");
    QTRY_VERIFY(find<QLabel*>("maintenanceMessage")->text().contains(QStringLiteral("cannot be used")));
  }

  void closingDuringMaintenanceIsSafe() {
    make();
    click("calculate");
    window_.reset();  // stops the job and waits for its worker; the result is dropped
    QTest::qWait(50);
    QCoreApplication::processEvents();
  }
};

QTEST_MAIN(SettingsWindowTest)
#include "test_settings_window.moc"
