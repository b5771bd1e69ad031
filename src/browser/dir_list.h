// The browser's file list of one directory: rows of name, size, date and type, sorted by
// a column, with the type of each file found in the background by "NDirlistScannerTask".
//
// Threads: everything here runs on the GUI thread, except the scanner's unit of work,
// which writes typeName and typeGroup of queued rows under Semaphore(), and, with a
// main-thread queue set, the reading of the directory: LoadDirectory then opens the
// directory, says "Reading..." and returns; a worker reads and types the files and sorts
// them, and the rows reach the list in one step through the queue, after which the loaded
// callback and the next status text follow as in a synchronous read. A new LoadDirectory
// stops a read in flight and drops its rows; WaitLoaded() finishes one at once. The GUI
// calls TimerTick() every 250 ms while TimerInstalled() (the headless tools call it too).
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "browser/dir_entry.h"
#include "browser/entry_scanner.h"
#include "browser/view.h"
#include "platform/main_thread_queue.h"

namespace vl::browser {

class DirList : public BrowserView {
 public:
  using LoadedCallback = std::function<void(void* data, DirList& list)>;
  using StatusCallback = std::function<void(const std::string& text)>;
  using RowCallback = std::function<void(int position)>;

  DirList();
  ~DirList() override;
  DirList(const DirList&) = delete;
  DirList& operator=(const DirList&) = delete;

  // Settable attributes. A directory that differs from the current one replaces it and
  // reloads; the same path does nothing. SetInitialDirectory only sets the path.
  void SetInitialDirectory(const std::string& path);
  void SetDirectory(const std::string& path) override;
  const std::string& Directory() const override { return directory_; }
  void SetLoadedCallback(LoadedCallback cb, void* data) { loaded_ = std::move(cb), loadedData_ = data; }
  void SetShowIconFiles(bool on) { showIconFiles_ = on; }
  void SetShowNonImageFiles(bool on) { showNonImageFiles_ = on; }
  void SetStatusCallback(StatusCallback cb) { statusCallback_ = std::move(cb); }
  // Called when a row's cells changed (the widget redraws it).
  void SetRowChangedCallback(RowCallback cb) { rowChanged_ = std::move(cb); }
  // Called after the loaded callback whenever the rows of a read have arrived (complete or
  // not), for the owner of the list rather than its widgets.
  void SetArrivalHook(std::function<void()> hook) { arrival_ = std::move(hook); }
  void SetShown(bool shown) { shown_ = shown; }
  const std::string& StatusText() const { return status_; }
  bool Busy() const { return busy_; }
  bool Complete() const { return complete_; }
  bool HasScanner() const { return scanner_.HasTask(); }

  // Null (the default): LoadDirectory reads on the calling thread and returns with the
  // rows in place. Otherwise the directory is read on a worker and queue, drained on this
  // list's thread, hands the rows over; queue outlives the list.
  void SetMainThreadQueue(platform::MainThreadQueue* queue) { queue_ = queue; }
  void LoadDirectory() override;
  // Deferred reading: LoadDirectory only notes that the directory is to be read, and the next
  // WaitLoaded() reads it on the calling thread; for a front end whose commands seldom need
  // the list, which then costs nothing until they do.
  void SetDeferred(bool on) { deferred_ = on; }
  // A background read is in flight (its rows have not arrived), or a deferred one waits.
  bool Loading() const { return read_ != nullptr || pendingRead_; }
  // Finishes a read in flight on the calling thread: the rows are in place and the loaded
  // callback has run when this returns.
  void WaitLoaded();
  void ActivateWhenLoaded(const std::string& name) override;
  // The row at position, or null. Its typeName may be written by the scanner: read it
  // under Semaphore() while the scanner runs.
  DirEntry* GetEntry(int position);
  int EntryCount() const override { return static_cast<int>(rows_.size()); }
  bool GetEntryInfo(int position, EntryInfo& info) override;
  int FindEntry(const std::string& name) override;
  void RenameEntry(const std::string& oldName, const std::string* newName) override;
  void RescanEntry(int position) override;
  void RemoveEntry(int position) override;
  std::vector<std::string> GetSelectedNames() override;
  int ActiveEntry() const override;
  void SetActiveEntry(int position) override;
  void SelectEntry(int position, bool selected) override;
  bool IsSelected(int position) const;

  // Sorting: a click on a column title makes it the sort column; a second click on the
  // same title flips the direction.
  void ClickColumnTitle(int column);
  void SetSecondaryColumn(int column);
  void SetSort(int column, bool reverse);
  int SortColumn() const { return sortColumn_; }
  bool Reverse() const { return reverse_; }
  void Sort();

  // The texts of one row's four cells (Name, Size, Date, Type), read under the lock.
  std::vector<std::string> RowTexts(int position, std::time_t now);

  bool TimerInstalled() const override { return timerInstalled_; }
  void TimerTick() override;
  // True from a start of the scanner until the tick has seen its end marker.
  bool Scanning() const override { return scanner_.Scanning(); }

  ContextMenuState ContextMenuFor(int position) override;

  std::recursive_mutex& Semaphore() { return scanner_.Lock(); }

 private:
  struct Row {
    std::unique_ptr<DirEntry> entry;
    bool selected = false;
  };
  struct Read;
  void SetStatus(const std::string& text);
  void StartScanner();
  // Ends a read in flight without taking its rows.
  void CancelRead();
  // Reads the directory, on a worker handing the rows over through queue, or here without one.
  void ReadDirectory(platform::MainThreadQueue* queue);
  // Puts the rows of a finished read in place and reports them.
  void Install(Read& read);

  std::string directory_;
  std::vector<Row> rows_;
  DirEntry* active_ = nullptr;
  LoadedCallback loaded_;
  void* loadedData_ = nullptr;
  StatusCallback statusCallback_;
  RowCallback rowChanged_;
  std::function<void()> arrival_;
  std::string status_;
  bool busy_ = false;
  bool showIconFiles_ = false;
  bool showNonImageFiles_ = false;
  bool complete_ = false;
  bool shown_ = true;
  bool timerInstalled_ = false;
  int sortColumn_ = kColumnName;
  int secondaryColumn_ = kNoColumn;
  bool reverse_ = false;
  platform::MainThreadQueue* queue_ = nullptr;
  bool deferred_ = false;
  bool pendingRead_ = false;    // a deferred read waits for WaitLoaded()
  std::shared_ptr<Read> read_;  // the background read in flight
  std::thread reader_;
  std::string pendingActive_;  // made active when the rows arrive
  // Lives as long as a queued handover may look at the list; cleared on destruction.
  std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);
  EntryScanner scanner_;  // last: its task ends before the rows go
};

}  // namespace vl::browser
