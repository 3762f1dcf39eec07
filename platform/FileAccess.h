#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
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

// A regular file read from its start in pieces, so that its size never weighs on memory.
// Others may go on reading and writing the file meanwhile.
class FileReader {
public:
    // Throws vr::Error naming the file when it cannot be opened or is not a regular file (a
    // directory, a pipe, a device).
    explicit FileReader(const std::filesystem::path& path);
    ~FileReader();
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    // Reads up to size bytes into data; 0 at the end of the file. Throws vr::Error naming it.
    std::size_t Read(char* data, std::size_t size);
    // The identity of the open file as it is now.
    FileIdentity Identity() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// A new content for the file at path, written in pieces and put in the file's place whole by
// Commit, in a single rename: the old content stays whole whenever the new one cannot be
// written. Through a symbolic link the file it names is replaced and the link stays. The
// replaced file's owner, group and permissions are kept (on Windows its access rules, and its
// owner where the process may set one).
//
// The new content goes to a temporary file beside the target under a fixed name (the target's
// name followed by ".tmp"), which the next replacement takes over when a killed process left it
// behind; only while another process is replacing the same file at that moment does a second
// writer use a name of its own.
class FileReplacement {
public:
    // How far Commit goes before it returns. A file worth a disk flush (the activity log) is
    // flushed before and after the rename; one that a crash may as well leave empty (the answer
    // dump, written again by every consultation) is only renamed.
    enum class Durability { kFlushed, kRenamedOnly };

    // Throws vr::Error naming the file when the temporary file cannot be created.
    explicit FileReplacement(const std::filesystem::path& path, Durability durability = Durability::kFlushed);
    // Without Commit the temporary file is removed and the file stays as it was.
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    void Write(std::string_view bytes);
    // Flushes the new content to disk and puts it in the file's place. Returns its identity.
    FileIdentity Commit();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Replaces the file at path by one holding bytes, as FileReplacement does. Returns the identity
// of the new file; throws vr::Error naming the file on failure.
FileIdentity ReplaceWholeFile(const std::filesystem::path& path, std::string_view bytes);

// Appends bytes to the end of an existing file. When expected is given, the file must still have
// that identity when it is opened, or nothing is written and the result is empty. A failed write
// cuts the file back to its earlier length. Returns the identity after the write; throws
// vr::Error naming the file on failure.
std::optional<FileIdentity> AppendToFile(const std::filesystem::path& path, std::string_view bytes,
                                         const std::optional<FileIdentity>& expected = {});

}  // namespace vr
