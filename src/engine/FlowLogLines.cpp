#include "engine/FlowLogLines.h"

const std::string& TFlowLogLines::operator[](std::size_t index) const {
    const std::size_t block = index / BlockSize;
    if (block < full_.size())
        return (*full_[block])[index % BlockSize];
    return tail_[index - full_.size() * BlockSize];
}

void TFlowLogLines::push_back(std::string line) {
    if (tail_.capacity() < BlockSize)
        tail_.reserve(BlockSize);
    tail_.push_back(std::move(line));
    if (tail_.size() == BlockSize) {
        full_.push_back(std::make_shared<const std::vector<std::string>>(std::move(tail_)));
        tail_ = {};
    }
}
