// Path handling: the assign table (NAME:rest names such as ENV:, ENVARC:, T:, PROGDIR:,
// CLIPS:, FONTS:) and the path-part helpers.
//
// A name whose part before the first colon is a known assign (case-insensitively) is
// resolved against it; anything else is a plain Linux path, and a colon inside a Linux
// file name stays literal. Each assign can be overridden with VISTALOOM_ASSIGN_<NAME>.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vl::platform {

// Resolves an assign-prefixed name to a Linux path; other names come back unchanged.
// PROGDIR: resolves to the writable data directory; use ResolveForRead to find
// shipped data too.
std::string ResolvePath(std::string_view name);
// ResolvePath, with a relative result joined to the working directory.
std::string AbsolutePath(std::string_view name);

// Like ResolvePath, but for PROGDIR: and FONTS: returns the first existing candidate
// (writable data dir, installed data dir, source tree data dir; the font directories).
// Falls back to ResolvePath when none exists.
std::string ResolveForRead(std::string_view name);

// All directories an assign stands for, in lookup order (empty for an unknown name).
std::vector<std::string> AssignDirectories(std::string_view assign);

// True when the name begins with a known assign ("ENV:", "t:", ...).
bool HasAssign(std::string_view name);

// The folder of the running program (from /proc/self/exe), empty when it cannot be read.
std::string ExecutableDirectory();

// Where the shipped data (icons, samples) lies for a program in exeDir: exeDir/../share/vistaloom,
// so that an installed tree can be moved as a whole. A program inside the build folder buildDir
// with no such folder beside it is a build that has not been installed: it reads the source
// tree's data folder instead. Both folders are compared as given (pass canonical paths).
std::string ShippedDataDirectoryFor(std::string_view exeDir, std::string_view buildDir, std::string_view sourceDataDir);

// ShippedDataDirectoryFor the running program (the second candidate of PROGDIR:).
std::string ShippedDataDirectory();

// Creates the directory (and parents) with the given mode; true when it exists afterwards.
bool MakeDirectories(const std::string& path, unsigned mode = 0755);

// The private runtime directory ($XDG_RUNTIME_DIR/vistaloom, or /tmp/vistaloom-<uid>,
// mode 0700), created on demand. Empty when it cannot be made safe.
std::string RuntimeDirectory();

// dos-style path parts on Linux paths.
// FilePart("a/b/c.jpg") = "c.jpg"; PathPart gives the length of the part before it
// ("a/b"); AddPart joins with one slash (an absolute second part replaces the first).
std::string_view FilePart(std::string_view path);
std::string_view PathPart(std::string_view path);
// Joins dir and name into dest of at most maxLength characters; false when too long.
bool AddPart(std::string& dest, std::string_view name, size_t maxLength = 1023);
std::string JoinPath(std::string_view dir, std::string_view name);

}  // namespace vl::platform
