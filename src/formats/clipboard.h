// The clipboard: unit 0 is the file CLIPS:0 holding one IFF FORM, an ILBM picture or FTXT
// text. Every write replaces the unit in one rename, so a reader sees either the old FORM
// or the whole new one. Pasting a picture is ReadPicture(nullptr) (formats/loader.h).
#pragma once

#include <string>

#include "image/chunky.h"

namespace vl::formats {

// The file that holds clipboard unit 0.
std::string ClipboardUnitPath();

// Puts the image on the clipboard as an ILBM FORM with an empty NAME chunk (the alpha
// channel is not carried). 1 on success, 0 on failure.
int ClipboardWriteImage(const image::ChunkyImage* image);
int ClipboardWriteImage(const image::Texture* image);

// Puts the text on the clipboard as a FORM FTXT with one CHRS chunk. Null or empty text
// leaves the clipboard alone. Always returns 0.
int ClipboardWriteText(const char* text);

}  // namespace vl::formats
