#pragma once

// Reading one attribute file of a sysfs tree (/sys, or a tree made by hand
// for a test rig). Every reader of sysfs in the kit goes through here: a
// tree given on the command line may hold anything under an attribute's
// name, and a read must neither wait nor swell.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace sysfs {

// Attribute files are small; a longer file is read this far, the rest is
// left unread.
inline constexpr std::size_t kMaxAttributeBytes = 4096;

// The bytes of the attribute file `file`, at most kMaxAttributeBytes of
// them, without the one line end the kernel puts at the end. Nothing when
// it is missing, cannot be read, or is not a regular file (a FIFO, a device
// node, a folder): it is opened without waiting and checked again once
// open, so nothing put there can hold the caller up.
std::optional<std::string> readAttribute(const std::filesystem::path &file);

} // namespace sysfs
