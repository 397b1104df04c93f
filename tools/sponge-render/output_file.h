// Output files that appear whole or not at all. A file is written under a temporary name
// beside it and renamed over it when complete; a FIFO or a device is written in place.
#pragma once

#include <string>

// Where the bytes of one output file go.
struct FileTarget {
    std::string path;     // the file itself, with symbolic links followed to their destination
    bool stream = false;  // a FIFO or a character device: written in place, never replaced
};

// Follows path's symbolic links and checks, before anything is rendered or created, that the
// file can be written: its folder must take new files, and an existing file must be one the
// user may replace (not a folder, not read-only, not someone else's in a folder whose sticky
// bit lets only owners replace files). False with *error saying why, in a few words.
bool prepareFileTarget(const std::string& path, FileTarget* target, std::string* error);

// One file being written. Nothing exists on disk before create; after a failure or an
// interruption nothing is left but a complete file, or the old one untouched.
class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile() { discard(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Opens the temporary file (or the stream) for writing. False with *error.
    bool create(const FileTarget& target, std::string* error);
    // The descriptor to write to, -1 before create.
    int fd() const { return fd_; }
    // The name the bytes are written under: the temporary file, or the stream itself.
    const std::string& writtenPath() const { return temp_.empty() ? target_.path : temp_; }
    // Closes the descriptor but keeps the temporary file, for another program to write it
    // by name (writtenPath) before commit.
    void closeDescriptor();
    // Makes the file complete: flushed to disk (also when another program wrote it), closed,
    // renamed over the target, and the folder flushed, so that the new name survives a power
    // cut. When the rename fails, the complete file is kept under its temporary name, which
    // *error names.
    bool commit(std::string* error);
    // Closes and removes the temporary file. Safe to call more than once. False when it could
    // not be removed, with *leftover naming it and why (for the caller to say).
    bool discard(std::string* leftover = nullptr);

private:
    FileTarget target_;
    std::string temp_;
    int fd_ = -1;
};

// A file name at most as long as NAME_MAX allows: "NAME.partial-XXXXXX", or for a name too long
// for that, ".partial-XXXXXX" (which is then shorter than the name). The X's are for mkstemp.
std::string temporaryNameFor(const std::string& name, long nameMax);
