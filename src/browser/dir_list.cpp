#include "browser/dir_list.h"

#include <dirent.h>

#include <algorithm>
#include <memory>
#include <system_error>
#include <utility>

#include "formats/decoders.h"
#include "formats/file_type.h"
#include "platform/paths.h"
#include "platform/stop_flag.h"

namespace vl::browser {
namespace {

// Finds the type of one file; the row keeps it only when one was found.
class TypeUnit : public EntryScanner::Unit {
 public:
  explicit TypeUnit(DirEntry* entry) : entry_(entry) {}
  void Examine(const std::string& path) override { type_ = formats::GetDataTypeName(path.c_str()); }
  bool Store() override {
    if (type_.group == 0) return false;
    entry_->typeName = type_.name;
    entry_->typeGroup = type_.group;
    return true;
  }

 private:
  DirEntry* entry_;
  formats::DataTypeName type_;
};

EntryScanner::Options ScannerOptions() {
  EntryScanner::Options o;
  o.taskName = "NDirlistScannerTask";
  o.failureText = "[NDirlist]: Failed to initialize subtask";
  return o;
}

}  // namespace

DirList::DirList()
    : scanner_(ScannerOptions(), [](void* entry, std::string& name) -> std::unique_ptr<EntryScanner::Unit> {
        auto* e = static_cast<DirEntry*>(entry);
        name = e->name;
        return std::make_unique<TypeUnit>(e);
      }) {
  scanner_.Launch();
}

DirList::~DirList() {
  *alive_ = false;
  CancelRead();
}

void DirList::StartScanner() {
  if (scanner_.Start()) timerInstalled_ = true;
}

void DirList::SetStatus(const std::string& text) {
  status_ = text;
  if (statusCallback_) statusCallback_(status_);
}

void DirList::SetInitialDirectory(const std::string& path) {
  directory_ = path.substr(0, kMaxPathLength);
}

void DirList::SetDirectory(const std::string& path) {
  std::string p = path.substr(0, kMaxPathLength);
  if (p == directory_) return;
  directory_ = p;
  LoadDirectory();
}

// One reading of the directory: what it needs is copied in at the start, so the worker
// touches nothing of the list; the rows it builds go over to the list in one piece.
struct DirList::Read {
  std::string dirPath;
  bool showIconFiles = false;
  bool showNonImageFiles = false;
  int sortColumn = kColumnName;
  int secondaryColumn = kNoColumn;
  bool reverse = false;

  platform::StopFlag stop;
  std::vector<Row> rows;
  std::vector<void*> toScan;  // files whose type the scanner finds
  int counted = 0;
  bool complete = false;

  // Reads, types and sorts the entries of dir and closes it; a stop request leaves the
  // read incomplete.
  void Run(DIR* dir);
};

void DirList::Read::Run(DIR* dir) {
  while (dirent* d = ::readdir(dir)) {
    if (stop.Requested()) break;
    std::string name = d->d_name;
    if (name == "." || name == "..") continue;
    if (!showIconFiles && name.find(".info") != std::string::npos) continue;
    std::string full = dirPath;
    if (!platform::AddPart(full, name, kMaxPathLength)) continue;
    auto entry = std::make_unique<DirEntry>();
    if (!ExamineEntry(full, name, *entry)) continue;
    if (entry->isDirectory) {
      rows.push_back({std::move(entry), false});
    } else if (showNonImageFiles) {
      toScan.push_back(entry.get());
      rows.push_back({std::move(entry), false});
      ++counted;
    } else {
      ++counted;
      formats::DataTypeName t = formats::GetDataTypeName(full.c_str());
      if (t.group != formats::kGroupPicture) continue;
      entry->typeName = t.name;
      entry->typeGroup = t.group;
      rows.push_back({std::move(entry), false});
    }
  }
  ::closedir(dir);
  if (stop.Requested()) return;
  complete = true;
  std::stable_sort(rows.begin(), rows.end(), [this](const Row& a, const Row& b) {
    return CompareEntries(sortColumn, secondaryColumn, *a.entry, *b.entry, reverse) < 0;
  });
}

void DirList::CancelRead() {
  if (read_) read_->stop.Request();
  read_.reset();
  if (reader_.joinable()) reader_.join();
}

void DirList::LoadDirectory() {
  CancelRead();
  pendingActive_.clear();
  pendingRead_ = false;
  if (deferred_) {
    scanner_.Stop();
    {
      std::lock_guard<std::recursive_mutex> lock(scanner_.Lock());
      rows_.clear();
      active_ = nullptr;
    }
    complete_ = false;
    pendingRead_ = true;
    return;
  }
  ReadDirectory(queue_);
}

void DirList::ReadDirectory(platform::MainThreadQueue* queue) {
  std::string dirPath = platform::ResolvePath(directory_);
  DIR* dir = ::opendir(dirPath.c_str());
  scanner_.Stop();
  {
    std::lock_guard<std::recursive_mutex> lock(scanner_.Lock());
    rows_.clear();
    active_ = nullptr;
    scanner_.SetDirectory(dirPath);
  }
  complete_ = false;
  auto read = std::make_shared<Read>();
  read->dirPath = dirPath;
  read->showIconFiles = showIconFiles_;
  read->showNonImageFiles = showNonImageFiles_;
  read->sortColumn = sortColumn_;
  read->secondaryColumn = secondaryColumn_;
  read->reverse = reverse_;
  if (!dir) {
    Install(*read);
    return;
  }
  SetStatus(kStatusReading);
  busy_ = true;
  if (queue) {
    read_ = read;
    try {
      reader_ = std::thread([this, read, dir, queue, alive = alive_] {
        read->Run(dir);
        if (read->stop.Requested()) return;
        queue->Push([this, read, alive] {
          // A later read or the list's end dropped this one.
          if (!*alive || read_ != read) return;
          WaitLoaded();
        });
      });
      return;
    } catch (const std::system_error&) {
      read_.reset();  // no thread to be had: read here
    }
  }
  read->Run(dir);
  Install(*read);
}

void DirList::WaitLoaded() {
  if (pendingRead_) {
    // The deferred read, here and now; the entry named meanwhile becomes active with the rows.
    pendingRead_ = false;
    ReadDirectory(nullptr);
    return;
  }
  if (!read_) return;
  if (reader_.joinable()) reader_.join();
  std::shared_ptr<Read> read = std::move(read_);
  Install(*read);
}

void DirList::Install(Read& read) {
  {
    std::lock_guard<std::recursive_mutex> lock(scanner_.Lock());
    rows_ = std::move(read.rows);
    active_ = nullptr;
  }
  scanner_.QueueAll(read.toScan);
  complete_ = read.complete;
  if (complete_ &&
      (read.sortColumn != sortColumn_ || read.secondaryColumn != secondaryColumn_ || read.reverse != reverse_))
    Sort();
  if (!pendingActive_.empty()) {
    SetActiveEntry(FindEntry(pendingActive_));
    pendingActive_.clear();
  }
  if (complete_ && loaded_) loaded_(loadedData_, *this);
  if (arrival_) arrival_();
  StartScanner();
  if (read.counted > 0 && scanner_.HasTask()) {
    SetStatus(kStatusScanning);
  } else {
    SetStatus(kStatusReady);
    busy_ = false;
  }
}

void DirList::ActivateWhenLoaded(const std::string& name) {
  if (read_ || pendingRead_) {
    pendingActive_ = name;
    return;
  }
  BrowserView::ActivateWhenLoaded(name);
}

DirEntry* DirList::GetEntry(int position) {
  if (position < 0 || position >= EntryCount()) return nullptr;
  return rows_[static_cast<size_t>(position)].entry.get();
}

bool DirList::GetEntryInfo(int position, EntryInfo& info) {
  std::lock_guard<std::recursive_mutex> lock(scanner_.Lock());
  DirEntry* e = GetEntry(position);
  if (!e) return false;
  info.name = e->name;
  info.isDirectory = e->isDirectory != 0;
  info.typeName = e->typeName ? *e->typeName : std::string();
  info.isPicture = e->typeGroup == formats::kGroupPicture;
  return true;
}

int DirList::FindEntry(const std::string& name) {
  for (size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i].entry->name == name) return static_cast<int>(i);
  return -1;
}

void DirList::RenameEntry(const std::string& oldName, const std::string* newName) {
  std::lock_guard<std::recursive_mutex> lock(scanner_.Lock());
  int pos = FindEntry(oldName);
  if (pos < 0 || !newName) return;
  rows_[static_cast<size_t>(pos)].entry->name = *newName;
  if (rowChanged_) rowChanged_(pos);
  Sort();
}

void DirList::RescanEntry(int position) {
  if (scanner_.Requeue(GetEntry(position), false)) {
    TimerTick();
    StartScanner();
  }
}

void DirList::RemoveEntry(int position) {
  DirEntry* e = GetEntry(position);
  if (!e) return;
  scanner_.Withdraw(e);
  std::lock_guard<std::recursive_mutex> lock(scanner_.Lock());
  if (active_ == e) active_ = nullptr;
  rows_.erase(rows_.begin() + position);
}

std::vector<std::string> DirList::GetSelectedNames() {
  std::vector<std::string> out;
  for (const Row& r : rows_)
    if (r.selected) out.push_back(r.entry->name);
  return out;
}

int DirList::ActiveEntry() const {
  for (size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i].entry.get() == active_ && active_) return static_cast<int>(i);
  return -1;
}

void DirList::SetActiveEntry(int position) {
  DirEntry* e = GetEntry(position);
  active_ = e;
}

void DirList::SelectEntry(int position, bool selected) {
  if (position >= 0 && position < EntryCount()) rows_[static_cast<size_t>(position)].selected = selected;
}

bool DirList::IsSelected(int position) const {
  return position >= 0 && position < EntryCount() && rows_[static_cast<size_t>(position)].selected;
}

void DirList::ClickColumnTitle(int column) {
  if (column < kColumnName || column > kColumnType) return;
  if (column == sortColumn_) {
    reverse_ = !reverse_;
  } else {
    sortColumn_ = column;
    reverse_ = false;
  }
  Sort();
}

void DirList::SetSecondaryColumn(int column) {
  secondaryColumn_ = (column >= kColumnName && column <= kColumnType) ? column : kNoColumn;
  Sort();
}

void DirList::SetSort(int column, bool reverse) {
  if (column >= kColumnName && column <= kColumnType) sortColumn_ = column;
  reverse_ = reverse;
  Sort();
}

void DirList::Sort() {
  std::lock_guard<std::recursive_mutex> lock(scanner_.Lock());
  const int column = sortColumn_, secondary = secondaryColumn_;
  const bool reverse = reverse_;
  std::stable_sort(rows_.begin(), rows_.end(), [&](const Row& a, const Row& b) {
    return CompareEntries(column, secondary, *a.entry, *b.entry, reverse) < 0;
  });
}

std::vector<std::string> DirList::RowTexts(int position, std::time_t now) {
  std::lock_guard<std::recursive_mutex> lock(scanner_.Lock());
  DirEntry* e = GetEntry(position);
  if (!e) return {};
  return {e->name, SizeText(*e), FormatDateText(e->date, now), TypeText(*e)};
}

void DirList::TimerTick() {
  std::lock_guard<std::recursive_mutex> lock(scanner_.Lock());
  std::vector<void*> done = scanner_.TakeDone();
  for (void* node : done) {
    if (node) {
      if (shown_ && rowChanged_) {
        for (size_t i = 0; i < rows_.size(); ++i)
          if (rows_[i].entry.get() == node) rowChanged_(static_cast<int>(i));
      }
    } else {
      SetStatus(kStatusReady);
      busy_ = false;
      timerInstalled_ = false;
      scanner_.MarkEnded();
    }
  }
}

ContextMenuState DirList::ContextMenuFor(int position) {
  ContextMenuState m;
  EntryInfo info;
  if (!GetEntryInfo(position, info)) return m;
  SetActiveEntry(position);
  m.valid = true;
  m.title = " " + info.name + " ";
  m.jpegEnabled = !info.isDirectory && info.typeName == "JPEG";
  m.fileItemsEnabled = !info.isDirectory;
  return m;
}

}  // namespace vl::browser
