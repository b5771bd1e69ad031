#include <gtest/gtest.h>

#include <string>

#include "browser/volumes.h"
#include "platform/paths.h"
#include "test_support.h"

namespace vl::browser {
namespace {

std::string MountLine(int id, const std::string& mountPoint, const std::string& fsType, const std::string& source) {
  return std::to_string(id) + " 1 8:1 / " + mountPoint + " rw,relatime shared:1 - " + fsType + " " + source + " rw\n";
}

TEST(VolumeRows, TrailingColonIsShownOnce) {
  VolumeEntry e = MakeVolumeEntry("Work:", "sda1", false, "/work");
  EXPECT_EQ(e.name, "Work");
  EXPECT_EQ(e.nameText, "Work:");
  EXPECT_EQ(e.deviceText, "[sda1]");
  EXPECT_EQ(e.kind, kVolumeOnDevice);
  EXPECT_EQ(MakeVolumeEntry("Work", "sda1", false, "/work").nameText, "Work:");
}

TEST(VolumeRows, KindsFromTheDevice) {
  VolumeEntry ram = MakeVolumeEntry("/run", "tmpfs", true, "/run");
  EXPECT_EQ(ram.kind, kVolumeInMemory);
  EXPECT_EQ(ram.deviceText, "[tmpfs]");
  VolumeEntry assign = MakeVolumeEntry("HOME", "", false, "/root");
  EXPECT_EQ(assign.kind, kVolumeAssign);
  EXPECT_EQ(assign.deviceText, "");
  EXPECT_EQ(assign.nameText, "HOME:");
}

TEST(VolumeRows, SortOrder) {
  VolumeEntry b = MakeVolumeEntry("Alpha", "sdb1", false, "/a");
  VolumeEntry a = MakeVolumeEntry("Zeta", "SDA1", false, "/z");
  VolumeEntry ram = MakeVolumeEntry("Aaa", "tmpfs", true, "/r");
  VolumeEntry home = MakeVolumeEntry("HOME", "", false, "/h");
  VolumeEntry pics = MakeVolumeEntry("pictures", "", false, "/p");
  // Volumes on devices go by their device (case folded), not by their name.
  EXPECT_LT(CompareVolumes(a, b), 0);
  // Kind before everything else: a memory volume after every disk, assigns last.
  EXPECT_LT(CompareVolumes(b, ram), 0);
  EXPECT_LT(CompareVolumes(ram, home), 0);
  EXPECT_GT(CompareVolumes(home, a), 0);
  // Assigns go by name, case folded.
  EXPECT_LT(CompareVolumes(home, pics), 0);
  EXPECT_EQ(CompareVolumes(pics, pics), 0);
}

TEST(VolumeRows, SortOrderTable) {
  // Each row: two volumes (name, device, memory-backed) of which the first sorts first.
  struct Row {
    const char* name1;
    const char* device1;
    bool memory1;
    const char* name2;
    const char* device2;
    bool memory2;
  };
  const Row rows[] = {
      {"/z", "sda1", false, "/a", "sda10", false},             // by device, not by name
      {"/z", "sda10", false, "/a", "sda2", false},             // the device text, byte by byte
      {"/y", "NVME0n1p1", false, "/x", "nvme0n1p2", false},    // ASCII case folded
      {"/a", "sda1", false, "/b", "SDA1", false},              // equal devices: by name
      {"/media", "tmpfs", true, "/media/usb", "tmpfs", true},  // a parent before its child
      {"/run/b", "tmpfs", true, "/run/B2", "tmpfs", true},
      {"/zz", "zz", false, "/a", "tmpfs", true},  // kind before everything
      {"/a", "tmpfs", true, "Desktop", "", false},
      {"HOME", "", false, "Pictures", "", false},
      {"Music", "", false, "music2", "", false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.name1) + " / " + r.name2);
    VolumeEntry first = MakeVolumeEntry(r.name1, r.device1, r.memory1, "/1");
    VolumeEntry second = MakeVolumeEntry(r.name2, r.device2, r.memory2, "/2");
    EXPECT_LT(CompareVolumes(first, second), 0);
    EXPECT_GT(CompareVolumes(second, first), 0);
  }
}

TEST(MountInfo, DeviceTextsAndKindsOfTheParsedMounts) {
  std::string text =
      "27 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
      "garbage line\n"
      "30 27 8:17 / /media/My\\040Disk rw,nosuid shared:5 master:2 - vfat /dev/sdb1 rw\n"
      "31 27 8:17 / /no/dash rw x y z w\n"
      "32 27 0:30 / /dev/shm rw - tmpfs tmpfs rw\n"
      "33 27 0:31 / relative rw - ext4 /dev/sdc1 rw\n"
      "34 27 0:31 / /cut rw -";
  std::vector<platform::MountRecord> m = platform::ParseMountInfo(text);
  ASSERT_EQ(m.size(), 3u);
  EXPECT_EQ(MountDeviceText(m[1]), "sdb1");
  EXPECT_EQ(MountDeviceText(m[2]), "tmpfs");
  EXPECT_TRUE(IsMemoryFileSystem(m[2].fsType));
  EXPECT_TRUE(IsPseudoFileSystem("proc"));
  EXPECT_FALSE(IsPseudoFileSystem("ext4"));
}

TEST(UserDirs, ParsesTheShapesTheFileUses) {
  std::string text =
      "# comment\n"
      "XDG_PICTURES_DIR=\"$HOME/Pictures\"\n"
      "XDG_DESKTOP_DIR=\"$HOME\"\n"
      "XDG_MUSIC_DIR=\"/srv/music/\"\n"
      "XDG_VIDEOS_DIR=\"relative/videos\"\n"
      "XDG_BAD KEY_DIR=\"$HOME/x\"\n"
      "XDG_DOWNLOAD_DIR=$HOME/unquoted\n"
      "XDG_TEMPLATES_DIR=\"$HOMEX/t\"\n"
      "XDG_PUBLICSHARE_DIR=\"$HOME/$(rm)\"\n";
  std::vector<AssignPlace> d = ParseUserDirs(text, "/home/u");
  ASSERT_EQ(d.size(), 3u);
  EXPECT_EQ(d[0].name, "Pictures");
  EXPECT_EQ(d[0].path, "/home/u/Pictures");
  EXPECT_EQ(d[1].name, "Desktop");
  EXPECT_EQ(d[1].path, "/home/u");
  EXPECT_EQ(d[2].name, "Music");
  EXPECT_EQ(d[2].path, "/srv/music");
}

TEST(VolumeListFill, VolumesThenMemoryThenAssigns) {
  test::TempDir tmp;
  for (const char* d : {"a", "b", "c", "p", "home", "home/Pictures", "stack"}) {
    ASSERT_TRUE(platform::MakeDirectories(tmp.file(d)));
  }
  ASSERT_TRUE(test::WriteFile(tmp.file("file"), std::string("x")));
  std::string mi =
      MountLine(1, tmp.file("a"), "ext4", "/dev/sdb1") + MountLine(2, tmp.file("b"), "ext4", "/dev/sda1") +
      MountLine(3, tmp.file("c"), "tmpfs", "tmpfs") + MountLine(4, tmp.file("p"), "proc", "proc") +
      MountLine(5, tmp.file("file"), "ext4", "/dev/sda1") + MountLine(6, tmp.file("missing"), "ext4", "/dev/sdd1") +
      MountLine(7, tmp.file("stack"), "ext4", "/dev/sde1") + MountLine(8, tmp.file("stack"), "ext4", "/dev/sdf1");
  std::string dirs =
      "XDG_PICTURES_DIR=\"$HOME/Pictures\"\nXDG_DESKTOP_DIR=\"$HOME/\"\nXDG_MUSIC_DIR=\"$HOME/Missing\"\n";
  VolumeList list;
  list.Fill(mi, tmp.file("home"), dirs);
  std::vector<std::string> names, devices;
  for (const VolumeEntry& v : list.entries()) names.push_back(v.nameText), devices.push_back(v.deviceText);
  std::vector<std::string> expectNames = {
      tmp.file("b") + ":", tmp.file("a") + ":", tmp.file("stack") + ":", tmp.file("c") + ":", "HOME:", "Pictures:"};
  std::vector<std::string> expectDevices = {"[sda1]", "[sdb1]", "[sdf1]", "[tmpfs]", "", ""};
  EXPECT_EQ(names, expectNames);
  EXPECT_EQ(devices, expectDevices);
  ASSERT_EQ(list.entries().size(), 6u);
  EXPECT_EQ(list.entries()[4].path, tmp.file("home"));
  EXPECT_EQ(list.entries()[5].path, tmp.file("home/Pictures"));
}

TEST(VolumeListFill, ThisSystemHasTheRootAndHome) {
  test::TempDir tmp;
  test::ScopedEnv home("HOME", tmp.path());
  VolumeList list;
  list.Fill();
  bool root = false, homeSeen = false;
  for (const VolumeEntry& v : list.entries()) {
    if (v.path == "/") root = true;
    if (v.nameText == "HOME:") homeSeen = v.kind == kVolumeAssign && v.deviceText.empty();
  }
  EXPECT_TRUE(root);
  EXPECT_TRUE(homeSeen);
  for (size_t i = 1; i < list.entries().size(); ++i)
    EXPECT_LE(CompareVolumes(list.entries()[i - 1], list.entries()[i]), 0);
}

}  // namespace
}  // namespace vl::browser
