// SPDX-License-Identifier: MIT
// Small readers for sysfs: attributes, directories and links, each failing
// quietly (an unreadable entry reads as absent), as sysfs entries come and go
// with the hardware.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelvane::linux_ddc {

// directory + "/" + name.
std::string childPath(const std::string& directory, const std::string& name);

// The names in a directory, "." and ".." left out; none when it cannot be read.
std::vector<std::string> directoryEntries(const std::string& path);

// A text attribute without its trailing newlines: drivers end some with more
// than one ("NVIDIA i2c adapter 1 at 1:00.0\n\n").
std::optional<std::string> readAttribute(const std::string& path);

// Up to size bytes of a binary attribute (an EDID).
std::vector<std::uint8_t> readAttributeBytes(const std::string& path, std::size_t size);

// The last component of a symbolic link's target; unset when path is no link.
std::optional<std::string> linkTargetName(const std::string& path);

bool isDirectory(const std::string& path);
bool isSymbolicLink(const std::string& path);

// The path with every link resolved; unset when it does not exist.
std::optional<std::string> canonicalPath(const std::string& path);

// N when name is exactly "i2c-N", N a decimal bus number as the kernel writes it.
std::optional<unsigned> parseI2cBusName(const std::string& name);

}  // namespace kelvane::linux_ddc
