#include "browser/browser.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "browser/nocase.h"
#include "formats/clipboard.h"
#include "formats/file_copy.h"
#include "formats/file_tree.h"
#include "formats/jpeg_transform.h"
#include "platform/paths.h"
#include "platform/requester.h"

namespace vl::browser {
namespace {

constexpr size_t kMaxFullPath = 1023;
const std::string kBold =
    "\x1b"
    "b";
const std::string kNormal =
    "\x1b"
    "n";

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// Renames without replacing an existing file; a name that is already taken fails.
bool RenameNoReplace(const std::string& from, const std::string& to) {
#ifdef RENAME_NOREPLACE
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
#endif
  struct stat st;
  if (::lstat(to.c_str(), &st) == 0) return false;
  return ::rename(from.c_str(), to.c_str()) == 0;
}

bool ValidFileName(const std::string& name) {
  return !name.empty() && name.size() <= NAME_MAX && name != "." && name != ".." &&
         name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

// The lossless transformation in place, with the partial edge blocks that cannot be
// moved trimmed off, so the result never has an untransformed strip at an edge.
bool TransformInPlace(const std::string& file, int op, std::string& error) {
  using formats::JpegTransformation;
  static const JpegTransformation kOps[] = {JpegTransformation::kRotate90, JpegTransformation::kRotate180,
                                            JpegTransformation::kRotate270, JpegTransformation::kFlipHorizontal,
                                            JpegTransformation::kFlipVertical};
  if (op < kJpegRotate90 || op > kJpegFlipV) return false;
  return formats::ExecuteJpegTransform(file, file, kOps[op - kJpegRotate90], true, nullptr, error);
}

}  // namespace

DirBrowser::DirBrowser(BrowserView* view) : view_(view), transformer_(&TransformInPlace) {
  if (view_) current_ = view_->Directory();
}

DirBrowser::~DirBrowser() {
  if (notifyFd_ >= 0) ::close(notifyFd_);
}

void DirBrowser::SetView(BrowserView* view) {
  EntryInfo info;
  const bool hadActive = view_ && view_->GetEntryInfo(view_->ActiveEntry(), info);
  view_ = view;
  if (!view_) return;
  if (!current_.empty()) {
    // A view that already shows the directory may have missed changes while it was hidden.
    if (view_->Directory() == current_)
      view_->LoadDirectory();
    else
      view_->SetDirectory(current_);
  }
  // A view that reads in the background makes the entry active when its rows arrive.
  if (hadActive) view_->ActivateWhenLoaded(info.name);
  Notify(BrowserChange::kDirectory);
}

void DirBrowser::SetCurrentDirectory(const std::string& path) {
  StopNotify();
  current_ = path;
  // Pointed at the directory it already shows, the view reads it again.
  if (view_ && view_->Directory() == path) {
    view_->LoadDirectory();
  } else if (view_) {
    view_->SetDirectory(path);
  }
  missedChange_ = false;
  StartNotify();
  Remember(1, path);
  Notify(BrowserChange::kDirectory);
}

bool DirBrowser::GoTo(const std::string& typed, std::string& error) {
  if (typed.empty()) {
    error = "No directory given";
    return false;
  }
  if (typed.size() > kMaxFullPath || typed.find('\0') != std::string::npos) {
    error = "Not a valid path";
    return false;
  }
  // A relative name is taken from the shown directory.
  std::string path = typed;
  if (typed[0] != '/' && typed.find(':') == std::string::npos && !current_.empty()) {
    path = FullPath(typed);
    if (path.empty()) {
      error = "Not a valid path";
      return false;
    }
  }
  const std::string resolved = platform::ResolvePath(path);
  struct stat st;
  if (::stat(resolved.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    error = "Not a directory: " + typed;
    return false;
  }
  if (::access(resolved.c_str(), R_OK | X_OK) != 0) {
    error = "Cannot read the directory " + typed;
    return false;
  }
  SetCurrentDirectory(resolved);
  return true;
}

void DirBrowser::SetActiveEntry(int position) {
  if (!view_) return;
  view_->SetActiveEntry(position);
  Notify(BrowserChange::kActive);
}

int DirBrowser::FindPrefix(const std::string& prefix) const {
  if (!view_ || prefix.empty()) return -1;
  const int count = view_->EntryCount();
  EntryInfo info;
  for (int i = 0; i < count; ++i) {
    if (!view_->GetEntryInfo(i, info) || info.name.size() < prefix.size()) continue;
    if (CompareNoCase(std::string_view(info.name).substr(0, prefix.size()), prefix) == 0) return i;
  }
  return -1;
}

std::string DirBrowser::FullPath(const std::string& name) const {
  std::string full = platform::ResolvePath(current_);
  if (!platform::AddPart(full, name, kMaxFullPath)) return {};
  return full;
}

std::vector<std::string> DirBrowser::TargetNames() const {
  if (!view_) return {};
  std::vector<std::string> names = view_->GetSelectedNames();
  if (names.empty()) {
    EntryInfo info;
    if (view_->GetEntryInfo(view_->ActiveEntry(), info)) names.push_back(info.name);
  }
  return names;
}

bool DirBrowser::DeleteOne(const std::string& name, bool ask, bool& yesToAll, bool& cancelled) {
  std::string full = FullPath(name);
  if (full.empty()) return false;
  struct stat st;
  if (::lstat(full.c_str(), &st) != 0) return false;
  const bool isDir = S_ISDIR(st.st_mode);
  if (ask && !yesToAll) {
    std::string text = std::string("Are you sure you want to delete ") + (isDir ? "directory" : "file") + " " + kBold +
                       name + kNormal + " from disk?";
    int answer = platform::CurrentRequester().Ask("Delete...", text, "*Yes|Yes to all|Cancel");
    if (answer == 1) {
      yesToAll = true;
    } else if (answer != 0) {
      cancelled = true;
      return false;
    }
  }
  // A symbolic link is removed itself, never what it points to.
  bool ok = isDir ? formats::DeleteTree(full.c_str()) : ::unlink(full.c_str()) == 0;
  if (ok && view_) {
    int pos = view_->FindEntry(name);
    if (pos >= 0) view_->RemoveEntry(pos);
  }
  return ok;
}

void DirBrowser::Delete(bool ask) {
  if (!view_) return;
  Quiet quiet(*this);
  int active = view_->ActiveEntry();
  bool yesToAll = false, cancelled = false;
  for (const std::string& name : TargetNames()) {
    DeleteOne(name, ask, yesToAll, cancelled);
    if (cancelled) break;
  }
  int count = view_->EntryCount();
  if (count > 0) view_->SetActiveEntry(active < 0 ? -1 : (active < count ? active : count - 1));
  Notify(BrowserChange::kEntries);
}

void DirBrowser::CopyMove(int slot, bool move) {
  if (!view_ || slot < 0 || slot > kRememberSlots) return;
  std::string destination;
  if (slot >= 1) {
    destination = slots_[static_cast<size_t>(slot - 1)];
    if (destination.empty()) return;
  } else {
    if (!drawerRequester_) return;
    std::optional<std::string> chosen = drawerRequester_();
    if (!chosen || chosen->empty()) return;
    destination = *chosen;
  }
  {
    Quiet quiet(*this);
    std::vector<CopyItem> items;
    for (const std::string& name : TargetNames()) items.push_back({FullPath(name), name});
    CopyItems(items, platform::ResolvePath(destination), [this, move](const CopyItem& item) {
      if (!move) return;
      bool yesToAll = true, cancelled = false;
      DeleteOne(item.name, false, yesToAll, cancelled);
    });
  }
  if (move) Notify(BrowserChange::kEntries);
  if (slot == 0) Remember(0, destination);
}

void DirBrowser::CopyItems(const std::vector<CopyItem>& items, const std::string& destDir,
                           const std::function<void(const CopyItem&)>& afterCopy) {
  enum class State { Ask, ReplaceAll, SkipAll, Abort } state = State::Ask;
  for (const CopyItem& item : items) {
    if (state == State::Abort) break;
    const std::string& source = item.source;
    std::string target = destDir;
    if (source.empty() || !platform::AddPart(target, item.name, kMaxFullPath)) {
      platform::CurrentRequester().Error("Failed to copy file:\n" + source + " to\n" + target);
      continue;
    }
    // Copying a file onto itself would destroy it when moving; there is nothing to do.
    if (SameFile(source, target)) continue;
    struct stat st;
    if (::stat(target.c_str(), &st) == 0 && st.st_size != 0) {
      if (state == State::SkipAll) continue;
      if (state != State::ReplaceAll) {
        std::string text =
            "Destination file " + kBold + std::string(platform::FilePart(target)) + " " + kNormal + "already exists";
        if (items.size() > 1) {
          int a = platform::CurrentRequester().Ask("Vistaloom request", text,
                                                   "*_Replace|Replace _All|_Skip|S_kip All|Abort ");
          if (a == 1) {
            state = State::ReplaceAll;
          } else if (a == 2) {
            continue;
          } else if (a == 3) {
            state = State::SkipAll;
            continue;
          } else if (a != 0) {
            state = State::Abort;
            continue;
          }
        } else {
          int a = platform::CurrentRequester().Ask("Vistaloom request", text, "*_Replace|Abort ");
          if (a != 0) {
            state = State::Abort;
            continue;
          }
        }
      }
    }
    if (formats::CopyFile(source.c_str(), target.c_str()) != 1) {
      platform::CurrentRequester().Error("Failed to copy file:\n" + source + " to\n" + target);
      continue;
    }
    if (afterCopy) afterCopy(item);
  }
}

void DirBrowser::CopyInto(const std::vector<std::string>& sources) {
  if (current_.empty() || sources.empty()) return;
  std::vector<CopyItem> items;
  for (const std::string& source : sources) {
    std::string name(platform::FilePart(source));
    if (source.size() > kMaxFullPath || !ValidFileName(name)) {
      platform::CurrentRequester().Error("Failed to copy file:\n" + source + " to\n" + current_);
      continue;
    }
    items.push_back({source, std::move(name)});
  }
  if (items.empty()) return;
  {
    Quiet quiet(*this);
    CopyItems(items, platform::ResolvePath(current_), {});
  }
  Reload();
}

void DirBrowser::RenameFile() {
  if (!view_ || !renameWindow_) return;
  EntryInfo info;
  if (!view_->GetEntryInfo(view_->ActiveEntry(), info)) return;
  std::optional<std::string> newName = renameWindow_(info.name);
  if (newName) RenameFileTo(info.name, *newName);
}

bool DirBrowser::RenameFileTo(const std::string& oldName, const std::string& newName) {
  if (oldName == newName) return true;
  Quiet quiet(*this);
  std::string from = FullPath(oldName), to = FullPath(newName);
  if (!ValidFileName(oldName) || !ValidFileName(newName) || from.empty() || to.empty() || !RenameNoReplace(from, to)) {
    platform::CurrentRequester().Error("Failed to rename a file");
    return false;
  }
  if (view_) view_->RenameEntry(oldName, &newName);
  Notify(BrowserChange::kEntries);
  return true;
}

void DirBrowser::TransformJpeg(int op) {
  if (!view_ || op < kJpegRotate90 || op > kJpegFlipV || !transformer_) return;
  EntryInfo info;
  if (!view_->GetEntryInfo(view_->ActiveEntry(), info) || info.isDirectory) return;
  std::string file = FullPath(info.name);
  if (file.empty()) return;
  Quiet quiet(*this);
  std::string error;
  bool ok = transformer_(file, op, error);
  // Whatever happened, no temporary file stays behind; the file itself is replaced only
  // by a complete result.
  std::string temp = file + kTempSuffix;
  struct stat st;
  if (::lstat(temp.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::unlink(temp.c_str());
  if (!ok) {
    if (!error.empty()) platform::CurrentRequester().Error(error);
    return;
  }
  int now = view_->FindEntry(info.name);
  if (now >= 0) view_->RescanEntry(now);
  if (fileChanged_) fileChanged_(file);
}

std::string DirBrowser::ClipboardText(bool fullPath) const {
  EntryInfo info;
  if (!view_ || !view_->GetEntryInfo(view_->ActiveEntry(), info)) return {};
  return fullPath ? FullPath(info.name) : info.name;
}

void DirBrowser::CopyName() {
  const std::string text = ClipboardText(false);
  if (!text.empty()) formats::ClipboardWriteText(text.c_str());
}

void DirBrowser::CopyPath() {
  const std::string text = ClipboardText(true);
  if (!text.empty()) formats::ClipboardWriteText(text.c_str());
}

void DirBrowser::Remember(int kind, const std::string& path) {
  if (path.empty()) return;
  auto& list = kind == 0 ? slots_ : history_;
  for (const std::string& s : list)
    if (EqualNoCase(s, path)) return;
  bool placed = false;
  for (std::string& s : list) {
    if (s.empty()) {
      s = path;
      placed = true;
      break;
    }
  }
  if (!placed) {
    for (size_t i = 0; i + 1 < list.size(); ++i) list[i] = std::move(list[i + 1]);
    list.back() = path;
  }
  if (menusChanged_) menusChanged_();
}

void DirBrowser::Parent() {
  std::string dir = platform::ResolvePath(current_);
  char* real = ::realpath(dir.c_str(), nullptr);
  if (!real) return;
  std::string p = real;
  std::free(real);
  size_t cut = p.find_last_of('/');
  std::string parent = (cut == 0 || cut == std::string::npos) ? std::string("/") : p.substr(0, cut);
  SetCurrentDirectory(parent);
}

void DirBrowser::Open() {
  EntryInfo info;
  if (!view_ || !view_->GetEntryInfo(view_->ActiveEntry(), info)) return;
  std::string full = FullPath(info.name);
  if (full.empty()) return;
  if (info.isDirectory) {
    SetCurrentDirectory(full);
  } else if (open_) {
    open_(full);
  }
}

bool DirBrowser::RunMenuAction(int id) {
  if (id >= kMenuCopySlot1 && id < kMenuCopySlot1 + kRememberSlots) {
    CopyMove(id - kMenuCopySlot1 + 1, false);
    return true;
  }
  if (id >= kMenuMoveSlot1 && id < kMenuMoveSlot1 + kRememberSlots) {
    CopyMove(id - kMenuMoveSlot1 + 1, true);
    return true;
  }
  switch (id) {
    case kMenuParent: Parent(); return true;
    case kMenuCopySelect: CopyMove(0, false); return true;
    case kMenuMoveSelect: CopyMove(0, true); return true;
    case kMenuDelete: Delete(true); return true;
    case kMenuRename: RenameFile(); return true;
    case kMenuRotate90: TransformJpeg(kJpegRotate90); return true;
    case kMenuRotate180: TransformJpeg(kJpegRotate180); return true;
    case kMenuRotateMinus90: TransformJpeg(kJpegRotateMinus90); return true;
    case kMenuFlipHorizontal: TransformJpeg(kJpegFlipH); return true;
    case kMenuFlipVertical: TransformJpeg(kJpegFlipV); return true;
    case kMenuCopyFilename: CopyName(); return true;
    case kMenuCopyFullPath: CopyPath(); return true;
    case kMenuOpen: Open(); return true;
    default: return false;
  }
}

bool DirBrowser::MakeActive(const std::string& name) {
  int pos = view_ ? view_->FindEntry(name) : -1;
  if (pos < 0) {
    std::puts("not found");
    return false;
  }
  view_->SetActiveEntry(pos);
  Notify(BrowserChange::kActive);
  return true;
}

std::vector<MenuItem> DirBrowser::LocationMenu(bool move) const {
  std::vector<MenuItem> items;
  const int first = move ? kMenuMoveSlot1 : kMenuCopySlot1;
  for (int i = 0; i < kRememberSlots; ++i) {
    const std::string& s = slots_[static_cast<size_t>(i)];
    items.push_back({first + i, s.empty() ? std::string(kEmptySlotLabel) : s, !s.empty()});
  }
  return items;
}

std::vector<MenuItem> DirBrowser::HistoryMenu() const {
  std::vector<MenuItem> items;
  for (int i = 0; i < kRememberSlots; ++i)
    if (!history_[static_cast<size_t>(i)].empty()) items.push_back({i + 1, history_[static_cast<size_t>(i)], true});
  if (items.empty()) items.push_back({0, kEmptyHistoryLabel, false});
  return items;
}

bool DirBrowser::ChooseHistory(int id) {
  if (id < 1 || id > kRememberSlots || history_[static_cast<size_t>(id - 1)].empty()) return false;
  std::string path = history_[static_cast<size_t>(id - 1)];
  SetCurrentDirectory(path);
  return true;
}

void DirBrowser::StopNotify() {
  if (quietDepth_++ > 0 || notifyFd_ < 0) return;
  // Changes already waiting came from elsewhere: they are acted on at the restart.
  if (DrainEvents()) missedChange_ = true;
  if (watchChanged_) watchChanged_(-1);
  ::close(notifyFd_);
  notifyFd_ = -1;
}

void DirBrowser::StartNotify() {
  if (quietDepth_ > 0 && --quietDepth_ > 0) return;
  if (notifyFd_ >= 0 || current_.empty()) return;
  int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd < 0) return;
  std::string dir = platform::ResolvePath(current_);
  const uint32_t mask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE | IN_ATTRIB |
                        IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
  if (::inotify_add_watch(fd, dir.c_str(), mask) < 0) {
    ::close(fd);
    return;
  }
  notifyFd_ = fd;
  if (watchChanged_) watchChanged_(fd);
  if (missedChange_) {
    missedChange_ = false;
    Reload();
  }
}

bool DirBrowser::DrainEvents() {
  if (notifyFd_ < 0) return false;
  bool changed = false;
  alignas(inotify_event) char buf[4096];
  for (;;) {
    ssize_t n = ::read(notifyFd_, buf, sizeof buf);
    if (n <= 0) break;
    for (ssize_t off = 0; off + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
      const auto* ev = reinterpret_cast<const inotify_event*>(buf + off);
      if (!(ev->mask & IN_IGNORED)) changed = true;
      off += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
    }
  }
  return changed;
}

void DirBrowser::Reload() {
  if (!view_) return;
  EntryInfo info;
  bool hadActive = view_->GetEntryInfo(view_->ActiveEntry(), info);
  view_->LoadDirectory();
  if (hadActive) view_->ActivateWhenLoaded(info.name);
  Notify(BrowserChange::kEntries);
}

bool DirBrowser::PollNotification() {
  if (!DrainEvents()) return false;
  Reload();
  return true;
}

}  // namespace vl::browser
