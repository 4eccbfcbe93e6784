#pragma once
// The data table's lines, kept so that a copy for a background flow log save is cheap: the lines
// sit in blocks of BlockSize, and a full block never changes again, so a copy shares the full
// blocks (a pointer each) and copies only the last, partial block. A copy may be read on another
// thread while the original goes on growing.
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

class TFlowLogLines {
public:
    static constexpr std::size_t BlockSize = 1024;

    std::size_t size() const { return full_.size() * BlockSize + tail_.size(); }
    bool empty() const { return size() == 0; }
    const std::string& operator[](std::size_t index) const;
    const std::string& back() const { return (*this)[size() - 1]; }

    void push_back(std::string line);

    // Calls visit(line) for every line in order.
    template <typename Visit> void ForEach(Visit&& visit) const { ForEachFrom(0, visit); }

    // Calls visit(line) for every line from index on, in order, without visiting the blocks
    // before it: an append-only save reads only what it has not written yet.
    template <typename Visit> void ForEachFrom(std::size_t index, Visit&& visit) const {
        // Only the first block visited may start part way.
        for (std::size_t block = index / BlockSize, i = index % BlockSize; block < full_.size();
             ++block, i = 0)
            for (; i < BlockSize; ++i)
                visit((*full_[block])[i]);
        const std::size_t tailStart = full_.size() * BlockSize;
        for (std::size_t i = index > tailStart ? index - tailStart : 0; i < tail_.size(); ++i)
            visit(tail_[i]);
    }

private:
    std::vector<std::shared_ptr<const std::vector<std::string>>> full_;
    std::vector<std::string> tail_;
};
