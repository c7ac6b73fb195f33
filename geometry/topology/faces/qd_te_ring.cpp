// The ring list: sentinel-closed circular doubly linked nodes of one word.
#include <cstring>

#include "geometry/qd_alloc.h"
#include "geometry/topology/qd_te_faces.h"

namespace {

TeRingNode* raw_node(intptr_t payload) {
    auto* node = static_cast<TeRingNode*>(qd_alloc(sizeof(TeRingNode)));
    if (node) *node = {nullptr, nullptr, payload};
    return node;
}

}  // namespace

int qd_te_ring_create(TeRing* holder) {
    if (!holder) return 0;
    *holder = raw_node(0);
    if (!*holder) return 0;
    (*holder)->prev = (*holder)->next = *holder;
    return 1;
}

void qd_te_ring_destroy(TeRing* holder) {
    if (!holder || !*holder) return;
    TeRing sentinel = *holder;
    for (TeRingNode* at = sentinel->next; at && at != sentinel;) {
        TeRingNode* next = at->next;
        qd_free(at);
        at = next;
    }
    qd_free(sentinel);
    *holder = nullptr;
}

TeRingNode* qd_te_ring_unlink(TeRing ring, TeRingNode* node) {
    if (!ring || !node || node == ring) return nullptr;
    node->prev->next = node->next;
    node->next->prev = node->prev;
    return node;
}

TeRingNode* qd_te_ring_insert_after(TeRingNode* node, TeRingNode* position) {
    if (!node || !position) return nullptr;
    node->prev = position;
    node->next = position->next;
    position->next->prev = node;
    position->next = node;
    return node;
}

TeRingNode* qd_te_ring_first(TeRing ring) {
    return ring && ring->next != ring ? ring->next : nullptr;
}

TeRingNode* qd_te_ring_pop_first(TeRing ring) {
    TeRingNode* first = qd_te_ring_first(ring);
    return first ? qd_te_ring_unlink(ring, first) : nullptr;
}

TeRingNode* qd_te_ring_find(TeRing ring, const void* key, TeRingMatch match) {
    if (!ring || !match) return nullptr;
    for (TeRingNode* at = ring->next; at != ring; at = at->next)
        if (match(at, key) == 0) return at;
    return nullptr;
}

TeRingNode* qd_te_ring_find(TeRing ring, const void* key, TeRingMatchWith match, void* argument) {
    if (!ring || !match) return nullptr;
    for (TeRingNode* at = ring->next; at != ring; at = at->next)
        if (match(at, key, argument) == 0) return at;
    return nullptr;
}

TeRingNode* qd_te_ring_node_new(intptr_t payload) { return raw_node(payload); }

TeRingNode* qd_te_ring_node_new_pair(const int32_t pair[2]) {
    TeRingNode* node = raw_node(0);
    if (!node || !pair) return node;
    if (void* block = qd_alloc(2 * sizeof(int32_t))) {
        std::memcpy(block, pair, 2 * sizeof(int32_t));
        node->payload = reinterpret_cast<intptr_t>(block);
    }
    return node;
}

void qd_te_ring_node_free(TeRingNode* node, int free_payload) {
    if (!node) return;
    if (free_payload && node->payload) qd_free(reinterpret_cast<void*>(node->payload));
    qd_free(node);
}
