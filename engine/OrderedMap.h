// An ordered map as an AVL tree over pooled nodes. Entries are only ever
// added (until Clear), so the tree needs insertion and in-order walks and
// nothing else. A node's two balance bits ride in the top bits of its links,
// which keeps a node at its entry plus 8 bytes.
//
// Traits supply the entry type (key and value together, default-constructed
// empty), the key type that lookups take, a three-way Compare(key, entry), and
// Assign(entry, key), which may fail for lack of memory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/NodePool.h"

namespace TarnVerifyTrustDriver {

template <class Traits>
class OrderedMap {
public:
    using Entry = typename Traits::Entry;
    using Key = typename Traits::Key;

    // `entry` null: nothing was found and nothing could be inserted.
    struct Result {
        Entry* entry = nullptr;
        bool inserted = false;
    };

    explicit OrderedMap(CCallbacks* callbacks = nullptr) : nodes_(callbacks) {}

    uint32_t count() const { return nodes_.count(); }

    void Clear() {
        nodes_.Clear();
        root_ = kNil;
        last_ = kNil;
    }

    Entry* Find(const Key& key) {
        uint32_t node = root_;
        while (node != kNil) {
            int order = Traits::Compare(key, nodes_[node].entry);
            if (order == 0) return &nodes_[node].entry;
            node = Child(node, order > 0);
        }
        return nullptr;
    }

    // Never replaces: an entry already present is returned as it is.
    Result FindOrInsert(const Key& key) {
        // `top` is the deepest node on the path whose balance is not even:
        // only the nodes from there down change, and at most it needs turning.
        // A key beyond the last one goes down the right edge without a
        // comparison on the way: a saved log replays its keys in order.
        bool beyondLast = last_ != kNil && Traits::Compare(key, nodes_[last_].entry) > 0;
        uint32_t top = root_;
        uint32_t aboveTop = kNil;
        bool sides[kMaxDepth];
        int depth = 0;
        uint32_t parent = kNil;
        bool side = false;
        bool rightEdge = true;
        for (uint32_t node = root_; node != kNil; node = Child(node, side)) {
            int order = beyondLast ? 1 : Traits::Compare(key, nodes_[node].entry);
            if (order == 0) return {&nodes_[node].entry, false};
            if (Balance(node) != 0) {
                top = node;
                aboveTop = parent;
                depth = 0;
            }
            if (depth == kMaxDepth) return {};
            side = order > 0;
            rightEdge = rightEdge && side;
            sides[depth++] = side;
            parent = node;
        }
        uint32_t fresh = 0;
        if (!nodes_.Add(fresh)) return {};
        if (!Traits::Assign(nodes_[fresh].entry, key)) {
            nodes_.RemoveLast();
            return {};
        }
        // Rotations keep the order: the node with the largest key stays so.
        if (rightEdge) last_ = fresh;
        if (parent == kNil) {
            root_ = fresh;
            return {&nodes_[fresh].entry, true};
        }
        SetChild(parent, side, fresh);
        for (uint32_t node = Child(top, sides[0]), i = 1; node != fresh; node = Child(node, sides[i++])) {
            SetBalance(node, sides[i] ? 1 : -1);
        }
        int topBalance = Balance(top) + (sides[0] ? 1 : -1);
        if (topBalance >= -1 && topBalance <= 1) {
            SetBalance(top, topBalance);
        } else {
            uint32_t turned = Rotate(top, sides[0]);
            if (aboveTop == kNil) {
                root_ = turned;
            } else {
                SetChild(aboveTop, Child(aboveTop, true) == top, turned);
            }
        }
        return {&nodes_[fresh].entry, true};
    }

    // Calls `visit(entry)` in key order until it returns false; says whether
    // every entry was visited.
    template <class Visit>
    bool ForEach(Visit&& visit) {
        uint32_t stack[kMaxDepth];
        int depth = 0;
        uint32_t node = root_;
        while (node != kNil || depth > 0) {
            while (node != kNil) {
                stack[depth++] = node;
                node = Child(node, false);
            }
            node = stack[--depth];
            if (!visit(nodes_[node].entry)) return false;
            node = Child(node, true);
        }
        return true;
    }

private:
    struct Node {
        Entry entry;
        uint32_t links[2] = {kNil, kNil};  // left, right; top bit: that side is higher
    };

    static constexpr uint32_t kNil = 0x7FFFFFFFu;
    static constexpr uint32_t kHeavy = 0x80000000u;
    // An AVL tree of 2^31 nodes is at most 45 levels deep.
    static constexpr int kMaxDepth = 64;

    uint32_t Child(uint32_t node, bool right) { return nodes_[node].links[right] & ~kHeavy; }
    void SetChild(uint32_t node, bool right, uint32_t child) {
        uint32_t& link = nodes_[node].links[right];
        link = (link & kHeavy) | child;
    }
    int Balance(uint32_t node) {
        const uint32_t* links = nodes_[node].links;
        return (links[1] & kHeavy ? 1 : 0) - (links[0] & kHeavy ? 1 : 0);
    }
    void SetBalance(uint32_t node, int balance) {
        uint32_t* links = nodes_[node].links;
        links[0] = (links[0] & ~kHeavy) | (balance < 0 ? kHeavy : 0);
        links[1] = (links[1] & ~kHeavy) | (balance > 0 ? kHeavy : 0);
    }

    // Restores `top`, two levels higher on side `heavy`; returns the node
    // that takes its place.
    uint32_t Rotate(uint32_t top, bool heavy) {
        int lean = heavy ? 1 : -1;
        uint32_t child = Child(top, heavy);
        if (Balance(child) == lean) {
            SetChild(top, heavy, Child(child, !heavy));
            SetChild(child, !heavy, top);
            SetBalance(child, 0);
            SetBalance(top, 0);
            return child;
        }
        uint32_t middle = Child(child, !heavy);
        SetChild(child, !heavy, Child(middle, heavy));
        SetChild(middle, heavy, child);
        SetChild(top, heavy, Child(middle, !heavy));
        SetChild(middle, !heavy, top);
        int middleBalance = Balance(middle);
        SetBalance(child, middleBalance == -lean ? lean : 0);
        SetBalance(top, middleBalance == lean ? -lean : 0);
        SetBalance(middle, 0);
        return middle;
    }

    NodePool<Node> nodes_;
    uint32_t root_ = kNil;
    uint32_t last_ = kNil;  // the node with the largest key
};

}  // namespace TarnVerifyTrustDriver
