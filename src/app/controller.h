// The application controller: owns the shown picture and its undo copies, and is the one
// place through which a picture enters the program (file, browser, clipboard, script) and
// through which an operation's result replaces it.
//
// Four image slots: currentImage (shown and operated on), editBackup (a copy taken before
// an operation; what operations and previews read), undoImage (the picture before the last
// committed operation) and redoImage (what Undo swapped out). editBackup is null except
// while an operation or a preview is in progress; no two slots share pixels.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/full_picture.h"
#include "app/status.h"
#include "app/step_read_ahead.h"
#include "image/chunky.h"
#include "platform/main_thread_queue.h"
#include "platform/stopwatch.h"

namespace vl::app {

// Label/value pairs that the information overlay shows.
using InfoList = std::vector<std::pair<std::string, std::string>>;

// What the display and the window show; the GUI and the headless mode implement it.
class ControllerObserver {
 public:
  virtual ~ControllerObserver() = default;
  virtual void TitleChanged(const std::string& /*title*/) {}
  virtual void StatusChanged(const StatusTexts& /*texts*/) {}
  // The display shows image (null: detached or no image); called after every change of pixels.
  virtual void ImageChanged(const image::Texture* /*image*/) {}
  // The information overlay shows info (null: nothing).
  virtual void OverlayChanged(const InfoList* /*info*/) {}
  // A new picture (from a file, the browser, the clipboard or a script) is about to replace the
  // shown one, as opposed to a change of the shown picture's pixels: the view starts afresh.
  virtual void PictureOpened() {}
};

// The directory browser's file list as the controller steps through it.
class BrowserList {
 public:
  virtual ~BrowserList() = default;
  virtual int SelectedIndex() const = 0;  // -1 when nothing is selected
  virtual int EntryCount() const = 0;
  virtual bool IsDirectory(int index) const = 0;
  // The list already classed the entry as a picture.
  virtual bool IsPicture(int index) const = 0;
  // The browser's directory joined with the entry's name (at most 1023 characters; empty
  // when longer).
  virtual std::string FullPath(int index) const = 0;
  // Selects an entry (-1: nothing). Choosing a file makes the browser report it, which
  // opens it through OpenPicture.
  virtual void Select(int index) = 0;
  // Points the browser at a directory.
  virtual void SetPath(const std::string& path) = 0;
  // The controller opened this file (lists that follow the current file use it).
  virtual void CurrentFileChanged(const std::string& /*path*/) {}
};

// The EXIF window's state that the controller reads and sets; the GUI window shows it.
class ExifWindowModel {
 public:
  // Reads a file's EXIF block: orientation 0-8 (0 when absent) and the window's info list.
  // False when the file has no EXIF data.
  using Reader = std::function<bool(const std::string& path, int& orientation, InfoList& info)>;
  // Told after every change of the open state or of the lines (the window that shows them).
  using Listener = std::function<void()>;

  ExifWindowModel();
  void SetReader(Reader reader) { reader_ = std::move(reader); }
  void SetListener(Listener listener) { listener_ = std::move(listener); }

  bool exifInfoChecked = false;  // menu item "EXIF Info"
  bool open = false;
  void Open();
  void Close();

  // Hands a path to the window: reads its EXIF data and builds the info list.
  void ReadFile(const std::string& path);
  // Forgets the last file's data.
  void Clear();

  const std::string& path() const { return path_; }
  int orientation() const { return orientation_; }
  bool hasInfo() const { return hasInfo_; }
  const InfoList& info() const { return info_; }
  // The shown picture was turned upright on loading.
  bool orientationApplied() const { return orientationApplied_; }
  void SetOrientationApplied(bool applied);

  // The window's lines: the labels alone (empty texts) before any file; the file's lines
  // with "(corrected)" behind the orientation when the picture was turned upright; for a
  // JPEG without EXIF data its name with every other line unknown. A line's text never
  // ends in a line break.
  InfoList WindowLines() const;

 private:
  void Changed();

  Reader reader_;
  Listener listener_;
  std::string path_;
  int orientation_ = 0;
  bool hasInfo_ = false;
  InfoList info_;
  bool orientationApplied_ = false;
};

class Controller {
 public:
  // Turns a path into a picture (the loader by default).
  using PictureReader = std::function<image::Texture*(const char* path)>;
  // Whether a file is a picture (for entries the browser has not classed).
  using PictureTest = std::function<bool(const std::string& path)>;
  // Writes a picture to the clipboard: true when written.
  using ClipboardWriter = std::function<bool(const image::ChunkyImage* image)>;

  Controller();
  ~Controller();
  Controller(const Controller&) = delete;
  Controller& operator=(const Controller&) = delete;

  void SetObserver(ControllerObserver* observer) { observer_ = observer; }
  void SetBrowser(BrowserList* browser) { browser_ = browser; }
  BrowserList* browser() const { return browser_; }
  void SetReader(PictureReader reader);
  void SetPictureTest(PictureTest test) { pictureTest_ = std::move(test); }
  void SetClipboardWriter(ClipboardWriter writer) { clipboardWriter_ = std::move(writer); }
  ExifWindowModel& exif() { return exif_; }

  // Setting "Correct image orientation (if possible):".
  void SetCorrectOrientation(bool on) { correctOrientation_ = on; }
  bool correctOrientation() const { return correctOrientation_; }

  // Opens a file as the current picture: 0 when loaded, 1 when not or when path is null.
  // Drops every undo state.
  int OpenPicture(const char* path);
  // The same for a script: a file that cannot be read answers 1 and changes nothing (the
  // current picture, its path, title and undo state stay).
  int LoadPicture(const char* path);
  // Loads the clipboard's picture as the current picture; the undo slots are kept.
  void PastePicture();
  // The same with a picture already read (the desktop clipboard's); null counts as a failed read.
  void PastePicture(image::TexturePtr picture);
  // 0 when the current picture went to the clipboard, 1 without a picture or when the
  // write failed.
  int CopyPicture();

  // Takes editBackup (a copy of the current picture) unless it exists; true when it exists
  // afterwards.
  bool BeginEdit();
  // The backup becomes the undo image; without a backup nothing happens.
  void CommitEdit();
  // Puts the backup's pixels back into the current picture and drops the backup.
  void CancelEdit();
  // Menu "Undo": swaps the current picture with the undo image (or the redo image), so
  // repeated presses alternate between the two most recent states. Only without a backup.
  void ToggleUndo();
  // Puts an operation's new pixel buffer into the current picture (not undoable): drops the
  // backup, updates the texts and the display. False (and the buffer freed) without a
  // current picture or with a null buffer.
  bool ReplaceChunky(image::ChunkyPtr chunky);
  // Rebuilds the title and the status texts.
  void UpdateStatus();
  // Tells the display that the current picture's pixels changed.
  void RefreshDisplay();

  // Menu "Information overlay".
  void SetInfoOverlay(bool checked);
  bool infoOverlay() const { return infoOverlay_; }

  // The browser's step forward (+1) or back (-1); true when a picture was selected (the
  // browser then opens it). No wrap-around.
  bool LoadNext() { return Step(+1); }
  bool LoadPrevious() { return Step(-1); }
  // Points the browser at a directory.
  void ChangeDirectory(const std::string& path);

  // Reading ahead: while a picture is shown, the pictures before and after it in the
  // browser's list are read in the background, and opening one of them takes the picture
  // read instead of reading the file. Off by default.
  void EnableReadAhead(bool on);
  // Reading ahead starts with the first step through the list: for a front end whose commands
  // may step but mostly work on the one picture, which the neighbours' reads would slow.
  void EnableReadAheadOnStep() { readAheadOnStep_ = true; }
  StepReadAhead* readAhead() const { return readAhead_.get(); }
  // Reads ahead the neighbours of the browser's selected entry when it is the current
  // picture, else drops what is read ahead (after the list changed).
  void ReadAheadNeighbours();

  // Quick first views: a file opened from the browser or the command line that embeds a
  // stand-in for its picture (a camera RAW's preview) shows that at once, and its full picture,
  // read on a worker, replaces it when ready through queue, as long as the same picture is
  // shown unchanged; opening another picture drops the read. Loads from a script, edits,
  // copies and saves wait for the full picture first (FinishFullPicture). Off by default:
  // every read gives the full picture. The queue outlives the controller.
  void EnableQuickViews(platform::MainThreadQueue* queue);
  // Waits for the full picture of the shown stand-in and shows it; nothing without one.
  void FinishFullPicture();
  // A full picture is being read for the shown stand-in.
  bool fullPicturePending() const { return fullTicket_ != 0; }
  FullPictureReader* fullReader() const { return full_.get(); }

  image::Texture* currentImage() const { return current_.get(); }
  image::Texture* editBackup() const { return editBackup_.get(); }
  const image::Texture* undoImage() const { return undo_.get(); }
  const image::Texture* redoImage() const { return redo_.get(); }
  const std::string& currentPath() const { return currentPath_; }
  bool loadFailed() const { return loadFailed_; }
  float loadTime() const { return loadTime_; }
  const std::string& title() const { return title_; }
  const StatusTexts& status() const { return status_; }
  // The info list of the last load (null before any load or after a failed one).
  const InfoList* infoList() const { return hasInfo_ ? &info_ : nullptr; }

 private:
  bool Step(int direction);
  // The nearest picture from index `from` on in the direction (its full path), or empty.
  std::string NeighbourPicture(int from, int direction) const;
  void ShowPasted(image::TexturePtr picture, float seconds);
  // Reads path, or takes it from the pictures read ahead; null when it cannot be read.
  // stamp is the file's as it was before the read.
  image::TexturePtr ReadPicture(const char* path, FileStamp& stamp);
  // Drops the current picture and every undo state, detaching the display; an unchanged
  // picture goes to the read-ahead as the neighbour of previousPath.
  void DropPicture(const std::string& previousPath);
  // Finishes an open whose read result is in current_ (null: failed); its answer.
  int ShowOpened(platform::Stopwatch& sw);
  void SetTitle(std::string title);
  void ShowImage(const image::Texture* image);
  void ApplyOrientation(int orientation);
  // Starts reading the full picture when the current one is a stand-in.
  void StartFullPicture();
  // The full picture's read has ended: shows it (wait: waits for the read).
  void ShowFullPicture(bool wait);
  void CancelFullPicture();

  ControllerObserver* observer_ = nullptr;
  BrowserList* browser_ = nullptr;
  PictureReader reader_;
  PictureTest pictureTest_;
  ClipboardWriter clipboardWriter_;
  ExifWindowModel exif_;
  bool correctOrientation_ = false;
  bool infoOverlay_ = false;

  image::TexturePtr current_;
  image::TexturePtr editBackup_;
  image::TexturePtr undo_;
  image::TexturePtr redo_;
  std::string currentPath_;
  bool loadFailed_ = false;
  float loadTime_ = 0.0f;
  std::string title_ = "Vistaloom";
  StatusTexts status_;
  bool hasInfo_ = false;
  InfoList info_;
  std::unique_ptr<StepReadAhead> readAhead_;
  // The current picture is as its file reads (not turned, not changed): a step away from it
  // keeps it for reading ahead.
  bool pristine_ = false;
  FileStamp currentStamp_;  // the file of the current picture, as it was read
  int lastDirection_ = +1;
  bool readAheadOnStep_ = false;
  PictureReader fullReader_;  // set with quick views: reads the full picture
  std::unique_ptr<FullPictureReader> full_;
  uint64_t fullTicket_ = 0;
  // Jobs queued by the worker find the controller through this only while it lives.
  std::shared_ptr<Controller*> self_ = std::make_shared<Controller*>(this);
};

}  // namespace vl::app
