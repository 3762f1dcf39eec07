#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vr {

// What tells one state of a file from another without reading it: which file it is, how long it
// is and when it last changed, to the nanosecond.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedSeconds = 0;
    std::int64_t modifiedNanoseconds = 0;

    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// The identity of the file at path, or nothing when no file is there. Throws vr::Error when the
// path cannot be examined.
std::optional<FileIdentity> IdentifyFile(const std::filesystem::path& path);

// The whole content of a regular file. Throws vr::Error naming the file when it cannot be read or
// is not a regular file (a directory, a pipe, a device).
std::string ReadWholeFile(const std::filesystem::path& path);

// Replaces the file at path by one holding bytes: they go to a new file in the same directory,
// flushed to disk, which then takes the old one's place in a single rename, so the old content
// stays whole whenever the new one cannot be written. An existing file's permissions are kept;
// through a symbolic link, the file it names is replaced.
// Returns the identity of the new file; throws vr::Error naming the file on failure.
FileIdentity ReplaceWholeFile(const std::filesystem::path& path, std::string_view bytes);

// Appends bytes to the end of an existing file. When expected is given, the file must still have
// that identity when it is opened, or nothing is written and the result is empty. A failed write
// cuts the file back to its earlier length. Returns the identity after the write; throws
// vr::Error naming the file on failure.
std::optional<FileIdentity> AppendToFile(const std::filesystem::path& path, std::string_view bytes,
                                         const std::optional<FileIdentity>& expected = {});

}  // namespace vr
