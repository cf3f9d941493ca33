// The files a transfer reads and writes, behind an interface so that tests can make a disk
// fail. PosixTransferFiles is the real one.
//
//   PosixTransferFiles files;
//   auto source = files.OpenRead("/home/ann/a.bin");   // the sender
//   auto target = files.Create(folder + "/" + name);   // the receiver, truncating
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace ov::transfer {

class SourceFile {
public:
    virtual ~SourceFile() = default;
    virtual bool Seek(uint64_t offset) = 0;
    // Up to n bytes from the current position; 0 at the end; nothing on a read error.
    virtual std::optional<std::size_t> Read(uint8_t* buffer, std::size_t n) = 0;
    virtual uint64_t Position() const = 0;
};

class TargetFile {
public:
    virtual ~TargetFile() = default;
    // Appends all n bytes or reports failure.
    virtual bool Append(const uint8_t* data, std::size_t n) = 0;
    virtual uint64_t Length() const = 0;
};

class TransferFiles {
public:
    virtual ~TransferFiles() = default;
    // The size of a regular file, nothing when it cannot be read.
    virtual std::optional<uint64_t> SizeOf(const std::string& path) = 0;
    virtual std::unique_ptr<SourceFile> OpenRead(const std::string& path) = 0;
    // The folder and its missing parents; true when it exists afterwards.
    virtual bool MakeFolder(const std::string& folder) = 0;
    // Whether anything exists at path (a link is not followed).
    virtual bool Exists(const std::string& path) = 0;
    // A regular file emptied or made new; never through a symbolic link.
    virtual std::unique_ptr<TargetFile> Create(const std::string& path) = 0;
    // An existing regular file opened for appending at its end; never through a link.
    virtual std::unique_ptr<TargetFile> OpenForResume(const std::string& path) = 0;
};

class PosixTransferFiles final : public TransferFiles {
public:
    std::optional<uint64_t> SizeOf(const std::string& path) override;
    std::unique_ptr<SourceFile> OpenRead(const std::string& path) override;
    bool MakeFolder(const std::string& folder) override;
    bool Exists(const std::string& path) override;
    std::unique_ptr<TargetFile> Create(const std::string& path) override;
    std::unique_ptr<TargetFile> OpenForResume(const std::string& path) override;
};

}  // namespace ov::transfer
