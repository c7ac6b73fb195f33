// The ring list: empty rings, the sentinel never unlinked, stack order,
// find from the front, and destruction that frees nodes but not payloads.
#include <gtest/gtest.h>

#include <vector>

#include "geometry/qd_alloc.h"
#include "geometry/topology/qd_te_faces.h"

namespace {

std::vector<intptr_t> Payloads(TeRing ring) {
    std::vector<intptr_t> v;
    for (TeRingNode* at = ring->next; at != ring; at = at->next) v.push_back(at->payload);
    return v;
}

// Every member's prev is the inverse of next.
bool Consistent(TeRing ring) {
    TeRingNode* at = ring;
    do {
        if (at->next->prev != at) return false;
        at = at->next;
    } while (at != ring);
    return true;
}

int calls = 0;
int Equal(const TeRingNode* member, const void* key) {
    ++calls;
    return member->payload == *static_cast<const intptr_t*>(key) ? 0 : 1;
}
int AtLeast(const TeRingNode* member, const void* key, void* argument) {
    ++*static_cast<int*>(argument);
    return member->payload >= *static_cast<const intptr_t*>(key) ? 0 : 1;
}

}  // namespace

TEST(qd_te_ring, EmptyRingAndSentinel) {
    TeRingHolder h;
    ASSERT_NE(h.ring, nullptr);
    EXPECT_EQ(qd_te_ring_pop_first(h.ring), nullptr);
    EXPECT_EQ(qd_te_ring_first(h.ring), nullptr);
    EXPECT_EQ(h.ring->next, h.ring);
    EXPECT_EQ(h.ring->prev, h.ring);
    calls = 0;
    const intptr_t key = 1;
    EXPECT_EQ(qd_te_ring_find(h.ring, &key, Equal), nullptr);
    EXPECT_EQ(calls, 0);
    // Unlinking the sentinel of a ring with members changes nothing.
    qd_te_ring_insert_after(qd_te_ring_node_new(7), h.ring);
    EXPECT_EQ(qd_te_ring_unlink(h.ring, h.ring), nullptr);
    EXPECT_EQ(Payloads(h.ring), (std::vector<intptr_t>{7}));
    EXPECT_TRUE(Consistent(h.ring));
}

TEST(qd_te_ring, StackOrderSequenceAndFind) {
    TeRingHolder h;
    ASSERT_NE(h.ring, nullptr);
    for (intptr_t v : {1, 2, 3}) qd_te_ring_insert_after(qd_te_ring_node_new(v), h.ring);
    EXPECT_EQ(Payloads(h.ring), (std::vector<intptr_t>{3, 2, 1}));
    // Inserting after a member keeps a sequence: 3 2 9 1.
    TeRingNode* two = h.ring->next->next;
    qd_te_ring_insert_after(qd_te_ring_node_new(9), two);
    EXPECT_EQ(Payloads(h.ring), (std::vector<intptr_t>{3, 2, 9, 1}));
    EXPECT_TRUE(Consistent(h.ring));
    // Find answers the first match from the front; both call forms.
    const intptr_t two_key = 2;
    calls = 0;
    EXPECT_EQ(qd_te_ring_find(h.ring, &two_key, Equal), two);
    EXPECT_EQ(calls, 2);
    int seen = 0;
    const intptr_t at_least = 2;
    TeRingNode* found = qd_te_ring_find(h.ring, &at_least, AtLeast, &seen);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->payload, 3);
    EXPECT_EQ(seen, 1);
    const intptr_t none = 100;
    EXPECT_EQ(qd_te_ring_find(h.ring, &none, AtLeast, &seen), nullptr);
    // Unlink a middle member: its own links stay, the ring closes over it.
    TeRingNode* nine = qd_te_ring_unlink(h.ring, two->next);
    ASSERT_NE(nine, nullptr);
    EXPECT_EQ(nine->prev, two);
    EXPECT_EQ(Payloads(h.ring), (std::vector<intptr_t>{3, 2, 1}));
    qd_te_ring_node_free(nine, 0);
    for (intptr_t want : {3, 2, 1}) {
        TeRingNode* n = qd_te_ring_pop_first(h.ring);
        ASSERT_NE(n, nullptr);
        EXPECT_EQ(n->payload, want);
        qd_te_ring_node_free(n, 0);
    }
    EXPECT_EQ(qd_te_ring_pop_first(h.ring), nullptr);
    EXPECT_TRUE(Consistent(h.ring));
}

TEST(qd_te_ring, DestroyFreesNodesNotPayloads) {
    // Pair payloads are the caller's: still readable after the ring is gone.
    const int32_t a[2] = {4, 5}, b[2] = {6, -7};
    std::vector<int32_t*> blocks;
    TeRing ring = nullptr;
    ASSERT_EQ(qd_te_ring_create(&ring), 1);
    for (const int32_t* pair : {a, b}) {
        TeRingNode* n = qd_te_ring_node_new_pair(pair);
        ASSERT_NE(n, nullptr);
        EXPECT_EQ(n->prev, nullptr);
        ASSERT_NE(qd_te_ring_pair(n), nullptr);
        blocks.push_back(qd_te_ring_pair(n));
        qd_te_ring_insert_after(n, ring);
    }
    qd_te_ring_destroy(&ring);
    EXPECT_EQ(ring, nullptr);
    qd_te_ring_destroy(&ring);  // an absent ring: nothing
    qd_te_ring_destroy(nullptr);
    EXPECT_EQ(blocks[0][0], 4);
    EXPECT_EQ(blocks[1][1], -7);
    for (int32_t* p : blocks) qd_free(p);  // leak-free under ASan only when the ring freed its nodes
}

TEST(qd_te_ring, OutOfMemory) {
    // The sentinel fails: status 0, holder null. The pair block fails: a
    // node with a null payload.
    TeRing ring = reinterpret_cast<TeRing>(1);
    qd_alloc_fail_nth(1);
    EXPECT_EQ(qd_te_ring_create(&ring), 0);
    EXPECT_EQ(ring, nullptr);
    const int32_t pair[2] = {1, 2};
    qd_alloc_fail_nth(2);
    TeRingNode* n = qd_te_ring_node_new_pair(pair);
    qd_alloc_fail_nth(0);
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->payload, 0);
    qd_te_ring_node_free(n, 1);
    qd_alloc_fail_nth(1);
    EXPECT_EQ(qd_te_ring_node_new(3), nullptr);
    qd_alloc_fail_nth(0);
}
