// The tool windows of the "Process" menu, one table of them under the offscreen platform: each
// opens only on a picture, executes the very step the scripting port runs (the same bytes),
// cancels back to the backup, undoes, starts from its operation's defaults and ranges, keeps its
// values for the run, and is worked from the keyboard. Then what single windows add: the
// Levels' histogram and "_Auto", the noise reduction's pages, the Glow's blend modes, the
// Straighten's grid over the display, the Crop's border finder and its rectangle drawn on the
// display, the Blender's background and its refusal of an opaque picture, and the window table.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QtTest>
#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "app/menu_tree.h"
#include "app/ui/main_window.h"
#include "display/ui/preview.h"
#include "edit/levels_tool.h"
#include "edit/ui/blend_mode_chooser.h"
#include "edit/ui/blender_window.h"
#include "edit/ui/contrast_gamma_window.h"
#include "edit/ui/crop_window.h"
#include "edit/ui/gaussian_blur_window.h"
#include "edit/ui/glow_window.h"
#include "edit/ui/histogram_view.h"
#include "edit/ui/hsv_balance_window.h"
#include "edit/ui/insert_alpha_window.h"
#include "edit/ui/insert_text_window.h"
#include "edit/ui/levels_window.h"
#include "edit/ui/median_window.h"
#include "edit/ui/noise_reduction_window.h"
#include "edit/ui/param_row.h"
#include "edit/ui/rgb_balance_window.h"
#include "edit/ui/sharpen_window.h"
#include "edit/ui/smooth_window.h"
#include "edit/ui/straighten_window.h"
#include "filters/text_engine.h"
#include "image/pool.h"
#include "main/session.h"
#include "main/ui/window_table.h"
#include "platform/requester.h"
#include "ui_test_util.h"

using namespace vl;
using edit::ui::ChoiceGroup;
using edit::ui::ParamRow;
using edit::ui::ToolWindow;
using test::Bytes;
using test::BytesOf;
using test::Current;
using test::WhenModal;

namespace {

// A w x h picture with a different value in every byte (so alpha varies too), or with every
// alpha byte 255 when opaque.
image::Texture* Pattern(int w, int h, bool opaque) {
  image::Texture* t = image::CreateTexture(w, h, image::ARGB32);
  for (size_t i = 0; i < image::BufferBytes(w, h, image::ARGB32); ++i)
    t->chunky->pixels[i] = (opaque && i % 4 == 0) ? 255 : static_cast<uint8_t>(i * 37 + i / 5);
  return t;
}
// A w x h opaque picture of one colour with the pattern in the rectangle inside.
image::Texture* Framed(int w, int h, const edit::CropParams& inside) {
  image::Texture* t = Pattern(w, h, true);
  uint8_t* px = t->chunky->pixels;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (x < inside.left || y < inside.top || x >= inside.left + inside.width || y >= inside.top + inside.height)
        for (int b = 0; b < 4; ++b) px[(y * w + x) * 4 + b] = 255;
  return t;
}
void OpenPicture(app::Controller& c, int w, int h, bool opaque = false) {
  c.SetReader([w, h, opaque](const char*) { return Pattern(w, h, opaque); });
  QCOMPARE(c.OpenPicture("pattern"), 0);
}

ParamRow* Row(QWidget* w, const char* name) {
  return w->findChild<ParamRow*>(QString::fromUtf8(name));
}
// Types text into the row's field as a user would, replacing what it shows.
void Type(QWidget* w, const char* row, const QString& text) {
  edit::ui::ValueField* field = Row(w, row)->field();
  field->selectAll();
  QTest::keyClicks(field, text);
}
void Choose(QWidget* w, const char* group, int position) {
  w->findChild<QRadioButton*>(QString::fromUtf8(group) + QString::number(position))->click();
}

// Picks the colour in the next colour requester.
void AnswerColour(uint32_t rgb, QString* title = nullptr) {
  WhenModal([rgb, title](QWidget* modal) {
    if (title) *title = modal->windowTitle();
    auto* requester = qobject_cast<QColorDialog*>(modal);
    if (!requester) {
      modal->close();
      return;
    }
    requester->setCurrentColor(QColor::fromRgb(rgb));
    requester->accept();
  });
}

constexpr uint32_t kPickedColour = 0xFF445566;
constexpr char kDejaVu[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// A w x h picture of one grey level, for a file that the program reads.
QImage GreyPicture(int w, int h, int grey) {
  QImage picture(w, h, QImage::Format_RGB32);
  picture.fill(QColor(grey, grey, grey));
  return picture;
}

struct RowSpec {
  const char* name;
  const char* label;
  edit::IntRange range;
  const char* startText;  // the field's text at the start value
};
struct ChoiceSpec {
  const char* name;
  const char* title;
  QStringList labels;
  int start;
};

struct WindowCase {
  QString title;
  std::function<ToolWindow*(app::Controller&)> make;
  std::vector<RowSpec> rows;
  std::vector<ChoiceSpec> choices;
  // Sets the case's values through the widgets, as a user would.
  std::function<void(ToolWindow*)> set;
  // Whether the window's parameters are its operation's defaults, or the case's values.
  std::function<bool(ToolWindow*)> showsDefaults;
  std::function<bool(ToolWindow*)> showsSet;
  // The scripting port's step with the case's values: the Apply, then the commit.
  std::function<int(app::Controller&)> script;
};

template <typename W, typename P>
WindowCase Case(const char* title, int (*apply)(app::Controller&, const P&), P wanted,
                std::function<void(ToolWindow*)> set, std::vector<RowSpec> rows = {},
                std::vector<ChoiceSpec> choices = {}) {
  WindowCase c;
  c.title = QString::fromUtf8(title);
  c.make = [](app::Controller& ctl) -> ToolWindow* {
    if constexpr (std::is_constructible_v<W, app::Controller&>)
      return new W(ctl);
    else
      return new W(ctl, [] { return kPickedColour; });
  };
  c.rows = std::move(rows);
  c.choices = std::move(choices);
  c.set = std::move(set);
  c.showsDefaults = [](ToolWindow* w) { return static_cast<W*>(w)->parameters() == P{}; };
  c.showsSet = [wanted](ToolWindow* w) { return static_cast<W*>(w)->parameters() == wanted; };
  c.script = [apply, wanted](app::Controller& ctl) {
    const int r = apply(ctl, wanted);
    ctl.CommitEdit();
    return r;
  };
  return c;
}

const QStringList kAlphaModes = {"Do not process alpha", "Process alpha", "Process only alpha"};

std::map<QString, WindowCase> Cases() {
  using namespace edit;
  using namespace edit::ui;
  std::map<QString, WindowCase> cases;
  cases["contrast-gamma"] = Case<ContrastGammaWindow>("Contrast/Gamma", ApplyContrastGamma,
                                                      ContrastGammaParams{150, 80, filters::kColourAndAlpha},
                                                      [](ToolWindow* w) {
                                                        Type(w, "contrast", "1.5");
                                                        Type(w, "gamma", "0.8");
                                                        Choose(w, "mode", 1);
                                                      },
                                                      {{"contrast", "Contrast", ContrastGammaParams::kContrast, "1.00"},
                                                       {"gamma", "Gamma", ContrastGammaParams::kGamma, "1.00"}},
                                                      {{"mode", "Method", kAlphaModes, 0}});
  cases["levels"] = Case<LevelsWindow>(
      "Levels", ApplyLevels, LevelsParams{30, 200, filters::kColourAndAlpha, false},
      [](ToolWindow* w) {
        Type(w, "low", "30");
        Type(w, "high", "200");
        Choose(w, "mode", 1);
      },
      {{"low", "Minimum:", LevelsParams::kLow, "0"}, {"high", "Maximum", LevelsParams::kHigh, "255"}},
      {{"mode", "Method", kAlphaModes, 0}});
  cases["hsv-balance"] = Case<HSVBalanceWindow>("HSV Balance", ApplyHSVBalance, HSVBalanceParams{-40, 130, 90},
                                                [](ToolWindow* w) {
                                                  Type(w, "hue", "-40");
                                                  Type(w, "saturation", "130");
                                                  Type(w, "value", "90");
                                                },
                                                {{"hue", "Hue:", HSVBalanceParams::kHue, "0°"},
                                                 {"saturation", "Saturation", HSVBalanceParams::kSaturation, "100%"},
                                                 {"value", "Value:", HSVBalanceParams::kValue, "100%"}});
  cases["rgb-balance"] = Case<RGBBalanceWindow>("RGB Balance", ApplyRGBBalance, RGBBalanceParams{50, 120, 180, 90},
                                                [](ToolWindow* w) {
                                                  Type(w, "red", "50");
                                                  Type(w, "green", "120");
                                                  Type(w, "blue", "180");
                                                  Type(w, "alpha", "90");
                                                },
                                                {{"red", "Red:", RGBBalanceParams::kChannel, "100%"},
                                                 {"green", "Green", RGBBalanceParams::kChannel, "100%"},
                                                 {"blue", "Blue:", RGBBalanceParams::kChannel, "100%"},
                                                 {"alpha", "Alpha:", RGBBalanceParams::kChannel, "100%"}});
  cases["median"] = Case<MedianWindow>(
      "Median", ApplyMedian, MedianParams{RankMethod::kMedian, 2, true},
      [](ToolWindow* w) {
        Type(w, "radius", "2");
        Choose(w, "method", 2);
        Choose(w, "mask", 1);
      },
      {{"radius", "Radius:", MedianParams::kRadius, "1 pixels"}},
      {{"method", "Method", {"Minimum", "Maximum", "Median"}, 0}, {"mask", "Mask", {"Rectangular", "Circular"}, 0}});
  cases["smooth"] = Case<SmoothWindow>("Smooth", ApplySmooth, SmoothParams{3, 1},
                                       [](ToolWindow* w) {
                                         Type(w, "horizontal", "3");
                                         Type(w, "vertical", "1");
                                       },
                                       {{"horizontal", "Horizontal:", SmoothParams::kRadius, "0 pixels"},
                                        {"vertical", "Vertical:", SmoothParams::kRadius, "0 pixels"}});
  GaussianBlurParams gauss;
  gauss.radius = 2.5f;
  gauss.mode = filters::kColourAndAlpha;
  cases["gaussian-blur"] = Case<GaussianBlurWindow>("Gaussian blur", ApplyGaussianBlur, gauss,
                                                    [](ToolWindow* w) {
                                                      Type(w, "maskSize", "2.5");
                                                      Choose(w, "mode", 1);
                                                    },
                                                    {{"maskSize", "Mask size:", GaussianBlurParams::kMaskSize, "1.00"}},
                                                    {{"mode", "Method", kAlphaModes, 0}});
  const std::vector<RowSpec> noiseRows = {
      {"gaussianMaskSize", "Mask size: ", NoiseReductionParams::kGaussianMaskSize, "1.00"},
      {"medianMaskSize", "Mask size: ", NoiseReductionParams::kMedianSize, "2"},
      {"threshold", "Threshold: ", NoiseReductionParams::kThreshold, "50"}};
  const std::vector<ChoiceSpec> noiseChoices = {{"filter", "Filter", {"Gaussian blur", "Median"}, 0},
                                                {"mode", "Method", {kAlphaModes[0], kAlphaModes[2]}, 0}};
  NoiseReductionParams selectiveGauss;
  selectiveGauss.radius = 1.5f;
  selectiveGauss.threshold = 90;
  cases["noise-reduction"] = Case<NoiseReductionWindow>(
      "Noise reduction", ApplyNoiseReduction, selectiveGauss,
      [](ToolWindow* w) {
        Type(w, "gaussianMaskSize", "1.5");
        Type(w, "threshold", "90");
      },
      noiseRows, noiseChoices);
  NoiseReductionParams selectiveMedian;
  selectiveMedian.filter = NoiseFilter::kMedian;
  selectiveMedian.size = 3;
  selectiveMedian.threshold = 200;
  selectiveMedian.mode = filters::kAlphaOnly;
  cases["noise-reduction (median)"] = Case<NoiseReductionWindow>(
      "Noise reduction", ApplyNoiseReduction, selectiveMedian,
      [](ToolWindow* w) {
        Choose(w, "filter", 1);
        Type(w, "medianMaskSize", "3");
        Type(w, "threshold", "200");
        Choose(w, "mode", 1);
      },
      noiseRows, noiseChoices);
  cases["sharpen"] = Case<SharpenWindow>("Sharpen", ApplySharpen, SharpenParams{3, 70},
                                         [](ToolWindow* w) {
                                           Type(w, "maskSize", "3");
                                           Type(w, "strength", "0.7");
                                         },
                                         {{"maskSize", "Mask size:", SharpenParams::kMaskSize, "1"},
                                          {"strength", "Strength:", SharpenParams::kStrength, "1.00"}});
  GlowParams glow;
  glow.saturation = 70;
  glow.maskSize = 3;
  glow.strength = 150;
  glow.threshold = 60;
  glow.background = 90;
  glow.monochrome = true;
  glow.mode = filters::kBlendScreen;
  cases["glow"] = Case<GlowWindow>("Glow", ApplyGlow, glow,
                                   [](ToolWindow* w) {
                                     Type(w, "saturation", "70");
                                     Type(w, "maskSize", "3");
                                     Type(w, "strength", "1.5");
                                     Type(w, "threshold", "60");
                                     Type(w, "background", "90");
                                     w->findChild<QCheckBox*>(QStringLiteral("monochrome"))->click();
                                     w->findChild<QComboBox*>(QStringLiteral("mode"))->setCurrentIndex(1);
                                   },
                                   {{"saturation", "Saturation:", GlowParams::kSaturation, "50"},
                                    {"maskSize", "Mask size:", GlowParams::kMaskSize, "20"},
                                    {"strength", "Strength:", GlowParams::kStrength, "0.60"},
                                    {"threshold", "Threshold:", GlowParams::kThreshold, "80"},
                                    {"background", "Background:", GlowParams::kBackground, "80%"}});
  cases["straighten"] = Case<StraightenWindow>("Straighten", ApplyStraighten, StraightenParams{-2.5f, true},
                                               [](ToolWindow* w) {
                                                 Type(w, "angle", "-2.5");
                                                 w->findChild<QCheckBox*>(QStringLiteral("scaleToFit"))->click();
                                               },
                                               {{"angle", "Angle:", StraightenParams::kAngle, "0.00 degrees"}});
  cases["blender"] = Case<BlenderWindow>("Blender", ApplyBlender, BlenderParams{0x336699}, [](ToolWindow* w) {
    AnswerColour(0x336699);
    QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("backgroundColor")), Qt::LeftButton);
  });
  return cases;
}

void AddCaseRows() {
  QTest::addColumn<QString>("window");
  for (const auto& [name, c] : Cases()) QTest::newRow(name.toUtf8().constData()) << name;
}

// The widgets Tab stops at in the parameter area, from the first one, until the Realtime switch.
std::vector<QWidget*> TabStops(ToolWindow* w) {
  std::vector<QWidget*> stops;
  QWidget* at = QApplication::focusWidget();
  while (at && at != w->realtimeSwitch() && stops.size() < 40) {
    stops.push_back(at);
    QTest::keyClick(at, Qt::Key_Tab);
    at = QApplication::focusWidget();
  }
  return stops;
}

struct RecordingRequester : platform::Requester {
  std::vector<std::string> asked;
  void Error(const std::string& text) override { asked.push_back("Error...|" + text); }
  int Ask(const std::string& title, const std::string& text, const std::string& buttons) override {
    asked.push_back(title + "|" + text + "|" + buttons);
    return 0;
  }
};

}  // namespace

class ProcessWindowsTest : public QObject {
  Q_OBJECT

  std::unique_ptr<image::PoolScope> pool_;

  static WindowCase Get(const QString& name) { return Cases().at(name); }

 private Q_SLOTS:
  void initTestCase() { pool_ = std::make_unique<image::PoolScope>(); }
  void cleanupTestCase() { pool_.reset(); }

  void withoutAPictureNothingOpens_data() { AddCaseRows(); }
  void withoutAPictureNothingOpens() {
    QFETCH(QString, window);
    app::Controller c;
    std::unique_ptr<ToolWindow> w(Get(window).make(c));
    QSignalSpy opened(w.get(), &ToolWindow::opened);
    QVERIFY(!w->Open());
    QVERIFY(!w->isOpen() && !w->isVisible());
    QCOMPARE(opened.count(), 0);
    QCOMPARE(c.editBackup(), nullptr);
  }

  void defaultsRangesAndLabels_data() { AddCaseRows(); }
  void defaultsRangesAndLabels() {
    QFETCH(QString, window);
    const WindowCase wc = Get(window);
    app::Controller c;
    std::unique_ptr<ToolWindow> w(wc.make(c));
    QCOMPARE(w->windowTitle(), wc.title);
    QVERIFY(wc.showsDefaults(w.get()));
    QCOMPARE(w->findChildren<ParamRow*>().size(), static_cast<qsizetype>(wc.rows.size()));
    for (const RowSpec& spec : wc.rows) {
      ParamRow* row = Row(w.get(), spec.name);
      QVERIFY2(row, spec.name);
      QCOMPARE(row->label()->text(), QString::fromUtf8(spec.label));
      QCOMPARE(row->field()->minimum(), spec.range.min);
      QCOMPARE(row->field()->maximum(), spec.range.max);
      QCOMPARE(row->slider()->minimum(), spec.range.min);
      QCOMPARE(row->slider()->maximum(), spec.range.max);
      QCOMPARE(row->value(), spec.range.start);
      QCOMPARE(row->slider()->value(), spec.range.start);
      QCOMPARE(row->field()->text(), QString::fromUtf8(spec.startText));
    }
    QCOMPARE(w->findChildren<ChoiceGroup*>().size(), static_cast<qsizetype>(wc.choices.size()));
    for (const ChoiceSpec& spec : wc.choices) {
      auto* group = w->findChild<ChoiceGroup*>(QString::fromUtf8(spec.name));
      QVERIFY2(group, spec.name);
      QCOMPARE(group->title(), QString::fromUtf8(spec.title));
      QStringList labels;
      for (auto* radio : group->findChildren<QRadioButton*>()) labels << radio->text();
      QCOMPARE(labels, spec.labels);
      QCOMPARE(group->position(), spec.start);
    }
  }

  void typedValuesAreClampedToTheRange_data() { AddCaseRows(); }
  void typedValuesAreClampedToTheRange() {
    QFETCH(QString, window);
    const WindowCase wc = Get(window);
    app::Controller c;
    OpenPicture(c, 3, 2);
    std::unique_ptr<ToolWindow> w(wc.make(c));
    QVERIFY(w->Open());
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    for (const RowSpec& spec : wc.rows) {
      ParamRow* row = Row(w.get(), spec.name);
      if (!row->isVisible()) continue;  // the other page of the noise reduction
      QSignalSpy reported(row, &ParamRow::valueChanged);
      row->field()->setFocus();
      // Beyond the top: clamped as it is typed.
      Type(w.get(), spec.name, QStringLiteral("99999"));
      QCOMPARE(row->value(), spec.range.max);
      QCOMPARE(row->slider()->value(), spec.range.max);
      // Below the bottom: a negative number at once; a number below a positive minimum once
      // the field is left.
      Type(w.get(), spec.name, spec.range.min < 0 ? QStringLiteral("-99999") : QStringLiteral("0"));
      QTest::keyClick(row->field(), Qt::Key_Tab);
      // The Levels' "Maximum" then gives way to "Minimum" (at 0), one level above it.
      const int bottom = window == QLatin1String("levels") && row->objectName() == QLatin1String("high")
                             ? spec.range.min + 1
                             : spec.range.min;
      QCOMPARE(row->value(), bottom);
      QCOMPARE(row->slider()->value(), bottom);
      QVERIFY(reported.count() >= 1);
      for (const QList<QVariant>& r : reported)
        QVERIFY2(spec.range.Contains(r.at(0).toInt()), qPrintable(QString::number(r.at(0).toInt())));
      // The slider moves the field.
      row->slider()->setValue(spec.range.start);
      QCOMPARE(row->value(), spec.range.start);
    }
  }

  void executeGivesTheScriptingPortsBytes_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<int>("size");
    for (const auto& [name, c] : Cases()) {
      QTest::newRow(qPrintable(name + " 9x7")) << name << 9;
      QTest::newRow(qPrintable(name + " 1x1")) << name << 1;
    }
  }
  void executeGivesTheScriptingPortsBytes() {
    QFETCH(QString, window);
    QFETCH(int, size);
    const int width = size, height = size == 1 ? 1 : 7;
    const WindowCase wc = Get(window);
    app::Controller c, script;
    OpenPicture(c, width, height);
    OpenPicture(script, width, height);
    const Bytes original = BytesOf(Current(c));
    std::unique_ptr<ToolWindow> w(wc.make(c));
    QVERIFY(w->Open());
    wc.set(w.get());
    QVERIFY(wc.showsSet(w.get()));
    QCOMPARE(BytesOf(Current(c)), original);  // Realtime is off
    QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("execute")), Qt::LeftButton);
    QVERIFY(!w->isOpen());
    QCOMPARE(wc.script(script), 0);
    QCOMPARE(BytesOf(Current(c)), BytesOf(Current(script)));
    if (size > 1) QVERIFY(BytesOf(Current(c)) != original);
    const Bytes executed = BytesOf(Current(c));
    // One undo step, to the picture before the window.
    QCOMPARE(BytesOf(c.undoImage()->chunky), original);
    c.ToggleUndo();
    QCOMPARE(BytesOf(Current(c)), original);
    c.ToggleUndo();
    QCOMPARE(BytesOf(Current(c)), executed);
    // Opened again, the window shows the values it had; Reset puts back the defaults.
    QVERIFY(w->Open());
    QVERIFY(wc.showsSet(w.get()));
    QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("reset")), Qt::LeftButton);
    QVERIFY(wc.showsDefaults(w.get()));
    w->reject();
  }

  void realtimePreviewsAndCancelRestoresTheBackup_data() { AddCaseRows(); }
  void realtimePreviewsAndCancelRestoresTheBackup() {
    QFETCH(QString, window);
    const WindowCase wc = Get(window);
    app::Controller c, script;
    OpenPicture(c, 9, 7);
    OpenPicture(script, 9, 7);
    const Bytes original = BytesOf(Current(c));
    std::unique_ptr<ToolWindow> w(wc.make(c));
    QVERIFY(w->Open());
    w->realtimeSwitch()->setChecked(true);
    wc.set(w.get());
    QCOMPARE(wc.script(script), 0);
    QCOMPARE(BytesOf(Current(c)), BytesOf(Current(script)));  // the preview of the last change
    QVERIFY(BytesOf(Current(c)) != original);
    QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("cancel")), Qt::LeftButton);
    QVERIFY(!w->isOpen());
    QCOMPARE(BytesOf(Current(c)), original);
    QCOMPARE(c.editBackup(), nullptr);
    QCOMPARE(c.undoImage(), nullptr);
    // Reset with Realtime on previews the defaults at once.
    QVERIFY(w->Open());
    QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("reset")), Qt::LeftButton);
    QVERIFY(wc.showsDefaults(w.get()));
    QVERIFY(c.editBackup());
    w->reject();
    QCOMPARE(BytesOf(Current(c)), original);
  }

  void destroyedWhileANumberIsBeingTyped_data() { AddCaseRows(); }
  void destroyedWhileANumberIsBeingTyped() {
    QFETCH(QString, window);
    const WindowCase wc = Get(window);
    ParamRow* row = nullptr;
    app::Controller c;
    OpenPicture(c, 6, 5);
    const Bytes original = BytesOf(Current(c));
    std::unique_ptr<ToolWindow> w(wc.make(c));
    for (const RowSpec& spec : wc.rows)
      if (!row && spec.range.min > 0 && Row(w.get(), spec.name)->isVisibleTo(w.get())) row = Row(w.get(), spec.name);
    if (!row) QSKIP("no number with a positive minimum");
    QVERIFY(w->Open());
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    w->realtimeSwitch()->setChecked(true);
    row->field()->setFocus();
    Type(w.get(), qPrintable(row->objectName()), QStringLiteral("0"));
    QCOMPARE(row->value(), row->range().start);  // unfinished: not passed on
    // Going while open puts the picture back; the field's editing, which ends as the dialog
    // hides, no longer reaches the half-destroyed window.
    w.reset();
    QCOMPARE(BytesOf(Current(c)), original);
    QCOMPARE(c.editBackup(), nullptr);
  }

  void theKeyboardWalksExecutesAndCancels_data() { AddCaseRows(); }
  void theKeyboardWalksExecutesAndCancels() {
    QFETCH(QString, window);
    const WindowCase wc = Get(window);
    app::Controller c;
    OpenPicture(c, 5, 4);
    std::unique_ptr<ToolWindow> w(wc.make(c));
    QVERIFY(w->Open());
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    // Focus on the first parameter; Tab walks the parameters (every visible field once, in
    // order) before it reaches the Realtime switch.
    QWidget* first = QApplication::focusWidget();
    QVERIFY(first && w->parameterArea()->isAncestorOf(first));
    const std::vector<QWidget*> stops = TabStops(w.get());
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->realtimeSwitch()));
    QStringList fields, expected;
    for (QWidget* s : stops) {
      QVERIFY2(w->parameterArea()->isAncestorOf(s), qPrintable(s->objectName()));
      if (auto* row = qobject_cast<ParamRow*>(s->parentWidget())) fields << row->objectName();
    }
    for (const RowSpec& spec : wc.rows)
      if (Row(w.get(), spec.name)->isVisible()) expected << QString::fromUtf8(spec.name);
    QCOMPARE(fields, expected);
    QCOMPARE(stops.front(), first);
    w->reject();

    // Enter on any parameter widget (a slider, too) executes; Escape cancels.
    std::vector<QWidget*> targets = stops;
    for (ParamRow* row : w->findChildren<ParamRow*>())
      if (row->isVisibleTo(w.get())) targets.push_back(row->slider());
    for (QWidget* target : targets) {
      for (int key : {Qt::Key_Return, Qt::Key_Escape}) {
        QVERIFY(w->Open());
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        target->setFocus();
        QTest::keyClick(target, static_cast<Qt::Key>(key));
        QVERIFY2(!w->isOpen(), qPrintable(target->objectName()));
        QCOMPARE(w->result(), key == Qt::Key_Return ? int{QDialog::Accepted} : int{QDialog::Rejected});
      }
    }
  }

  void levelsAutoMeasuresTheBackupAndTheHistogramShowsIt() {
    app::Controller c;
    OpenPicture(c, 9, 7);
    image::ChunkyPtr original(image::chk_Duplicate(Current(c)));
    edit::ui::LevelsWindow w(c);
    QVERIFY(w.Open());
    QVERIFY(QTest::qWaitForWindowActive(&w));
    auto* view = w.findChild<edit::ui::HistogramView*>();
    QVERIFY(view);
    QCOMPARE(view->histogram().bins, edit::CountHistogram(*original).bins);
    QVERIFY(!view->alphaOnly());
    // The preview changes the picture; Auto still measures the backup.
    w.realtimeSwitch()->setChecked(true);
    Type(&w, "high", "100");
    QVERIFY(BytesOf(Current(c)) != BytesOf(original.get()));
    edit::LevelsParams measured;
    measured.autoLevels = true;
    edit::ResolveLevels(*original, measured);
    QVERIFY(measured.low < measured.high);
    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("auto")), Qt::LeftButton);
    QCOMPARE(Row(&w, "low")->value(), measured.low);
    QCOMPARE(Row(&w, "high")->value(), measured.high);
    // The preview follows, and the picture is the backup stretched to the measured range.
    image::ChunkyPtr expected(image::chk_Create(9, 7, image::ARGB32, true));
    edit::LevelsParams stretch = w.parameters();
    QVERIFY(edit::RunLevels(*original, *expected, stretch, edit::NeverStop()));
    QCOMPARE(BytesOf(Current(c)), BytesOf(expected.get()));
    // For "Process only alpha" Auto takes the alpha range, and the histogram shows alpha.
    Choose(&w, "mode", 2);
    QVERIFY(view->alphaOnly());
    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("auto")), Qt::LeftButton);
    int lowest = 0, highest = 0;
    QVERIFY(view->histogram().Range(edit::kHistogramAlpha, lowest, highest));
    QCOMPARE(Row(&w, "low")->value(), lowest);
    QCOMPARE(Row(&w, "high")->value(), highest);
    // A slider moved onto the other level pushes it on at once.
    Row(&w, "low")->slider()->setValue(0);
    Row(&w, "high")->slider()->setValue(100);
    Row(&w, "low")->slider()->setValue(180);
    QCOMPARE(Row(&w, "high")->value(), 181);
    Row(&w, "high")->slider()->setValue(0);
    QCOMPARE(Row(&w, "low")->value(), 0);
    QCOMPARE(Row(&w, "high")->value(), 1);
    // A typed number: the parameters give way at once, the other field when the typing ends,
    // and the digits on the way leave it alone.
    Row(&w, "high")->field()->setFocus();
    Type(&w, "high", "90");
    Row(&w, "low")->field()->setFocus();
    Type(&w, "low", "120");
    QCOMPARE(w.parameters().low, 120);
    QCOMPARE(w.parameters().high, 121);
    QCOMPARE(Row(&w, "high")->value(), 90);
    QTest::keyClick(Row(&w, "low")->field(), Qt::Key_Tab);
    QCOMPARE(Row(&w, "high")->value(), 121);
    Row(&w, "high")->field()->setFocus();
    Type(&w, "high", "200");
    QCOMPARE(Row(&w, "low")->value(), 120);
    QCOMPARE(w.parameters().high, 200);
    w.reject();
    QCOMPARE(BytesOf(Current(c)), BytesOf(original.get()));
  }

  void levelsAutoOnASinglePixelMakesAStep() {
    app::Controller c;
    OpenPicture(c, 1, 1);
    edit::ui::LevelsWindow w(c);
    QVERIFY(w.Open());
    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("auto")), Qt::LeftButton);
    const edit::LevelsParams p = w.parameters();
    QVERIFY(p.low < p.high);
    QCOMPARE(p.high, p.low + 1);
    QTest::keyClick(&w, Qt::Key_Return);
    QVERIFY(!w.isOpen());
    QVERIFY(c.undoImage());
  }

  void noiseReductionFilterSwitchesTheMaskSizePage() {
    app::Controller c;
    OpenPicture(c, 4, 4);
    edit::ui::NoiseReductionWindow w(c);
    QVERIFY(w.Open());
    QVERIFY(Row(&w, "gaussianMaskSize")->isVisible());
    QVERIFY(!Row(&w, "medianMaskSize")->isVisible());
    Choose(&w, "filter", 1);
    QVERIFY(!Row(&w, "gaussianMaskSize")->isVisible());
    QVERIFY(Row(&w, "medianMaskSize")->isVisible());
    QCOMPARE(w.parameters().filter, edit::NoiseFilter::kMedian);
    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("reset")), Qt::LeftButton);
    QVERIFY(Row(&w, "gaussianMaskSize")->isVisible());
    QCOMPARE(w.parameters().filter, edit::NoiseFilter::kGaussian);
    w.reject();
  }

  void glowOffersAddAndScreenWithoutOpacity() {
    app::Controller c;
    edit::ui::GlowWindow w(c);
    auto* chooser = w.findChild<edit::ui::BlendModeChooser*>();
    QVERIFY(chooser);
    QCOMPARE(chooser->opacityRow(), nullptr);
    QStringList modes;
    for (int i = 0; i < chooser->modeBox()->count(); ++i) modes << chooser->modeBox()->itemText(i);
    QCOMPARE(modes, QStringList({"Add", "Screen"}));
    QCOMPARE(w.parameters().mode, uint32_t{filters::kBlendAdd});
    chooser->modeBox()->setCurrentIndex(1);
    QCOMPARE(w.parameters().mode, uint32_t{filters::kBlendScreen});
    QVERIFY(!chooser->setValue(filters::kBlendMultiply));
    QCOMPARE(w.parameters().mode, uint32_t{filters::kBlendScreen});
    auto* monochrome = w.findChild<QCheckBox*>(QStringLiteral("monochrome"));
    QVERIFY(monochrome);
    bool found = false;
    for (QLabel* l : w.findChildren<QLabel*>()) found |= l->buddy() == monochrome && l->text() == "&Monochrome:";
    QVERIFY(found);
  }

  void straightenShowsAGridOverTheDisplayWhileOpen() {
    main::Session session(settings::DefaultSettings());
    app::ui::MainWindow main(session.controller(), app::StartupOptions{});
    main::ui::WindowTable windows(session, main);
    session.controller().SetReader([](const char*) { return Pattern(200, 150, true); });
    QCOMPARE(main.OpenPicture("pattern"), 0);
    QVERIFY(!main.preview()->gridShown());
    main.resize(500, 400);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    main.preview()->WaitRendered();
    const QImage plain = main.preview()->grab().toImage();
    main.menuAction(app::kMenuStraighten)->trigger();
    auto* w = main.findChild<edit::ui::StraightenWindow*>();
    QVERIFY(w && w->isOpen());
    QVERIFY(main.preview()->gridShown());
    const QImage gridded = main.preview()->grab().toImage();
    QVERIFY(gridded != plain);
    QVERIFY(!main.preview()->isEnabled());  // only the crop window keeps the display
    auto* scale = w->findChild<QCheckBox*>(QStringLiteral("scaleToFit"));
    bool labelled = false;
    for (QLabel* l : w->findChildren<QLabel*>()) labelled |= l->buddy() == scale && l->text() == "Scale to fit:";
    QVERIFY(labelled);
    // Gone whichever way the window closes.
    w->reject();
    QVERIFY(!main.preview()->gridShown());
    main.preview()->WaitRendered();  // a render the window's layout asked for meanwhile
    QCOMPARE(main.preview()->grab().toImage(), plain);
    QVERIFY(w->Open());
    QVERIFY(main.preview()->gridShown());
    w->Execute();  // waits for the worker's run of the final angle
    QTRY_VERIFY(!w->isOpen());
    QVERIFY(!main.preview()->gridShown());
  }

  void cropFindsTheBordersAndCropsLikeTheScriptingPort() {
    const edit::CropParams inside{3, 2, 10, 9};
    app::Controller c, script;
    c.SetReader([inside](const char*) { return Framed(20, 16, inside); });
    script.SetReader([inside](const char*) { return Framed(20, 16, inside); });
    QCOMPARE(c.OpenPicture("framed"), 0);
    QCOMPARE(script.OpenPicture("framed"), 0);
    edit::ui::CropWindow w(c);
    QCOMPARE(w.windowTitle(), QStringLiteral("Crop"));
    QVERIFY(w.Open());
    QCOMPARE(w.parameters(), (edit::CropParams{0, 0, 20, 16}));  // the whole picture at first
    QCOMPARE(Row(&w, "tolerance")->range().max, 255);
    QCOMPARE(Row(&w, "tolerance")->value(), 0);
    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("auto")), Qt::LeftButton);
    QCOMPARE(w.parameters(), inside);
    // Fields are held to the picture.
    auto* width = w.findChild<QSpinBox*>(QStringLiteral("width"));
    QCOMPARE(width->maximum(), 20);
    QCOMPARE(w.findChild<QSpinBox*>(QStringLiteral("left"))->maximum(), 19);
    w.Execute();
    QVERIFY(!w.isOpen());
    QCOMPARE(edit::ApplyCrop(script, inside), 0);
    QCOMPARE(Current(c)->width, 10);
    QCOMPARE(BytesOf(Current(c)), BytesOf(Current(script)));
    QCOMPARE(c.undoImage(), nullptr);  // a size change has no undo step
    // Opened on the smaller picture, the fields start from it again.
    QVERIFY(w.Open());
    QCOMPARE(w.parameters(), (edit::CropParams{0, 0, 10, 9}));
    w.reject();
  }

  void cropFieldsAndTheDisplaysRectangleFollowEachOther() {
    main::Session session(settings::DefaultSettings());
    app::ui::MainWindow main(session.controller(), app::StartupOptions{});
    main::ui::WindowTable windows(session, main);
    main.resize(500, 400);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    session.controller().SetReader([](const char*) { return Pattern(40, 30, true); });
    QCOMPARE(main.OpenPicture("pattern"), 0);
    display::ui::PreviewClass* preview = main.preview();
    // An even display holds the picture at whole pixels, so that the mouse reaches pixel edges.
    if (preview->width() % 2 || preview->height() % 2)
      main.resize(main.width() + preview->width() % 2, main.height() + preview->height() % 2);
    QTRY_VERIFY(preview->width() % 2 == 0 && preview->height() % 2 == 0);
    QCOMPARE(preview->ScaleFixed(), 65536);
    const auto shown = [preview] { return display::SelectionPixels(preview->selection()); };
    main.menuAction(app::kMenuCrop)->trigger();
    auto* w = main.findChild<edit::ui::CropWindow*>();
    QVERIFY(w && w->isOpen());
    // The display takes the mouse; the rest of the contents does not.
    QVERIFY(preview->isEnabled());
    QVERIFY(!main.findChild<QWidget*>(QStringLiteral("browser"))->isEnabled());
    QCOMPARE(shown(), (display::PixelRect{0, 0, 40, 30}));
    // A rectangle drawn before the window opens is the one it starts from.
    w->reject();
    preview->SetSelection(display::Rect{2, 3, 12, 9});
    main.menuAction(app::kMenuCrop)->trigger();
    QVERIFY(w->isOpen());
    QCOMPARE(w->parameters(), (edit::CropParams{2, 3, 10, 6}));
    // Typed fields move the rectangle.
    w->findChild<QSpinBox*>(QStringLiteral("width"))->setValue(10);
    w->findChild<QSpinBox*>(QStringLiteral("height"))->setValue(8);
    w->findChild<QSpinBox*>(QStringLiteral("left"))->setValue(5);
    w->findChild<QSpinBox*>(QStringLiteral("top"))->setValue(4);
    QCOMPARE(shown(), (display::PixelRect{5, 4, 10, 8}));
    // One past the picture's edge is cut there, in the fields too.
    w->findChild<QSpinBox*>(QStringLiteral("left"))->setValue(35);
    QCOMPARE(shown(), (display::PixelRect{35, 4, 5, 8}));
    QCOMPARE(w->parameters(), (edit::CropParams{35, 4, 5, 8}));
    // A rectangle drawn with Shift and the left button fills the fields.
    const auto at = [preview](float ix, float iy) {
      std::lock_guard<std::recursive_mutex> g(preview->renderer().Lock());
      float bx = 0, by = 0;
      preview->renderer().state().ImageToBuffer(ix, iy, bx, by);
      return QPoint(static_cast<int>(std::lround(bx)), static_cast<int>(std::lround(by)));
    };
    const auto drag = [preview](QPoint from, QPoint to) {
      QTest::mousePress(preview, Qt::LeftButton, Qt::ShiftModifier, from);
      QTest::mouseMove(preview, to);
      QTest::mouseRelease(preview, Qt::LeftButton, Qt::ShiftModifier, to);
    };
    drag(at(25, 20), at(35, 28));
    QCOMPARE(shown(), (display::PixelRect{25, 20, 10, 8}));
    QCOMPARE(w->parameters(), (edit::CropParams{25, 20, 10, 8}));
    // Past the picture the rectangle stops at its edge.
    drag(at(35, 28), at(60, 50));
    QCOMPARE(w->parameters(), (edit::CropParams{25, 20, 15, 10}));
    // A shape reshapes the rectangle, and dragging keeps it.
    auto* aspect = w->findChild<QComboBox*>(QStringLiteral("aspect"));
    QStringList presets;
    for (int i = 0; i < aspect->count(); ++i) presets << aspect->itemText(i);
    QCOMPARE(presets, QStringList({"Free", "Picture", "1:1", "3:2", "4:3", "16:9", "2:3", "3:4", "9:16"}));
    aspect->setCurrentIndex(2);  // 1:1
    QCOMPARE(w->parameters(), (edit::CropParams{25, 20, 10, 10}));
    drag(at(35, 30), at(31, 24));
    QCOMPARE(w->parameters(), (edit::CropParams{25, 20, 6, 6}));
    aspect->setCurrentIndex(6);  // 2:3, portrait
    drag(at(32, 27), at(29, 29));
    const edit::CropParams portrait = w->parameters();
    QCOMPARE(portrait.width * 3, portrait.height * 2);
    // Execute crops to the rectangle and forgets it.
    w->Execute();
    QVERIFY(!w->isOpen());
    QCOMPARE(Current(session.controller())->width, portrait.width);
    QCOMPARE(Current(session.controller())->height, portrait.height);
    QCOMPARE(shown(), (display::PixelRect{}));
    QVERIFY(main.findChild<QWidget*>(QStringLiteral("browser"))->isEnabled());
  }

  void blenderTakesTheBackgroundFromTheRequesterOrThePicker() {
    app::Controller c;
    OpenPicture(c, 3, 3);
    edit::ui::BlenderWindow w(c, [] { return kPickedColour; });
    QVERIFY(w.OpenOnTransparency());
    QString title;
    AnswerColour(0x102030, &title);
    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("backgroundColor")), Qt::LeftButton);
    QCOMPARE(title, QStringLiteral("Background color..."));
    QCOMPARE(w.parameters().background, 0x102030u);
    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("fromPicker")), Qt::LeftButton);
    QCOMPARE(w.parameters().background, 0x445566u);  // the picker's alpha is dropped
    w.reject();
  }

  void blenderRefusesAnOpaquePicture() {
    RecordingRequester requester;
    platform::SetRequester(&requester);
    app::Controller c;
    OpenPicture(c, 4, 3, true);
    edit::ui::BlenderWindow w(c, [] { return kPickedColour; });
    QSignalSpy opened(&w, &ToolWindow::opened);
    QVERIFY(!w.OpenOnTransparency());
    QVERIFY(!w.isOpen() && !w.isVisible());
    QCOMPARE(opened.count(), 0);
    QCOMPARE(requester.asked.size(), size_t{1});
    QVERIFY(QString::fromStdString(requester.asked[0]).startsWith("Message...|This function works only if image"));
    // Without a picture nothing opens and nothing is asked.
    app::Controller empty;
    edit::ui::BlenderWindow none(empty, [] { return kPickedColour; });
    QVERIFY(!none.OpenOnTransparency());
    QCOMPARE(requester.asked.size(), size_t{1});
    platform::SetRequester(nullptr);
  }

  void insertAlphaExecutesTheEditStepWithOneUndoStep() {
    QTemporaryDir dir;
    const QString file = dir.filePath("alpha.png");
    QVERIFY(GreyPicture(3, 2, 200).save(file));
    for (const bool resize : {false, true}) {
      app::Controller c, script;
      OpenPicture(c, 6, 5);
      OpenPicture(script, 6, 5);
      const Bytes original = BytesOf(Current(c));
      edit::ui::InsertAlphaWindow w(c);
      QVERIFY(w.Open());
      w.SetFile(file);
      w.findChild<QCheckBox*>(QStringLiteral("resize"))->setChecked(resize);
      w.findChild<QCheckBox*>(QStringLiteral("negative"))->setChecked(true);
      QCOMPARE(BytesOf(Current(c)), original);  // Realtime is off
      QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("execute")), Qt::LeftButton);
      QVERIFY(!w.isOpen());
      filters::InsertAlphaTool tool;
      QCOMPARE(edit::ApplyInsertAlpha(script, tool, {file.toStdString(), resize, true}), 0);
      script.CommitEdit();
      const Bytes executed = BytesOf(Current(c));
      QCOMPARE(executed, BytesOf(Current(script)));
      // Negative of grey 200 is alpha 55 where the alpha picture lies; without resizing the rest
      // becomes opaque.
      QCOMPARE(int(executed[0]), 55);
      QCOMPARE(int(executed[(4 * 6 + 5) * 4]), resize ? 55 : 255);
      QCOMPARE(BytesOf(c.undoImage()->chunky), original);
      c.ToggleUndo();
      QCOMPARE(BytesOf(Current(c)), original);
      // The window has let its alpha picture go.
      QCOMPARE(w.alphaPicture(), nullptr);
    }
  }

  void insertAlphaPreviewsTheAlphaPictureAndRefusesAFileThatDoesNotLoad() {
    RecordingRequester requester;
    platform::SetRequester(&requester);
    QTemporaryDir dir;
    const QString file = dir.filePath("alpha.png");
    QVERIFY(GreyPicture(2, 2, 90).save(file));
    app::Controller c;
    OpenPicture(c, 4, 3);
    const Bytes original = BytesOf(Current(c));
    edit::ui::InsertAlphaWindow w(c);
    QVERIFY(w.Open());
    auto* preview = w.findChild<QLabel*>(QStringLiteral("alphaPreview"));
    QVERIFY(preview->pixmap().isNull());
    w.realtimeSwitch()->setChecked(true);  // nothing to run without a file
    QVERIFY(requester.asked.empty());
    w.SetFile(file);
    QVERIFY(w.alphaPicture());
    QCOMPARE(w.alphaPicture()->chunky->width, 2);
    QVERIFY(!preview->pixmap().isNull());
    const Bytes previewed = BytesOf(Current(c));
    QCOMPARE(int(previewed[0]), 90);
    QCOMPARE(int(previewed[3 * 4]), 255);
    // A file that does not load: the requester, and the picture goes back to the backup.
    w.SetFile(dir.filePath("missing.png"));
    QCOMPARE(requester.asked, std::vector<std::string>{"Error...|Failed to load alpha image\n"});
    QCOMPARE(BytesOf(Current(c)), original);
    // Typing a name tries it only when the field is left.
    auto* field = w.findChild<QLineEdit*>(QStringLiteral("file"));
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, "nothing");
    QCOMPARE(requester.asked.size(), size_t{1});
    // Execute on it fails, and the window stays open with the picture as it was.
    w.Execute();
    QCOMPARE(requester.asked.size(), size_t{2});
    QVERIFY(w.isOpen());
    QCOMPARE(BytesOf(Current(c)), original);
    w.reject();
    QCOMPARE(BytesOf(Current(c)), original);
    QCOMPARE(c.undoImage(), nullptr);
    QVERIFY(preview->pixmap().isNull());
    platform::SetRequester(nullptr);
  }

  void insertTextExecutesTheScriptsPixelsAsOneUndoStep() {
    app::Controller c, script;
    OpenPicture(c, 60, 30, true);
    OpenPicture(script, 60, 30, true);
    const Bytes original = BytesOf(Current(c));
    edit::ui::InsertTextWindow w(c, [] { return kPickedColour; });
    QVERIFY(w.OpenWithEngine());
    // Opening fills in the default font and fits the position to the picture.
    edit::InsertTextParams p = w.parameters();
    QCOMPARE(p.font, std::string(filters::kDefaultTextFont));
    QCOMPARE(p.size, filters::kDefaultTextSize);
    QCOMPARE(p.color, 0xFF000000u);
    QCOMPARE(p.intensity, 255);
    auto* x = w.findChild<QSpinBox*>(QStringLiteral("x"));
    QCOMPARE(x->minimum(), -60);
    QCOMPARE(x->maximum(), 60);
    QCOMPARE(w.findChild<QSpinBox*>(QStringLiteral("y"))->maximum(), 30);
    auto* status = w.findChild<QLabel*>(QStringLiteral("status"));
    QCOMPARE(status->text(), QString());  // no text yet
    QTest::keyClicks(w.findChild<QLineEdit*>(QStringLiteral("text")), "Hg");
    w.SetFont(QString::fromUtf8(kDejaVu));
    QCOMPARE(status->text(), QStringLiteral("OK"));
    Type(&w, "size", "14");
    Type(&w, "alpha", "0.5");
    x->setValue(-3);
    w.findChild<QSpinBox*>(QStringLiteral("y"))->setValue(4);
    Choose(&w, "direction", 1);
    w.findChild<QCheckBox*>(QStringLiteral("shadow"))->setChecked(true);
    w.findChild<QCheckBox*>(QStringLiteral("gaussian"))->setChecked(true);
    Type(&w, "smoothness", "2");
    Type(&w, "shadowX", "3");
    Type(&w, "intensity", "0.8");
    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("textFromPicker")), Qt::LeftButton);
    AnswerColour(0x00FF00);
    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("shadowColor")), Qt::LeftButton);
    p = w.parameters();
    QCOMPARE(p.text, std::string("Hg"));
    QCOMPARE(p.size, 14);
    QCOMPARE(p.direction, int(filters::kTextTopToBottom));
    QCOMPARE(p.color, 0x7F445566u);  // 50 % of 255, the picker's colour
    QCOMPARE(p.shadowColor, 0xFF00FF00u);
    QCOMPARE(p.intensity, 204);
    QVERIFY(p.shadow && p.gaussian);
    QCOMPARE(p.smoothness, 2);
    QCOMPARE(p.shadowX, 3);
    QCOMPARE(BytesOf(Current(c)), original);  // Realtime is off
    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("execute")), Qt::LeftButton);
    QTRY_VERIFY(!w.isOpen());
    QCOMPARE(edit::ApplyInsertText(script, p), 0);
    const Bytes executed = BytesOf(Current(c));
    QCOMPARE(executed, BytesOf(Current(script)));
    QVERIFY(executed != original);
    QCOMPARE(BytesOf(c.undoImage()->chunky), original);
    c.ToggleUndo();
    QCOMPARE(BytesOf(Current(c)), original);
  }

  void insertTextWithAFontThatDoesNotExistSaysSoAndChangesNothing() {
    app::Controller c;
    OpenPicture(c, 40, 20, true);
    const Bytes original = BytesOf(Current(c));
    edit::ui::InsertTextWindow w(c, [] { return kPickedColour; });
    QVERIFY(w.OpenWithEngine());
    w.realtimeSwitch()->setChecked(true);
    w.SetFont(QStringLiteral("/nonexistent/NoSuchFont.ttf"));
    QTest::keyClicks(w.findChild<QLineEdit*>(QStringLiteral("text")), "Text");
    QCOMPARE(BytesOf(Current(c)), original);
    auto* status = w.findChild<QLabel*>(QStringLiteral("status"));
    QCOMPARE(status->text(), QStringLiteral("Couldn't open selected font"));
    auto* execute = w.findChild<QPushButton*>(QStringLiteral("execute"));
    QTest::mouseClick(execute, Qt::LeftButton);
    QTRY_VERIFY(execute->isEnabled());
    QVERIFY(w.isOpen());
    QCOMPARE(BytesOf(Current(c)), original);
    // A font that exists draws the preview and says so.
    w.SetFont(QString::fromUtf8(kDejaVu));
    QCOMPARE(status->text(), QStringLiteral("OK"));
    QTRY_VERIFY(BytesOf(Current(c)) != original);
    w.reject();
    QCOMPARE(BytesOf(Current(c)), original);
    QCOMPARE(c.undoImage(), nullptr);
  }

  void insertTextFontRequesterListsTheInstalledFonts() {
    app::Controller c;
    OpenPicture(c, 8, 8, true);
    edit::ui::InsertTextWindow w(c, [] { return kPickedColour; });
    QVERIFY(w.OpenWithEngine());
    QString title;
    int listed = 0;
    WhenModal([&](QWidget* modal) {
      title = modal->windowTitle();
      auto* fonts = modal->findChild<QListWidget*>(QStringLiteral("fonts"));
      auto* dialog = qobject_cast<QDialog*>(modal);
      if (!fonts || !dialog) {
        modal->close();
        return;
      }
      listed = fonts->count();
      for (int i = 0; i < fonts->count(); ++i)
        if (fonts->item(i)->data(Qt::UserRole).toString() == QString::fromUtf8(kDejaVu)) fonts->setCurrentRow(i);
      dialog->accept();
    });
    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("chooseFont")), Qt::LeftButton);
    QCOMPARE(title, QStringLiteral("Select TrueType (.ttf) font..."));
    QCOMPARE(listed, int(filters::InstalledFonts().size()));
    QCOMPARE(w.parameters().font, std::string(kDejaVu));
    w.reject();
  }

  void theWindowTableOpensEachWindowFromItsMenuItemAndByName() {
    RecordingRequester requester;
    platform::SetRequester(&requester);
    main::Session session(settings::DefaultSettings());
    app::ui::MainWindow main(session.controller(), app::StartupOptions{});
    main::ui::WindowTable windows(session, main);
    const struct {
      const char* name;
      int id;
      const char* title;
    } tools[] = {{"contrast-gamma", app::kMenuContrastGamma, "Contrast/Gamma"},
                 {"levels", app::kMenuLevels, "Levels"},
                 {"hsv-balance", app::kMenuHSVBalance, "HSV Balance"},
                 {"rgb-balance", app::kMenuRGBBalance, "RGB Balance"},
                 {"median", app::kMenuMedian, "Median"},
                 {"smooth", app::kMenuSmooth, "Smooth"},
                 {"gaussian-blur", app::kMenuGaussianBlur, "Gaussian blur"},
                 {"noise-reduction", app::kMenuNoiseReduction, "Noise reduction"},
                 {"sharpen", app::kMenuSharpen, "Sharpen"},
                 {"glow", app::kMenuGlow, "Glow"},
                 {"insert-alpha", app::kMenuInsertAlpha, "Insert alpha"},
                 {"blender", app::kMenuBlender, "Blender"},
                 {"insert-text", app::kMenuInsertText, "Insert Text"},
                 {"crop", app::kMenuCrop, "Crop"},
                 {"straighten", app::kMenuStraighten, "Straighten"}};
    const std::vector<std::string> names = windows.WindowNames();
    for (const auto& t : tools) {
      QVERIFY2(std::find(names.begin(), names.end(), t.name) != names.end(), t.name);
      QVERIFY(main.menuAction(t.id)->isEnabled());
      // Without a picture the item opens nothing.
      main.menuAction(t.id)->trigger();
      QVERIFY2(!main.toolWindowOpen(), t.name);
      QCOMPARE(windows.OpenByName(t.name), nullptr);
    }
    QVERIFY(requester.asked.empty());
    session.controller().SetReader([](const char*) { return Pattern(6, 5, false); });
    QCOMPARE(main.OpenPicture("pattern"), 0);
    QWidget* made = nullptr;
    for (const auto& t : tools) {
      main.menuAction(t.id)->trigger();
      QVERIFY2(main.toolWindowOpen(), t.name);
      ToolWindow* byTitle = nullptr;
      for (ToolWindow* tw : main.findChildren<ToolWindow*>())
        if (tw->isOpen()) byTitle = tw;
      QVERIFY(byTitle);
      QCOMPARE(byTitle->windowTitle(), QString::fromUtf8(t.title));
      byTitle->reject();
      QVERIFY(!main.toolWindowOpen());
      // By name: the same window again, kept with its widgets.
      made = windows.OpenByName(t.name);
      QCOMPARE(made, static_cast<QWidget*>(byTitle));
      QVERIFY(main.toolWindowOpen());
      byTitle->reject();
    }
    QVERIFY(requester.asked.empty());
    // The Blender's item on an opaque picture: the requester, no window.
    session.controller().SetReader([](const char*) { return Pattern(6, 5, true); });
    QCOMPARE(main.OpenPicture("opaque"), 0);
    main.menuAction(app::kMenuBlender)->trigger();
    QVERIFY(!main.toolWindowOpen());
    QCOMPARE(requester.asked.size(), size_t{1});
    QCOMPARE(windows.OpenByName("blender"), nullptr);
    QCOMPARE(requester.asked.size(), size_t{2});
    platform::SetRequester(nullptr);
  }
};

QTEST_MAIN(ProcessWindowsTest)
#include "test_process_windows.moc"
