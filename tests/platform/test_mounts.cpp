#include <gtest/gtest.h>
#include <sys/sysmacros.h>

#include <string>
#include <vector>

#include "platform/mounts.h"

namespace vl::platform {
namespace {

TEST(MountInfo, ParsesFieldsAndEscapes) {
  std::string text =
      "27 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
      "garbage line\n"
      "30 27 8:17 / /media/My\\040Disk rw,nosuid shared:5 master:2 - vfat /dev/sdb1 rw\n"
      "31 27 8:17 / /no/dash rw x y z w\n"
      "32 27 0:30 / /dev/shm rw - tmpfs tmpfs rw\n"
      "33 27 0:31 / relative rw - ext4 /dev/sdc1 rw\n"
      "34 27 0:31 / /cut rw -";
  std::vector<MountRecord> m = ParseMountInfo(text);
  ASSERT_EQ(m.size(), 3u);
  EXPECT_EQ(m[0].mountPoint, "/");
  EXPECT_EQ(m[0].source, "/dev/vda");
  EXPECT_EQ(m[1].mountPoint, "/media/My Disk");
  EXPECT_EQ(m[1].fsType, "vfat");
  EXPECT_EQ(m[2].fsType, "tmpfs");
  EXPECT_EQ(m[2].source, "tmpfs");
}

TEST(MountInfo, EscapeAtTheEndOfAFieldStaysLiteral) {
  std::vector<MountRecord> m = ParseMountInfo("1 1 0:1 / /a\\04 rw - ext4 /dev/x rw\n");
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].mountPoint, "/a\\04");
}

// The kernel escapes space, tab, newline and backslash; what is not an escape of 1 to 255
// stays as written.
TEST(MountInfo, OctalEscapesInEveryTextField) {
  struct Case {
    const char* field;
    const char* decoded;
  } cases[] = {
      {"/media/CD\\040Disc", "/media/CD Disc"},
      {"/a\\011b", "/a\tb"},
      {"/a\\012b", "/a\nb"},
      {"/back\\134slash", "/back\\slash"},
      {"/two\\040\\040spaces", "/two  spaces"},
      {"/nul\\000kept", "/nul\\000kept"},
      {"/big\\400kept", "/big\\400kept"},
      {"/not\\08octal", "/not\\08octal"},
      {"/end\\", "/end\\"},
  };
  for (const Case& c : cases) {
    std::string line = std::string("7 1 8:1 / ") + c.field + " rw - ext4 /dev/my\\040disk rw\n";
    std::vector<MountRecord> m = ParseMountInfo(line);
    ASSERT_EQ(m.size(), 1u) << c.field;
    EXPECT_EQ(m[0].mountPoint, c.decoded) << c.field;
    EXPECT_EQ(m[0].source, "/dev/my disk") << c.field;
  }
}

TEST(MountInfo, DeviceNumbersAndFieldSeparators) {
  std::string text =
      "22 1 8:33 / /data rw master:3 unbindable - xfs /dev/mapper/vg-data rw\n"
      "23\t22\t259:65536\t/\t/tabs\trw\t-\text4\t/dev/nvme0n1p1\trw\n"
      "24 22 8-1 / /odd rw - ext4 /dev/sda1 rw\n"
      "25 22 :1 / /half rw - ext4 /dev/sda2 rw\n";
  std::vector<MountRecord> m = ParseMountInfo(text);
  ASSERT_EQ(m.size(), 4u);
  EXPECT_TRUE(m[0].hasDevice);
  EXPECT_EQ(m[0].device, makedev(8, 33));
  EXPECT_EQ(m[0].fsType, "xfs");
  EXPECT_EQ(m[0].source, "/dev/mapper/vg-data");
  EXPECT_TRUE(m[1].hasDevice);
  EXPECT_EQ(m[1].device, makedev(259, 65536));
  EXPECT_EQ(m[1].mountPoint, "/tabs");
  EXPECT_EQ(m[1].source, "/dev/nvme0n1p1");
  // A malformed device number keeps the mount, without a device.
  EXPECT_FALSE(m[2].hasDevice);
  EXPECT_EQ(m[2].mountPoint, "/odd");
  EXPECT_FALSE(m[3].hasDevice);
  EXPECT_TRUE(ParseMountInfo("").empty());
}

TEST(MountInfo, ThisProcessHasTheRootMounted) {
  std::vector<MountRecord> m = ParseMountInfo(ReadMountInfo());
  bool root = false;
  for (const MountRecord& r : m) root = root || r.mountPoint == "/";
  EXPECT_TRUE(root);
}

}  // namespace
}  // namespace vl::platform
