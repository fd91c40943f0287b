// A bounds-checked cursor over wide text, the counterpart of ByteReader for
// parsers of decoded text. Every getter checks what is left, advances only
// when it succeeds and says whether it did, so parsers never do pointer
// arithmetic of their own.
#pragma once

#include <cstddef>
#include <span>

namespace korva::platform {

class TextCursor {
public:
    using Unit = wchar_t;

    TextCursor() = default;
    TextCursor(const Unit* data, size_t size) : data_(data), size_(data == nullptr ? 0 : size) {}
    explicit TextCursor(std::span<const Unit> units) : TextCursor(units.data(), units.size()) {}

    bool AtEnd() const { return position_ == size_; }
    size_t Remaining() const { return size_ - position_; }
    std::span<const Unit> Rest() const { return {data_ + position_, Remaining()}; }

    bool Peek(Unit& unit) const {
        if (AtEnd()) return false;
        unit = data_[position_];
        return true;
    }
    bool Next(Unit& unit) {
        if (!Peek(unit)) return false;
        ++position_;
        return true;
    }
    // Advances past `expected` only when it is the next unit.
    bool Skip(Unit expected) {
        if (AtEnd() || data_[position_] != expected) return false;
        ++position_;
        return true;
    }
    // Advances past `prefix` only when the rest starts with all of it.
    bool SkipPrefix(std::span<const Unit> prefix) {
        if (prefix.size() > Remaining()) return false;
        for (size_t i = 0; i < prefix.size(); ++i) {
            if (data_[position_ + i] != prefix[i]) return false;
        }
        position_ += prefix.size();
        return true;
    }
    // Consumes units while `predicate` holds and returns them.
    template <typename Predicate>
    std::span<const Unit> TakeWhile(Predicate predicate) {
        size_t start = position_;
        while (position_ < size_ && predicate(data_[position_])) ++position_;
        return {data_ + start, position_ - start};
    }

private:
    const Unit* data_ = nullptr;
    size_t size_ = 0;
    size_t position_ = 0;
};

}  // namespace korva::platform
