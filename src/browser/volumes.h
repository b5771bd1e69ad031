// The volume list: the places a browser starts from. Mounted file systems are the
// volumes (memory-backed ones, tmpfs and ramfs, of their own kind), the home directory
// and the XDG user directories are the assigns.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/mounts.h"

namespace vl::browser {

enum VolumeKind : int32_t {
  kVolumeOnDevice = 0,  // a volume on a device
  kVolumeInMemory = 1,  // a memory-backed volume
  kVolumeAssign = 2,    // no device: an assign
};

struct VolumeEntry {
  std::string nameText;    // column 0: the name and one colon ("%s:")
  std::string deviceText;  // column 1: "[%s]" with the device name, or empty
  std::string name;        // without a trailing colon
  std::string device;      // empty when there is none (assigns)
  int32_t kind = kVolumeAssign;
  std::string path;  // the directory to show when the row is chosen
};

// Builds a row: removes one trailing ":" from name, takes the kind from the device
// (none: assign; memory-backed: kind 1; otherwise kind 0) and forms both column texts.
VolumeEntry MakeVolumeEntry(std::string_view name, std::string_view device, bool memoryBacked, std::string path);

// Kind first (0, 1, 2); within kind 0 by the device name, within kinds 1 and 2 by the
// volume name, both without regard to ASCII case. Negative, zero or positive.
int CompareVolumes(const VolumeEntry& a, const VolumeEntry& b);

// True for the file systems that hold no user files (proc, sysfs, cgroup, ...).
bool IsPseudoFileSystem(std::string_view fsType);
bool IsMemoryFileSystem(std::string_view fsType);
// The device name shown for a mount: its source without a leading "/dev/".
std::string MountDeviceText(const platform::MountRecord& mount);

struct AssignPlace {
  std::string name;
  std::string path;
};
// The XDG user directories named in user-dirs.dirs text ("XDG_PICTURES_DIR=\"$HOME/Pictures\""
// gives "Pictures"), with $HOME replaced by home. Lines of another shape are ignored.
std::vector<AssignPlace> ParseUserDirs(std::string_view text, const std::string& home);

class VolumeList {
 public:
  // Reads the mounts of this process, the home directory and the user directories.
  void Fill();
  // The same from given texts (the mount points and directories must exist to be listed).
  void Fill(std::string_view mountinfo, const std::string& home, std::string_view userDirs);

  const std::vector<VolumeEntry>& entries() const { return entries_; }

 private:
  std::vector<VolumeEntry> entries_;
};

}  // namespace vl::browser
