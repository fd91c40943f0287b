// A bounds-checked cursor over bytes or characters. Every getter checks what
// is left, advances only when it succeeds and says whether it did, so parsers
// never do pointer arithmetic of their own.
#pragma once

#include <cstddef>
#include <span>

namespace korva::platform {

template <typename Unit>
class Cursor {
public:
    Cursor() = default;
    Cursor(const Unit* data, size_t size) : data_(data), size_(data == nullptr ? 0 : size) {}
    explicit Cursor(std::span<const Unit> units) : Cursor(units.data(), units.size()) {}

    bool AtEnd() const { return position_ == size_; }
    size_t Position() const { return position_; }
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
    // The next `count` units, or false with nothing consumed.
    bool Take(size_t count, std::span<const Unit>& units) {
        if (count > Remaining()) return false;
        units = {data_ + position_, count};
        position_ += count;
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
