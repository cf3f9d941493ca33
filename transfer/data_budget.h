// How much of the file data received for one file may be written, given the size the sender
// announced. The announced size is the contract: bytes beyond it are never written, and a peer
// that sends them has broken the protocol (the caller ends the transfer).
//
//   DataBudget b = SplitReceivedData(announced, written, block.size());
//   write(block.first(b.to_write)); written += b.to_write;
//   if (b.overrun) end the transfer; else if (b.complete) ask for the next file;
//
// WireFileSize says whether a local file can be offered at all: sizes travel as 32 bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace ov::transfer {

struct DataBudget {
    std::size_t to_write = 0;  // leading bytes of the block that belong to the file
    bool complete = false;     // the file has all its announced bytes once they are written
    bool overrun = false;      // the block carries bytes beyond the announced size
};

constexpr DataBudget SplitReceivedData(uint32_t announced_size, uint64_t already_written,
                                       std::size_t block_size) {
    const uint64_t remaining =
        already_written >= announced_size ? 0 : announced_size - already_written;
    DataBudget budget;
    budget.to_write = block_size < remaining ? block_size : static_cast<std::size_t>(remaining);
    budget.complete = already_written + budget.to_write >= announced_size;
    budget.overrun = block_size > remaining;
    return budget;
}

// The size as it goes into the records, or nothing for files of 4 GiB or more.
constexpr std::optional<uint32_t> WireFileSize(uint64_t size) {
    if (size > UINT32_MAX)
        return std::nullopt;
    return static_cast<uint32_t>(size);
}

// The running total of the count reply, or nothing when it would pass 32 bits.
constexpr std::optional<uint32_t> AddToTotal(uint32_t total, uint32_t size) {
    if (size > UINT32_MAX - total)
        return std::nullopt;
    return total + size;
}

}  // namespace ov::transfer
