// The Insert Text window: "Text:", "Font:" with the font requester over the installed TrueType
// fonts, the size, the text colour ("Text color..." or the colour picker's) and its "Alpha:",
// "Direction", the position X and Y, the "Shadow" group (switch, Gaussian blur, offsets,
// smoothness, intensity and colour) and the "Status" line, which says what rendering the text
// gives ("Couldn't open selected font" for a font that does not exist).
//
// The preview draws the text into the picture on the worker (RunInsertText, the pixels of the
// scripting port's step); Execute keeps it as one undo step, as every tool window does.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

#include "edit/composite_ops.h"
#include "edit/ui/tool_window.h"
#include "filters/text_engine.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vl::edit::ui {

class ChoiceGroup;
class ParamRow;
class ValueField;

class InsertTextWindow : public OperationWindow<InsertTextParams> {
  Q_OBJECT

 public:
  // pickedColour answers the colour picker's current colour (0xAARRGGBB) for "From picker".
  InsertTextWindow(app::Controller& controller, std::function<uint32_t()> pickedColour, QWidget* parent = nullptr);
  ~InsertTextWindow() override;

  InsertTextParams parameters() const override;

  // Opens like Open(), holding the text engine while the window is open (which keeps the font
  // between renders); when the engine cannot be opened the requester says so and nothing
  // opens.
  bool OpenWithEngine();

  void SetFont(const QString& font);
  // 0xRRGGBB.
  void SetTextColour(uint32_t rgb);
  void SetShadowColour(uint32_t rgb);

 protected:
  // The position ranges follow the picture's size; an empty font or size gets its default.
  void LoadFromPicture(const image::ChunkyImage& picture) override;

 private:
  // The font requester "Select TrueType (.ttf) font...".
  void ChooseFont();
  // A colour requester; true with rgb set when a colour was chosen.
  bool ChooseColour(const QString& title, uint32_t& rgb);
  // A change that needs the text rendered again: the status line follows, then the preview.
  void TextChanged();

  std::function<uint32_t()> pickedColour_;
  std::unique_ptr<filters::TextEngineScope> engine_;
  uint32_t textColour_ = 0x000000;
  uint32_t shadowColour_ = 0x000000;
  QLineEdit* text_ = nullptr;
  QLineEdit* font_ = nullptr;
  ParamRow* size_ = nullptr;
  QPushButton* textColourButton_ = nullptr;
  ParamRow* alpha_ = nullptr;
  ChoiceGroup* direction_ = nullptr;
  ValueField* x_ = nullptr;
  ValueField* y_ = nullptr;
  QCheckBox* shadow_ = nullptr;
  QCheckBox* gaussian_ = nullptr;
  ParamRow* shadowX_ = nullptr;
  ParamRow* shadowY_ = nullptr;
  ParamRow* smoothness_ = nullptr;
  ParamRow* intensity_ = nullptr;
  QPushButton* shadowColourButton_ = nullptr;
  QLabel* status_ = nullptr;
};

}  // namespace vl::edit::ui
