#include "browser/dir_list.h"

#include <dirent.h>

#include <algorithm>
#include <cstdio>

#include "formats/decoders.h"
#include "formats/file_utils.h"
#include "platform/paths.h"

namespace vl::browser {
namespace {

// Longest full path the list builds; longer names are not listed.
constexpr size_t kMaxPath = 4095;

void DirScannerEntry() {
  tasks::SubtaskHandlers h;
  h.command = [](tasks::Subtask* self, int16_t command, void* argument, bool& active) {
    static_cast<DirList*>(self->userData)->ScannerCommand(command, argument, active);
  };
  h.work = [](tasks::Subtask* self, bool& active) { static_cast<DirList*>(self->userData)->ScannerWork(active); };
  tasks::subtaskMainLoop(h);
}

}  // namespace

DirList::DirList() {
  scanner_ = tasks::subtaskCreate("NDirlistScannerTask", &DirScannerEntry, this, -1);
  if (!scanner_) std::puts("[NDirlist]: Failed to initialize subtask");
}

DirList::~DirList() {
  if (scanner_) {
    Send(kScanStop, nullptr);
    tasks::subtaskDestroy(scanner_);
    scanner_ = nullptr;
  }
  tasks::queueClearAll(queues_);
}

void DirList::Send(int16_t command, void* argument) {
  if (scanner_) tasks::subtaskSendMsg(scanner_, command, argument);
}

void DirList::StartScanner() {
  if (!scanner_) return;
  Send(kScanStart, nullptr);
  timerInstalled_ = true;
  scanning_ = true;
}

void DirList::SetStatus(const std::string& text) {
  status_ = text;
  if (statusCallback_) statusCallback_(status_);
}

void DirList::SetInitialDirectory(const std::string& path) {
  directory_ = path.substr(0, kMaxPath);
}

void DirList::SetDirectory(const std::string& path) {
  std::string p = path.substr(0, kMaxPath);
  if (p == directory_) return;
  directory_ = p;
  LoadDirectory();
}

void DirList::LoadDirectory() {
  std::string dirPath = platform::ResolvePath(directory_);
  DIR* dir = ::opendir(dirPath.c_str());
  Send(kScanStop, nullptr);
  scanning_ = false;
  {
    std::lock_guard<std::recursive_mutex> lock(queues_.lock);
    rows_.clear();
    active_ = nullptr;
    scanDirectory_ = dirPath;
  }
  complete_ = false;
  int counted = 0;
  if (dir) {
    SetStatus(kStatusReading);
    busy_ = true;
    while (dirent* d = ::readdir(dir)) {
      std::string name = d->d_name;
      if (name == "." || name == "..") continue;
      if (!showIconFiles_ && name.find(".info") != std::string::npos) continue;
      std::string full = dirPath;
      if (!platform::AddPart(full, name, kMaxPath)) continue;
      auto entry = std::make_unique<DirEntry>();
      if (!ExamineEntry(full, name, *entry)) continue;
      if (entry->isDirectory) {
        rows_.push_back({std::move(entry), false});
      } else if (showNonImageFiles_) {
        DirEntry* e = entry.get();
        rows_.push_back({std::move(entry), false});
        ++counted;
        Send(kScanQueue, e);
      } else {
        ++counted;
        formats::DataTypeName t = formats::GetDataTypeName(full.c_str());
        if (t.group != formats::kGroupPicture) continue;
        entry->typeName = t.name;
        entry->typeGroup = t.group;
        rows_.push_back({std::move(entry), false});
      }
    }
    complete_ = true;
    ::closedir(dir);
    Sort();
  }
  active_ = nullptr;
  if (complete_ && loaded_) loaded_(loadedData_, *this);
  StartScanner();
  if (counted > 0 && scanner_) {
    SetStatus(kStatusScanning);
  } else {
    SetStatus(kStatusReady);
    busy_ = false;
  }
}

DirEntry* DirList::GetEntry(int position) {
  if (position < 0 || position >= EntryCount()) return nullptr;
  return rows_[static_cast<size_t>(position)].entry.get();
}

bool DirList::GetEntryInfo(int position, EntryInfo& info) {
  std::lock_guard<std::recursive_mutex> lock(queues_.lock);
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
  std::lock_guard<std::recursive_mutex> lock(queues_.lock);
  int pos = FindEntry(oldName);
  if (pos < 0 || !newName) return;
  rows_[static_cast<size_t>(pos)].entry->name = *newName;
  if (rowChanged_) rowChanged_(pos);
  Sort();
}

void DirList::RescanEntry(int position) {
  DirEntry* e = GetEntry(position);
  if (!e || !scanner_) return;
  Send(kScanQueue, e);
  // The scanner takes the entry if it is still working; once it has gone idle (its end
  // marker is on the done list, or was collected), it is started again.
  if (!scanning_ || tasks::queueHasEndMarker(queues_)) {
    TimerTick();
    StartScanner();
  }
}

void DirList::RemoveEntry(int position) {
  DirEntry* e = GetEntry(position);
  if (!e) return;
  Send(kScanWithdraw, e);
  std::lock_guard<std::recursive_mutex> lock(queues_.lock);
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
  std::lock_guard<std::recursive_mutex> lock(queues_.lock);
  const int column = sortColumn_, secondary = secondaryColumn_;
  const bool reverse = reverse_;
  std::stable_sort(rows_.begin(), rows_.end(), [&](const Row& a, const Row& b) {
    return CompareEntries(column, secondary, *a.entry, *b.entry, reverse) < 0;
  });
}

std::vector<std::string> DirList::RowTexts(int position, std::time_t now) {
  std::lock_guard<std::recursive_mutex> lock(queues_.lock);
  DirEntry* e = GetEntry(position);
  if (!e) return {};
  return {e->name, SizeText(*e), FormatDateText(e->date, now), TypeText(*e)};
}

void DirList::TimerTick() {
  std::lock_guard<std::recursive_mutex> lock(queues_.lock);
  std::vector<void*> done = tasks::queueTakeDone(queues_);
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
      scanning_ = false;
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

void DirList::ScannerCommand(int16_t command, void* argument, bool& active) {
  switch (command) {
    case kScanStart: active = true; break;
    case kScanStop:
      tasks::queueClearAll(queues_);
      active = false;
      break;
    case kScanQueue:
      if (argument) tasks::queueAppendPending(queues_, argument);
      break;
    case kScanWithdraw:
      if (argument) tasks::queueWithdraw(queues_, argument);
      break;
    case kScanQueueHead:
      if (argument) tasks::queuePushPendingHead(queues_, argument);
      break;
    default: break;
  }
}

void DirList::ScannerWork(bool& active) {
  // The pending list changes only on this thread (commands are handled here between
  // units), so the head entry stays while the type is found outside the lock; only the
  // writes into the entry are made under it.
  DirEntry* entry = nullptr;
  std::string path;
  {
    std::lock_guard<std::recursive_mutex> lock(queues_.lock);
    if (queues_.pending.empty()) {
      active = false;
      tasks::queueAppendEndMarker(queues_);
      return;
    }
    entry = static_cast<DirEntry*>(queues_.pending.front());
    path = scanDirectory_;
    if (!platform::AddPart(path, entry->name, kMaxPath)) path.clear();
  }
  formats::DataTypeName t;
  if (!path.empty()) t = formats::GetDataTypeName(path.c_str());
  std::lock_guard<std::recursive_mutex> lock(queues_.lock);
  if (queues_.pending.empty() || queues_.pending.front() != entry) return;
  if (t.group != 0) {
    entry->typeName = t.name;
    entry->typeGroup = t.group;
    queues_.done.splice(queues_.done.end(), queues_.pending, queues_.pending.begin());
  } else {
    queues_.pending.pop_front();
  }
}

}  // namespace vl::browser
